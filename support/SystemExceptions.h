// SystemExceptions.h: translation of structured system exceptions into SException and
// the AutoRecover rule that decides whether the process survives one.
//
//   _set_se_translator(TranslateSystemException);   // per thread, done by the member frame
//   ...
//   catch (SException& theEx) { return HandleSystemException(theEx.Describe("XForm", 42), 1); }
#pragma once

#include <windows.h>

struct _EXCEPTION_POINTERS;

/// Logs inText with inType; then, unless the "AutoRecover" setting (default: off only on
/// NT 5.x hosts) allows recovery, ends the process with exit code 1. Returns 0.
DWORD HandleSystemException(const char* inText, WORD inType);

/// The host generation from its version information: 1 Win32s; 2-3 Windows 9x; 4 NT 3,
/// 5 NT 4, 6 NT 5; 0 for anything else or when the version cannot be read.
int OsGeneration();

/// The structured-exception translator: throws an SException built from the exception
/// record. Never returns normally.
[[noreturn]] void TranslateSystemException(unsigned int inCode, _EXCEPTION_POINTERS* inPointers);

/// Installs TranslateSystemException on the calling thread.
void InstallSystemExceptionTranslator();

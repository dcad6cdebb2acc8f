// SystemExceptions.cpp: the translator that turns faults into SException, and what
// happens after one (log, then recover or end the process).
#include "support/SystemExceptions.h"

// <typeinfo> first: some <eh.h> name std::type_info without including it.
#include <typeinfo>
#include <eh.h>

#include "support/EventLogWriter.h"
#include "support/ModuleInstance.h"
#include "support/SException.h"
#include "support/Settings.h"

namespace {

int GenerationFor(const OSVERSIONINFOA& inInfo)
{
    switch (inInfo.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
        return 1;
    case VER_PLATFORM_WIN32_WINDOWS:
        if (inInfo.dwMajorVersion < 4 || (inInfo.dwMajorVersion == 4 && inInfo.dwMinorVersion == 0))
            return 2;
        return 3;
    case VER_PLATFORM_WIN32_NT:
        if (inInfo.dwMajorVersion == 3)
            return 4;
        if (inInfo.dwMajorVersion == 4)
            return 5;
        if (inInfo.dwMajorVersion == 5)
            return 6;
        return 0;
    default:
        return 0;
    }
}

}  // namespace

int OsGeneration()
{
    OSVERSIONINFOEXA theInfoEx = {};
    theInfoEx.dwOSVersionInfoSize = sizeof theInfoEx;
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&theInfoEx)))
        return GenerationFor(*reinterpret_cast<OSVERSIONINFOA*>(&theInfoEx));
    OSVERSIONINFOA theInfo = {};
    theInfo.dwOSVersionInfoSize = sizeof theInfo;
    if (GetVersionExA(&theInfo))
        return GenerationFor(theInfo);
    return 0;
}

DWORD HandleSystemException(const char* inText, WORD inType)
{
    LogEvent(inText, inType);
    // NT 5.x hosts restart a crashed worker process themselves, so ending it is the
    // safer default there; elsewhere the process goes on.
    DWORD theRecover = OsGeneration() <= 5 ? 1 : 0;
    ReadSettingDword("AutoRecover", &theRecover);
    if (theRecover == 0)
        ExitProcess(1);
    return 0;
}

void TranslateSystemException(unsigned int inCode, _EXCEPTION_POINTERS* inPointers)
{
    DWORD_PTR theCodeAddress = 0;
    DWORD theAccessKind = 0;
    DWORD_PTR theDataAddress = 0;
    const EXCEPTION_RECORD* theRecord = inPointers != nullptr ? inPointers->ExceptionRecord : nullptr;
    if (theRecord != nullptr) {
        theCodeAddress = reinterpret_cast<DWORD_PTR>(theRecord->ExceptionAddress);
        if (inCode == EXCEPTION_ACCESS_VIOLATION && theRecord->NumberParameters >= 2) {
            theAccessKind = static_cast<DWORD>(theRecord->ExceptionInformation[0]);
            theDataAddress = theRecord->ExceptionInformation[1];
        }
    }
    throw SException(inCode, theCodeAddress, theAccessKind, theDataAddress,
                     reinterpret_cast<DWORD_PTR>(ModuleInstance()));
}

void InstallSystemExceptionTranslator()
{
    _set_se_translator(TranslateSystemException);
}

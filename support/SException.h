// SException.h: a structured system exception (access violation, division by zero, ...)
// turned into a C++ exception by TranslateSystemException (SystemExceptions.h).
//
//   try {
//       ...
//   } catch (SException& theEx) {
//       HandleSystemException(theEx.Describe("XForm", 120), EVENTLOG_ERROR_TYPE);
//   }
#pragma once

#include <windows.h>

/// The exception record of a system exception, with the text Describe builds.
/// Addresses are kept at full pointer width (the texts print at least 8 hex digits).
class SException {
public:
    SException() = default;
    SException(DWORD inCode, DWORD_PTR inCodeAddress, DWORD inAccessKind, DWORD_PTR inDataAddress,
               DWORD_PTR inModuleBase);

    /// The first sentence (what happened where) and, when both fit in 255 characters,
    /// "System Error caught at line <inLine> of <inSourceFile>. Base at ...".
    const char* Describe(const char* inSourceFile, long inLine);

    DWORD code = 0;            ///< the system exception code, e.g. 0xC0000005
    DWORD_PTR codeAddress = 0; ///< the faulting instruction
    DWORD isRead = 0;          ///< 1 for an access violation caused by a read
    DWORD accessKind = 0;      ///< access violation: 0 read, 1 write, other; 0 for other codes
    DWORD_PTR dataAddress = 0; ///< access violation: the address accessed
    DWORD_PTR moduleBase = 0;  ///< load address of the component's module
    char text[256] = {};       ///< the last description
};

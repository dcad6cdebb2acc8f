// Errors.h: the thread's last-error code, system message texts, and the one place where
// errno becomes a Win32 error code.
//
//   if (::open(thePath, O_RDONLY) < 0)      // platform code only
//       return ferrolift::platform::SetLastErrorFromErrno(errno, "open");
//   LPSTR theText = nullptr;
//   FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
//                      FORMAT_MESSAGE_IGNORE_INSERTS,
//                  nullptr, ERROR_ACCESS_DENIED, 0x400, reinterpret_cast<LPSTR>(&theText), 0, nullptr);
//   // theText == "Access is denied.\r\n"
//   LocalFree(theText);
#pragma once

#include "platform/types/WinTypes.h"

#include <cstdarg>

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

extern "C" {

/// The calling thread's last-error code (0 on a new thread).
DWORD WINAPI GetLastError();
/// Sets the calling thread's last-error code.
void WINAPI SetLastError(DWORD dwErrCode);

/// Message text of a Win32 error code or HRESULT, as the system words it (ending in
/// "\r\n"). Supported: FORMAT_MESSAGE_FROM_SYSTEM with FORMAT_MESSAGE_IGNORE_INSERTS,
/// with or without FORMAT_MESSAGE_ALLOCATE_BUFFER (then lpBuffer receives a LocalAlloc'd
/// pointer to free with LocalFree). HRESULTs of FACILITY_WIN32 give the text of their
/// code. dwLanguageId must be 0, 0x400 (neutral, default) or 0x409 (US English).
/// Returns the characters stored without the terminator, or 0 with GetLastError:
/// ERROR_MR_MID_NOT_FOUND (317) for an unknown code, ERROR_RESOURCE_LANG_NOT_FOUND (1815)
/// for another language, ERROR_INVALID_PARAMETER (87) for missing flags or a null buffer,
/// ERROR_INSUFFICIENT_BUFFER (122) when nSize is too small, ERROR_NOT_SUPPORTED (50) for
/// FROM_STRING / FROM_HMODULE / inserts.
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments);

/// Allocates uBytes (LMEM_FIXED; LMEM_ZEROINIT clears them). Null with
/// ERROR_NOT_ENOUGH_MEMORY on failure.
HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
/// Frees memory from LocalAlloc or FormatMessageA; returns null (null input is fine).
HLOCAL WINAPI LocalFree(HLOCAL hMem);

}  // extern "C"

#ifndef ERROR_RESOURCE_LANG_NOT_FOUND
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815L
#endif

namespace ferrolift::platform {

/// The Win32 error code for an errno value (ENOENT -> 2, EACCES -> 5, ...); unknown
/// values give ERROR_GEN_FAILURE (31).
DWORD Win32ErrorFromErrno(int inErrno);

/// As Win32ErrorFromErrno, but ENOENT becomes ERROR_PATH_NOT_FOUND (3) when a folder on
/// inPath is missing (the last component alone missing stays ERROR_FILE_NOT_FOUND, 2).
DWORD Win32ErrorFromErrnoForPath(int inErrno, const char* inPath);

/// Maps errno, sets it as the thread's last error, and writes one debug line naming the
/// failing system call when FERROLIFT_TRACE is set. Returns the code.
DWORD SetLastErrorFromErrno(int inErrno, const char* inSystemCall);

/// As SetLastErrorFromErrno with the path rule of Win32ErrorFromErrnoForPath.
DWORD SetLastErrorFromErrnoForPath(int inErrno, const char* inSystemCall, const char* inPath);

/// The system text for a Win32 code or HRESULT ("" when unknown), with its "\r\n".
const char* SystemMessageText(DWORD inCode);

}  // namespace ferrolift::platform

// System.h: ticks, version, process and thread identity, critical sections, interlocked
// operations, modules, and the C runtime's pseudo-random generator.
//
//   CRITICAL_SECTION theLock;
//   InitializeCriticalSection(&theLock);
//   EnterCriticalSection(&theLock);      // re-entrant for the owning thread
//   DWORD theNow = GetTickCount();       // wraps after 49.7 days
//   LeaveCriticalSection(&theLock);
//   DeleteCriticalSection(&theLock);
//
//   namespace ferrolift { void Seed() { srand(1); int r = rand(); /* 41 */ } }
#pragma once

#include "platform/types/WinTypes.h"

#include <cstdlib>

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA, OSVERSIONINFO, *LPOSVERSIONINFO;

typedef struct _OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXA, *POSVERSIONINFOEXA, *LPOSVERSIONINFOEXA, OSVERSIONINFOEX, *LPOSVERSIONINFOEX;

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 0x0000001
#define VER_NT_SERVER 0x0000003

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

/// A re-entrant lock. The layout is private to the platform; 64 bytes hold a recursive
/// pthread mutex with room to spare, so the struct can live inside objects.
typedef struct _RTL_CRITICAL_SECTION {
    alignas(8) unsigned char Opaque[64];
    LONG RecursionCount;
    DWORD OwningThread;
} CRITICAL_SECTION, *PCRITICAL_SECTION, *LPCRITICAL_SECTION;

typedef INT_PTR(WINAPI* FARPROC)();

extern "C" {

/// Milliseconds since an arbitrary start (monotonic clock), truncated to 32 bits: it
/// wraps to 0 after 49.7 days. Tests may replace the source (SetTickCountSource).
DWORD WINAPI GetTickCount();
/// The same counter in 64 bits (never wraps).
ULONGLONG WINAPI GetTickCount64();

/// Fills OSVERSIONINFOA or OSVERSIONINFOEXA (chosen by dwOSVersionInfoSize): always
/// platform NT, version 10.0, build 19045, no service pack, a workstation. Reporting a
/// current NT keeps behaviour that depends on older systems switched off. FALSE with
/// ERROR_INVALID_PARAMETER (87) for a null pointer or a size matching neither struct.
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);

/// Ends the process at once with the exit code: no destructors, no atexit handlers.
[[noreturn]] void WINAPI ExitProcess(UINT uExitCode);
/// Suspends the calling thread for the milliseconds given (0 yields).
void WINAPI Sleep(DWORD dwMilliseconds);
/// The kernel thread id of the caller (never 0).
DWORD WINAPI GetCurrentThreadId();
/// The process id.
DWORD WINAPI GetCurrentProcessId();

/// Prepares a re-entrant lock.
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
/// As InitializeCriticalSection; the spin count is ignored. Always TRUE.
BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount);
/// Waits for and takes the lock; a thread that holds it already takes it again.
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
/// Takes the lock when it is free or already the caller's; FALSE otherwise.
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
/// Releases one level of the caller's hold.
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
/// Frees the lock's resources; it must not be held.
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

/// Atomic operations (sequentially consistent); they return the new value
/// (Increment/Decrement) or the previous one (Exchange/CompareExchange).
LONG WINAPI InterlockedIncrement(LONG volatile* Addend);
LONG WINAPI InterlockedDecrement(LONG volatile* Addend);
LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value);
LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG ExChange, LONG Comperand);
LONG WINAPI InterlockedExchangeAdd(LONG volatile* Addend, LONG Value);

/// HMODULE is the load base address of a module. With
/// GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS lpModuleName is an address inside the module;
/// otherwise it is a module name (null: the main program). Without
/// GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT the module gains a reference (FreeLibrary
/// drops it). FALSE with ERROR_MOD_NOT_FOUND (126) or ERROR_INVALID_PARAMETER (87).
BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule);
/// The module of that name already loaded (null: the main program), or null with 126.
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
/// The full path of a module (null: the main program). Returns the length copied; when the
/// buffer is too small the path is cut, terminated, nSize is returned and the error is
/// ERROR_INSUFFICIENT_BUFFER (122). 0 with ERROR_MOD_NOT_FOUND (126) for an unknown module.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
/// Loads a shared object (dlopen, RTLD_NOW); null with 126 (missing) or 193 (not loadable).
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
/// A symbol of a loaded module, or null with ERROR_PROC_NOT_FOUND (127).
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
/// Drops a reference taken by LoadLibraryA or GetModuleHandleExA.
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
/// Nothing to do: there are no thread notifications here. Always TRUE.
BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule);

/// Fills *randomValue from the system's random source; 0, or EINVAL for a null pointer.
int rand_s(unsigned int* randomValue);

}  // extern "C"

namespace ferrolift {

// The C runtime generator of the component's home system: state = state * 214013 +
// 2531011, result (state >> 16) & 0x7fff, one state per thread starting at 1.
// They are functions of namespace ferrolift, not the global rand/srand, so glibc's
// generator stays intact for everyone else in the process: code inside namespace
// ferrolift (or with `using ferrolift::rand;` in its function) reaches these under the
// plain names.

/// Next value 0..0x7fff of the calling thread's generator.
int rand();
/// Restarts the calling thread's generator with inSeed.
void srand(unsigned int inSeed);

}  // namespace ferrolift

#define FERROLIFT_RAND_MAX 0x7fff

namespace ferrolift::platform {

/// A replacement tick source for tests (milliseconds, 64 bits; GetTickCount truncates);
/// null restores the monotonic clock. Process-wide.
using TickSource = ULONGLONG (*)();
void SetTickCountSource(TickSource inSource);

}  // namespace ferrolift::platform

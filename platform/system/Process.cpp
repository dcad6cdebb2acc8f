// Process and thread identity, version information, process exit, the random source.
#include "platform/system/System.h"

#include "platform/errors/Errors.h"

#include <mutex>
#include <pthread.h>
#include <cerrno>
#include <cstring>
#include <sys/random.h>
#include <unistd.h>

extern "C" BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation)
{
    if (lpVersionInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD theSize = lpVersionInformation->dwOSVersionInfoSize;
    if (theSize != sizeof(OSVERSIONINFOA) && theSize != sizeof(OSVERSIONINFOEXA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Always a current NT (10.0): behaviour meant only for older systems stays off.
    std::memset(reinterpret_cast<BYTE*>(lpVersionInformation) + sizeof(DWORD), 0, theSize - sizeof(DWORD));
    lpVersionInformation->dwMajorVersion = 10;
    lpVersionInformation->dwMinorVersion = 0;
    lpVersionInformation->dwBuildNumber = 19045;
    lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
    if (theSize == sizeof(OSVERSIONINFOEXA))
        reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation)->wProductType = VER_NT_WORKSTATION;
    return TRUE;
}

extern "C" void WINAPI ExitProcess(UINT uExitCode)
{
    ::_exit(static_cast<int>(uExitCode));
}

namespace {
// Every lock entry asks for the thread id, and a system call per entry dominated the
// cost of the progress registry: the id is kept per thread and forgotten in a forked
// child, whose thread has a new one.
thread_local DWORD tCachedThreadId = 0;

void ForgetCachedThreadId()
{
    tCachedThreadId = 0;
}
}  // namespace

extern "C" DWORD WINAPI GetCurrentThreadId()
{
    if (tCachedThreadId == 0) {
        static std::once_flag sAtForkOnce;
        std::call_once(sAtForkOnce, [] { ::pthread_atfork(nullptr, nullptr, ForgetCachedThreadId); });
        tCachedThreadId = static_cast<DWORD>(::gettid());
    }
    return tCachedThreadId;
}

extern "C" DWORD WINAPI GetCurrentProcessId()
{
    return static_cast<DWORD>(::getpid());
}

extern "C" int rand_s(unsigned int* randomValue)
{
    if (randomValue == nullptr)
        return EINVAL;
    unsigned int theValue = 0;
    ssize_t theRead = 0;
    do {
        theRead = ::getrandom(&theValue, sizeof theValue, 0);
    } while (theRead < 0 && errno == EINTR);
    if (theRead != static_cast<ssize_t>(sizeof theValue))
        return ENOMEM;
    *randomValue = theValue;
    return 0;
}

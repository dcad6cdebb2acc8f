// The millisecond tick counter and Sleep.
#include "platform/system/System.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <sched.h>

namespace {

std::atomic<ferrolift::platform::TickSource> gTickSource{nullptr};

ULONGLONG MonotonicMilliseconds()
{
    timespec theNow {};
    ::clock_gettime(CLOCK_MONOTONIC, &theNow);
    return static_cast<ULONGLONG>(theNow.tv_sec) * 1000U + static_cast<ULONGLONG>(theNow.tv_nsec) / 1000000U;
}

}  // namespace

namespace ferrolift::platform {

void SetTickCountSource(TickSource inSource)
{
    gTickSource.store(inSource);
}

}  // namespace ferrolift::platform

extern "C" ULONGLONG WINAPI GetTickCount64()
{
    const ferrolift::platform::TickSource theSource = gTickSource.load();
    return theSource != nullptr ? theSource() : MonotonicMilliseconds();
}

extern "C" DWORD WINAPI GetTickCount()
{
    return static_cast<DWORD>(GetTickCount64());
}

extern "C" void WINAPI Sleep(DWORD dwMilliseconds)
{
    if (dwMilliseconds == 0) {
        ::sched_yield();
        return;
    }
    const bool theForever = dwMilliseconds == INFINITE;
    timespec theRest {static_cast<time_t>(dwMilliseconds / 1000), static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    do {
        while (::nanosleep(&theRest, &theRest) != 0 && errno == EINTR) {
        }
        theRest = {3600, 0};
    } while (theForever);
}

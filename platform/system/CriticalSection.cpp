// Critical sections as recursive pthread mutexes stored inside the caller's struct.
#include "platform/system/System.h"

#include <new>
#include <pthread.h>

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::Opaque));
static_assert(alignof(pthread_mutex_t) <= 8);

pthread_mutex_t* MutexOf(LPCRITICAL_SECTION inSection)
{
    return std::launder(reinterpret_cast<pthread_mutex_t*>(inSection->Opaque));
}

// Bookkeeping for debuggers and tests; it changes only under the mutex.
void NoteEntered(LPCRITICAL_SECTION inSection)
{
    if (inSection->RecursionCount++ == 0)
        inSection->OwningThread = GetCurrentThreadId();
}

}  // namespace

extern "C" void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    pthread_mutexattr_t theAttributes;
    ::pthread_mutexattr_init(&theAttributes);
    ::pthread_mutexattr_settype(&theAttributes, PTHREAD_MUTEX_RECURSIVE);
    ::new (lpCriticalSection->Opaque) pthread_mutex_t;
    ::pthread_mutex_init(MutexOf(lpCriticalSection), &theAttributes);
    ::pthread_mutexattr_destroy(&theAttributes);
    lpCriticalSection->RecursionCount = 0;
    lpCriticalSection->OwningThread = 0;
}

extern "C" BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD)
{
    InitializeCriticalSection(lpCriticalSection);
    return TRUE;
}

extern "C" void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    ::pthread_mutex_lock(MutexOf(lpCriticalSection));
    NoteEntered(lpCriticalSection);
}

extern "C" BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    if (::pthread_mutex_trylock(MutexOf(lpCriticalSection)) != 0)
        return FALSE;
    NoteEntered(lpCriticalSection);
    return TRUE;
}

extern "C" void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    if (--lpCriticalSection->RecursionCount == 0)
        lpCriticalSection->OwningThread = 0;
    ::pthread_mutex_unlock(MutexOf(lpCriticalSection));
}

extern "C" void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    ::pthread_mutex_destroy(MutexOf(lpCriticalSection));
}

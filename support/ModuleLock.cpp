// ModuleLock.cpp: the module's lock count.
#include "support/ModuleLock.h"

namespace {

LONG volatile gLockCount = 0;

}  // namespace

void LockModule()
{
    InterlockedIncrement(&gLockCount);
}

void UnlockModule()
{
    InterlockedDecrement(&gLockCount);
}

LONG ModuleLockCount()
{
    return InterlockedCompareExchange(&gLockCount, 0, 0);
}

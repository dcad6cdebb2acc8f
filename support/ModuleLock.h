// ModuleLock.h: the module's lock count: live objects plus outstanding server locks.
// DllCanUnloadNow answers S_OK only at 0.
//
//   LockModule();      // an object was made, or LockServer(TRUE)
//   UnlockModule();    // it was destroyed, or LockServer(FALSE)
#pragma once

#include <windows.h>

/// Adds one to the lock count (atomically).
void LockModule();
/// Removes one from the lock count (atomically).
void UnlockModule();
/// The current lock count.
LONG ModuleLockCount();

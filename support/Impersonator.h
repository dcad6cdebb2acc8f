// Impersonator.h: lets a form make its calling thread run as another account, and names
// the account the current thread runs as.
//
//   Impersonator theImp;
//   if (!theImp.ImpersonateUser("alice", "secret", "")) {
//       DWORD theError = GetLastError();   // 1326 for a wrong name or password
//   }
//   char theUser[256], theDomain[256];
//   bool theUsedProcess = false;
//   GetTokenAccount(theUser, theDomain, theUsedProcess);   // "alice", host name
//   theImp.StopImpersonating();           // back to the process account
#pragma once

#include <windows.h>

#include "platform/common/UniqueHandle.h"

/// Owns the logon token of the impersonation it started; destroying it ends that
/// impersonation. Use it only on the thread that impersonates.
class Impersonator {
public:
    Impersonator() = default;
    ~Impersonator();
    Impersonator(const Impersonator&) = delete;
    Impersonator& operator=(const Impersonator&) = delete;

    /// Ends any earlier impersonation, then (for a non-empty inName) logs the account on
    /// as a batch logon and impersonates it on the calling thread. False with the system
    /// error code in GetLastError; the thread is then reverted to the process account.
    bool ImpersonateUser(LPCSTR inName, LPCSTR inPassword, LPCSTR inDomain);

    /// Reverts the calling thread and closes the held token; true when none is held.
    bool StopImpersonating();

    /// Whether an impersonation is active (a token is held).
    bool IsImpersonating() const { return mToken.valid(); }

private:
    UniqueHandle mToken;
};

/// Buffer size, in characters including the terminator, for the names GetTokenAccount
/// writes.
constexpr DWORD kAccountNameSize = 256;

/// Names the account of the calling thread's token, or of the process token when the
/// thread does not impersonate (outUsedProcessToken true). outUser and outDomain must
/// hold kAccountNameSize characters. False with the system error code set on failure.
bool GetTokenAccount(LPSTR outUser, LPSTR outDomain, bool& outUsedProcessToken);

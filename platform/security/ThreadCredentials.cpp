// ThreadCredentials.cpp: per-thread impersonation and the thread and process tokens.
//
// glibc's setresuid() and friends change every thread of the process (they broadcast
// the change), which is the opposite of impersonation; the raw system calls change the
// calling thread only. Only the effective ids move: the real and saved ids stay, so a
// thread that runs as root can always come back.
#include "platform/security/Security.h"

#include "platform/security/Account.h"
#include "platform/security/Token.h"
#include "platform/errors/Errors.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace ferrolift::platform {

namespace {

thread_local AccountPtr tImpersonated;
// Set while the thread may hold credentials other than the process's without an
// impersonation to show for it: a change that failed halfway and could not be undone.
// RevertToSelf keeps trying to restore until it succeeds.
thread_local bool tUnrestored = false;

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));

/// Gives the calling thread the effective ids and groups of inAccount. The groups and
/// gid go first, while the thread may still change them. Returns 0 or errno.
int ApplyToThread(const Account& inAccount)
{
    if (syscall(SYS_setgroups, inAccount.mGroups.size(), inAccount.mGroups.data()) != 0)
        return errno;
    if (syscall(SYS_setresgid, static_cast<gid_t>(-1), inAccount.mGid, static_cast<gid_t>(-1)) != 0)
        return errno;
    if (syscall(SYS_setresuid, static_cast<uid_t>(-1), inAccount.mUid, static_cast<uid_t>(-1)) != 0)
        return errno;
    return 0;
}

/// Puts the calling thread back on the process account. The uid goes first, as it
/// restores the right to change groups. Returns 0 or errno.
int RestoreThread(const Account& inProcess)
{
    if (syscall(SYS_setresuid, static_cast<uid_t>(-1), inProcess.mUid, static_cast<uid_t>(-1)) != 0)
        return errno;
    if (syscall(SYS_setresgid, static_cast<gid_t>(-1), inProcess.mGid, static_cast<gid_t>(-1)) != 0)
        return errno;
    if (syscall(SYS_setgroups, inProcess.mGroups.size(), inProcess.mGroups.data()) != 0)
        return errno;
    return 0;
}

bool SameCredentials(const Account& inA, const Account& inB)
{
    return inA.mUid == inB.mUid && inA.mGid == inB.mGid && inA.mGroups == inB.mGroups;
}

/// Hands out a new handle to a token for inAccount.
BOOL OpenTokenFor(AccountPtr inAccount, PHANDLE outToken)
{
    HANDLE theHandle = nullptr;
    try {
        theHandle = InsertHandle(std::make_shared<Token>(std::move(inAccount)));
    } catch (const std::bad_alloc&) {
    }
    if (theHandle == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    *outToken = theHandle;
    return TRUE;
}

}  // namespace

AccountPtr ThreadImpersonation()
{
    return tImpersonated;
}

}  // namespace ferrolift::platform

using namespace ferrolift::platform;

extern "C" HANDLE GetCurrentProcess(void)
{
    return kCurrentProcess;
}

extern "C" HANDLE GetCurrentThread(void)
{
    return kCurrentThread;
}

extern "C" BOOL ImpersonateLoggedOnUser(HANDLE inToken)
{
    std::shared_ptr<Token> theToken = LookupHandle<Token>(inToken);
    if (!theToken)
        return FALSE;
    const AccountPtr& theProcess = ProcessAccount();
    if (!RevertToSelf())
        return FALSE;
    const AccountPtr& theAccount = theToken->account();
    // Taking on the credentials one already has needs no privilege.
    if (!SameCredentials(*theAccount, *theProcess)) {
        int theError = ApplyToThread(*theAccount);
        if (theError != 0) {
            // Part of the account may already be on the thread; never leave it there
            // unnoticed. Until a restore succeeds, RevertToSelf fails and retries it.
            if (RestoreThread(*theProcess) != 0)
                tUnrestored = true;
            SetLastErrorFromErrno(theError, "setresuid");
            return FALSE;
        }
    }
    tImpersonated = theAccount;
    return TRUE;
}

extern "C" BOOL RevertToSelf(void)
{
    if (!tImpersonated && !tUnrestored)
        return TRUE;
    const AccountPtr& theProcess = ProcessAccount();
    if (tUnrestored || !SameCredentials(*tImpersonated, *theProcess)) {
        int theError = RestoreThread(*theProcess);
        if (theError != 0) {
            tUnrestored = true;
            SetLastErrorFromErrno(theError, "setresuid");
            return FALSE;
        }
    }
    tImpersonated.reset();
    tUnrestored = false;
    return TRUE;
}

extern "C" BOOL OpenThreadToken(HANDLE inThread, DWORD /*inDesiredAccess*/, BOOL /*inOpenAsSelf*/,
                                PHANDLE outToken)
{
    if (outToken == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *outToken = nullptr;
    // Only the calling thread's token can be reached: other threads have no handles here.
    if (inThread != kCurrentThread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!tImpersonated) {
        SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    }
    return OpenTokenFor(tImpersonated, outToken);
}

extern "C" BOOL OpenProcessToken(HANDLE inProcess, DWORD /*inDesiredAccess*/, PHANDLE outToken)
{
    if (outToken == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *outToken = nullptr;
    if (inProcess != kCurrentProcess) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return OpenTokenFor(ProcessAccount(), outToken);
}

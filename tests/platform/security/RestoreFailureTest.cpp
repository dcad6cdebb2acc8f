// A thread whose impersonation fails halfway and whose way back fails too must never be
// left on foreign credentials that RevertToSelf no longer undoes. The kernel is made to
// refuse chosen credential calls of one thread (a seccomp filter whose listener decides
// call by call), so the failures are real system-call failures. Root only.
#include <windows.h>

#include <gtest/gtest.h>

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/TestAccount.h"

namespace {

#if defined(__x86_64__)
constexpr __u32 kArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr __u32 kArchitecture = AUDIT_ARCH_AARCH64;
#else
constexpr __u32 kArchitecture = 0;
#endif

/// One refused call: system call number and the value of its second argument (the new
/// effective id for setresuid and setresgid).
struct Refusal {
    long call;
    unsigned long id;
};

/// Hands the calling thread's setresuid, setresgid and setgroups to a listener thread,
/// which fails the ones on its refusal list with EPERM and lets every other one run. The
/// filter stays on the thread for its life, so install it on a thread of the test's own.
class CredentialGate {
public:
    CredentialGate()
    {
        if (kArchitecture == 0) {
            mFailure = "no filter for this architecture";
            return;
        }
        sock_filter theProgram[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArchitecture, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_setresuid, 3, 0),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_setresgid, 2, 0),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_setgroups, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF),
        };
        sock_fprog theFilter = {static_cast<unsigned short>(sizeof theProgram / sizeof theProgram[0]), theProgram};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
            mFailure = "no_new_privs refused";
            return;
        }
        mListener = static_cast<int>(
            syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_NEW_LISTENER, &theFilter));
        if (mListener < 0) {
            mFailure = std::string("seccomp listener refused: ") + strerror(errno);
            return;
        }
        mSupervisor = std::thread([this] { Supervise(); });
    }
    ~CredentialGate()
    {
        mStop = true;
        if (mSupervisor.joinable())
            mSupervisor.join();
        if (mListener >= 0)
            close(mListener);
    }
    CredentialGate(const CredentialGate&) = delete;
    CredentialGate& operator=(const CredentialGate&) = delete;

    /// Why the gate could not be installed ("" when it is).
    const std::string& Failure() const { return mFailure; }

    void Refuse(std::vector<Refusal> inRefusals)
    {
        std::lock_guard theGuard(mLock);
        mRefusals = std::move(inRefusals);
    }

private:
    void Supervise()
    {
        while (!mStop) {
            pollfd theWait = {mListener, POLLIN, 0};
            if (poll(&theWait, 1, 50) <= 0 || (theWait.revents & POLLIN) == 0)
                continue;
            seccomp_notif theCall = {};
            if (ioctl(mListener, SECCOMP_IOCTL_NOTIF_RECV, &theCall) != 0)
                continue;
            seccomp_notif_resp theAnswer = {};
            theAnswer.id = theCall.id;
            theAnswer.flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
            if (Refused(theCall.data.nr, static_cast<unsigned long>(theCall.data.args[1]))) {
                theAnswer.flags = 0;
                theAnswer.error = -EPERM;
            }
            ioctl(mListener, SECCOMP_IOCTL_NOTIF_SEND, &theAnswer);
        }
    }

    bool Refused(long inCall, unsigned long inId)
    {
        std::lock_guard theGuard(mLock);
        for (const Refusal& theRefusal : mRefusals) {
            if (theRefusal.call == inCall && static_cast<unsigned int>(theRefusal.id) == static_cast<unsigned int>(inId))
                return true;
        }
        return false;
    }

    int mListener = -1;
    std::string mFailure;
    std::atomic<bool> mStop{false};
    std::mutex mLock;
    std::vector<Refusal> mRefusals;
    std::thread mSupervisor;
};

/// The calling thread's effective ids and groups, from the kernel.
struct Credentials {
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups;
    bool operator==(const Credentials&) const = default;
};

Credentials ThreadCredentials()
{
    std::vector<gid_t> theGroups(static_cast<size_t>(getgroups(0, nullptr)));
    theGroups.resize(static_cast<size_t>(getgroups(static_cast<int>(theGroups.size()), theGroups.data())));
    return {static_cast<uid_t>(syscall(SYS_geteuid)), static_cast<gid_t>(syscall(SYS_getegid)), theGroups};
}

class RestoreFailureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sAccount = TestAccount::Create("fltrest"); }
    static void TearDownTestSuite() { sAccount.reset(); }

    void SetUp() override
    {
        if (!TestAccount::Unavailable().empty())
            GTEST_SKIP() << TestAccount::Unavailable();
        ASSERT_NE(sAccount, nullptr) << "could not create the test account";
        ASSERT_TRUE(LogonUserA(sAccount->name().c_str(), nullptr, sAccount->password().c_str(),
                               LOGON32_LOGON_BATCH, LOGON32_PROVIDER_DEFAULT, &mToken))
            << GetLastError();
        const passwd* theEntry = getpwnam(sAccount->name().c_str());
        ASSERT_NE(theEntry, nullptr);
        mUid = theEntry->pw_uid;
        mGid = theEntry->pw_gid;
    }
    void TearDown() override
    {
        if (mToken != nullptr)
            CloseHandle(mToken);
    }

    static inline std::unique_ptr<TestAccount> sAccount;
    HANDLE mToken = nullptr;
    uid_t mUid = 0;
    gid_t mGid = 0;
};

TEST_F(RestoreFailureTest, HalfAppliedAccountStaysUndoableUntilRevertSucceeds)
{
    std::thread([&] {
        const Credentials theProcess = ThreadCredentials();
        CredentialGate theGate;
        if (!theGate.Failure().empty()) {
            GTEST_SKIP() << theGate.Failure();
            return;
        }
        // Taking the uid fails after groups and gid were taken; putting the gid back fails.
        theGate.Refuse({{SYS_setresuid, mUid}, {SYS_setresgid, theProcess.gid}});
        EXPECT_FALSE(ImpersonateLoggedOnUser(mToken));
        const Credentials theStuck = ThreadCredentials();
        ASSERT_EQ(theStuck.gid, mGid) << "the gate should have left the account's gid on the thread";

        // While the way back is refused, reverting says so instead of claiming success,
        // and no new impersonation starts from the foreign state.
        EXPECT_FALSE(RevertToSelf());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_FALSE(RevertToSelf());
        EXPECT_FALSE(ImpersonateLoggedOnUser(mToken));
        EXPECT_EQ(ThreadCredentials().gid, mGid);

        // Once the system lets it, RevertToSelf puts the whole process account back.
        theGate.Refuse({});
        EXPECT_TRUE(RevertToSelf());
        EXPECT_EQ(ThreadCredentials(), theProcess);
        EXPECT_TRUE(RevertToSelf());

        // And the thread impersonates normally again.
        EXPECT_TRUE(ImpersonateLoggedOnUser(mToken));
        EXPECT_EQ(ThreadCredentials().uid, mUid);
        EXPECT_TRUE(RevertToSelf());
        EXPECT_EQ(ThreadCredentials(), theProcess);
    }).join();
}

}  // namespace

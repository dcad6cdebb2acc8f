// Tokens, SIDs and account names (any user), and logon plus per-thread impersonation
// for real (root only: a throw-away account).
#include <windows.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/TestAccount.h"

namespace {

/// The account name and domain behind a token, or "" on failure.
struct NamedAccount {
    std::string name;
    std::string domain;
};

NamedAccount NameOfToken(HANDLE inToken)
{
    BYTE theBuffer[256];
    DWORD theNeeded = 0;
    if (!GetTokenInformation(inToken, TokenUser, theBuffer, sizeof theBuffer, &theNeeded))
        return {};
    char theName[256], theDomain[256];
    DWORD theNameLen = sizeof theName, theDomainLen = sizeof theDomain;
    SID_NAME_USE theUse = SidTypeUnknown;
    if (!LookupAccountSidA(nullptr, reinterpret_cast<TOKEN_USER*>(theBuffer)->User.Sid, theName, &theNameLen,
                           theDomain, &theDomainLen, &theUse))
        return {};
    EXPECT_EQ(theUse, SidTypeUser);
    EXPECT_EQ(theNameLen, strlen(theName));
    return {theName, theDomain};
}

std::vector<gid_t> ThreadGroups()
{
    std::vector<gid_t> theGroups(static_cast<size_t>(getgroups(0, nullptr)));
    theGroups.resize(static_cast<size_t>(getgroups(static_cast<int>(theGroups.size()), theGroups.data())));
    return theGroups;
}

std::string HostLabel()
{
    char theHost[256] = {};
    gethostname(theHost, sizeof theHost - 1);
    std::string theName(theHost);
    return theName.substr(0, theName.find('.'));
}

std::string ProcessUserName()
{
    HANDLE theToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &theToken))
        return {};
    NamedAccount theAccount = NameOfToken(theToken);
    EXPECT_EQ(theAccount.domain, HostLabel());
    EXPECT_TRUE(CloseHandle(theToken));
    EXPECT_FALSE(CloseHandle(theToken));
    return theAccount.name;
}

TEST(TokenTest, ThreadWithoutImpersonationHasNoToken)
{
    HANDLE theToken = reinterpret_cast<HANDLE>(1);
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | READ_CONTROL, TRUE, &theToken));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    EXPECT_EQ(theToken, nullptr);
    EXPECT_TRUE(RevertToSelf());  // nothing to revert is fine
}

TEST(TokenTest, TokenUserFollowsTheSizeProtocol)
{
    HANDLE theToken = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &theToken));
    DWORD theNeeded = 0;
    EXPECT_FALSE(GetTokenInformation(theToken, TokenUser, nullptr, 0, &theNeeded));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_GT(theNeeded, sizeof(TOKEN_USER));

    std::vector<BYTE> theBuffer(theNeeded);
    DWORD theSecond = 0;
    EXPECT_FALSE(GetTokenInformation(theToken, TokenUser, theBuffer.data(), theNeeded - 1, &theSecond));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_TRUE(GetTokenInformation(theToken, TokenUser, theBuffer.data(), theNeeded, &theSecond));
    EXPECT_EQ(theSecond, theNeeded);

    // The SID lies inside the caller's buffer and describes the effective uid.
    PSID theSid = reinterpret_cast<TOKEN_USER*>(theBuffer.data())->User.Sid;
    ASSERT_TRUE(IsValidSid(theSid));
    EXPECT_GE(static_cast<BYTE*>(theSid), theBuffer.data());
    EXPECT_LE(static_cast<BYTE*>(theSid) + GetLengthSid(theSid), theBuffer.data() + theNeeded);
    EXPECT_FALSE(GetTokenInformation(theToken, TokenGroups, theBuffer.data(), theNeeded, &theSecond));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CloseHandle(theToken);
    EXPECT_FALSE(GetTokenInformation(theToken, TokenUser, theBuffer.data(), theNeeded, &theSecond));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(TokenTest, LookupAccountSidReportsSizesAndUnknownSids)
{
    HANDLE theToken = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &theToken));
    BYTE theBuffer[256];
    DWORD theNeeded = 0;
    ASSERT_TRUE(GetTokenInformation(theToken, TokenUser, theBuffer, sizeof theBuffer, &theNeeded));
    CloseHandle(theToken);
    PSID theSid = reinterpret_cast<TOKEN_USER*>(theBuffer)->User.Sid;
    const std::string theUser = ProcessUserName();
    ASSERT_FALSE(theUser.empty());

    char theName[2], theDomain[256];
    DWORD theNameLen = sizeof theName, theDomainLen = sizeof theDomain;
    EXPECT_FALSE(LookupAccountSidA(nullptr, theSid, theName, &theNameLen, theDomain, &theDomainLen, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(theNameLen, theUser.size() + 1);
    EXPECT_EQ(theDomainLen, HostLabel().size() + 1);

    // A uid no account has.
    DWORD theSubs[2] = {1, 3999999999u};
    memcpy(static_cast<BYTE*>(theSid) + 8, theSubs, sizeof theSubs);
    theNameLen = sizeof theName;
    EXPECT_FALSE(LookupAccountSidA(nullptr, theSid, theName, &theNameLen, theDomain, &theDomainLen, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NONE_MAPPED));

    static_cast<SID*>(theSid)->Revision = 9;
    EXPECT_FALSE(LookupAccountSidA(nullptr, theSid, theName, &theNameLen, theDomain, &theDomainLen, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

/// Logon and impersonation against a real account.
class ImpersonationTest : public testing::Test {
protected:
    static void SetUpTestSuite() { sAccount = TestAccount::Create("fltsec"); }
    static void TearDownTestSuite() { sAccount.reset(); }

    void SetUp() override
    {
        const std::string theReason = TestAccount::Unavailable();
        if (!theReason.empty())
            GTEST_SKIP() << theReason;
        ASSERT_NE(sAccount, nullptr) << "could not create the test account";
        char theDir[] = "/tmp/flt-security-XXXXXX";
        ASSERT_NE(mkdtemp(theDir), nullptr);
        chmod(theDir, 0777);
        mDir = theDir;
    }
    void TearDown() override
    {
        if (!mDir.empty())
            std::system(("rm -rf " + mDir).c_str());
    }

    HANDLE LogOn(const char* inDomain = nullptr)
    {
        HANDLE theToken = nullptr;
        EXPECT_TRUE(LogonUserA(sAccount->name().c_str(), inDomain, sAccount->password().c_str(),
                               LOGON32_LOGON_BATCH, LOGON32_PROVIDER_DEFAULT, &theToken))
            << GetLastError();
        return theToken;
    }

    /// Creates a file and returns its owner's uid, or -1.
    long CreateOwned(const std::string& inName)
    {
        const std::string thePath = mDir + "/" + inName;
        int theFd = open(thePath.c_str(), O_CREAT | O_WRONLY | O_EXCL, 0644);
        if (theFd < 0)
            return -1;
        struct stat theStat {};
        fstat(theFd, &theStat);
        close(theFd);
        return static_cast<long>(theStat.st_uid);
    }

    static inline std::unique_ptr<TestAccount> sAccount;
    std::string mDir;
};

TEST_F(ImpersonationTest, WrongPasswordAndUnknownAccountFailWithLogonFailure)
{
    HANDLE theToken = nullptr;
    EXPECT_FALSE(LogonUserA(sAccount->name().c_str(), nullptr, "not the password", LOGON32_LOGON_BATCH,
                            LOGON32_PROVIDER_DEFAULT, &theToken));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOGON_FAILURE));
    EXPECT_FALSE(LogonUserA("no-such-account-flt", nullptr, "x", LOGON32_LOGON_BATCH, LOGON32_PROVIDER_DEFAULT,
                            &theToken));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOGON_FAILURE));
    EXPECT_EQ(theToken, nullptr);
}

TEST_F(ImpersonationTest, OnlyTheImpersonatingThreadChangesAccount)
{
    HANDLE theToken = LogOn(HostLabel().c_str());
    ASSERT_NE(theToken, nullptr);
    EXPECT_EQ(NameOfToken(theToken).name, sAccount->name());
    const uid_t theUid = getpwnam(sAccount->name().c_str())->pw_uid;

    std::string theThreadUser;
    long theOwnerWhileImpersonating = -2, theOwnerAfterRevert = -2, theOwnerElsewhere = -2;
    bool theSecretReadable = true;
    const std::string theSecret = mDir + "/root-only";
    close(open(theSecret.c_str(), O_CREAT | O_WRONLY, 0600));

    std::atomic<int> theStep{0};
    std::thread theWorker([&] {
        ASSERT_TRUE(ImpersonateLoggedOnUser(theToken));
        HANDLE theThreadToken = nullptr;
        if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | READ_CONTROL, TRUE, &theThreadToken)) {
            theThreadUser = NameOfToken(theThreadToken).name;
            CloseHandle(theThreadToken);
        }
        theOwnerWhileImpersonating = CreateOwned("as-account");
        int theFd = open(theSecret.c_str(), O_RDONLY);
        theSecretReadable = theFd >= 0;
        if (theFd >= 0)
            close(theFd);
        theStep = 1;
        while (theStep != 2)
            std::this_thread::yield();
        EXPECT_TRUE(RevertToSelf());
        theOwnerAfterRevert = CreateOwned("after-revert");
    });
    while (theStep != 1)
        std::this_thread::yield();
    // The worker impersonates right now; this thread is still root.
    theOwnerElsewhere = CreateOwned("meanwhile");
    theStep = 2;
    theWorker.join();

    EXPECT_EQ(theThreadUser, sAccount->name());
    EXPECT_EQ(theOwnerWhileImpersonating, static_cast<long>(theUid));
    EXPECT_FALSE(theSecretReadable);
    EXPECT_EQ(theOwnerElsewhere, 0);
    EXPECT_EQ(theOwnerAfterRevert, 0);
    EXPECT_TRUE(CloseHandle(theToken));
}

TEST_F(ImpersonationTest, ClosingTheTokenKeepsTheImpersonationUntilRevert)
{
    HANDLE theToken = LogOn();
    ASSERT_NE(theToken, nullptr);
    const std::vector<gid_t> theRootGroups = ThreadGroups();
    const passwd* theEntry = getpwnam(sAccount->name().c_str());
    ASSERT_NE(theEntry, nullptr);
    const uid_t theUid = theEntry->pw_uid;
    const gid_t theGid = theEntry->pw_gid;
    std::thread theWorker([&] {
        ASSERT_TRUE(ImpersonateLoggedOnUser(theToken));
        EXPECT_TRUE(CloseHandle(theToken));
        EXPECT_EQ(geteuid(), theUid);
        EXPECT_EQ(getegid(), theGid);
        EXPECT_EQ(ThreadGroups(), std::vector<gid_t>{theGid});
        // Impersonating the same account again from an impersonating thread works.
        HANDLE theAgain = LogOn();
        EXPECT_TRUE(ImpersonateLoggedOnUser(theAgain));
        CloseHandle(theAgain);
        HANDLE theThreadToken = nullptr;
        EXPECT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &theThreadToken));
        EXPECT_EQ(NameOfToken(theThreadToken).name, sAccount->name());
        CloseHandle(theThreadToken);
        EXPECT_TRUE(RevertToSelf());
        EXPECT_EQ(geteuid(), 0u);
        EXPECT_EQ(getegid(), 0u);
        EXPECT_EQ(ThreadGroups(), theRootGroups);
        HANDLE theNone = nullptr;
        EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &theNone));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    });
    theWorker.join();
    EXPECT_FALSE(ImpersonateLoggedOnUser(theToken));  // closed
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace

// The form's impersonation helpers: SetUser semantics through Impersonator, and the
// account GetTokenAccount names with and without impersonation.
#include "support/Impersonator.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "common/TestAccount.h"

namespace {

struct ThreadAccount {
    bool ok = false;
    std::string user;
    std::string domain;
    bool usedProcessToken = false;
};

ThreadAccount CurrentAccount()
{
    ThreadAccount theAccount;
    char theUser[kAccountNameSize] = "junk", theDomain[kAccountNameSize] = "junk";
    theAccount.ok = GetTokenAccount(theUser, theDomain, theAccount.usedProcessToken);
    theAccount.user = theUser;
    theAccount.domain = theDomain;
    return theAccount;
}

std::string HostLabel()
{
    char theHost[256] = {};
    gethostname(theHost, sizeof theHost - 1);
    std::string theName(theHost);
    return theName.substr(0, theName.find('.'));
}

TEST(TokenAccountTest, ThreadWithoutImpersonationNamesTheProcessAccount)
{
    ThreadAccount theAccount = CurrentAccount();
    ASSERT_TRUE(theAccount.ok) << GetLastError();
    EXPECT_TRUE(theAccount.usedProcessToken);
    EXPECT_FALSE(theAccount.user.empty());
    EXPECT_EQ(theAccount.domain, HostLabel());
}

TEST(ImpersonatorTest, EmptyNameWithoutImpersonationSucceedsAndChangesNothing)
{
    Impersonator theImp;
    EXPECT_TRUE(theImp.ImpersonateUser("", "whatever", ""));
    EXPECT_TRUE(theImp.ImpersonateUser(nullptr, nullptr, nullptr));
    EXPECT_FALSE(theImp.IsImpersonating());
    EXPECT_TRUE(theImp.StopImpersonating());
    EXPECT_TRUE(CurrentAccount().usedProcessToken);
}

class ImpersonatorAccountTest : public testing::Test {
protected:
    static void SetUpTestSuite() { sAccount = TestAccount::Create("fltimp"); }
    static void TearDownTestSuite() { sAccount.reset(); }
    void SetUp() override
    {
        const std::string theReason = TestAccount::Unavailable();
        if (!theReason.empty())
            GTEST_SKIP() << theReason;
        ASSERT_NE(sAccount, nullptr) << "could not create the test account";
        mProcessUser = CurrentAccount().user;
    }

    static inline std::unique_ptr<TestAccount> sAccount;
    std::string mProcessUser;
};

TEST_F(ImpersonatorAccountTest, SetUserThenEmptyNameEndsTheImpersonation)
{
    Impersonator theImp;
    ASSERT_TRUE(theImp.ImpersonateUser(sAccount->name().c_str(), sAccount->password().c_str(), ""))
        << GetLastError();
    EXPECT_TRUE(theImp.IsImpersonating());
    ThreadAccount theAccount = CurrentAccount();
    EXPECT_TRUE(theAccount.ok);
    EXPECT_FALSE(theAccount.usedProcessToken);
    EXPECT_EQ(theAccount.user, sAccount->name());
    EXPECT_EQ(theAccount.domain, HostLabel());

    EXPECT_TRUE(theImp.ImpersonateUser("", "", ""));
    EXPECT_FALSE(theImp.IsImpersonating());
    theAccount = CurrentAccount();
    EXPECT_TRUE(theAccount.usedProcessToken);
    EXPECT_EQ(theAccount.user, mProcessUser);
    EXPECT_EQ(geteuid(), 0u);
}

TEST_F(ImpersonatorAccountTest, FailedLogonLeavesTheThreadReverted)
{
    Impersonator theImp;
    ASSERT_TRUE(theImp.ImpersonateUser(sAccount->name().c_str(), sAccount->password().c_str(), nullptr));
    EXPECT_FALSE(theImp.ImpersonateUser(sAccount->name().c_str(), "wrong password", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOGON_FAILURE));
    EXPECT_FALSE(theImp.IsImpersonating());
    EXPECT_EQ(geteuid(), 0u);
    EXPECT_EQ(CurrentAccount().user, mProcessUser);
}

}  // namespace

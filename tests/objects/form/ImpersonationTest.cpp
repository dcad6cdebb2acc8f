// SetUser for real: a throw-away account logged on through the form, the account a saved
// file belongs to, the calling thread only, wrong passwords, and the end of the
// impersonation by an empty name or the form's destruction. Needs root.
#include "objects/XForm.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "common/TestPage.h"
#include "common/Script.h"
#include "common/UploadBody.h"
#include "common/TestAccount.h"
#include "common/ScratchMachine.h"
#include "support/Impersonator.h"

namespace {

using Script::Text;
using Script::TextOf;
using ferrolift::test::Wide;

/// The account the calling thread runs as.
std::string ThreadUser()
{
    char theUser[kAccountNameSize] = {}, theDomain[kAccountNameSize] = {};
    bool theUsedProcess = false;
    return GetTokenAccount(theUser, theDomain, theUsedProcess) ? theUser : "<error>";
}

class ImpersonationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sAccount = TestAccount::Create("fltform"); }
    static void TearDownTestSuite() { sAccount.reset(); }

    void SetUp() override
    {
        if (!sAccount)
            GTEST_SKIP() << (TestAccount::Unavailable().empty() ? "account not made" : TestAccount::Unavailable());
        // A registry whose file and folders the platform makes, as it does for a server,
        // under a umask that would hide them from other accounts if it were obeyed.
        mSettings = (std::filesystem::temp_directory_path() /
                     ("ferrolift-settings-" + std::to_string(::getpid()) + "-" + std::to_string(++sCount)))
                        .string();
        std::filesystem::remove_all(mSettings);
        ::setenv("FERROLIFT_REGISTRY", (mSettings + "/machine/registry.reg").c_str(), 1);
        const mode_t theMask = ::umask(077);
        SetSettingDword("EnableImpersonation", 1);
        SetSettingDword("LogErrors", 1);
        ::umask(theMask);
        // The folder the account saves into; settings need no such help.
        ::chmod(mFolder.Path().c_str(), 0777);
        mForm = Script::NewForm();
        mProcessUser = ThreadUser();
    }
    void TearDown() override
    {
        mForm.reset();
        if (!mSettings.empty())
            std::filesystem::remove_all(mSettings);
    }

    Script::Outcome SetUser(const std::string& inName, const std::string& inPassword)
    {
        UniqueVariant theName = Text(Wide(inName));
        UniqueVariant thePassword = Text(Wide(inPassword));
        return Script::Run(mForm.get(), u"SetUser", {theName.get(), thePassword.get()});
    }

    static inline std::unique_ptr<TestAccount> sAccount;
    static inline int sCount = 0;
    ScratchMachine mMachine;
    std::string mSettings;
    ferrolift::test::ScopedTempFolder mFolder;
    ComPtr<IDispatch> mForm;
    std::string mProcessUser;
};

TEST_F(ImpersonationTest, SavedFileBelongsToTheAccountWhileOtherThreadsKeepTheProcessIdentity)
{
    ferrolift::test::TestPage thePage(UploadBody().File("f", "a.txt", "text/plain", "owned").Text());
    ASSERT_EQ(SetUser(sAccount->name(), sAccount->password()).hr, S_OK);
    EXPECT_EQ(TextOf(mForm.get(), u"User"), sAccount->name());
    EXPECT_NE(TextOf(mForm.get(), u"Domain"), "<error>");

    std::string theOtherUser;
    std::thread([&] { theOtherUser = ThreadUser(); }).join();
    EXPECT_EQ(theOtherUser, mProcessUser);

    Script::Put(mForm.get(), u"AbsolutePath", Script::Bool(true));
    UniqueVariant theName = Text(u"f");
    ComPtr<IDispatch> theGroup = Script::Object(mForm.get(), u"Item", {theName.get()});
    UniqueVariant theOne = Script::Long(1);
    ComPtr<IDispatch> theField = Script::Object(theGroup.get(), u"Item", {theOne.get()});
    UniqueVariant thePath = Text(Wide(mFolder / "owned.txt"));
    ASSERT_EQ(Script::Run(theField.get(), u"Save", {thePath.get()}).hr, S_OK);
    struct stat theInfo = {};
    ASSERT_EQ(::stat((mFolder / "owned.txt").c_str(), &theInfo), 0);
    const passwd* theAccount = ::getpwnam(sAccount->name().c_str());
    ASSERT_NE(theAccount, nullptr);
    EXPECT_EQ(theInfo.st_uid, theAccount->pw_uid);

    ASSERT_EQ(SetUser("", "").hr, S_OK);   // an empty name only ends it
    EXPECT_EQ(TextOf(mForm.get(), u"User"), mProcessUser);
}

TEST_F(ImpersonationTest, ImpersonatingThreadReadsTheSettings)
{
    ASSERT_EQ(SetUser(sAccount->name(), sAccount->password()).hr, S_OK);
    ASSERT_EQ(ThreadUser(), sAccount->name());
    DWORD theLogErrors = 0;
    EXPECT_TRUE(ReadSettingDword("LogErrors", &theLogErrors));
    EXPECT_EQ(theLogErrors, 1u);
    // Ending the impersonation reads EnableImpersonation on the impersonating thread.
    const Script::Outcome theEnd = SetUser("", "");
    EXPECT_EQ(theEnd.hr, S_OK) << theEnd.description;
    EXPECT_EQ(ThreadUser(), mProcessUser);
}

TEST_F(ImpersonationTest, WrongPasswordGivesTheSystemText)
{
    Script::Outcome theOutcome = SetUser(sAccount->name(), "not the password");
    EXPECT_EQ(theOutcome.hr, static_cast<HRESULT>(0x8004052E));
    EXPECT_NE(theOutcome.description.find("The user name or password is incorrect."), std::string::npos)
        << theOutcome.description;
    EXPECT_EQ(ThreadUser(), mProcessUser);
}

TEST_F(ImpersonationTest, ThreadRevertsWhenTheFormDies)
{
    ASSERT_EQ(SetUser(sAccount->name(), sAccount->password()).hr, S_OK);
    EXPECT_EQ(ThreadUser(), sAccount->name());
    mForm.reset();
    EXPECT_EQ(ThreadUser(), mProcessUser);
}

}  // namespace

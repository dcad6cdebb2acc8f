// Where the registry and the event log live by default, and that what the registry
// writes stays readable by the accounts a thread may impersonate.
#include "RegistryFixture.h"

#include "platform/eventlog/EventLog.h"
#include "platform/registry/Registry.h"
#include "platform/registry/StatePaths.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

using StateLocation = RegistryFixture;

/// The permission bits of inPath, or -1 when it does not exist.
int ModeOf(const std::string& inPath)
{
    struct stat theInfo {};
    return ::stat(inPath.c_str(), &theInfo) == 0 ? static_cast<int>(theInfo.st_mode & 07777) : -1;
}

/// Sets an environment variable for the scope and restores the earlier state after it.
class ScopedVariable {
public:
    ScopedVariable(const char* inName, const char* inValue) : mName(inName)
    {
        const char* theOld = ::getenv(inName);
        mHad = theOld != nullptr;
        mOld = mHad ? theOld : "";
        if (inValue != nullptr)
            ::setenv(inName, inValue, 1);
        else
            ::unsetenv(inName);
    }
    ~ScopedVariable()
    {
        if (mHad)
            ::setenv(mName.c_str(), mOld.c_str(), 1);
        else
            ::unsetenv(mName.c_str());
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string mName;
    std::string mOld;
    bool mHad = false;
};

TEST_F(StateLocation, RootDefaultsToSystemFoldersWhatEverItsHome)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "the system-wide default applies to servers started as root";
    ScopedVariable theRegistry("FERROLIFT_REGISTRY", nullptr);
    ScopedVariable theEventLog("FERROLIFT_EVENTLOG", nullptr);
    ScopedVariable theHome("HOME", "/root");
    ScopedVariable theState("XDG_STATE_HOME", "/root/.state");
    EXPECT_EQ(ferrolift::platform::RegistryFilePath(), "/var/lib/ferrolift/registry.reg");
    EXPECT_EQ(ferrolift::platform::EventLogFilePath(), "/var/log/ferrolift/eventlog.jsonl");
}

TEST_F(StateLocation, ChosenFilesWinAndTheLogFollowsAChosenRegistry)
{
    EXPECT_EQ(ferrolift::platform::RegistryFilePath(), mRegistry);
    EXPECT_EQ(ferrolift::platform::EventLogFilePath(), mEventLog);
    ScopedVariable theEventLog("FERROLIFT_EVENTLOG", nullptr);
    EXPECT_EQ(ferrolift::platform::EventLogFilePath(), mFolder + "/state/eventlog.jsonl");
    ::setenv("FERROLIFT_REGISTRY", (mFolder + "/other/machine.reg").c_str(), 1);
    EXPECT_EQ(ferrolift::platform::EventLogFilePath(), mFolder + "/other/eventlog.jsonl");
}

TEST_F(StateLocation, WrittenRegistryAndItsNewFoldersAreReadableByAllWhateverTheUmask)
{
    const std::string theDeep = mFolder + "/a/b/registry.reg";
    ::setenv("FERROLIFT_REGISTRY", theDeep.c_str(), 1);
    const mode_t theOldMask = ::umask(077);
    HKEY theKey = nullptr;
    const LSTATUS theCreated = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tallowmere\\Ferrolift\\4.0", 0,
                                               nullptr, 0, KEY_WRITE, nullptr, &theKey, nullptr);
    DWORD theValue = 1;
    const LSTATUS theSet =
        RegSetValueExA(theKey, "LogErrors", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&theValue), sizeof theValue);
    RegCloseKey(theKey);
    ::umask(theOldMask);
    ASSERT_EQ(theCreated, ERROR_SUCCESS);
    ASSERT_EQ(theSet, ERROR_SUCCESS);
    EXPECT_EQ(ModeOf(theDeep), 0644);
    EXPECT_EQ(ModeOf(mFolder + "/a"), 0755);
    EXPECT_EQ(ModeOf(mFolder + "/a/b"), 0755);
}

}  // namespace

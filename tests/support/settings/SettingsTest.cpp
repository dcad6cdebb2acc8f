// Settings read from the registry with their defaults, ModulePath, and the event source.
#include "support/Settings.h"

#include <gtest/gtest.h>

#include <string>

#include "common/ScratchMachine.h"
#include "support/EventLogWriter.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    ScratchMachine mMachine;
};

TEST_F(SettingsTest, AbsentValuesKeepTheCallersDefault)
{
    DWORD theValue = 1234;
    EXPECT_FALSE(ReadSettingDword("LogErrors", &theValue));
    EXPECT_EQ(theValue, 1234u);
    SetSettingDword("Other", 5);
    EXPECT_FALSE(ReadSettingDword("LogErrors", &theValue));
    EXPECT_EQ(theValue, 1234u);
}

TEST_F(SettingsTest, AnyTypeUpToFourBytesReadsAsLittleEndian)
{
    DWORD theValue = 0;
    SetSettingDword("EnableImpersonation", 7);
    EXPECT_TRUE(ReadSettingDword("EnableImpersonation", &theValue));
    EXPECT_EQ(theValue, 7u);

    const BYTE theFour[] = {0x01, 0x02, 0x03, 0x04};
    SetSettingBytes("LogErrors", REG_BINARY, theFour, 4);
    EXPECT_TRUE(ReadSettingDword("LogErrors", &theValue));
    EXPECT_EQ(theValue, 0x04030201u);

    const BYTE theTwo[] = {0x34, 0x12};
    SetSettingBytes("LogErrors", REG_BINARY, theTwo, 2);
    EXPECT_TRUE(ReadSettingDword("LogErrors", &theValue));
    EXPECT_EQ(theValue, 0x1234u);

    const BYTE theFive[] = {1, 2, 3, 4, 5};
    theValue = 99;
    SetSettingBytes("LogErrors", REG_BINARY, theFive, 5);
    EXPECT_FALSE(ReadSettingDword("LogErrors", &theValue));
    EXPECT_EQ(theValue, 99u);
}

TEST_F(SettingsTest, ReadChunkSizeOutlivesItsValue)
{
    const DWORD theStart = RefreshReadChunkSize();
    EXPECT_EQ(theStart, CurrentReadChunkSize());
    SetSettingDword("ReadChunkSize", 65536);
    EXPECT_EQ(RefreshReadChunkSize(), 65536u);
    DeleteSetting("ReadChunkSize");
    EXPECT_EQ(RefreshReadChunkSize(), 65536u);
    EXPECT_EQ(CurrentReadChunkSize(), 65536u);
}

TEST_F(SettingsTest, ModulePathRoundTrip)
{
    char thePath[MAX_PATH];
    EXPECT_NE(ReadModulePath(nullptr, thePath, sizeof thePath), 0u);
    ASSERT_EQ(WriteModulePath(), 0u);
    ASSERT_EQ(ReadModulePath("", thePath, sizeof thePath), 0u);
    EXPECT_NE(std::string(thePath).find("test_support_settings"), std::string::npos) << thePath;
}

TEST_F(SettingsTest, EventSourceNeedsModulePath)
{
    const std::string theKey = std::string(kEventSourceKeyPrefix) + "Ferrolift";
    EXPECT_EQ(EnsureEventSource(nullptr, "Ferrolift"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, theKey, "EventMessageFile"), "<missing>");

    ASSERT_EQ(WriteModulePath(), 0u);
    ASSERT_EQ(EnsureEventSource(nullptr, "Ferrolift"), 0u);
    char thePath[MAX_PATH];
    ReadModulePath(nullptr, thePath, sizeof thePath);
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, theKey, "EventMessageFile"), thePath);
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, theKey, "CategoryMessageFile"), thePath);
    DWORD theCount = 0;
    DWORD theTypes = 0;
    RegistryKey theSource;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, theKey.c_str(), 0, KEY_READ, theSource.put()), ERROR_SUCCESS);
    DWORD theSize = sizeof theCount;
    RegQueryValueExA(theSource.get(), "CategoryCount", nullptr, nullptr, reinterpret_cast<BYTE*>(&theCount), &theSize);
    theSize = sizeof theTypes;
    RegQueryValueExA(theSource.get(), "TypesSupported", nullptr, nullptr, reinterpret_cast<BYTE*>(&theTypes), &theSize);
    EXPECT_EQ(theCount, 1u);
    EXPECT_EQ(theTypes, 7u);

    EXPECT_EQ(EnsureEventSource(nullptr, std::string(65, 'n').c_str()), 13u);
    EXPECT_EQ(EnsureEventSource(nullptr, std::string(64, 'n').c_str()), 0u);
}

TEST_F(SettingsTest, LogEventWritesOneLineEntries)
{
    EXPECT_EQ(LogEvent("first\r\nsecond", EVENTLOG_WARNING_TYPE), 0u);
    const auto theEvents = mMachine.Events();
    ASSERT_EQ(theEvents.size(), 1u);
    EXPECT_NE(theEvents[0].find("first  second"), std::string::npos) << theEvents[0];
    EXPECT_NE(theEvents[0].find("Ferrolift"), std::string::npos);
}

}  // namespace

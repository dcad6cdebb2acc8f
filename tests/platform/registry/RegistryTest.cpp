// The registry calls, seen through the file they keep.
#include "RegistryFixture.h"

#include "platform/registry/ReadScope.h"

#include <algorithm>
#include <cstring>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Registry = RegistryFixture;

const char* const kSettings = "SOFTWARE\\Tallowmere\\Ferrolift\\4.0";

HKEY CreateKey(HKEY inParent, const char* inPath, DWORD* outDisposition = nullptr)
{
    HKEY theKey = nullptr;
    EXPECT_EQ(RegCreateKeyExA(inParent, inPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &theKey, outDisposition),
              ERROR_SUCCESS);
    return theKey;
}

DWORD ReadDword(HKEY inKey, const char* inName, LSTATUS* outStatus = nullptr)
{
    DWORD theValue = 0, theSize = sizeof theValue, theType = 0;
    const LSTATUS theStatus =
        RegQueryValueExA(inKey, inName, nullptr, &theType, reinterpret_cast<LPBYTE>(&theValue), &theSize);
    if (outStatus != nullptr)
        *outStatus = theStatus;
    return theValue;
}

TEST_F(Registry, ValuesRoundTripThroughTheFile)
{
    DWORD theDisposition = 0;
    HKEY theKey = CreateKey(HKEY_LOCAL_MACHINE, kSettings, &theDisposition);
    EXPECT_EQ(theDisposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const DWORD theTen = 10;
    const BYTE theBytes[] = {0x00, 0xff, 0x10};
    const char theMulti[] = "a\0bc\0";
    ASSERT_EQ(RegSetValueExA(theKey, "LogErrors", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&theTen), 4), 0);
    ASSERT_EQ(RegSetValueExA(theKey, "ModulePath", 0, REG_SZ, reinterpret_cast<const BYTE*>("/a \"b\"\\c"), 9), 0);
    ASSERT_EQ(RegSetValueExA(theKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("default"), 8), 0);
    ASSERT_EQ(RegSetValueExA(theKey, "Bytes", 0, REG_BINARY, theBytes, sizeof theBytes), 0);
    ASSERT_EQ(RegSetValueExA(theKey, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(theMulti), 6), 0);
    ASSERT_EQ(RegCloseKey(theKey), 0);

    const std::string theText = ReadFile(mRegistry);
    EXPECT_EQ(theText.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(theText.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0]\n"
                           "\"LogErrors\"=dword:0000000a\n"
                           "\"ModulePath\"=\"/a \\\"b\\\"\\\\c\"\n"
                           "@=\"default\"\n"
                           "\"Bytes\"=hex:00,ff,10\n"
                           "\"Multi\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00\n"),
              std::string::npos)
        << theText;

    // Another writer replaces the file: the next call sees it.
    WriteFile(mRegistry, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowmere\\"
                         "Ferrolift\\4.0]\n\"LogErrors\"=dword:00000007\n");
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_READ, &theKey), 0);
    EXPECT_EQ(ReadDword(theKey, "logerrors"), 7u);
    LSTATUS theStatus = 0;
    ReadDword(theKey, "ModulePath", &theStatus);
    EXPECT_EQ(theStatus, ERROR_FILE_NOT_FOUND);
    RegCloseKey(theKey);
}

TEST_F(Registry, QueryFollowsTheSizeProtocol)
{
    HKEY theKey = CreateKey(HKEY_LOCAL_MACHINE, kSettings);
    ASSERT_EQ(RegSetValueExA(theKey, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>("/usr/lib/x.so"), 14), 0);
    DWORD theType = 0, theSize = 0;
    EXPECT_EQ(RegQueryValueExA(theKey, "Path", nullptr, &theType, nullptr, &theSize), ERROR_SUCCESS);
    EXPECT_EQ(theType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(theSize, 14u);
    char theSmall[4] = {'x', 'x', 'x', 'x'};
    theSize = sizeof theSmall;
    EXPECT_EQ(RegQueryValueExA(theKey, "Path", nullptr, nullptr, reinterpret_cast<LPBYTE>(theSmall), &theSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(theSize, 14u);
    char theBuffer[260];
    theSize = sizeof theBuffer;
    EXPECT_EQ(RegQueryValueExA(theKey, "PATH", nullptr, nullptr, reinterpret_cast<LPBYTE>(theBuffer), &theSize), 0);
    EXPECT_STREQ(theBuffer, "/usr/lib/x.so");

    EXPECT_EQ(RegQueryValueExA(theKey, "Path", nullptr, nullptr, reinterpret_cast<LPBYTE>(theBuffer), nullptr),
              ERROR_INVALID_PARAMETER);
    DWORD theReserved = 0;
    EXPECT_EQ(RegQueryValueExA(theKey, "Path", &theReserved, nullptr, nullptr, &theSize), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(theKey, "Missing", nullptr, nullptr, nullptr, &theSize), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(theKey, "Path", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(theKey, "X", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
    EXPECT_EQ(RegSetValueExA(theKey, "Line\nBreak", 0, REG_BINARY, nullptr, 0), ERROR_INVALID_PARAMETER);
    RegCloseKey(theKey);
}

TEST_F(Registry, StringsAreUtf16ForTheWideCalls)
{
    HKEY theKey = CreateKey(HKEY_CURRENT_USER, "Software\\Test");
    const char theText[] = "caf\xc3\xa9";  // 4 characters, 5 bytes
    ASSERT_EQ(RegSetValueExA(theKey, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(theText), sizeof theText), 0);
    BYTE theWide[32];
    DWORD theSize = sizeof theWide;
    ASSERT_EQ(RegQueryValueExW(theKey, u"name", nullptr, nullptr, theWide, &theSize), 0);
    ASSERT_EQ(theSize, 10u);
    EXPECT_EQ(std::memcmp(theWide, u"caf\u00e9", 10), 0);

    const char16_t theWideText[] = u"\u20ac1";
    ASSERT_EQ(RegSetValueExW(theKey, u"Euro", 0, REG_SZ, reinterpret_cast<const BYTE*>(theWideText), 6), 0);
    char theNarrow[16];
    theSize = sizeof theNarrow;
    ASSERT_EQ(RegQueryValueExA(theKey, "Euro", nullptr, nullptr, reinterpret_cast<LPBYTE>(theNarrow), &theSize), 0);
    EXPECT_EQ(theSize, 5u);
    EXPECT_STREQ(theNarrow, "\xe2\x82\xac" "1");
    EXPECT_NE(ReadFile(mRegistry).find("\"Euro\"=\"\xe2\x82\xac" "1\""), std::string::npos);

    // A pair becomes one 4-byte character, a lone surrogate U+FFFD.
    const char16_t theOdd[] = {0xD83D, 0xDE00, 0xD800, u'x', 0};
    ASSERT_EQ(RegSetValueExW(theKey, u"Odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(theOdd), sizeof theOdd), 0);
    theSize = sizeof theNarrow;
    ASSERT_EQ(RegQueryValueExA(theKey, "Odd", nullptr, nullptr, reinterpret_cast<LPBYTE>(theNarrow), &theSize), 0);
    EXPECT_EQ(theSize, 9u);
    EXPECT_STREQ(theNarrow, "\xf0\x9f\x98\x80\xef\xbf\xbdx");
    RegCloseKey(theKey);
}

TEST_F(Registry, EnumerationOrderAndLimits)
{
    HKEY theKey = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Enum");
    for (const char* theName : {"beta", "Alpha", "gamma"})
        RegCloseKey(CreateKey(theKey, theName));
    for (const char* theName : {"z", "A", "m"})
        ASSERT_EQ(RegSetValueExA(theKey, theName, 0, REG_BINARY, reinterpret_cast<const BYTE*>("1"), 1), 0);
    std::vector<std::string> theSubkeys;
    char theName[64];
    DWORD theLength = sizeof theName;
    for (DWORD i = 0; RegEnumKeyExA(theKey, i, theName, &theLength, nullptr, nullptr, nullptr, nullptr) == 0; ++i) {
        theSubkeys.emplace_back(theName, theLength);
        theLength = sizeof theName;
    }
    EXPECT_EQ(theSubkeys, (std::vector<std::string> {"Alpha", "beta", "gamma"}));
    theLength = sizeof theName;
    EXPECT_EQ(RegEnumKeyExA(theKey, 3, theName, &theLength, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    theLength = 5;  // "Alpha" needs 6 with its terminator
    EXPECT_EQ(RegEnumKeyExA(theKey, 0, theName, &theLength, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);

    std::vector<std::string> theValues;
    for (DWORD i = 0;; ++i) {
        theLength = sizeof theName;
        BYTE theData[4];
        DWORD theSize = 1;
        if (RegEnumValueA(theKey, i, theName, &theLength, nullptr, nullptr, theData, &theSize) != 0)
            break;
        theValues.emplace_back(theName, theLength);
    }
    EXPECT_EQ(theValues, (std::vector<std::string> {"z", "A", "m"}));
    theLength = sizeof theName;
    BYTE theNone[1];
    DWORD theSize = 0;
    EXPECT_EQ(RegEnumValueA(theKey, 0, theName, &theLength, nullptr, nullptr, theNone, &theSize), ERROR_MORE_DATA);
    EXPECT_EQ(theSize, 1u);

    DWORD theKeys = 0, theCount = 0, theLongest = 0;
    ASSERT_EQ(RegQueryInfoKeyA(theKey, nullptr, nullptr, nullptr, &theKeys, &theLongest, nullptr, &theCount, nullptr,
                               nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(theKeys, 3u);
    EXPECT_EQ(theCount, 3u);
    EXPECT_EQ(theLongest, 5u);
    RegCloseKey(theKey);
}

TEST_F(Registry, DeletingKeysAndTheHandlesLeftBehind)
{
    HKEY theKey = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Gone\\Child");
    HKEY theParent = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Gone");
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Gone"), ERROR_ACCESS_DENIED);  // it has a subkey
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "software\\gone"), ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(mRegistry).find("Gone"), std::string::npos);

    const DWORD theOne = 1;
    EXPECT_EQ(RegSetValueExA(theKey, "X", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&theOne), 4),
              ERROR_KEY_DELETED);
    HKEY theChild = nullptr;
    EXPECT_EQ(RegOpenKeyExA(theParent, "Child", 0, KEY_READ, &theChild), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(theKey), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(theKey), ERROR_INVALID_HANDLE);
    RegCloseKey(theParent);

    theKey = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kept");
    ASSERT_EQ(RegSetValueExA(theKey, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&theOne), 4), 0);
    EXPECT_EQ(RegDeleteValueA(theKey, "V"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(theKey, "v"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(CreateKey(theKey, "Sub"));
    EXPECT_EQ(RegDeleteTreeA(theKey, nullptr), ERROR_SUCCESS);  // empties, keeps the key
    EXPECT_EQ(RegDeleteKeyA(theKey, ""), ERROR_SUCCESS);        // now empty: goes
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kept", 0, KEY_READ, &theChild), ERROR_FILE_NOT_FOUND);
    RegCloseKey(theKey);
}

TEST_F(Registry, ClassesRootIsTheMachineClassesKey)
{
    HKEY theKey = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &theKey), ERROR_FILE_NOT_FOUND);
    char theName[16];
    DWORD theLength = sizeof theName;
    EXPECT_EQ(RegEnumKeyExA(HKEY_CLASSES_ROOT, 0, theName, &theLength, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    theKey = CreateKey(HKEY_CLASSES_ROOT, "Ferrolift4.XForm\\CLSID");
    RegCloseKey(theKey);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\ferrolift4.xform\\clsid", 0, KEY_READ, &theKey),
              0);
    RegCloseKey(theKey);
    EXPECT_NE(ReadFile(mRegistry).find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Ferrolift4.XForm\\CLSID]"),
              std::string::npos);
}

TEST_F(Registry, PinsTheResultForBadArguments)
{
    HKEY theKey = reinterpret_cast<HKEY>(0x1234);
    EXPECT_EQ(RegOpenKeyExA(theKey, "X", 0, KEY_READ, &theKey), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE", 0, KEY_READ, &theKey), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A\\\\B", 0, KEY_READ, &theKey), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0x10, KEY_READ, &theKey), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &theKey), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, std::string(256, 'k').c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &theKey, nullptr),
              ERROR_INVALID_PARAMETER);

    RegCloseKey(CreateKey(HKEY_LOCAL_MACHINE, kSettings));
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_READ, &theKey), 0);
    const DWORD theOne = 1;
    EXPECT_EQ(RegSetValueExA(theKey, "X", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&theOne), 4),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(theKey, "X"), ERROR_ACCESS_DENIED);
    HKEY theSub = nullptr;
    EXPECT_EQ(RegCreateKeyExA(theKey, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &theSub, nullptr),
              ERROR_ACCESS_DENIED);
    RegCloseKey(theKey);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_SET_VALUE, &theKey), 0);
    DWORD theSize = 0;
    EXPECT_EQ(RegQueryValueExA(theKey, "X", nullptr, nullptr, nullptr, &theSize), ERROR_ACCESS_DENIED);
    // The handle is checked first, then the arguments, then the access.
    char theName[8];
    EXPECT_EQ(RegEnumValueA(theKey, 0, nullptr, &theSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExA(theKey, 0, theName, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExA(theKey, 0, theName, &theSize, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(theKey);
    EXPECT_EQ(RegEnumValueA(theKey, 0, nullptr, &theSize, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, ConnectsOnlyToThisMachine)
{
    char theHost[256] = {};
    ASSERT_EQ(::gethostname(theHost, sizeof theHost - 1), 0);
    const std::string theUnc = std::string("\\\\") + theHost;
    const char* const kNames[] = {nullptr, "", theHost, theUnc.c_str(), "localhost"};
    for (const char* theName : kNames) {
        HKEY theKey = nullptr;
        ASSERT_EQ(RegConnectRegistryA(theName, HKEY_LOCAL_MACHINE, &theKey), ERROR_SUCCESS);
        RegCloseKey(CreateKey(theKey, kSettings));
        EXPECT_EQ(RegCloseKey(theKey), ERROR_SUCCESS);
    }
    HKEY theKey = nullptr;
    EXPECT_EQ(RegConnectRegistryA("\\\\some-other-machine", HKEY_LOCAL_MACHINE, &theKey), ERROR_BAD_NETPATH);
    EXPECT_EQ(RegConnectRegistryA(nullptr, HKEY_CURRENT_USER, &theKey), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, CorruptFileFailsEveryCallStaysUnchangedAndIsLoggedOnce)
{
    const std::string theCorrupt = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
                                   "\"Broken\"=dword:xyz\n";
    WriteFile(mRegistry, theCorrupt);
    HKEY theKey = nullptr;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &theKey), ERROR_BADDB);
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &theKey,
                                  nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_BADDB);
    }
    EXPECT_EQ(ReadFile(mRegistry), theCorrupt);
    const std::string theProblem = ferrolift::platform::RegistryFileProblem();
    EXPECT_NE(theProblem.find(mRegistry), std::string::npos);
    EXPECT_NE(theProblem.find("line 4"), std::string::npos);

    const std::string theLog = ReadFile(mEventLog);
    EXPECT_EQ(std::count(theLog.begin(), theLog.end(), '\n'), 1) << theLog;
    EXPECT_NE(theLog.find("\"type\":1"), std::string::npos);
    EXPECT_NE(theLog.find("line 4"), std::string::npos);

    // Repaired by hand: calls work again.
    WriteFile(mRegistry, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n");
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &theKey), ERROR_SUCCESS);
    RegCloseKey(theKey);
    EXPECT_EQ(ferrolift::platform::RegistryFileProblem(), "");
}

void SetNumberedValues(const char* inPrefix, int inCount)
{
    HKEY theKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &theKey,
                              nullptr),
              0);
    for (int i = 0; i < inCount; ++i) {
        const std::string theName = inPrefix + std::to_string(i);
        const DWORD theValue = static_cast<DWORD>(i);
        ASSERT_EQ(RegSetValueExA(theKey, theName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&theValue), 4),
                  0);
    }
    RegCloseKey(theKey);
}

DWORD CountSharedValues()
{
    HKEY theKey = nullptr;
    DWORD theCount = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", 0, KEY_READ, &theKey) != 0)
        return 0;
    RegQueryInfoKeyA(theKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &theCount, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(theKey);
    return theCount;
}

TEST_F(Registry, ConcurrentWritersLoseNoUpdate)
{
    constexpr int kEach = 40;
    std::vector<pid_t> theChildren;
    for (const char* thePrefix : {"first", "second"}) {
        const pid_t theChild = ::fork();
        ASSERT_GE(theChild, 0);
        if (theChild == 0) {
            SetNumberedValues(thePrefix, kEach);
            ::_exit(::testing::Test::HasFailure() ? 1 : 0);
        }
        theChildren.push_back(theChild);
    }
    std::vector<std::thread> theThreads;
    for (const char* thePrefix : {"third", "fourth"})
        theThreads.emplace_back([thePrefix] { SetNumberedValues(thePrefix, kEach); });
    for (std::thread& theThread : theThreads)
        theThread.join();
    for (pid_t theChild : theChildren) {
        int theStatus = 0;
        ASSERT_EQ(::waitpid(theChild, &theStatus, 0), theChild);
        EXPECT_TRUE(WIFEXITED(theStatus) && WEXITSTATUS(theStatus) == 0);
    }
    EXPECT_EQ(CountSharedValues(), 4u * kEach);
}

}  // namespace

namespace {

TEST_F(Registry, RewritesInPlaceOfTheSameSizeAreSeenAtOnce)
{
    // Same size, same file, usually the same clock tick: only a watch on the file tells.
    for (int theValue = 1; theValue <= 9; ++theValue) {
        WriteFile(mRegistry, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowmere\\"
                             "Ferrolift\\4.0]\n\"LogErrors\"=dword:0000000" + std::to_string(theValue) + "\n");
        HKEY theKey = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_READ, &theKey), 0);
        EXPECT_EQ(ReadDword(theKey, "LogErrors"), static_cast<DWORD>(theValue));
        RegCloseKey(theKey);
    }
    // Removed, then back.
    ASSERT_EQ(unlink(mRegistry.c_str()), 0);
    HKEY theKey = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_READ, &theKey), ERROR_FILE_NOT_FOUND);
    WriteFile(mRegistry, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowmere\\"
                         "Ferrolift\\4.0]\n\"LogErrors\"=dword:00000003\n");
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_READ, &theKey), 0);
    EXPECT_EQ(ReadDword(theKey, "LogErrors"), 3u);
    RegCloseKey(theKey);
}

}  // namespace

namespace {

TEST_F(Registry, AReadScopeSeesOneStateButNeverLosesAChange)
{
    const std::string theHead =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0]\n";
    WriteFile(mRegistry, theHead + "\"LogErrors\"=dword:00000001\n");
    HKEY theKey = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_ALL_ACCESS, &theKey), 0);
    {
        ferrolift::platform::reg::ReadScope theScope;
        EXPECT_EQ(ReadDword(theKey, "LogErrors"), 1u);
        // Another process rewrites the file during the scope: its reads keep one state.
        WriteFile(mRegistry, theHead + "\"LogErrors\"=dword:00000002\n\"Other\"=dword:00000007\n");
        EXPECT_EQ(ReadDword(theKey, "LogErrors"), 1u);
        {
            ferrolift::platform::reg::ReadScope theInner;
            EXPECT_EQ(ReadDword(theKey, "LogErrors"), 1u);
        }
        // A change starts from the file as it is now: the other process's values stay.
        const DWORD theNine = 9;
        ASSERT_EQ(RegSetValueExA(theKey, "Mine", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&theNine), sizeof theNine),
                  0);
        EXPECT_EQ(ReadDword(theKey, "Other"), 7u);
    }
    EXPECT_EQ(ReadDword(theKey, "LogErrors"), 2u);
    EXPECT_EQ(ReadDword(theKey, "Mine"), 9u);
    RegCloseKey(theKey);
}

}  // namespace

// Conversions between Windows code pages and UTF-16, with the results the Win32 calls
// give for bad arguments and invalid input.
#include <windows.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/TempFolder.h"

namespace {

/// Converts through MultiByteToWideChar with the size query first; failure gives
/// "<error N>" so a test shows the code.
std::u16string ToWide(UINT inCodePage, const std::string& inText, DWORD inFlags = 0)
{
    const int theNeeded =
        MultiByteToWideChar(inCodePage, inFlags, inText.data(), static_cast<int>(inText.size()), nullptr, 0);
    if (theNeeded == 0) {
        ADD_FAILURE() << "conversion failed with error " << GetLastError();
        return u"<failed>";
    }
    std::u16string theWide(static_cast<size_t>(theNeeded), u'\0');
    const int theWritten = MultiByteToWideChar(inCodePage, inFlags, inText.data(), static_cast<int>(inText.size()),
                                               theWide.data(), theNeeded);
    EXPECT_EQ(theWritten, theNeeded);
    return theWide;
}

std::string ToBytes(UINT inCodePage, const std::u16string& inText, BOOL* outUsedDefault = nullptr,
                    const char* inDefault = nullptr)
{
    const int theNeeded = WideCharToMultiByte(inCodePage, 0, inText.data(), static_cast<int>(inText.size()), nullptr,
                                              0, inDefault, outUsedDefault);
    EXPECT_GT(theNeeded, 0) << "error " << GetLastError();
    std::string theBytes(static_cast<size_t>(theNeeded), '\0');
    const int theWritten = WideCharToMultiByte(inCodePage, 0, inText.data(), static_cast<int>(inText.size()),
                                               theBytes.data(), theNeeded, inDefault, outUsedDefault);
    EXPECT_EQ(theWritten, theNeeded);
    return theBytes;
}

TEST(Utf8, RoundTripsEveryPlane)
{
    const std::u16string theText = u"Aé€日\U0001F600z";
    const std::string theBytes = ToBytes(CP_UTF8, theText);
    EXPECT_EQ(theBytes, "A\xC3\xA9\xE2\x82\xAC\xE6\x97\xA5\xF0\x9F\x98\x80z");
    EXPECT_EQ(ToWide(CP_UTF8, theBytes), theText);
}

TEST(Utf8, InvalidSequencesBecomeOneReplacementEach)
{
    EXPECT_EQ(ToWide(CP_UTF8, "a\x80" "b"), u"a\uFFFDb");
    EXPECT_EQ(ToWide(CP_UTF8, "\xE2\x82"), u"\uFFFD");                    // cut short: one
    EXPECT_EQ(ToWide(CP_UTF8, "\xC0\xAF"), u"\uFFFD\uFFFD");              // overlong
    EXPECT_EQ(ToWide(CP_UTF8, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");    // encoded surrogate
    EXPECT_EQ(ToWide(CP_UTF8, "\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");   // past U+10FFFF
    EXPECT_EQ(ToWide(CP_UTF8, "\xE2\x82x"), u"\uFFFDx");
}

TEST(Utf8, StrictDecodingRefusesInvalidInput)
{
    WCHAR theOut[8];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, theOut, 8), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "ok", 2, theOut, 8), 2);
}

TEST(Utf8, LoneSurrogatesEncodeAsReplacementOrFailWhenStrict)
{
    const std::u16string theText = {u'a', char16_t(0xD800), u'b'};
    EXPECT_EQ(ToBytes(CP_UTF8, theText), "a\xEF\xBF\xBD" "b");
    char theOut[16];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, theText.data(), 3, theOut, 16, nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(SizeProtocol, CountsWritesAndRefusesShortBuffers)
{
    WCHAR theOut[8] = {};
    // -1 converts the terminator too and counts it.
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, theOut, 4), 4);
    EXPECT_EQ(std::u16string(theOut), u"abc");
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 3, theOut, 3), 3);
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, theOut, 3), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xE6\x97\xA5", 3, theOut, 0), 1);

    char theBytes[4] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"é", -1, nullptr, 0, nullptr, nullptr), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"é", -1, theBytes, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
}

/// The thread's error after a call that must fail; 0xFFFFFFFF when it succeeded.
DWORD ErrorOf(int inResult)
{
    return inResult == 0 ? GetLastError() : 0xFFFFFFFF;
}

TEST(BadArguments, FailWithTheWin32Codes)
{
    WCHAR theOut[8];
    char theBytes[8];
    const DWORD kParameter = ERROR_INVALID_PARAMETER;
    const DWORD kFlags = ERROR_INVALID_FLAGS;
    EXPECT_EQ(ErrorOf(MultiByteToWideChar(1252, 0, nullptr, 3, theOut, 8)), kParameter);
    EXPECT_EQ(ErrorOf(MultiByteToWideChar(1252, 0, "abc", 0, theOut, 8)), kParameter);
    EXPECT_EQ(ErrorOf(MultiByteToWideChar(1252, 0, "abc", 3, theOut, -1)), kParameter);
    EXPECT_EQ(ErrorOf(MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 8)), kParameter);
    EXPECT_EQ(ErrorOf(MultiByteToWideChar(12345, 0, "abc", 3, theOut, 8)), kParameter);
    EXPECT_EQ(ErrorOf(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", 3, theOut, 8)), kFlags);
    EXPECT_EQ(ErrorOf(MultiByteToWideChar(1252, MB_PRECOMPOSED | MB_COMPOSITE, "a", 1, theOut, 8)), kFlags);
    EXPECT_EQ(ErrorOf(MultiByteToWideChar(1252, 0x100, "a", 1, theOut, 8)), kFlags);
    EXPECT_EQ(ErrorOf(WideCharToMultiByte(1252, 0, nullptr, 1, theBytes, 8, nullptr, nullptr)), kParameter);
    EXPECT_EQ(ErrorOf(WideCharToMultiByte(1252, 0, u"a", 1, theBytes, -2, nullptr, nullptr)), kParameter);
    EXPECT_EQ(ErrorOf(WideCharToMultiByte(1200, 0, u"a", 1, theBytes, 8, nullptr, nullptr)), kParameter);
    EXPECT_EQ(ErrorOf(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, theBytes, 8, "?", nullptr)), kParameter);
    EXPECT_EQ(ErrorOf(WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, u"a", 1, theBytes, 8, nullptr, nullptr)),
              kFlags);
    // The multi-byte page's flags go through; only UTF-8 refuses them.
    EXPECT_EQ(MultiByteToWideChar(1252, MB_PRECOMPOSED | MB_USEGLYPHCHARS, "a", 1, theOut, 8), 1);
}

TEST(BadArguments, OnlyMinusOneCountsUpToTheTerminator)
{
    // Bytes without a terminator: a call that took -2 (or a length that wrapped negative)
    // for "zero-terminated" would scan past them.
    const char theBytes[4] = {'a', 'b', 'c', 'd'};
    const WCHAR theUnits[4] = {u'a', u'b', u'c', u'd'};
    WCHAR theOut[8];
    char theNarrow[8];
    for (const int theCount : {-2, -1000, -2147483647 - 1}) {
        SetLastError(0);
        EXPECT_EQ(ErrorOf(MultiByteToWideChar(1252, 0, theBytes, theCount, theOut, 8)), DWORD(ERROR_INVALID_PARAMETER))
            << theCount;
        EXPECT_EQ(ErrorOf(MultiByteToWideChar(CP_UTF8, 0, theBytes, theCount, nullptr, 0)),
                  DWORD(ERROR_INVALID_PARAMETER))
            << theCount;
        EXPECT_EQ(ErrorOf(WideCharToMultiByte(1252, 0, theUnits, theCount, theNarrow, 8, nullptr, nullptr)),
                  DWORD(ERROR_INVALID_PARAMETER))
            << theCount;
    }
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "ab", -1, theOut, 8), 3);
}

TEST(Cp1252, EveryByteRoundTrips)
{
    std::string theAll;
    for (int b = 1; b < 256; ++b)
        theAll.push_back(static_cast<char>(b));
    const std::u16string theWide = ToWide(1252, theAll);
    ASSERT_EQ(theWide.size(), 255u);
    EXPECT_EQ(theWide[0x80 - 1], u'€');
    EXPECT_EQ(theWide[0x81 - 1], char16_t(0x81));
    EXPECT_EQ(theWide[0x9F - 1], u'Ÿ');
    EXPECT_EQ(theWide[0xE9 - 1], u'é');
    EXPECT_EQ(ToBytes(1252, theWide), theAll);
}

TEST(Cp1252, MissingCharactersBecomeTheDefault)
{
    BOOL theUsed = FALSE;
    EXPECT_EQ(ToBytes(1252, u"a\u0100\U0001F600b", &theUsed), "a??b");
    EXPECT_TRUE(theUsed);
    EXPECT_EQ(ToBytes(1252, u"\u4E00", &theUsed, "*"), "*");
    EXPECT_EQ(ToBytes(1252, u"é", &theUsed), "\xE9");
    EXPECT_FALSE(theUsed);
}

TEST(DoubleByte, ShiftJisRoundTripsAndKnowsItsLeadBytes)
{
    const std::string theBytes = "\x93\xFA\x96\x7B\xB1" "a";   // 日本, half-width ｱ, a
    EXPECT_EQ(ToWide(932, theBytes), u"日本ｱa");
    EXPECT_EQ(ToBytes(932, u"日本ｱa"), theBytes);
    EXPECT_TRUE(IsDBCSLeadByteEx(932, 0x81));
    EXPECT_TRUE(IsDBCSLeadByteEx(932, 0x9F));
    EXPECT_TRUE(IsDBCSLeadByteEx(932, 0xE0));
    EXPECT_FALSE(IsDBCSLeadByteEx(932, 0xA1));   // half-width katakana is one byte
    EXPECT_FALSE(IsDBCSLeadByteEx(932, 'A'));
    EXPECT_FALSE(IsDBCSLeadByteEx(1252, 0x81));
    EXPECT_FALSE(IsDBCSLeadByteEx(12345, 0x81));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    CPINFO theInfo = {};
    ASSERT_TRUE(GetCPInfo(932, &theInfo));
    EXPECT_EQ(theInfo.MaxCharSize, 2u);
    EXPECT_EQ(theInfo.LeadByte[0], 0x81);
    EXPECT_EQ(theInfo.LeadByte[1], 0x9F);
}

TEST(DoubleByte, ACutCharacterIsReplacedOrRefused)
{
    EXPECT_EQ(ToWide(932, "a\x93"), u"a\u30FB");
    WCHAR theOut[4];
    EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "a\x93", 2, theOut, 4), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(OtherPages, ConvertThroughTheirTables)
{
    EXPECT_EQ(ToWide(936, "\xD6\xD0\xCE\xC4"), u"中文");
    EXPECT_EQ(ToWide(949, "\xC7\xD1"), u"한");
    EXPECT_EQ(ToWide(950, "\xA4\xA4"), u"中");
    EXPECT_EQ(ToWide(1251, "\xCF\xF0\xE8"), u"При");
    EXPECT_EQ(ToWide(10000, "\x8E"), u"é");
    EXPECT_EQ(ToWide(28591, "\xE9"), u"é");
    EXPECT_EQ(ToWide(437, "\x82"), u"é");
    EXPECT_EQ(ToBytes(1251, u"При"), "\xCF\xF0\xE8");
    BOOL theUsed = FALSE;
    EXPECT_EQ(ToBytes(1251, u"aé", &theUsed), "a?");
    EXPECT_TRUE(theUsed);
    // One default character for a pair the page lacks, one for each lone surrogate.
    EXPECT_EQ(ToBytes(1251, u"a\U0001F600b"), "a?b");
    EXPECT_EQ(ToBytes(1251, std::u16string{u'a', char16_t(0xDC00), char16_t(0xD800)}), "a??");
}

TEST(OtherPages, LongTextCrossesConversionChunks)
{
    std::u16string theText;
    for (int i = 0; i < 3000; ++i)
        theText += (i % 3 == 0) ? u"日" : u"x";
    EXPECT_EQ(ToWide(932, ToBytes(932, theText)), theText);
    EXPECT_EQ(ToWide(CP_UTF8, ToBytes(CP_UTF8, theText)), theText);
}

TEST(Validity, KnownPagesOnly)
{
    for (UINT thePage : {437u, 874u, 932u, 936u, 949u, 950u, 1250u, 1252u, 1258u, 10000u, 20127u, 28591u, 28605u,
                         65000u, 65001u})
        EXPECT_TRUE(IsValidCodePage(thePage)) << thePage;
    for (UINT thePage : {0u, 1u, 2u, 3u, 1200u, 1201u, 12345u, 99999u})
        EXPECT_FALSE(IsValidCodePage(thePage)) << thePage;
}

/// Points the registry at a file of the test's own, so the system code pages can be set.
class SystemCodePages : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(mFolder.Path().empty());
        ::setenv("FERROLIFT_REGISTRY", (mFolder / "registry.reg").c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("FERROLIFT_REGISTRY");
    }

    static void SetValue(const char* inName, const char* inText)
    {
        HKEY theKey = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &theKey, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(theKey, inName, 0, REG_SZ, reinterpret_cast<const BYTE*>(inText),
                                 static_cast<DWORD>(std::strlen(inText) + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(theKey);
    }

    ferrolift::test::ScopedTempFolder mFolder{"fercp"};
};

TEST_F(SystemCodePages, ComeFromTheRegistryWithDefaults)
{
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_EQ(GetOEMCP(), 437u);
    EXPECT_EQ(ToWide(CP_ACP, "\xCF"), u"\u00CF");
    SetValue("ACP", "1251");
    SetValue("OEMCP", "850");
    EXPECT_EQ(GetACP(), 1251u);
    EXPECT_EQ(GetOEMCP(), 850u);
    EXPECT_EQ(ToWide(CP_ACP, "\xCF"), u"П");
    EXPECT_EQ(ToWide(CP_OEMCP, "\x82"), u"é");
    EXPECT_EQ(ToBytes(CP_ACP, u"П"), "\xCF");
    // Values that name no usable code page leave the defaults.
    SetValue("ACP", "banana");
    EXPECT_EQ(GetACP(), 1252u);
    SetValue("ACP", "0");
    EXPECT_EQ(GetACP(), 1252u);
    SetValue("ACP", "4242");
    EXPECT_EQ(GetACP(), 1252u);
}

TEST(Threads, ConvertIndependently)
{
    std::vector<std::thread> theThreads;
    std::vector<int> theFailures(4, 0);
    for (int t = 0; t < 4; ++t) {
        theThreads.emplace_back([t, &theFailures] {
            const UINT thePage = t % 2 == 0 ? 932 : 1251;
            const std::u16string theText = t % 2 == 0 ? u"日本語テキスト" : u"Привет";
            for (int i = 0; i < 200; ++i) {
                WCHAR theOut[32] = {};
                char theBytes[64] = {};
                const int theLength = WideCharToMultiByte(thePage, 0, theText.c_str(), -1, theBytes, 64, nullptr,
                                                          nullptr);
                if (MultiByteToWideChar(thePage, 0, theBytes, theLength, theOut, 32) == 0 || theText != theOut)
                    ++theFailures[t];
            }
        });
    }
    for (std::thread& theThread : theThreads)
        theThread.join();
    EXPECT_EQ(theFailures, std::vector<int>(4, 0));
}

} // namespace

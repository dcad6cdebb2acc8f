// Client file names as browsers send them, and the path and text helpers built on them.
#include "intake/Names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct SplitNames {
    std::u16string raw;
    std::u16string safe;
    std::u16string url;
};

SplitNames Split(const char* inPath, UINT inCodePage = CP_ACP)
{
    WCHAR theRaw[kNameBufferLength];
    WCHAR theSafe[kNameBufferLength];
    WCHAR theURL[kNameBufferLength];
    SplitClientPath(inPath, inCodePage, theRaw, theSafe, theURL);
    return {theRaw, theSafe, theURL};
}

TEST(SplitClientPath, WindowsPathKeepsRawAndCleansTheLastComponent)
{
    const SplitNames theNames = Split("C:\\Docs\\My Report?.TXT");
    EXPECT_EQ(theNames.raw, u"C:\\Docs\\My Report?.TXT");
    EXPECT_EQ(theNames.safe, u"My Report.TXT");
    EXPECT_EQ(theNames.url, u"my_report_.txt");
}

TEST(SplitClientPath, DecodingStagesTakeTheFirstThatWorks)
{
    SplitNames theNames = Split("my%20file.txt");
    EXPECT_EQ(theNames.raw, u"my file.txt");
    EXPECT_EQ(theNames.safe, u"my file.txt");
    EXPECT_EQ(theNames.url, u"my_file.txt");
    // A malformed escape fails the percent stage: the code page gives the bytes as text.
    EXPECT_EQ(Split("100%.txt").raw, u"100%.txt");
    // Escapes give one unit per byte, with no code page applied.
    EXPECT_EQ(Split("%C3%A9.txt", CP_UTF8).raw, u"\u00C3\u00A9.txt");
    theNames = Split("&#233;t&#233;.txt");
    EXPECT_EQ(theNames.raw, u"\u00E9t\u00E9.txt");
    EXPECT_EQ(theNames.url, u"_t_.txt");
    EXPECT_EQ(Split("a&#65536;b").raw, u"a&#65536;b");
    EXPECT_EQ(Split("&#x41;&amp;&#0;").raw, u"&#x41;&amp;&#0;");
}

TEST(SplitClientPath, CodePageDecidesTheBytes)
{
    EXPECT_EQ(Split("\xC3\xA9.txt", CP_UTF8).raw, u"\u00E9.txt");
    EXPECT_EQ(Split("\xC3\xA9.txt", 1252).raw, u"\u00C3\u00A9.txt");
    EXPECT_EQ(Split("\x93\xFA.txt", 932).raw, u"日.txt");
    // An unknown code page falls through to byte widening.
    EXPECT_EQ(Split("\xE9.txt", 12345).raw, u"\u00E9.txt");
}

TEST(SplitClientPath, BareMacNamesAreMappedNotStripped)
{
    const SplitNames theNames = Split("What? .");
    EXPECT_EQ(theNames.safe, u"What\uF025 \uF029");
    WCHAR theWindows[kNameBufferLength];
    EXPECT_EQ(std::u16string(WindowsSafeName(u"What? .", theWindows)), u"What");
    EXPECT_EQ(theNames.url, u"what__.");
}

TEST(SplitClientPath, EdgeNames)
{
    SplitNames theNames = Split("C:\\dir\\...");
    EXPECT_EQ(theNames.safe, u"");
    EXPECT_EQ(theNames.url, u"...");
    theNames = Split("");
    EXPECT_EQ(theNames.raw, u"");
    EXPECT_EQ(theNames.safe, u"");
    EXPECT_EQ(theNames.url, u"");
    // Too long for the code-page stage: widening keeps the first 259 bytes.
    const std::string theLong = "C:\\" + std::string(297, 'x');
    theNames = Split(theLong.c_str());
    EXPECT_EQ(theNames.raw.size(), 259u);
    EXPECT_EQ(theNames.raw.substr(0, 4), u"C:\\x");
    EXPECT_EQ(theNames.safe.size(), 256u);
    // A long bare Mac name is cut at 259 units by every output.
    const std::string theBare(400, 'y');
    theNames = Split(theBare.c_str());
    EXPECT_EQ(theNames.safe.size(), 259u);
    EXPECT_EQ(theNames.url.size(), 259u);
}

TEST(PercentEscapes, FullOutputStillCountsAsSuccess)
{
    WCHAR theOut[4];
    EXPECT_TRUE(DecodePercentEscapes("%41%42%43%44", theOut, 4));
    EXPECT_EQ(std::u16string(theOut), u"ABC");
    EXPECT_FALSE(DecodePercentEscapes("ab%4", theOut, 4));
    EXPECT_EQ(std::u16string(theOut), u"ab");
    EXPECT_FALSE(DecodePercentEscapes("plain", theOut, 4));
}

TEST(PathParts, LastComponentAndExtension)
{
    const std::u16string thePath = u"C:\\a.b\\report.final.doc";
    EXPECT_EQ(std::u16string(LastPathComponent(thePath.c_str())), u"report.final.doc");
    EXPECT_EQ(std::u16string(LastPathComponent(u"name")), u"name");
    EXPECT_EQ(std::u16string(PathExtension(thePath.c_str())), u"doc");
    EXPECT_EQ(std::u16string(PathExtension(u"dir.old\\readme")), u"");
    EXPECT_EQ(std::u16string(PathExtension(u"name.")), u"");
    EXPECT_EQ(std::u16string(PathExtension(u".profile")), u"profile");
    // The results point into the caller's string.
    const WCHAR* theText = u"x\\y.z";
    EXPECT_EQ(PathExtension(theText), theText + 4);
    EXPECT_TRUE(IsBareMacName(u"name.txt"));
    EXPECT_FALSE(IsBareMacName(u"\\server\\name"));
    EXPECT_FALSE(IsBareMacName(u"disk:name"));
}

TEST(SafeNames, MacMappingCoversItsTable)
{
    WCHAR theOut[kNameBufferLength];
    const std::u16string theInput = u"\x01\x1F\"*/<>?\\|\u00F0:a";
    EXPECT_EQ(std::u16string(MacSafeName(theInput.c_str(), theOut)),
              u"\uF001\uF01F\uF020\uF021\uF022\uF023\uF024\uF025\uF026\uF027\uF02Aa");
    EXPECT_EQ(std::u16string(MacSafeName(u"a.", theOut)), u"a\uF029");
    EXPECT_EQ(std::u16string(MacSafeName(u"a. ", theOut)), u"a.\uF028");
    EXPECT_EQ(std::u16string(MacSafeName(u":::", theOut)), u"");
}

TEST(SafeNames, WindowsAndURLRules)
{
    WCHAR theOut[kNameBufferLength];
    EXPECT_EQ(std::u16string(WindowsSafeName(u"a\tb\"*/:<>?\\|c. . ", theOut)), u"abc");
    EXPECT_EQ(std::u16string(WindowsSafeName(u"..  ", theOut)), u"");
    EXPECT_EQ(std::u16string(URLSafeName(u"Hello World-1.TXT", theOut)), u"hello_world-1.txt");
    // Each half of a surrogate pair is one unit, so one underscore each.
    EXPECT_EQ(std::u16string(URLSafeName(u"\U0001F600é", theOut)), u"___");
}

TEST(URLDecodeInPlace, DecodesAndDropsMalformedEscapes)
{
    const struct {
        const char* in;
        const char* out;
    } theCases[] = {
        {"a%2Bb+c%", "a+b c"}, {"%zz", "zz"}, {"%4g", "g"}, {"%4", ""}, {"100%", "100"}, {"%41%61", "Aa"},
        {"++", "  "},          {"", ""},
    };
    for (const auto& theCase : theCases) {
        std::string theText = theCase.in;
        URLDecodeInPlace(theText.data());
        EXPECT_STREQ(theText.c_str(), theCase.out) << theCase.in;
    }
}

TEST(TextHelpers, HexDigitsAndWideCharacters)
{
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('a'), 10);
    EXPECT_EQ(HexDigitValue('F'), 15);
    EXPECT_EQ(HexDigitValue('g'), -1);
    EXPECT_EQ(HexDigitValue('\0'), -1);
    EXPECT_FALSE(HasWideCharacters(u""));
    EXPECT_FALSE(HasWideCharacters(u"caf\u00E9\u00FF"));
    EXPECT_TRUE(HasWideCharacters(u"a\u0100"));
    WCHAR theOut[4];
    WidenBytes("\xE9xyz", theOut, 4);
    EXPECT_EQ(std::u16string(theOut), u"\u00E9xy");
    EXPECT_FALSE(DecodeCodePage("abc", theOut, 3, 1252));   // no room for the terminator
    EXPECT_TRUE(DecodeCodePage("abc", theOut, 4, 1252));
}

} // namespace

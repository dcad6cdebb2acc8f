// Text between the engine's CESU-8 strings, UTF-16 and the UTF-8 of the wire: what
// happens to surrogates, and long texts that go to the converter in pieces.
#include <gtest/gtest.h>

#include <string>

#include "host/ScriptText.h"

using namespace ferrolift::host;

namespace {

const std::string kGrinning = "\xf0\x9f\x98\x80";          // U+1F600 as UTF-8
const std::string kGrinningCesu = "\xed\xa0\xbd\xed\xb8\x80";  // the same as the engine keeps it
const std::string kReplacement = "\xef\xbf\xbd";

TEST(ScriptText, SurrogatesInEachDirection)
{
    EXPECT_EQ(Utf16ToScript(u"a\U0001F600"), "a" + kGrinningCesu);
    EXPECT_EQ(Utf16ToScript(std::u16string(1, char16_t(0xD800))), "\xed\xa0\x80");
    EXPECT_EQ(ScriptToUtf16("a" + kGrinning), u"a\U0001F600");
    EXPECT_EQ(ScriptToUtf16(kGrinningCesu), u"\U0001F600");

    EXPECT_EQ(ScriptToUtf8("caf\xc3\xa9 " + kGrinningCesu), "caf\xc3\xa9 " + kGrinning);
    // Lone halves, and a pair in the wrong order, are no characters.
    EXPECT_EQ(ScriptToUtf8("\xed\xa0\x80x"), kReplacement + "x");
    EXPECT_EQ(ScriptToUtf8("\xed\xb8\x80\xed\xa0\xbd"), kReplacement + kReplacement);

    EXPECT_EQ(Utf8ToScript("a" + kGrinning), "a" + kGrinningCesu);
    EXPECT_EQ(Utf8ToScript("\xed\xa0\x80"), kReplacement);
    EXPECT_EQ(Utf8ToScript("\xe2\x82" "b"), kReplacement + kReplacement + "b");
}

TEST(ScriptText, LongTextsKeepEveryPair)
{
    // Pairs at every offset around 64 Ki units, where the text is split for the converter.
    for (std::size_t thePrefix : {65534u, 65535u, 65536u, 131071u}) {
        const std::string theScript = std::string(thePrefix, 'a') + kGrinningCesu + "z";
        const std::string theUtf8 = ScriptToUtf8(theScript);
        EXPECT_EQ(theUtf8, std::string(thePrefix, 'a') + kGrinning + "z") << thePrefix;
    }
    const std::string theWide(200000, 'e');
    EXPECT_EQ(ScriptToUtf8(Utf8ToScript(theWide)), theWide);
}

}  // namespace

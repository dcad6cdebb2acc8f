// The one hex digit reader: every byte, UTF-16 units that only look like digits, and use
// at compile time.
#include "platform/common/HexDigit.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

static_assert(HexDigitValue('f') == 15 && HexDigitValue(u'A') == 10, "usable in constant expressions");

TEST(HexDigit, EveryByteReadsAsItsValueOrNone)
{
    constexpr std::string_view kLower = "0123456789abcdef";
    constexpr std::string_view kUpper = "0123456789ABCDEF";
    for (int theByte = 0; theByte < 256; ++theByte) {
        const char theChar = static_cast<char>(theByte);   // negative for the upper half
        int theExpected = -1;
        if (kLower.find(theChar) != std::string_view::npos)
            theExpected = static_cast<int>(kLower.find(theChar));
        else if (kUpper.find(theChar) != std::string_view::npos)
            theExpected = static_cast<int>(kUpper.find(theChar));
        EXPECT_EQ(HexDigitValue(theChar), theExpected) << "byte " << theByte;
        EXPECT_EQ(HexDigitValue(static_cast<char16_t>(theByte)), theExpected) << "unit " << theByte;
    }
}

TEST(HexDigit, WideUnitsAreNotCutToTheirLowByte)
{
    // Fullwidth digits and letters, and units whose low byte is an ASCII hex digit.
    for (char16_t theUnit : {u'\uFF10', u'\uFF21', u'\uFF41', u'\u0130', u'\u0141', u'\u0166', u'\uFF46'})
        EXPECT_EQ(HexDigitValue(theUnit), -1) << static_cast<int>(theUnit);
    EXPECT_EQ(HexDigitValue(U'\U0001F600'), -1);
    EXPECT_EQ(HexDigitValue(U'b'), 11);
}

}  // namespace

#include <oleauto.h>

#include <cstring>

#include <gtest/gtest.h>

namespace {

DWORD PrefixOf(BSTR inBstr)
{
    DWORD theLen = 0;
    std::memcpy(&theLen, reinterpret_cast<const char*>(inBstr) - 4, 4);
    return theLen;
}

TEST(Bstr, LengthPrefixAndTerminatorAsOnWindows)
{
    BSTR theText = SysAllocString(u"héllo");
    ASSERT_NE(theText, nullptr);
    EXPECT_EQ(PrefixOf(theText), 10u);
    EXPECT_EQ(SysStringLen(theText), 5u);
    EXPECT_EQ(SysStringByteLen(theText), 10u);
    EXPECT_EQ(theText[5], 0);
    SysFreeString(theText);

    // Embedded zeros are part of the string.
    BSTR theZeros = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(SysStringLen(theZeros), 3u);
    EXPECT_EQ(theZeros[2], u'b');
    SysFreeString(theZeros);
}

TEST(Bstr, ByteLengthStringsKeepOddLengthsAndTerminate)
{
    BSTR theBytes = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(theBytes), 3u);
    EXPECT_EQ(SysStringLen(theBytes), 1u);
    EXPECT_EQ(std::memcmp(theBytes, "abc\0\0", 5), 0);
    SysFreeString(theBytes);

    // No source: zero-filled text of that length.
    BSTR theBlank = SysAllocStringByteLen(nullptr, 4);
    EXPECT_EQ(SysStringByteLen(theBlank), 4u);
    EXPECT_EQ(theBlank[0], 0);
    EXPECT_EQ(theBlank[1], 0);
    SysFreeString(theBlank);
}

TEST(Bstr, NullIsTheEmptyString)
{
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);

    BSTR theEmpty = SysAllocStringLen(nullptr, 0);
    ASSERT_NE(theEmpty, nullptr);
    EXPECT_EQ(SysStringLen(theEmpty), 0u);
    EXPECT_EQ(theEmpty[0], 0);
    SysFreeString(theEmpty);
}

TEST(Bstr, HugeLengthsFailInsteadOfWrapping)
{
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
}

TEST(Bstr, ReallocateFromItsOwnText)
{
    BSTR theText = SysAllocString(u"abcdef");
    ASSERT_TRUE(SysReAllocStringLen(&theText, theText + 2, 3));
    EXPECT_EQ(std::u16string(theText, SysStringLen(theText)), u"cde");
    ASSERT_TRUE(SysReAllocString(&theText, u"xy"));
    EXPECT_EQ(SysStringLen(theText), 2u);
    ASSERT_TRUE(SysReAllocString(&theText, nullptr));
    EXPECT_EQ(theText, nullptr);
    EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
    EXPECT_FALSE(SysReAllocStringLen(nullptr, u"x", 1));
}

}  // namespace

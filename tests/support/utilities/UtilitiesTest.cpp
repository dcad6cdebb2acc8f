// Bounded copies, byte search, and conversions to automation strings and byte arrays.
#include "support/Utilities.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/ScratchMachine.h"
#include "platform/common/UniqueBstr.h"
#include "platform/common/UniqueVariant.h"

namespace {

class UtilitiesTest : public ::testing::Test {
protected:
    ScratchMachine mMachine;
};

TEST_F(UtilitiesTest, CopiesAreCutTerminatedAndAssertedOnce)
{
    char theSmall[8];
    std::memset(theSmall, 'x', sizeof theSmall);
    CopyString(theSmall, "0123456789", sizeof theSmall);
    EXPECT_STREQ(theSmall, "0123456");
    EXPECT_EQ(mMachine.CountEvents("Assertion Failed"), 1);
    EXPECT_EQ(mMachine.CountEvents("(len < inArraySize)"), 1);

    char theFit[8];
    CopyString(theFit, "0123456", sizeof theFit);
    EXPECT_STREQ(theFit, "0123456");
    EXPECT_EQ(mMachine.CountEvents("Assertion Failed"), 1);

    WCHAR theWide[4];
    CopyWideString(theWide, u"abcdef", 4);
    EXPECT_EQ(std::u16string(theWide), u"abc");
    EXPECT_EQ(mMachine.CountEvents("Assertion Failed"), 2);
}

TEST_F(UtilitiesTest, AppendCutsTheSourceToWhatFits)
{
    WCHAR thePath[8] = u"abc";
    AppendWideString(thePath, u"de", 8);
    EXPECT_EQ(std::u16string(thePath), u"abcde");
    EXPECT_EQ(mMachine.CountEvents("Assertion Failed"), 0);

    AppendWideString(thePath, u"fghij", 8);
    EXPECT_EQ(std::u16string(thePath), u"abcdefg");
    EXPECT_EQ(mMachine.CountEvents("(len1 + len2 < inArraySize)"), 1);
}

const char* NaiveFind(const char* inStart, const char* inPattern, const char* inEnd)
{
    const size_t theLength = std::strlen(inPattern);
    for (const char* p = inStart; p + theLength <= inEnd; ++p) {
        if (std::memcmp(p, inPattern, theLength) == 0)
            return p;
    }
    return nullptr;
}

TEST_F(UtilitiesTest, FindInRangeRespectsTheEnd)
{
    const char theBytes[] = {'x', 'x', '\0', 'a', 'b'};
    const char* theEnd = theBytes + sizeof theBytes;
    EXPECT_EQ(FindInRange(theBytes, "ab", theEnd), theBytes + 3);        // starts at end - 2
    EXPECT_EQ(FindInRange(theBytes, "ab", theEnd - 1), nullptr);         // would start at end - 1
    EXPECT_EQ(FindInRange(theBytes, "b", theEnd), theBytes + 4);
    EXPECT_EQ(FindInRange(theBytes, "", theEnd), theBytes);               // empty pattern
    EXPECT_EQ(FindInRange(theBytes, "x", theBytes), nullptr);             // empty range
    EXPECT_EQ(FindInRange(theBytes, "abc", theEnd), nullptr);
    EXPECT_EQ(mMachine.CountEvents("Assertion Failed"), 0);
}

TEST_F(UtilitiesTest, FindInRangeAssertsOnBadArguments)
{
    const char theBytes[] = "abc";
    EXPECT_EQ(FindInRange(theBytes, "a", nullptr), nullptr);
    EXPECT_EQ(mMachine.CountEvents("(maxptr)"), 1);
    EXPECT_EQ(FindInRange(theBytes + 2, "a", theBytes), nullptr);
    EXPECT_EQ(mMachine.CountEvents("(maxptr >= ptr)"), 1);
}

TEST_F(UtilitiesTest, FindInRangeAgreesWithAPlainScan)
{
    // Small alphabets make partial matches, zeros and matches at the edges common.
    std::mt19937 theRandom(7);
    for (int theRound = 0; theRound < 2000; ++theRound) {
        std::vector<char> theHaystack(theRandom() % 64);
        for (char& c : theHaystack)
            c = static_cast<char>(theRandom() % 3);
        std::string thePattern(1 + theRandom() % 4, 'a');
        for (char& c : thePattern)
            c = static_cast<char>(1 + theRandom() % 2);
        const char* theStart = theHaystack.data();
        const char* theEnd = theStart + theHaystack.size();
        ASSERT_EQ(FindInRange(theStart, thePattern.c_str(), theEnd), NaiveFind(theStart, thePattern.c_str(), theEnd))
            << "round " << theRound;
    }
}

TEST_F(UtilitiesTest, MultiByteToBSTRConverts)
{
    UniqueBstr theNull(MultiByteToBSTR(65001, nullptr, -1));
    ASSERT_NE(theNull.get(), nullptr);
    EXPECT_EQ(SysStringLen(theNull.get()), 0u);

    UniqueBstr theText(MultiByteToBSTR(65001, "caf\xc3\xa9", -1));
    EXPECT_EQ(std::u16string(theText.get(), SysStringLen(theText.get())), u"caf\u00e9");

    // An explicit length keeps zero bytes.
    UniqueBstr theZeros(MultiByteToBSTR(1252, "a\0b", 3));
    EXPECT_EQ(std::u16string(theZeros.get(), SysStringLen(theZeros.get())), std::u16string(u"a\0b", 3));

    UniqueBstr theEmpty(MultiByteToBSTR(1252, "abc", 0));
    ASSERT_NE(theEmpty.get(), nullptr);
    EXPECT_EQ(SysStringLen(theEmpty.get()), 0u);
}

TEST_F(UtilitiesTest, PtrToVARIANTMakesByteArrays)
{
    UniqueVariant theEmpty;
    ASSERT_EQ(PtrToVARIANT(nullptr, 0, theEmpty.put()), S_OK);
    EXPECT_EQ(V_VT(theEmpty.get()), VT_ARRAY | VT_UI1);
    LONG theUpper = 0;
    SafeArrayGetUBound(V_ARRAY(theEmpty.get()), 1, &theUpper);
    EXPECT_EQ(theUpper, -1);

    const char theBytes[] = {'a', '\0', 'c'};
    UniqueVariant theFull;
    ASSERT_EQ(PtrToVARIANT(theBytes, 3, theFull.put()), S_OK);
    void* theData = nullptr;
    LONG theLength = 0;
    ASSERT_EQ(AccessVARIANT(theFull.get(), &theData, &theLength), S_OK);
    EXPECT_EQ(theLength, 3);
    EXPECT_EQ(std::memcmp(theData, theBytes, 3), 0);
    EXPECT_EQ(UnaccessVARIANT(theFull.get()), 0);

    LONG theLower = 1;
    SafeArrayGetLBound(V_ARRAY(theFull.get()), 1, &theLower);
    EXPECT_EQ(theLower, 0);
    EXPECT_EQ(mMachine.CountEvents("Assertion Failed"), 0);
}

TEST_F(UtilitiesTest, AccessVARIANTReachesThroughReferencesAndRefusesOtherShapes)
{
    const char theBytes[] = "xyz";
    UniqueVariant theArray;
    ASSERT_EQ(PtrToVARIANT(theBytes, 3, theArray.put()), S_OK);
    VARIANT theRef;
    VariantInit(&theRef);
    V_VT(&theRef) = VT_BYREF | VT_ARRAY | VT_UI1;
    V_ARRAYREF(&theRef) = &V_ARRAY(theArray.get());
    void* theData = nullptr;
    LONG theLength = 0;
    ASSERT_EQ(AccessVARIANT(&theRef, &theData, &theLength), S_OK);
    EXPECT_EQ(theLength, 3);
    UnaccessVARIANT(&theRef);

    SAFEARRAYBOUND theBounds[2] = {{2, 0}, {2, 0}};
    VARIANT theSquare;
    VariantInit(&theSquare);
    V_VT(&theSquare) = VT_ARRAY | VT_UI1;
    V_ARRAY(&theSquare) = SafeArrayCreate(VT_UI1, 2, theBounds);
    EXPECT_EQ(static_cast<DWORD>(AccessVARIANT(&theSquare, &theData, &theLength)), 0x80070057u);
    VariantClear(&theSquare);

    VARIANT theNumber;
    VariantInit(&theNumber);
    V_VT(&theNumber) = VT_I4;
    EXPECT_EQ(AccessVARIANT(&theNumber, &theData, &theLength), E_INVALIDARG);
    EXPECT_EQ(theData, nullptr);
    EXPECT_EQ(UnaccessVARIANT(&theNumber), 0);
    EXPECT_EQ(mMachine.CountEvents("((theArrayH) && (*theArrayH))"), 2);
}

}  // namespace

#include <oleauto.h>

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "CountedObject.h"

namespace {

// A VARIANT that owns its contents, for building sources and reading results.
struct Var {
    VARIANT v;
    Var() { VariantInit(&v); }
    ~Var() { VariantClear(&v); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
};

// Text -> vt: result text via a second conversion, or the failure.
struct TextRow {
    const char16_t* text;
    VARTYPE vt;
    HRESULT result;
    double value;   // expected numeric value on success
};

double NumberOf(const VARIANT& inValue)
{
    Var theDouble;
    EXPECT_EQ(VariantChangeType(&theDouble.v, &inValue, 0, VT_R8), S_OK);
    return V_R8(&theDouble.v);
}

std::u16string TextOf(const VARIANT& inValue, USHORT inFlags = 0)
{
    Var theText;
    EXPECT_EQ(VariantChangeType(&theText.v, &inValue, inFlags, VT_BSTR), S_OK);
    return std::u16string(V_BSTR(&theText.v), SysStringLen(V_BSTR(&theText.v)));
}

TEST(VarType, TextToNumbers)
{
    const TextRow kRows[] = {
        {u"42", VT_I4, S_OK, 42},
        {u"  -17 ", VT_I2, S_OK, -17},
        {u"2.5", VT_I4, S_OK, 2},          // half to even
        {u"3.5", VT_I4, S_OK, 4},
        {u"-2.5", VT_I4, S_OK, -2},
        {u"2.51", VT_I4, S_OK, 3},
        {u"1e3", VT_I4, S_OK, 1000},
        {u"&HFF", VT_UI1, S_OK, 255},
        {u"&O17", VT_I4, S_OK, 15},
        {u".5", VT_R8, S_OK, 0.5},
        {u"+4.", VT_R8, S_OK, 4},
        {u"255", VT_UI1, S_OK, 255},
        {u"256", VT_UI1, DISP_E_OVERFLOW, 0},
        {u"-1", VT_UI4, DISP_E_OVERFLOW, 0},
        {u"2147483648", VT_I4, DISP_E_OVERFLOW, 0},
        {u"-2147483648", VT_I4, S_OK, -2147483648.0},
        {u"18446744073709551615", VT_UI8, S_OK, 18446744073709551615.0},
        {u"1e400", VT_R8, DISP_E_OVERFLOW, 0},
        {u"1e-400", VT_R8, S_OK, 0},
        {u"0.0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         u"00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         u"00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         u"00000000000000000000000000000000000000000000000000000000000000000000000001e-10", VT_R8, S_OK, 0},
        {u"1e39", VT_R4, DISP_E_OVERFLOW, 0},
        {u"", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"   ", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"12abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"1.2.3", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {u"inf", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {u"nan", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {u"0x10", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"&HZ", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {u"1e", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {u"12.5", VT_CY, S_OK, 12.5},
        {u"1.23456", VT_CY, S_OK, 1.2346},
    };
    for (const TextRow& theRow : kRows) {
        Var theText, theResult;
        V_VT(&theText.v) = VT_BSTR;
        V_BSTR(&theText.v) = SysAllocString(theRow.text);
        const HRESULT hr = VariantChangeType(&theResult.v, &theText.v, 0, theRow.vt);
        const std::string theName(theRow.text, theRow.text + std::char_traits<char16_t>::length(theRow.text));
        ASSERT_EQ(hr, theRow.result) << "'" << theName << "' to " << theRow.vt;
        if (hr == S_OK) {
            EXPECT_EQ(V_VT(&theResult.v), theRow.vt);
            EXPECT_DOUBLE_EQ(NumberOf(theResult.v), theRow.value) << theName;
        } else {
            EXPECT_EQ(V_VT(&theResult.v), VT_EMPTY) << "failure leaves the destination alone";
        }
    }
}

TEST(VarType, VeryLongNumbersOverflowInsteadOfReadingAsZero)
{
    Var theText, theResult;
    V_VT(&theText.v) = VT_BSTR;
    V_BSTR(&theText.v) = SysAllocStringLen(nullptr, 400);
    for (int i = 0; i < 400; ++i)
        V_BSTR(&theText.v)[i] = i == 380 ? u'.' : u'9';
    EXPECT_EQ(VariantChangeType(&theResult.v, &theText.v, 0, VT_R8), DISP_E_OVERFLOW);
    EXPECT_EQ(VariantChangeType(&theResult.v, &theText.v, 0, VT_I4), DISP_E_OVERFLOW);
}

TEST(VarType, NumbersToIntegersRoundHalfToEvenAndCheckRange)
{
    const struct { double value; VARTYPE vt; HRESULT result; LONGLONG expected; } kRows[] = {
        {0.5, VT_I4, S_OK, 0}, {1.5, VT_I4, S_OK, 2}, {-1.5, VT_I2, S_OK, -2}, {2.4999, VT_I1, S_OK, 2},
        {127.5, VT_I1, DISP_E_OVERFLOW, 0}, {-0.5, VT_UI1, S_OK, 0}, {-0.6, VT_UI1, DISP_E_OVERFLOW, 0},
        {4294967295.0, VT_UI4, S_OK, 4294967295LL}, {9.3e18, VT_I8, DISP_E_OVERFLOW, 0},
        {NAN, VT_I4, DISP_E_OVERFLOW, 0}, {INFINITY, VT_I4, DISP_E_OVERFLOW, 0},
    };
    for (const auto& theRow : kRows) {
        Var theSource, theResult;
        V_VT(&theSource.v) = VT_R8;
        V_R8(&theSource.v) = theRow.value;
        ASSERT_EQ(VariantChangeType(&theResult.v, &theSource.v, 0, theRow.vt), theRow.result) << theRow.value;
        if (theRow.result == S_OK) {
            EXPECT_EQ(static_cast<LONGLONG>(NumberOf(theResult.v)), theRow.expected) << theRow.value;
        }
    }
    // Currency rounds on its own scale, without a trip through double.
    Var theCy, theInt;
    V_VT(&theCy.v) = VT_CY;
    V_CY(&theCy.v).int64 = 25000;   // 2.5
    ASSERT_EQ(VariantChangeType(&theInt.v, &theCy.v, 0, VT_I4), S_OK);
    EXPECT_EQ(V_I4(&theInt.v), 2);
}

TEST(VarType, NumbersToText)
{
    const struct { VARTYPE vt; double value; const char16_t* text; } kRows[] = {
        {VT_R8, 0.1, u"0.1"}, {VT_R8, 0.1 + 0.2, u"0.3"}, {VT_R8, 1.0 / 3, u"0.333333333333333"},
        {VT_R8, 1e20, u"1E+20"}, {VT_R8, 0.00001, u"1E-05"}, {VT_R8, 123456789012345.0, u"123456789012345"},
        {VT_R8, -2.5, u"-2.5"}, {VT_R8, -0.0, u"0"}, {VT_R4, 0.1, u"0.1"}, {VT_I4, -42, u"-42"},
        {VT_UI1, 200, u"200"}, {VT_CY, 12.5, u"12.5"}, {VT_CY, -0.0001, u"-0.0001"},
    };
    for (const auto& theRow : kRows) {
        Var theSource, theTyped;
        V_VT(&theSource.v) = VT_R8;
        V_R8(&theSource.v) = theRow.value;
        ASSERT_EQ(VariantChangeType(&theTyped.v, &theSource.v, 0, theRow.vt), S_OK);
        EXPECT_EQ(TextOf(theTyped.v), theRow.text) << theRow.value;
    }
    Var theBig;
    V_VT(&theBig.v) = VT_UI8;
    V_UI8(&theBig.v) = 18446744073709551615ULL;
    EXPECT_EQ(TextOf(theBig.v), u"18446744073709551615");
}

TEST(VarType, BooleansAsScriptsSeeThem)
{
    Var theTrue, theResult;
    V_VT(&theTrue.v) = VT_BOOL;
    V_BOOL(&theTrue.v) = VARIANT_TRUE;
    EXPECT_EQ(TextOf(theTrue.v), u"-1");
    EXPECT_EQ(TextOf(theTrue.v, VARIANT_ALPHABOOL), u"True");
    ASSERT_EQ(VariantChangeType(&theResult.v, &theTrue.v, 0, VT_I4), S_OK);
    EXPECT_EQ(V_I4(&theResult.v), -1);
    ASSERT_EQ(VariantChangeType(&theResult.v, &theTrue.v, 0, VT_UI1), DISP_E_OVERFLOW);

    for (const auto& [theText, theExpected] : {std::pair{u"true", VARIANT_TRUE}, {u" FALSE ", VARIANT_FALSE},
                                                {u"0", VARIANT_FALSE}, {u"2.5", VARIANT_TRUE}, {u"-1", VARIANT_TRUE}}) {
        Var theSource;
        V_VT(&theSource.v) = VT_BSTR;
        V_BSTR(&theSource.v) = SysAllocString(theText);
        ASSERT_EQ(VariantChangeType(&theResult.v, &theSource.v, 0, VT_BOOL), S_OK);
        EXPECT_EQ(V_BOOL(&theResult.v), theExpected);
    }
    Var theWord;
    V_VT(&theWord.v) = VT_BSTR;
    V_BSTR(&theWord.v) = SysAllocString(u"yes");
    EXPECT_EQ(VariantChangeType(&theResult.v, &theWord.v, 0, VT_BOOL), DISP_E_TYPEMISMATCH);
}

TEST(VarType, EmptyNullAndErrorSources)
{
    Var theEmpty, theNull, theError, theResult;
    V_VT(&theNull.v) = VT_NULL;
    V_VT(&theError.v) = VT_ERROR;
    V_ERROR(&theError.v) = DISP_E_PARAMNOTFOUND;
    ASSERT_EQ(VariantChangeType(&theResult.v, &theEmpty.v, 0, VT_I4), S_OK);
    EXPECT_EQ(V_I4(&theResult.v), 0);
    ASSERT_EQ(VariantChangeType(&theResult.v, &theEmpty.v, 0, VT_BSTR), S_OK);
    ASSERT_NE(V_BSTR(&theResult.v), nullptr);
    EXPECT_EQ(SysStringLen(V_BSTR(&theResult.v)), 0u);
    ASSERT_EQ(VariantChangeType(&theResult.v, &theEmpty.v, 0, VT_DISPATCH), S_OK);
    EXPECT_EQ(V_DISPATCH(&theResult.v), nullptr);

    for (VARTYPE theVt : {VT_I4, VT_BSTR, VT_BOOL, VT_R8, VT_DATE, VT_DISPATCH})
        EXPECT_EQ(VariantChangeType(&theResult.v, &theNull.v, 0, theVt), DISP_E_TYPEMISMATCH) << theVt;
    EXPECT_EQ(VariantChangeType(&theResult.v, &theNull.v, 0, VT_NULL), S_OK);
    EXPECT_EQ(VariantChangeType(&theResult.v, &theNull.v, 0, VT_EMPTY), S_OK);
    for (VARTYPE theVt : {VT_I4, VT_BSTR, VT_BOOL})
        EXPECT_EQ(VariantChangeType(&theResult.v, &theError.v, 0, theVt), DISP_E_TYPEMISMATCH) << theVt;

    Var theCode;
    V_VT(&theCode.v) = VT_I4;
    V_I4(&theCode.v) = static_cast<LONG>(0x80004005);
    ASSERT_EQ(VariantChangeType(&theResult.v, &theCode.v, 0, VT_ERROR), S_OK);
    EXPECT_EQ(V_ERROR(&theResult.v), E_FAIL);
}

TEST(VarType, ObjectsGiveTheirValue)
{
    CountedObject theObject;
    V_VT(&theObject.mValue) = VT_BSTR;
    V_BSTR(&theObject.mValue) = SysAllocString(u"17");
    Var theSource, theResult;
    V_VT(&theSource.v) = VT_DISPATCH;
    V_DISPATCH(&theSource.v) = &theObject;
    theObject.AddRef();
    ASSERT_EQ(VariantChangeType(&theResult.v, &theSource.v, 0, VT_I4), S_OK);
    EXPECT_EQ(V_I4(&theResult.v), 17);
    EXPECT_EQ(VariantChangeType(&theResult.v, &theSource.v, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(VariantChangeType(&theResult.v, &theSource.v, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(theObject.Refs(), 3u);
    VariantClear(&theResult.v);

    // An object whose value is itself ends in a mismatch, not a loop.
    VariantClear(&theObject.mValue);
    V_VT(&theObject.mValue) = VT_DISPATCH;
    V_DISPATCH(&theObject.mValue) = &theObject;
    theObject.AddRef();
    EXPECT_EQ(VariantChangeType(&theResult.v, &theSource.v, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    VariantClear(&theObject.mValue);
    VariantClear(&theSource.v);
    EXPECT_EQ(theObject.Refs(), 1u);
    V_VT(&theSource.v) = VT_DISPATCH;
    V_DISPATCH(&theSource.v) = nullptr;
    EXPECT_EQ(VariantChangeType(&theResult.v, &theSource.v, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

TEST(VarType, DatesReadAndPrintInUsOrder)
{
    const struct { const char16_t* text; double date; const char16_t* printed; } kRows[] = {
        {u"2026-12-06", 46362, u"12/6/2026"},
        {u"12/6/2026 2:05 PM", 46362 + (14 * 60 + 5) / 1440.0, u"12/6/2026 2:05:00 PM"},
        {u"1/1/30", 10959, u"1/1/1930"},
        {u"1899-12-29 06:00:00", -1.25, u"12/29/1899 6:00:00 AM"},
        {u"12:00:00 AM", 0, u"12:00:00 AM"},
        {u"13:30", 0.5625, u"1:30:00 PM"},
    };
    for (const auto& theRow : kRows) {
        Var theText, theDate;
        V_VT(&theText.v) = VT_BSTR;
        V_BSTR(&theText.v) = SysAllocString(theRow.text);
        ASSERT_EQ(VariantChangeType(&theDate.v, &theText.v, 0, VT_DATE), S_OK);
        EXPECT_DOUBLE_EQ(V_DATE(&theDate.v), theRow.date);
        EXPECT_EQ(TextOf(theDate.v), theRow.printed);
    }
    for (const char16_t* theBad : {u"2026-02-30", u"13/1/2026", u"25:00", u"12/6/2026 x", u"45000"}) {
        Var theText, theDate;
        V_VT(&theText.v) = VT_BSTR;
        V_BSTR(&theText.v) = SysAllocString(theBad);
        EXPECT_EQ(VariantChangeType(&theDate.v, &theText.v, 0, VT_DATE), DISP_E_TYPEMISMATCH);
    }
    Var theFar, theDate;
    V_VT(&theFar.v) = VT_R8;
    V_R8(&theFar.v) = 3e6;
    EXPECT_EQ(VariantChangeType(&theDate.v, &theFar.v, 0, VT_DATE), DISP_E_OVERFLOW);
}

TEST(VarType, DecimalsKeepTheirDigits)
{
    Var theText, theDec, theBack;
    V_VT(&theText.v) = VT_R8;
    V_R8(&theText.v) = -1234.5678;
    ASSERT_EQ(VariantChangeType(&theDec.v, &theText.v, 0, VT_DECIMAL), S_OK);
    EXPECT_EQ(V_DECIMAL(&theDec.v).scale, 4);
    EXPECT_EQ(V_DECIMAL(&theDec.v).sign, 0x80);
    EXPECT_EQ(V_DECIMAL(&theDec.v).Lo64, 12345678u);
    EXPECT_EQ(TextOf(theDec.v), u"-1234.5678");
    ASSERT_EQ(VariantChangeType(&theBack.v, &theDec.v, 0, VT_I4), S_OK);
    EXPECT_EQ(V_I4(&theBack.v), -1235);
    ASSERT_EQ(VariantChangeType(&theBack.v, &theDec.v, 0, VT_CY), S_OK);
    EXPECT_EQ(V_CY(&theBack.v).int64, -12345678);
}

TEST(VarType, BytesAndStringsConvertByteForByte)
{
    Var theText, theBytes, theBack;
    V_VT(&theText.v) = VT_BSTR;
    V_BSTR(&theText.v) = SysAllocStringByteLen("\x01\x02\x03", 3);
    ASSERT_EQ(VariantChangeType(&theBytes.v, &theText.v, 0, VT_ARRAY | VT_UI1), S_OK);
    LONG theHigh = 0;
    SafeArrayGetUBound(V_ARRAY(&theBytes.v), 1, &theHigh);
    EXPECT_EQ(theHigh, 2);
    ASSERT_EQ(VariantChangeType(&theBack.v, &theBytes.v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(SysStringByteLen(V_BSTR(&theBack.v)), 3u);
    EXPECT_EQ(VariantChangeType(&theBack.v, &theBytes.v, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

TEST(VarType, InPlaceAndBadArguments)
{
    Var theValue, theOther;
    V_VT(&theValue.v) = VT_BSTR;
    V_BSTR(&theValue.v) = SysAllocString(u"12");
    ASSERT_EQ(VariantChangeType(&theValue.v, &theValue.v, 0, VT_I4), S_OK);
    EXPECT_EQ(V_VT(&theValue.v), VT_I4);
    EXPECT_EQ(V_I4(&theValue.v), 12);

    LONG theNumber = 9;
    Var theRef;
    V_VT(&theRef.v) = VT_I4 | VT_BYREF;
    V_I4REF(&theRef.v) = &theNumber;
    ASSERT_EQ(VariantChangeType(&theOther.v, &theRef.v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(V_BSTR(&theOther.v)), u"9");

    EXPECT_EQ(VariantChangeType(nullptr, &theValue.v, 0, VT_I4), E_INVALIDARG);
    EXPECT_EQ(VariantChangeType(&theOther.v, nullptr, 0, VT_I4), E_INVALIDARG);
    EXPECT_EQ(VariantChangeType(&theOther.v, &theValue.v, 0, VT_I4 | VT_BYREF), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&theOther.v, &theValue.v, 0, VT_VARIANT), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&theOther.v, &theValue.v, 0, 15), DISP_E_BADVARTYPE);
    V_VT(&theValue.v) = 0x7FF;
    EXPECT_EQ(VariantChangeType(&theOther.v, &theValue.v, 0, VT_I4), DISP_E_BADVARTYPE);
    V_VT(&theValue.v) = VT_EMPTY;
}

}  // namespace

#include <oleauto.h>

#include <gtest/gtest.h>

#include "CountedObject.h"

namespace {

TEST(Variant, ClearReleasesWhatItOwns)
{
    CountedObject theObject;
    VARIANT theValue;
    VariantInit(&theValue);
    EXPECT_EQ(V_VT(&theValue), VT_EMPTY);
    V_VT(&theValue) = VT_DISPATCH;
    V_DISPATCH(&theValue) = &theObject;
    theObject.AddRef();
    EXPECT_EQ(VariantClear(&theValue), S_OK);
    EXPECT_EQ(V_VT(&theValue), VT_EMPTY);
    EXPECT_EQ(theObject.Refs(), 1u);

    // A reference owns nothing.
    LONG theNumber = 5;
    V_VT(&theValue) = VT_I4 | VT_BYREF;
    V_I4REF(&theValue) = &theNumber;
    EXPECT_EQ(VariantClear(&theValue), S_OK);
}

TEST(Variant, ClearRefusesBadTypesAndLockedArrays)
{
    VARIANT theValue;
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
    for (VARTYPE theVt : {VARTYPE(15), VARTYPE(VT_VOID), VARTYPE(VT_VECTOR | VT_I4), VARTYPE(VT_EMPTY | VT_BYREF),
                          VARTYPE(VT_VARIANT), VARTYPE(0x7FF)}) {
        V_VT(&theValue) = theVt;
        EXPECT_EQ(VariantClear(&theValue), DISP_E_BADVARTYPE) << theVt;
    }
    SAFEARRAY* theArray = SafeArrayCreateVector(VT_UI1, 0, 1);
    SafeArrayLock(theArray);
    V_VT(&theValue) = VT_ARRAY | VT_UI1;
    V_ARRAY(&theValue) = theArray;
    EXPECT_EQ(VariantClear(&theValue), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(V_VT(&theValue), VT_ARRAY | VT_UI1);
    SafeArrayUnlock(theArray);
    EXPECT_EQ(VariantClear(&theValue), S_OK);
}

TEST(Variant, CopyIsDeep)
{
    CountedObject theObject;
    VARIANT theSource, theCopy;
    VariantInit(&theCopy);
    V_VT(&theSource) = VT_BSTR;
    V_BSTR(&theSource) = SysAllocString(u"abc");
    ASSERT_EQ(VariantCopy(&theCopy, &theSource), S_OK);
    EXPECT_NE(V_BSTR(&theCopy), V_BSTR(&theSource));
    EXPECT_EQ(std::u16string(V_BSTR(&theCopy)), u"abc");
    VariantClear(&theSource);

    // Copying over a string frees it; interfaces gain a reference.
    V_VT(&theSource) = VT_UNKNOWN;
    V_UNKNOWN(&theSource) = &theObject;
    ASSERT_EQ(VariantCopy(&theCopy, &theSource), S_OK);
    EXPECT_EQ(theObject.Refs(), 2u);
    VariantClear(&theCopy);
    EXPECT_EQ(theObject.Refs(), 1u);

    V_VT(&theSource) = VT_ARRAY | VT_UI1;
    V_ARRAY(&theSource) = SafeArrayCreateVector(VT_UI1, 0, 3);
    ASSERT_EQ(VariantCopy(&theCopy, &theSource), S_OK);
    EXPECT_NE(V_ARRAY(&theCopy), V_ARRAY(&theSource));
    VariantClear(&theCopy);
    VariantClear(&theSource);

    EXPECT_EQ(VariantCopy(nullptr, &theSource), E_INVALIDARG);
    EXPECT_EQ(VariantCopy(&theCopy, nullptr), E_INVALIDARG);
    V_VT(&theSource) = 15;
    EXPECT_EQ(VariantCopy(&theCopy, &theSource), DISP_E_BADVARTYPE);
}

TEST(Variant, CopyIndFollowsOneReference)
{
    VARIANT theTarget, theRef, theCopy;
    VariantInit(&theCopy);
    BSTR theText = SysAllocString(u"by ref");
    V_VT(&theRef) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&theRef) = &theText;
    ASSERT_EQ(VariantCopyInd(&theCopy, &theRef), S_OK);
    EXPECT_EQ(V_VT(&theCopy), VT_BSTR);
    EXPECT_NE(V_BSTR(&theCopy), theText);
    EXPECT_EQ(std::u16string(V_BSTR(&theCopy)), u"by ref");
    VariantClear(&theCopy);

    // A reference to a variant is followed through to its value.
    V_VT(&theTarget) = VT_I2;
    V_I2(&theTarget) = -7;
    V_VT(&theRef) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&theRef) = &theTarget;
    ASSERT_EQ(VariantCopyInd(&theCopy, &theRef), S_OK);
    EXPECT_EQ(V_VT(&theCopy), VT_I2);
    EXPECT_EQ(V_I2(&theCopy), -7);

    // In place: the reference is replaced by the value.
    VARIANT theInPlace;
    V_VT(&theInPlace) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&theInPlace) = &theText;
    ASSERT_EQ(VariantCopyInd(&theInPlace, &theInPlace), S_OK);
    EXPECT_EQ(V_VT(&theInPlace), VT_BSTR);
    VariantClear(&theInPlace);

    VARIANT theDouble;
    V_VT(&theDouble) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&theDouble) = &theRef;
    EXPECT_EQ(VariantCopyInd(&theCopy, &theDouble), E_INVALIDARG);
    V_VT(&theRef) = VT_I4 | VT_BYREF;
    V_I4REF(&theRef) = nullptr;
    EXPECT_EQ(VariantCopyInd(&theCopy, &theRef), E_INVALIDARG);
    SysFreeString(theText);
}

}  // namespace

#include <oleauto.h>

#include <gtest/gtest.h>

#include "CountedObject.h"

namespace {

TEST(SafeArray, VectorBoundsDimsAndElementSize)
{
    SAFEARRAY* theArray = SafeArrayCreateVector(VT_UI1, 0, 5);
    ASSERT_NE(theArray, nullptr);
    LONG theLow = -1, theHigh = -1;
    EXPECT_EQ(SafeArrayGetDim(theArray), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(theArray), 1u);
    EXPECT_EQ(SafeArrayGetLBound(theArray, 1, &theLow), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(theArray, 1, &theHigh), S_OK);
    EXPECT_EQ(theLow, 0);
    EXPECT_EQ(theHigh, 4);
    VARTYPE theVt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(theArray, &theVt), S_OK);
    EXPECT_EQ(theVt, VT_UI1);
    EXPECT_EQ(SafeArrayGetLBound(theArray, 0, &theLow), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(theArray, 2, &theHigh), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(theArray), S_OK);

    // An empty vector has upper bound lower - 1.
    theArray = SafeArrayCreateVector(VT_UI1, 0, 0);
    ASSERT_NE(theArray, nullptr);
    EXPECT_EQ(SafeArrayGetUBound(theArray, 1, &theHigh), S_OK);
    EXPECT_EQ(theHigh, -1);
    SafeArrayDestroy(theArray);
}

TEST(SafeArray, MultipleDimensionsIndexDimensionOneFirstAndFastest)
{
    SAFEARRAYBOUND theBounds[2] = {{2, 1}, {3, 10}};   // dimension 1: 1..2, dimension 2: 10..12
    SAFEARRAY* theArray = SafeArrayCreate(VT_I4, 2, theBounds);
    ASSERT_NE(theArray, nullptr);
    LONG theLow = 0;
    SafeArrayGetLBound(theArray, 2, &theLow);
    EXPECT_EQ(theLow, 10);
    LONG theIndex[2] = {2, 11};
    LONG theValue = 42;
    ASSERT_EQ(SafeArrayPutElement(theArray, theIndex, &theValue), S_OK);
    EXPECT_EQ(static_cast<LONG*>(theArray->pvData)[1 + 1 * 2], 42);
    LONG theRead = 0;
    EXPECT_EQ(SafeArrayGetElement(theArray, theIndex, &theRead), S_OK);
    EXPECT_EQ(theRead, 42);
    LONG theOutside[2] = {3, 11};
    EXPECT_EQ(SafeArrayGetElement(theArray, theOutside, &theRead), DISP_E_BADINDEX);
    LONG theBelow[2] = {1, 9};
    EXPECT_EQ(SafeArrayPutElement(theArray, theBelow, &theValue), DISP_E_BADINDEX);
    SafeArrayDestroy(theArray);
}

TEST(SafeArray, LockedArraysRefuseDestruction)
{
    SAFEARRAY* theArray = SafeArrayCreateVector(VT_UI1, 0, 4);
    void* theData = nullptr;
    ASSERT_EQ(SafeArrayAccessData(theArray, &theData), S_OK);
    EXPECT_EQ(theData, theArray->pvData);
    EXPECT_EQ(SafeArrayLock(theArray), S_OK);
    EXPECT_EQ(theArray->cLocks, 2u);
    EXPECT_EQ(SafeArrayDestroy(theArray), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnlock(theArray), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(theArray), S_OK);
    EXPECT_EQ(SafeArrayUnlock(theArray), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(theArray), S_OK);
}

TEST(SafeArray, BadArgumentsAreRefused)
{
    SAFEARRAYBOUND theBound{1, 0};
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &theBound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &theBound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_NULL, 1, &theBound), nullptr);
    SAFEARRAYBOUND theHuge[3] = {{0xFFFFFFFF, 0}, {0xFFFFFFFF, 0}, {0xFFFFFFFF, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 3, theHuge), nullptr);

    void* theData = nullptr;
    LONG theIndex = 0, theValue = 0;
    VARTYPE theVt = 0;
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
    EXPECT_EQ(SafeArrayLock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayUnlock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayAccessData(nullptr, &theData), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
    EXPECT_EQ(SafeArrayGetElemsize(nullptr), 0u);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &theValue), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetVartype(nullptr, &theVt), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetElement(nullptr, &theIndex, &theValue), E_INVALIDARG);
    SAFEARRAY* theArray = SafeArrayCreateVector(VT_I4, 0, 1);
    EXPECT_EQ(SafeArrayAccessData(theArray, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetUBound(theArray, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetElement(theArray, nullptr, &theValue), E_INVALIDARG);
    EXPECT_EQ(SafeArrayPutElement(theArray, &theIndex, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayCopy(theArray, nullptr), E_INVALIDARG);
    SAFEARRAY* theCopy = theArray;
    EXPECT_EQ(SafeArrayCopy(nullptr, &theCopy), S_OK);
    EXPECT_EQ(theCopy, nullptr);
    SafeArrayDestroy(theArray);
}

TEST(SafeArray, StringElementsAreCopiedInAndOut)
{
    SAFEARRAY* theArray = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG theIndex = 1;
    BSTR theText = SysAllocString(u"text");
    ASSERT_EQ(SafeArrayPutElement(theArray, &theIndex, theText), S_OK);
    SysFreeString(theText);   // the array holds its own copy
    theText = SysAllocString(u"twice");
    ASSERT_EQ(SafeArrayPutElement(theArray, &theIndex, theText), S_OK);
    SysFreeString(theText);
    BSTR theRead = nullptr;
    ASSERT_EQ(SafeArrayGetElement(theArray, &theIndex, &theRead), S_OK);
    EXPECT_EQ(std::u16string(theRead), u"twice");
    SysFreeString(theRead);

    SAFEARRAY* theCopy = nullptr;
    ASSERT_EQ(SafeArrayCopy(theArray, &theCopy), S_OK);
    BSTR theOriginal = static_cast<BSTR*>(theArray->pvData)[1];
    BSTR theCopied = static_cast<BSTR*>(theCopy->pvData)[1];
    EXPECT_NE(theOriginal, theCopied);
    EXPECT_EQ(std::u16string(theCopied), u"twice");
    EXPECT_EQ(static_cast<BSTR*>(theCopy->pvData)[0], nullptr);
    SafeArrayDestroy(theArray);
    SafeArrayDestroy(theCopy);
}

TEST(SafeArray, InterfaceAndVariantElementsHoldReferences)
{
    CountedObject theObject;
    SAFEARRAY* theArray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    LONG theIndex = 0;
    VARIANT theValue;
    V_VT(&theValue) = VT_DISPATCH;
    V_DISPATCH(&theValue) = &theObject;
    ASSERT_EQ(SafeArrayPutElement(theArray, &theIndex, &theValue), S_OK);
    EXPECT_EQ(theObject.Refs(), 2u);
    SAFEARRAY* theCopy = nullptr;
    ASSERT_EQ(SafeArrayCopy(theArray, &theCopy), S_OK);
    EXPECT_EQ(theObject.Refs(), 3u);
    SafeArrayDestroy(theCopy);
    SafeArrayDestroy(theArray);
    EXPECT_EQ(theObject.Refs(), 1u);

    SAFEARRAY* theObjects = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
    ASSERT_EQ(SafeArrayPutElement(theObjects, &theIndex, static_cast<IUnknown*>(&theObject)), S_OK);
    EXPECT_EQ(theObject.Refs(), 2u);
    SafeArrayDestroy(theObjects);
    EXPECT_EQ(theObject.Refs(), 1u);
}

}  // namespace

// The enumerator behind For Each: its own reference count, the module held while any
// enumerator or clone lives, and clones that walk the same snapshot on their own.
#include "objects/FieldEnumerator.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/common/ComPtr.h"
#include "platform/common/UniqueVariant.h"
#include "support/ModuleLock.h"

namespace {

std::vector<UniqueVariant> Numbers(std::initializer_list<LONG> inValues)
{
    std::vector<UniqueVariant> theItems;
    for (LONG theValue : inValues) {
        UniqueVariant theItem;
        V_VT(theItem.put()) = VT_I4;
        V_I4(theItem.get()) = theValue;
        theItems.push_back(std::move(theItem));
    }
    return theItems;
}

TEST(FieldEnumeratorTest, CountsReferencesAndHoldsTheModule)
{
    const LONG theLocks = ModuleLockCount();
    IUnknown* theUnknown = nullptr;
    ASSERT_EQ(FieldEnumerator::Create(Numbers({1, 2}), &theUnknown), S_OK);
    EXPECT_EQ(ModuleLockCount(), theLocks + 1);
    EXPECT_EQ(theUnknown->AddRef(), 2u);
    EXPECT_EQ(theUnknown->Release(), 1u);

    IEnumVARIANT* theEnum = nullptr;
    ASSERT_EQ(theUnknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&theEnum)), S_OK);
    EXPECT_EQ(static_cast<void*>(theEnum), static_cast<void*>(theUnknown));
    void* theNone = &theNone;
    EXPECT_EQ(theEnum->QueryInterface(IID_IDispatch, &theNone), E_NOINTERFACE);
    EXPECT_EQ(theNone, nullptr);

    IEnumVARIANT* theClone = nullptr;
    ASSERT_EQ(theEnum->Clone(&theClone), S_OK);
    EXPECT_EQ(ModuleLockCount(), theLocks + 2);
    EXPECT_EQ(theEnum->Release(), 1u);
    EXPECT_EQ(theUnknown->Release(), 0u);
    EXPECT_EQ(ModuleLockCount(), theLocks + 1) << "the clone outlives its original";
    EXPECT_EQ(theClone->Release(), 0u);
    EXPECT_EQ(ModuleLockCount(), theLocks);
}

TEST(FieldEnumeratorTest, ClonesWalkTheSameItemsFromTheSamePlace)
{
    ComPtr<IUnknown> theUnknown;
    ASSERT_EQ(FieldEnumerator::Create(Numbers({10, 20, 30}), theUnknown.put()), S_OK);
    ComPtr<IEnumVARIANT> theEnum = theUnknown.query<IEnumVARIANT>();
    ASSERT_TRUE(theEnum);
    UniqueVariant theItem;
    ULONG theFetched = 0;
    ASSERT_EQ(theEnum->Next(1, theItem.put(), &theFetched), S_OK);
    EXPECT_EQ(V_I4(theItem.get()), 10);

    ComPtr<IEnumVARIANT> theClone;
    ASSERT_EQ(theEnum->Clone(theClone.put()), S_OK);
    EXPECT_EQ(theEnum->Skip(5), S_FALSE);
    EXPECT_EQ(theEnum->Next(1, theItem.put(), &theFetched), S_FALSE);
    EXPECT_EQ(theFetched, 0u);
    ASSERT_EQ(theClone->Next(1, theItem.put(), &theFetched), S_OK);
    EXPECT_EQ(V_I4(theItem.get()), 20);
    EXPECT_EQ(theEnum->Reset(), S_OK);
    ASSERT_EQ(theEnum->Next(1, theItem.put(), &theFetched), S_OK);
    EXPECT_EQ(V_I4(theItem.get()), 10);
}

}  // namespace

#include <windows.h>

#include <gtest/gtest.h>

namespace {

const GUID kGuid = {0x0123ABCD, 0x4567, 0x89EF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

TEST(GuidText, RoundTripsInBracedForm)
{
    OLECHAR theText[39];
    ASSERT_EQ(StringFromGUID2(kGuid, theText, 39), 39);
    EXPECT_EQ(std::u16string(theText), u"{0123ABCD-4567-89EF-0123-456789ABCDEF}");
    CLSID theBack{};
    ASSERT_EQ(CLSIDFromString(theText, &theBack), S_OK);
    EXPECT_TRUE(IsEqualGUID(theBack, kGuid));
    IID theIid{};
    ASSERT_EQ(IIDFromString(u"{0123abcd-4567-89ef-0123-456789abcdef}", &theIid), S_OK);
    EXPECT_TRUE(IsEqualGUID(theIid, kGuid));
    EXPECT_EQ(StringFromGUID2(kGuid, theText, 38), 0);
    EXPECT_EQ(StringFromGUID2(kGuid, nullptr, 39), 0);
}

TEST(GuidText, BadTextIsRefused)
{
    for (const char16_t* theBad : {u"{0123ABCD-4567-89EF-0123-456789ABCDEF", u"0123ABCD-4567-89EF-0123-456789ABCDEF}",
                                   u"{0123ABCD-4567-89EF-0123-456789ABCDEF}x", u"{0123ABCD+4567-89EF-0123-456789ABCDEF}",
                                   u"{0123ABCG-4567-89EF-0123-456789ABCDEF}", u"{}", u"{0123"}) {
        CLSID theClsid = kGuid;
        EXPECT_EQ(CLSIDFromString(theBad, &theClsid), CO_E_CLASSSTRING);
        EXPECT_TRUE(IsEqualGUID(theClsid, IID_NULL));
        IID theIid{};
        EXPECT_EQ(IIDFromString(theBad, &theIid), CO_E_CLASSSTRING);
    }
    CLSID theClsid = kGuid;
    EXPECT_EQ(CLSIDFromString(nullptr, &theClsid), S_OK);
    EXPECT_TRUE(IsEqualGUID(theClsid, IID_NULL));
    EXPECT_EQ(CLSIDFromString(u"{}", nullptr), E_INVALIDARG);
}

TEST(ComRuntime, InitialisationCountsPerThread)
{
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    CoUninitialize();   // one too many is ignored
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
    int theReserved = 0;
    EXPECT_EQ(CoInitializeEx(&theReserved, 0), E_INVALIDARG);
}

TEST(ComRuntime, TaskMemory)
{
    void* theBlock = CoTaskMemAlloc(0);
    EXPECT_NE(theBlock, nullptr);
    theBlock = CoTaskMemRealloc(theBlock, 64);
    ASSERT_NE(theBlock, nullptr);
    CoTaskMemFree(theBlock);
    CoTaskMemFree(nullptr);
}

}  // namespace

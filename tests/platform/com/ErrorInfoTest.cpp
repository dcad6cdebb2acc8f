#include <windows.h>

#include <thread>

#include <gtest/gtest.h>

namespace {

IErrorInfo* MakeInfo(const char16_t* inDescription)
{
    ICreateErrorInfo* theCreate = nullptr;
    EXPECT_EQ(CreateErrorInfo(&theCreate), S_OK);
    theCreate->SetDescription(const_cast<LPOLESTR>(inDescription));
    IErrorInfo* theInfo = nullptr;
    EXPECT_EQ(theCreate->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&theInfo)), S_OK);
    theCreate->Release();
    return theInfo;
}

TEST(ErrorInfo, CarriesWhatWasSet)
{
    ICreateErrorInfo* theCreate = nullptr;
    ASSERT_EQ(CreateErrorInfo(&theCreate), S_OK);
    const GUID theGuid = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    theCreate->SetGUID(theGuid);
    theCreate->SetSource(const_cast<LPOLESTR>(u"Ferrolift4.XForm.4"));
    theCreate->SetDescription(const_cast<LPOLESTR>(u"Upload too large"));
    theCreate->SetHelpContext(7);
    IErrorInfo* theInfo = nullptr;
    ASSERT_EQ(theCreate->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&theInfo)), S_OK);
    GUID theRead{};
    BSTR theSource = nullptr, theDescription = nullptr, theHelp = reinterpret_cast<BSTR>(1);
    DWORD theContext = 0;
    EXPECT_EQ(theInfo->GetGUID(&theRead), S_OK);
    EXPECT_TRUE(IsEqualGUID(theRead, theGuid));
    EXPECT_EQ(theInfo->GetSource(&theSource), S_OK);
    EXPECT_EQ(std::u16string(theSource), u"Ferrolift4.XForm.4");
    EXPECT_EQ(theInfo->GetDescription(&theDescription), S_OK);
    EXPECT_EQ(std::u16string(theDescription), u"Upload too large");
    EXPECT_EQ(theInfo->GetHelpFile(&theHelp), S_OK);
    EXPECT_EQ(theHelp, nullptr);
    EXPECT_EQ(theInfo->GetHelpContext(&theContext), S_OK);
    EXPECT_EQ(theContext, 7u);
    EXPECT_EQ(theInfo->GetSource(nullptr), E_INVALIDARG);
    void* theOther = nullptr;
    EXPECT_EQ(theInfo->QueryInterface(IID_IDispatch, &theOther), E_NOINTERFACE);
    EXPECT_EQ(theOther, nullptr);
    SysFreeString(theSource);
    SysFreeString(theDescription);
    EXPECT_EQ(theInfo->Release(), 1u);
    EXPECT_EQ(theCreate->Release(), 0u);
    EXPECT_EQ(CreateErrorInfo(nullptr), E_INVALIDARG);
}

TEST(ErrorInfo, GetHandsOverAndClears)
{
    IErrorInfo* theInfo = MakeInfo(u"first");
    ASSERT_EQ(SetErrorInfo(0, theInfo), S_OK);
    EXPECT_EQ(theInfo->AddRef(), 3u) << "the thread holds a reference";
    theInfo->Release();

    IErrorInfo* theTaken = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &theTaken), S_OK);
    EXPECT_EQ(theTaken, theInfo);
    theTaken->Release();
    EXPECT_EQ(GetErrorInfo(0, &theTaken), S_FALSE);
    EXPECT_EQ(theTaken, nullptr);

    // Setting replaces and releases the previous one; null clears.
    SetErrorInfo(0, theInfo);
    IErrorInfo* theSecond = MakeInfo(u"second");
    SetErrorInfo(0, theSecond);
    EXPECT_EQ(theInfo->Release(), 0u);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(theSecond->Release(), 0u);

    EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(1, &theTaken), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
}

TEST(ErrorInfo, EachThreadHasItsOwn)
{
    IErrorInfo* theInfo = MakeInfo(u"main");
    SetErrorInfo(0, theInfo);
    HRESULT theOtherThread = E_FAIL;
    std::thread([&] {
        IErrorInfo* theSeen = nullptr;
        theOtherThread = GetErrorInfo(0, &theSeen);
        // Left set at thread exit: released by the thread's cleanup.
        SetErrorInfo(0, theInfo);
    }).join();
    EXPECT_EQ(theOtherThread, S_FALSE);
    IErrorInfo* theMine = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &theMine), S_OK);
    theMine->Release();
    EXPECT_EQ(theInfo->Release(), 0u);
}

}  // namespace

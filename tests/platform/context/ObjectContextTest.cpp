// The object context as the component reaches it: GetObjectContext, the property bag,
// Request and Server; and the scripted test page behind them.
#include <comsvcs.h>

#include "common/TestPage.h"

#include <gtest/gtest.h>

#include <thread>

using ferrolift::test::TestPage;
using ferrolift::test::TestRequest;
using ferrolift::test::TestServer;

namespace {

// The component's path: context -> property bag -> "Request"/"Server" -> the interface.
template <class Interface>
HRESULT FetchProperty(const char16_t* inName, Interface** outObject)
{
    *outObject = nullptr;
    IObjectContext* theContext = nullptr;
    HRESULT hr = GetObjectContext(&theContext);
    if (FAILED(hr))
        return hr;
    IGetContextProperties* theProperties = nullptr;
    hr = theContext->QueryInterface(IID_IGetContextProperties, reinterpret_cast<void**>(&theProperties));
    theContext->Release();
    if (FAILED(hr))
        return hr;
    BSTR theName = SysAllocString(inName);
    VARIANT theValue;
    VariantInit(&theValue);
    hr = theProperties->GetProperty(theName, &theValue);
    SysFreeString(theName);
    theProperties->Release();
    if (SUCCEEDED(hr) && V_VT(&theValue) != VT_DISPATCH)
        hr = E_FAIL;
    if (SUCCEEDED(hr))
        hr = V_DISPATCH(&theValue)->QueryInterface(Interface::iid(), reinterpret_cast<void**>(outObject));
    VariantClear(&theValue);
    return hr;
}

std::vector<long> Longs(std::initializer_list<long> inValues)
{
    return std::vector<long>(inValues);
}

// One BinaryRead of inCount bytes; returns the bytes and the reported count.
HRESULT Read(IRequest* inRequest, long inCount, std::string& outBytes, VARIANT& outCount)
{
    VariantInit(&outCount);
    V_VT(&outCount) = VT_I4;
    V_I4(&outCount) = inCount;
    VARIANT theResult;
    VariantInit(&theResult);
    const HRESULT hr = inRequest->BinaryRead(&outCount, &theResult);
    outBytes.clear();
    if (SUCCEEDED(hr)) {
        SAFEARRAY* theArray = V_ARRAY(&theResult);
        void* theData = nullptr;
        SafeArrayAccessData(theArray, &theData);
        outBytes.assign(static_cast<char*>(theData), theArray->rgsabound[0].cElements);
        SafeArrayUnaccessData(theArray);
    }
    VariantClear(&theResult);
    return hr;
}

TEST(ObjectContextTest, NoPageNoContext)
{
    IObjectContext* theContext = reinterpret_cast<IObjectContext*>(0x1);
    EXPECT_EQ(GetObjectContext(&theContext), CONTEXT_E_NOCONTEXT);
    EXPECT_EQ(theContext, nullptr);
    EXPECT_EQ(GetObjectContext(nullptr), E_POINTER);
}

TEST(ObjectContextTest, ThePageObjectsThroughThePropertyBag)
{
    TestPage thePage("body");
    IRequest* theRequest = nullptr;
    ASSERT_EQ(FetchProperty(u"Request", &theRequest), S_OK);
    EXPECT_EQ(theRequest, static_cast<IRequest*>(&thePage.Request()));
    IServer* theServer = nullptr;
    ASSERT_EQ(FetchProperty(u"sErVeR", &theServer), S_OK);   // names ignore case
    EXPECT_EQ(theServer, static_cast<IServer*>(&thePage.Server()));
    IDispatch* theNothing = nullptr;
    EXPECT_EQ(FetchProperty(u"Response", &theNothing), E_INVALIDARG);

    long theTotal = 0;
    EXPECT_EQ(theRequest->get_TotalBytes(&theTotal), S_OK);
    EXPECT_EQ(theTotal, 4);
    theRequest->Release();
    theServer->Release();
}

TEST(ObjectContextTest, CountNamesActivationAndRoles)
{
    TestPage thePage;
    IObjectContext* theContext = nullptr;
    ASSERT_EQ(GetObjectContext(&theContext), S_OK);
    ferrolift::test::ScopedTempFolder theState;
    setenv("FERROLIFT_REGISTRY", (theState / "registry.reg").c_str(), 1);
    const CLSID theUnknownClass = {0x0badc0de, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
    void* theObject = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(theContext->CreateInstance(theUnknownClass, IID_IDispatch, &theObject), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(theObject, nullptr);
    unsetenv("FERROLIFT_REGISTRY");
    BOOL theInRole = FALSE;
    EXPECT_EQ(theContext->IsCallerInRole(nullptr, &theInRole), S_OK);
    EXPECT_TRUE(theInRole);

    IGetContextProperties* theProperties = nullptr;
    ASSERT_EQ(theContext->QueryInterface(IID_IGetContextProperties, reinterpret_cast<void**>(&theProperties)), S_OK);
    long theCount = 0;
    EXPECT_EQ(theProperties->Count(&theCount), S_OK);
    EXPECT_EQ(theCount, 2);
    IEnumNames* theNames = nullptr;
    ASSERT_EQ(theProperties->EnumNames(&theNames), S_OK);
    BSTR theBatch[3] = {};
    ULONG theFetched = 0;
    EXPECT_EQ(theNames->Next(3, theBatch, &theFetched), S_FALSE);
    ASSERT_EQ(theFetched, 2u);
    EXPECT_EQ(std::u16string(theBatch[0]), u"Request");
    EXPECT_EQ(std::u16string(theBatch[1]), u"Server");
    SysFreeString(theBatch[0]);
    SysFreeString(theBatch[1]);
    EXPECT_EQ(theNames->Reset(), S_OK);
    EXPECT_EQ(theNames->Skip(5), S_FALSE);
    theNames->Release();
    theProperties->Release();
    theContext->Release();
}

TEST(ObjectContextTest, ScopesNestPerThreadAndContextsKeepTheirObjects)
{
    TestPage theOuter("outer");
    IObjectContext* theKept = nullptr;
    TestRequest* theInnerRequest = nullptr;
    {
        TestPage theInner("inner!");
        IRequest* theRequest = nullptr;
        ASSERT_EQ(FetchProperty(u"Request", &theRequest), S_OK);
        EXPECT_EQ(theRequest, static_cast<IRequest*>(&theInner.Request()));
        theRequest->Release();
        ASSERT_EQ(GetObjectContext(&theKept), S_OK);
        theInnerRequest = &theInner.Request();
        theInnerRequest->AddRef();   // to watch it outlive its page
        std::thread([] {
            IObjectContext* theContext = nullptr;
            EXPECT_EQ(GetObjectContext(&theContext), CONTEXT_E_NOCONTEXT);
        }).join();
    }
    IRequest* theRequest = nullptr;
    ASSERT_EQ(FetchProperty(u"Request", &theRequest), S_OK);
    EXPECT_EQ(theRequest, static_cast<IRequest*>(&theOuter.Request()));
    theRequest->Release();
    EXPECT_EQ(theInnerRequest->References(), 2u);   // ours and the kept context's
    theKept->Release();
    EXPECT_EQ(theInnerRequest->References(), 1u);
    theInnerRequest->Release();
}

TEST(ObjectContextTest, ReferencesReturnWhenThePageEnds)
{
    TestRequest* theRequest = new TestRequest("x");
    TestServer* theServer = new TestServer("/srv", "/");
    {
        ferrolift::platform::ObjectContextScope theScope(theRequest, theServer);
        IObjectContext* theContext = nullptr;
        ASSERT_EQ(GetObjectContext(&theContext), S_OK);
        EXPECT_EQ(theRequest->References(), 3u);   // ours, the scope's, the context's
        theContext->Release();
    }
    EXPECT_EQ(theRequest->References(), 1u);
    EXPECT_EQ(theServer->References(), 1u);
    theRequest->Release();
    theServer->Release();
}

TEST(TestPageTest, BinaryReadFollowsItsScript)
{
    TestPage thePage(std::string(5000, 'b'));
    TestRequest& theRequest = thePage.Request();
    theRequest.SetDeliveries({2048, 100, 0});
    theRequest.FailAfter(4000, E_ABORT);
    std::string theBytes;
    VARIANT theCount;
    EXPECT_EQ(Read(&theRequest, 2048, theBytes, theCount), S_OK);
    EXPECT_EQ(theBytes.size(), 2048u);
    EXPECT_EQ(V_I4(&theCount), 2048);
    EXPECT_EQ(Read(&theRequest, 2048, theBytes, theCount), S_OK);   // a short delivery
    EXPECT_EQ(V_I4(&theCount), 100);
    EXPECT_EQ(Read(&theRequest, 2048, theBytes, theCount), S_OK);   // nothing at all
    EXPECT_EQ(theBytes.size(), 0u);
    EXPECT_EQ(Read(&theRequest, 5000, theBytes, theCount), S_OK);   // up to the failure point
    EXPECT_EQ(theBytes.size(), 4000u - 2148u);
    EXPECT_EQ(Read(&theRequest, 10, theBytes, theCount), E_ABORT);
    EXPECT_EQ(theRequest.RequestedCounts(), Longs({2048, 2048, 2048, 5000, 10}));
    EXPECT_EQ(theRequest.DeliveredSizes(), Longs({2048, 100, 0, 1852}));

    TestPage theOther("abc");
    theOther.Request().ReportCountAs(VT_BSTR, 5);
    EXPECT_EQ(Read(&theOther.Request(), 2, theBytes, theCount), S_OK);
    EXPECT_EQ(theBytes, "ab");
    ASSERT_EQ(V_VT(&theCount), VT_BSTR);
    EXPECT_EQ(std::u16string(V_BSTR(&theCount)), u"7");
    VariantClear(&theCount);
}

TEST(TestPageTest, MapPathStaysInsideTheSite)
{
    TestPage thePage("", "/forms/");
    auto theMap = [&](const char16_t* inVirtual) {
        BSTR theVirtual = SysAllocString(inVirtual);
        BSTR thePhysical = nullptr;
        const HRESULT hr = thePage.Server().MapPath(theVirtual, &thePhysical);
        SysFreeString(theVirtual);
        std::string theResult = FAILED(hr) ? "failed" : ferrolift::platform::Utf8FromUtf16(thePhysical);
        SysFreeString(thePhysical);
        return theResult;
    };
    EXPECT_EQ(theMap(u"/uploads/a.txt"), thePage.Root() + "/uploads/a.txt");
    EXPECT_EQ(theMap(u"a.txt"), thePage.Root() + "/forms/a.txt");
    EXPECT_EQ(theMap(u"..\\up\\b.txt"), thePage.Root() + "/up/b.txt");
    EXPECT_EQ(theMap(u"/"), thePage.Root());
    EXPECT_EQ(theMap(u"../../etc/passwd"), "failed");
    thePage.Server().SetMapPathResult(S_OK, true);
    BSTR thePhysical = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(thePage.Server().MapPath(nullptr, &thePhysical), S_OK);
    EXPECT_EQ(thePhysical, nullptr);
    EXPECT_EQ(thePage.Server().MappedPaths().size(), 6u);
}

TEST(ObjectContextTest, ContextAndNamesCountReferencesWithOneIdentity)
{
    TestPage thePage;
    IObjectContext* theContext = nullptr;
    ASSERT_EQ(GetObjectContext(&theContext), S_OK);
    EXPECT_EQ(theContext->AddRef(), 2u);
    EXPECT_EQ(theContext->Release(), 1u);
    IGetContextProperties* theProperties = nullptr;
    ASSERT_EQ(theContext->QueryInterface(IID_IGetContextProperties, reinterpret_cast<void**>(&theProperties)), S_OK);
    IUnknown* theFromContext = nullptr;
    IUnknown* theFromProperties = nullptr;
    ASSERT_EQ(theContext->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&theFromContext)), S_OK);
    ASSERT_EQ(theProperties->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&theFromProperties)), S_OK);
    EXPECT_EQ(theFromContext, theFromProperties);
    void* theNone = &theNone;
    EXPECT_EQ(theContext->QueryInterface(IID_IDispatch, &theNone), E_NOINTERFACE);
    EXPECT_EQ(theNone, nullptr);

    IEnumNames* theNames = nullptr;
    ASSERT_EQ(theProperties->EnumNames(&theNames), S_OK);
    IEnumNames* theSame = nullptr;
    ASSERT_EQ(theNames->QueryInterface(IID_IEnumNames, reinterpret_cast<void**>(&theSame)), S_OK);
    EXPECT_EQ(theSame, theNames);
    EXPECT_EQ(theSame->Release(), 1u);
    EXPECT_EQ(theNames->Release(), 0u);

    // Four references: the caller's and three from QueryInterface.
    EXPECT_EQ(theFromProperties->Release(), 3u);
    EXPECT_EQ(theFromContext->Release(), 2u);
    EXPECT_EQ(theProperties->Release(), 1u);
    EXPECT_EQ(theContext->Release(), 0u);
}

}  // namespace

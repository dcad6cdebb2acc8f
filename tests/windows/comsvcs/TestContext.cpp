// TestContext.cpp: a stand-in comsvcs.dll for the Wine tests, loaded in place of Wine's
// (whose GetObjectContext is a stub) through WINEDLLOVERRIDES. GetObjectContext hands
// out the context of one page whose Request reads the body file named by
// FERROLIFT_TEST_BODY and whose Server maps paths under FERROLIFT_TEST_SITE. Without
// FERROLIFT_TEST_BODY there is no page: CONTEXT_E_NOCONTEXT, as outside a page engine.
#include <windows.h>
#include <oleauto.h>
#include <comsvcs.h>

#include <string>

#include "TestRequest.h"
#include "TestServer.h"

extern "C" {
const IID IID_IObjectContext = {0x51372AE0, 0xCAE7, 0x11CF, {0xBE, 0x81, 0x00, 0xAA, 0x00, 0xA2, 0xFA, 0x25}};
const IID IID_IGetContextProperties = {0x51372AF4, 0xCAE7, 0x11CF, {0xBE, 0x81, 0x00, 0xAA, 0x00, 0xA2, 0xFA, 0x25}};
const IID IID_IRequest = {0xD97A6DA0, 0xA861, 0x11CF, {0x93, 0xAE, 0x00, 0xA0, 0xC9, 0x0C, 0x2B, 0xD8}};
const IID IID_IServer = {0xD97A6DA0, 0xA867, 0x11CF, {0x83, 0xAE, 0x01, 0xA0, 0xC9, 0x0C, 0x2B, 0xD8}};
}

namespace {

std::wstring Environment(const wchar_t* inName)
{
    wchar_t theValue[MAX_PATH * 2];
    const DWORD theLength = GetEnvironmentVariableW(inName, theValue, MAX_PATH * 2);
    return theLength > 0 && theLength < MAX_PATH * 2 ? std::wstring(theValue, theLength) : std::wstring();
}

class TestContext : public IObjectContext, public IGetContextProperties {
public:
    TestContext(const std::wstring& inBody, const std::wstring& inSite) : mBody(inBody), mSite(inSite) {}
    virtual ~TestContext() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (outObject == nullptr)
            return E_POINTER;
        *outObject = nullptr;
        if (IsEqualIID(inIid, IID_IUnknown) || IsEqualIID(inIid, IID_IObjectContext))
            *outObject = static_cast<IObjectContext*>(this);
        else if (IsEqualIID(inIid, IID_IGetContextProperties))
            *outObject = static_cast<IGetContextProperties*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&mRefs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG theCount = InterlockedDecrement(&mRefs);
        if (theCount == 0)
            delete this;
        return theCount;
    }

    // IGetContextProperties: "Request" and "Server" as VT_DISPATCH, made anew each time.
    HRESULT STDMETHODCALLTYPE Count(LONG* outCount) override
    {
        if (outCount == nullptr)
            return E_POINTER;
        *outCount = 2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetProperty(BSTR inName, VARIANT* outValue) override
    {
        if (outValue == nullptr)
            return E_POINTER;
        VariantInit(outValue);
        IDispatch* theObject = nullptr;
        if (inName != nullptr && lstrcmpiW(inName, L"Request") == 0)
            theObject = new TestRequest(mBody);
        else if (inName != nullptr && lstrcmpiW(inName, L"Server") == 0)
            theObject = new TestServer(mSite);
        else
            return E_INVALIDARG;
        V_VT(outValue) = VT_DISPATCH;
        V_DISPATCH(outValue) = theObject;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumNames(IEnumNames**) override { return E_NOTIMPL; }

    // IObjectContext: nothing transactional happens in a test page.
    HRESULT STDMETHODCALLTYPE CreateInstance(REFCLSID, REFIID, LPVOID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetComplete() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetAbort() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableCommit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DisableCommit() override { return S_OK; }
    WINBOOL STDMETHODCALLTYPE IsInTransaction() override { return FALSE; }
    WINBOOL STDMETHODCALLTYPE IsSecurityEnabled() override { return FALSE; }
    HRESULT STDMETHODCALLTYPE IsCallerInRole(BSTR, WINBOOL* outInRole) override
    {
        if (outInRole != nullptr)
            *outInRole = FALSE;
        return S_OK;
    }

private:
    std::wstring mBody;
    std::wstring mSite;
    LONG mRefs = 1;
};

}  // namespace

extern "C" HRESULT WINAPI TestGetObjectContext(IObjectContext** outContext)
{
    if (outContext == nullptr)
        return E_POINTER;
    *outContext = nullptr;
    const std::wstring theBody = Environment(L"FERROLIFT_TEST_BODY");
    if (theBody.empty())
        return CONTEXT_E_NOCONTEXT;
    *outContext = new TestContext(theBody, Environment(L"FERROLIFT_TEST_SITE"));
    return S_OK;
}

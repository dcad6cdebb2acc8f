// ObjectContext.cpp: GetObjectContext and the context object it hands out, which answers
// IObjectContext and IGetContextProperties over the page's Request and Server.
#include "platform/context/ObjectContext.h"

#include "platform/automation/OleAuto.h"
#include "platform/com/Com.h"
#include "platform/com/ComObject.h"

#include <cstring>

using namespace ferrolift::platform;

namespace {

constexpr const OLECHAR* kPropertyNames[] = {u"Request", u"Server"};
constexpr ULONG kPropertyCount = 2;

bool SameNameIgnoringCase(const OLECHAR* inLeft, const OLECHAR* inRight)
{
    for (;; ++inLeft, ++inRight) {
        OLECHAR theLeft = *inLeft >= u'a' && *inLeft <= u'z' ? *inLeft - 32 : *inLeft;
        OLECHAR theRight = *inRight >= u'a' && *inRight <= u'z' ? *inRight - 32 : *inRight;
        if (theLeft != theRight)
            return false;
        if (theLeft == 0)
            return true;
    }
}

/// The names "Request" and "Server", in that order.
class ContextNames final : public ComObject<IEnumNames> {
public:
    explicit ContextNames(ULONG inPosition) : mPosition(inPosition) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG inCount, BSTR* outNames, ULONG* outFetched) override
    {
        if (!outNames || (inCount > 1 && !outFetched))
            return E_POINTER;
        ULONG theFetched = 0;
        for (; theFetched < inCount && mPosition < kPropertyCount; ++theFetched, ++mPosition) {
            outNames[theFetched] = SysAllocString(kPropertyNames[mPosition]);
            if (!outNames[theFetched]) {
                for (ULONG i = 0; i < theFetched; ++i)
                    SysFreeString(outNames[i]);
                return E_OUTOFMEMORY;
            }
        }
        if (outFetched)
            *outFetched = theFetched;
        return theFetched == inCount ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG inCount) override
    {
        const ULONG theLeft = kPropertyCount - mPosition;
        mPosition += inCount < theLeft ? inCount : theLeft;
        return inCount <= theLeft ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        mPosition = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumNames** outClone) override
    {
        if (!outClone)
            return E_POINTER;
        *outClone = new ContextNames(mPosition);
        return S_OK;
    }

private:
    ~ContextNames() = default;

    ULONG mPosition;
};

/// One page's context: holds its Request and Server for as long as it lives.
class PageContext final : public ComObject<IObjectContext, IGetContextProperties> {
public:
    PageContext(IRequest* inRequest, IServer* inServer) : mRequest(inRequest), mServer(inServer) {}

    // There are no transactions: the commit votes are accepted and change nothing.
    HRESULT STDMETHODCALLTYPE CreateInstance(REFCLSID inClsid, REFIID inIid, LPVOID* outObject) override
    {
        return CoCreateInstance(inClsid, nullptr, CLSCTX_INPROC_SERVER, inIid, outObject);
    }
    HRESULT STDMETHODCALLTYPE SetComplete() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetAbort() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableCommit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DisableCommit() override { return S_OK; }
    BOOL STDMETHODCALLTYPE IsInTransaction() override { return FALSE; }
    BOOL STDMETHODCALLTYPE IsSecurityEnabled() override { return FALSE; }
    HRESULT STDMETHODCALLTYPE IsCallerInRole(BSTR /*inRole*/, BOOL* outIsInRole) override
    {
        if (!outIsInRole)
            return E_POINTER;
        *outIsInRole = TRUE;   // without role-based security every caller is in every role
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Count(long* outCount) override
    {
        if (!outCount)
            return E_POINTER;
        *outCount = kPropertyCount;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetProperty(BSTR inName, VARIANT* outValue) override
    {
        if (!outValue)
            return E_POINTER;
        VariantInit(outValue);
        if (!inName)
            return E_INVALIDARG;
        IDispatch* theObject = nullptr;
        if (SameNameIgnoringCase(inName, kPropertyNames[0]))
            theObject = mRequest.get();
        else if (SameNameIgnoringCase(inName, kPropertyNames[1]))
            theObject = mServer.get();
        if (!theObject)
            return E_INVALIDARG;
        theObject->AddRef();
        V_VT(outValue) = VT_DISPATCH;
        V_DISPATCH(outValue) = theObject;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumNames(IEnumNames** outNames) override
    {
        if (!outNames)
            return E_POINTER;
        *outNames = new ContextNames(0);
        return S_OK;
    }

private:
    // Adopts a reference that CurrentContextObjects handed out.
    template <class T>
    struct Held {
        T* mPtr;
        explicit Held(T* inPtr) : mPtr(inPtr) {}
        ~Held()
        {
            if (mPtr)
                mPtr->Release();
        }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;
        T* get() const { return mPtr; }
    };

    ~PageContext() = default;

    Held<IRequest> mRequest;
    Held<IServer> mServer;
};

}  // namespace

HRESULT WINAPI GetObjectContext(IObjectContext** ppInstanceContext)
{
    if (!ppInstanceContext)
        return E_POINTER;
    *ppInstanceContext = nullptr;
    IRequest* theRequest = nullptr;
    IServer* theServer = nullptr;
    const HRESULT hr = CurrentContextObjects(&theRequest, &theServer);
    if (FAILED(hr))
        return hr;
    *ppInstanceContext = static_cast<IObjectContext*>(new PageContext(theRequest, theServer));
    return S_OK;
}

// ObjectContext.h: the transaction context of the page that runs on the current thread
// (comsvcs shapes) and the page engine's Request and Server objects (asptlb shapes). The
// host installs a page's objects with ObjectContextScope; the component finds them with
// GetObjectContext.
//
//   // host, around one page:
//   ferrolift::platform::ObjectContextScope theScope(theRequest, theServer);
//
//   // component, inside the page:
//   ComPtr<IObjectContext> theContext;
//   if (FAILED(GetObjectContext(theContext.put())))        // CONTEXT_E_NOCONTEXT
//       return ...;
//   ComPtr<IGetContextProperties> theProps = theContext.query<IGetContextProperties>();
//   VARIANT theValue;
//   VariantInit(&theValue);
//   theProps->GetProperty(theName /* BSTR "Request" */, &theValue);   // VT_DISPATCH
#pragma once

#include "platform/automation/AutomationTypes.h"
#include "platform/com/ComInterfaces.h"

extern "C" {
extern const IID IID_IObjectContext;
extern const IID IID_IGetContextProperties;
extern const IID IID_IEnumNames;
extern const IID IID_IRequestDictionary;
extern const IID IID_IRequest;
extern const IID IID_IServer;
}

/// The context of the running page. There are no transactions here: the commit calls
/// succeed and change nothing, IsInTransaction and IsSecurityEnabled answer FALSE,
/// IsCallerInRole answers TRUE, CreateInstance is CoCreateInstance.
struct IObjectContext : IUnknown {
    FERROLIFT_IID(IObjectContext)
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(REFCLSID rclsid, REFIID riid, LPVOID* ppv) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetComplete() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAbort() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnableCommit() = 0;
    virtual HRESULT STDMETHODCALLTYPE DisableCommit() = 0;
    virtual BOOL STDMETHODCALLTYPE IsInTransaction() = 0;
    virtual BOOL STDMETHODCALLTYPE IsSecurityEnabled() = 0;
    virtual HRESULT STDMETHODCALLTYPE IsCallerInRole(BSTR bstrRole, BOOL* pfIsInRole) = 0;
};

/// Enumerates the property names of a context as BSTRs (the caller frees them).
struct IEnumNames : IUnknown {
    FERROLIFT_IID(IEnumNames)
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, BSTR* rgname, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumNames** ppenum) = 0;
};

/// The named properties of a context: "Request" and "Server" (names compared without
/// regard to case), each as VT_DISPATCH. An unknown name gives E_INVALIDARG and VT_EMPTY.
struct IGetContextProperties : IUnknown {
    FERROLIFT_IID(IGetContextProperties)
    virtual HRESULT STDMETHODCALLTYPE Count(long* plCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProperty(BSTR name, VARIANT* pProperty) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumNames(IEnumNames** ppenum) = 0;
};

/// A request collection (QueryString, Form, ServerVariables, ...).
struct IRequestDictionary : IDispatch {
    FERROLIFT_IID(IRequestDictionary)
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT Var, VARIANT* pVariantReturn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** ppEnumReturn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(int* cStrRet) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Key(VARIANT VarKey, VARIANT* pvar) = 0;
};

/// The page engine's request object, members in their classic vtable order.
struct IRequest : IDispatch {
    FERROLIFT_IID(IRequest)
    virtual HRESULT STDMETHODCALLTYPE get_Item(BSTR bstrVar, IDispatch** ppObjReturn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_QueryString(IRequestDictionary** ppDictReturn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Form(IRequestDictionary** ppDictReturn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Body(IRequestDictionary** ppDictReturn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ServerVariables(IRequestDictionary** ppDictReturn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ClientCertificate(IRequestDictionary** ppDictReturn) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Cookies(IRequestDictionary** ppDictReturn) = 0;
    /// The length of the request body in bytes.
    virtual HRESULT STDMETHODCALLTYPE get_TotalBytes(long* pcbTotal) = 0;
    /// Reads up to *pvarCountToRead bytes of the body (any type convertible to VT_I4).
    /// On return pvarReturn holds VT_ARRAY|VT_UI1 with the bytes delivered and
    /// *pvarCountToRead their number.
    virtual HRESULT STDMETHODCALLTYPE BinaryRead(VARIANT* pvarCountToRead, VARIANT* pvarReturn) = 0;
};

/// The page engine's server object, members in their classic vtable order.
struct IServer : IDispatch {
    FERROLIFT_IID(IServer)
    virtual HRESULT STDMETHODCALLTYPE get_ScriptTimeout(long* plTimeoutSeconds) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ScriptTimeout(long lTimeoutSeconds) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateObject(BSTR bstrProgID, IDispatch** ppDispObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE HTMLEncode(BSTR bstrIn, BSTR* pbstrEncoded) = 0;
    /// Turns a virtual path (relative to the page, or to the site root with a leading '/')
    /// into a physical one.
    virtual HRESULT STDMETHODCALLTYPE MapPath(BSTR bstrLogicalPath, BSTR* pbstrPhysicalPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE URLEncode(BSTR bstrIn, BSTR* pbstrEncoded) = 0;
    virtual HRESULT STDMETHODCALLTYPE URLPathEncode(BSTR bstrIn, BSTR* pbstrEncoded) = 0;
};

extern "C" {
/// The context of the page running on this thread (a new reference), or
/// CONTEXT_E_NOCONTEXT (0x8004E004) with a null pointer when no page runs here.
HRESULT WINAPI GetObjectContext(IObjectContext** ppInstanceContext);
}

namespace ferrolift::platform {

/// Installs a page's Request and Server objects as the current thread's context for its
/// lifetime (each AddRef'd while installed). Scopes nest: the destructor restores the
/// context that was current before. Contexts already handed out keep their objects.
class ObjectContextScope {
public:
    ObjectContextScope(IRequest* inRequest, IServer* inServer);
    ~ObjectContextScope();
    ObjectContextScope(const ObjectContextScope&) = delete;
    ObjectContextScope& operator=(const ObjectContextScope&) = delete;

private:
    IRequest* mRequest;
    IServer* mServer;
    ObjectContextScope* mOuter;

    friend HRESULT CurrentContextObjects(IRequest** outRequest, IServer** outServer);
};

/// The current thread's Request and Server (new references), or CONTEXT_E_NOCONTEXT.
HRESULT CurrentContextObjects(IRequest** outRequest, IServer** outServer);

}  // namespace ferrolift::platform

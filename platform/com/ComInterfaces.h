// ComInterfaces.h: the COM interfaces the component and its host use, as pure-virtual
// structs whose vtable order is the COM order, and their IIDs.
//
//   IDispatch* theDisp = ...;
//   DISPID theId;
//   LPOLESTR theName = const_cast<LPOLESTR>(u"Count");
//   theDisp->GetIDsOfNames(IID_NULL, &theName, 1, LOCALE_USER_DEFAULT, &theId);
#pragma once

#include "platform/automation/AutomationTypes.h"

extern "C" {
extern const IID IID_NULL;
extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;
extern const IID IID_IDispatch;
extern const IID IID_ISupportErrorInfo;
extern const IID IID_IErrorInfo;
extern const IID IID_ICreateErrorInfo;
extern const IID IID_IEnumVARIANT;
extern const IID IID_IMarshal;
extern const IID IID_ITypeInfo;
}

struct IUnknown {
    static const IID& iid() { return IID_IUnknown; }
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
    // Typed form, as in the Windows headers: theObj->QueryInterface(&theDisp).
    template <class Q> HRESULT QueryInterface(Q** pp);
};
typedef IUnknown* LPUNKNOWN;

// Every interface struct declares its IID as a static member so that typed helpers
// (ComPtr, QueryInterface(&p)) can find it; __uuidof(T) is spelled T::iid() here.
template <class Q> HRESULT IUnknown::QueryInterface(Q** pp)
{
    return QueryInterface(Q::iid(), reinterpret_cast<void**>(pp));
}
#define FERROLIFT_IID(name) \
    static const IID& iid() { return IID_##name; }


struct IClassFactory : IUnknown {
    FERROLIFT_IID(IClassFactory)
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

struct ITypeInfo;   // not provided: GetTypeInfo answers E_NOTIMPL / count 0

struct IDispatch : IUnknown {
    FERROLIFT_IID(IDispatch)
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                                    DISPID* rgDispId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                             DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                             UINT* puArgErr) = 0;
};
typedef IDispatch* LPDISPATCH;

struct ISupportErrorInfo : IUnknown {
    FERROLIFT_IID(ISupportErrorInfo)
    virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

struct IErrorInfo : IUnknown {
    FERROLIFT_IID(IErrorInfo)
    virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) = 0;
};

struct ICreateErrorInfo : IUnknown {
    FERROLIFT_IID(ICreateErrorInfo)
    virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) = 0;
};

struct IEnumVARIANT : IUnknown {
    FERROLIFT_IID(IEnumVARIANT)
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) = 0;
};

struct IStream;
struct IMarshal : IUnknown {
    FERROLIFT_IID(IMarshal)
    virtual HRESULT STDMETHODCALLTYPE GetUnmarshalClass(REFIID riid, void* pv, DWORD dwDestContext,
                                                        void* pvDestContext, DWORD mshlflags, CLSID* pCid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMarshalSizeMax(REFIID riid, void* pv, DWORD dwDestContext,
                                                        void* pvDestContext, DWORD mshlflags, DWORD* pSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE MarshalInterface(IStream* pStm, REFIID riid, void* pv, DWORD dwDestContext,
                                                       void* pvDestContext, DWORD mshlflags) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnmarshalInterface(IStream* pStm, REFIID riid, void** ppv) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReleaseMarshalData(IStream* pStm) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisconnectObject(DWORD dwReserved) = 0;
};

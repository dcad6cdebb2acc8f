// PageObject.h: reference counting and QueryInterface for the test page objects, which
// answer IUnknown, IDispatch (without type information: the component calls them through
// their vtables only) and one interface of their own.
#pragma once

#include <windows.h>
#include <oleauto.h>

template <class TInterface>
class PageObject : public TInterface {
public:
    explicit PageObject(const IID& inIid) : mIid(inIid) {}
    virtual ~PageObject() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (outObject == nullptr)
            return E_POINTER;
        *outObject = nullptr;
        if (!IsEqualIID(inIid, IID_IUnknown) && !IsEqualIID(inIid, IID_IDispatch) && !IsEqualIID(inIid, mIid))
            return E_NOINTERFACE;
        AddRef();
        *outObject = static_cast<TInterface*>(this);
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

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override
    {
        if (outCount != nullptr)
            *outCount = 0;
        return outCount != nullptr ? S_OK : E_POINTER;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

private:
    const IID& mIid;
    LONG mRefs = 1;
};

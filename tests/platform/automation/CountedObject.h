// CountedObject.h: a stack-allocated IDispatch for tests that counts its references
// and answers a value property (DISPID_VALUE) with whatever the test put in mValue.
#pragma once

#include <oleauto.h>

#include <atomic>

class CountedObject : public IDispatch {
public:
    CountedObject() { VariantInit(&mValue); }
    ~CountedObject() { VariantClear(&mValue); }

    ULONG Refs() const { return mRefs; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (IsEqualIID(inIid, IID_IUnknown) || IsEqualIID(inIid, IID_IDispatch)) {
            *outObject = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *outObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++mRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --mRefs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override
    {
        *outCount = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID inId, REFIID, LCID, WORD inFlags, DISPPARAMS*, VARIANT* outResult,
                                     EXCEPINFO*, UINT*) override
    {
        if (inId != DISPID_VALUE || !(inFlags & DISPATCH_PROPERTYGET) || V_VT(&mValue) == VT_EMPTY)
            return DISP_E_MEMBERNOTFOUND;
        return VariantCopy(outResult, &mValue);
    }

    VARIANT mValue;

private:
    std::atomic<ULONG> mRefs{1};
};

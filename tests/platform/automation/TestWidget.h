// TestWidget.h: a small dual interface described with TypeDescription.h and an object
// that implements it, for the dispatcher and IDL writer tests.
#pragma once

#include <oleauto.h>

#include <atomic>
#include <string>

#include "platform/automation/TypeDescription.h"

inline const IID IID_ITestWidget = {0x6A1F0C11, 0x2B3D, 0x4E5F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}};
inline const CLSID CLSID_TestWidget = {0x6A1F0C12, 0x2B3D, 0x4E5F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}};
inline const GUID LIBID_TestLib = {0x6A1F0C13, 0x2B3D, 0x4E5F, {0x80, 0x91, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7}};

class TestWidget final : public IDispatch, public ISupportErrorInfo {
public:
    static const ferrolift::automation::InterfaceDesc& Desc();
    static const ferrolift::automation::TypeLibraryDesc& Library();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (IsEqualIID(inIid, IID_IUnknown) || IsEqualIID(inIid, IID_IDispatch) || IsEqualIID(inIid, IID_ITestWidget))
            *outObject = static_cast<IDispatch*>(this);
        else if (IsEqualIID(inIid, IID_ISupportErrorInfo))
            *outObject = static_cast<ISupportErrorInfo*>(this);
        else
            return *outObject = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++mRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --mRefs; }

    // IDispatch, forwarded to the description.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override { return *outCount = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* inNames, UINT inCount, LCID, DISPID* outIds) override
    {
        return ferrolift::automation::DispatchGetIDsOfNames(Desc(), inNames, inCount, outIds);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID inId, REFIID, LCID, WORD inFlags, DISPPARAMS* inParams,
                                     VARIANT* outResult, EXCEPINFO* outExcep, UINT* outArgErr) override
    {
        return ferrolift::automation::DispatchInvoke(Desc(), static_cast<IDispatch*>(this), inId, inFlags, inParams,
                                                     outResult, outExcep, outArgErr);
    }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID inIid) override
    {
        return IsEqualIID(inIid, IID_ITestWidget) ? S_OK : S_FALSE;
    }

    ULONG Refs() const { return mRefs; }

    std::u16string mName = u"widget";
    LONG mLastFactor = 0;
    bool mFlag = true;

private:
    std::atomic<ULONG> mRefs{1};
};

// ObjectBase.h: what every class of the component shares: reference counting, the
// module lock count, aggregation (a non-delegating inner IUnknown), the aggregated
// free-threaded marshaler, a table-driven QueryInterface (own interface, IDispatch,
// ISupportErrorInfo, IMarshal), IDispatch forwarded to the type description,
// ISupportErrorInfo, the object lock and the per-class ReportError.
//
//   class XProgress : public ObjectBase<XProgress, IXProgress> {
//   public:
//       static const ClassIdentity& Identity();   // CLSID, IID, ProgID, description
//       HRESULT STDMETHODCALLTYPE get_ID(LONG* outID) override
//       {
//           return RunMember(this, "XProgress", __LINE__, [&]() -> HRESULT {
//               RequireOut(outID);
//               *outID = mID;
//               return S_OK;
//           });
//       }
//       ...
//   };
//   // class table: XProgress::CreateInstance(inOuter, inIid, outObject)
#pragma once

#include <atomic>
#include <new>

#include <windows.h>
#include <oleauto.h>

#include "platform/automation/TypeDescription.h"
#include "support/ModuleLock.h"
#include "platform/common/CriticalSection.h"
#include "support/MemberFrame.h"

/// Who a class is, for QueryInterface, IDispatch and error reporting.
struct ClassIdentity {
    const CLSID* clsid;
    const IID* iid;                 ///< the class's own dual interface
    const char* progId;             ///< versioned ProgID: the error source
    const ferrolift::automation::InterfaceDesc* description;
};

/// Sets the thread's error info (GUID = inIdentity's IID, source = the ProgID registered
/// for its CLSID, or its versioned ProgID when none is registered, description = inText
/// converted from ANSI), logs a warning when LogErrors is on, and returns inHr, or
/// DISP_E_EXCEPTION when inHr is 0.
HRESULT ReportErrorFor(const ClassIdentity& inIdentity, const char* inText, HRESULT inHr);

/// Base of every class. TDerived supplies `static const ClassIdentity& Identity()` and
/// implements the members of TInterface (a dual interface deriving from IDispatch).
template <class TDerived, class TInterface>
class ObjectBase : public TInterface, public ISupportErrorInfo, public MemberHost {
public:
    ObjectBase(const ObjectBase&) = delete;
    ObjectBase& operator=(const ObjectBase&) = delete;

    /// Makes a TDerived (aggregated when inOuter is given: then only IUnknown may be
    /// asked for) and returns the interface inIid of it.
    static HRESULT CreateInstance(IUnknown* inOuter, REFIID inIid, void** outObject);

    // IUnknown: delegates to the controlling unknown (the outer object when aggregated).
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        return mOuter->QueryInterface(inIid, outObject);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return mOuter->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return mOuter->Release(); }

    // IDispatch: driven by the type description.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override
    {
        if (outCount == nullptr)
            return E_POINTER;
        *outCount = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** outInfo) override
    {
        if (outInfo != nullptr)
            *outInfo = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* inNames, UINT inCount, LCID, DISPID* outIds) override
    {
        return ferrolift::automation::DispatchGetIDsOfNames(*TDerived::Identity().description, inNames, inCount,
                                                            outIds);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID inId, REFIID, LCID, WORD inFlags, DISPPARAMS* inParams, VARIANT* outResult,
                                     EXCEPINFO* outExcep, UINT* outArgErr) override
    {
        return ferrolift::automation::DispatchInvoke(*TDerived::Identity().description, PrimaryUnknown(), inId,
                                                     inFlags, inParams, outResult, outExcep, outArgErr);
    }

    // ISupportErrorInfo: only the class's own interface reports errors.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID inIid) override
    {
        return IsEqualIID(inIid, *TDerived::Identity().iid) ? S_OK : S_FALSE;
    }

    // MemberHost
    CriticalSection& ObjectLock() override { return mLock; }
    HRESULT ReportError(const char* inText, HRESULT inHr) override
    {
        return ReportErrorFor(TDerived::Identity(), inText, inHr);
    }

protected:
    ObjectBase() : mInner(this), mOuter(&mInner) { LockModule(); }

    virtual ~ObjectBase()
    {
        if (mMarshaler != nullptr)
            mMarshaler->Release();
        UnlockModule();
    }

    /// The object's own interface pointer seen as IUnknown (what thunks cast back).
    IUnknown* PrimaryUnknown() { return static_cast<IUnknown*>(static_cast<TInterface*>(this)); }

    /// The controlling unknown (the outer object when aggregated).
    IUnknown* ControllingUnknown() { return mOuter; }

private:
    // The non-delegating IUnknown: the identity of a standalone object and the inner
    // unknown handed to an aggregating outer object.
    class InnerUnknown : public IUnknown {
    public:
        explicit InnerUnknown(ObjectBase* inOwner) : mOwner(inOwner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
        {
            return mOwner->InnerQueryInterface(inIid, outObject);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return ++mOwner->mRefCount; }
        ULONG STDMETHODCALLTYPE Release() override
        {
            ULONG theCount = --mOwner->mRefCount;
            if (theCount == 0)
                delete mOwner;
            return theCount;
        }

    private:
        ObjectBase* mOwner;
    };

    HRESULT InnerQueryInterface(REFIID inIid, void** outObject);
    HRESULT Construct(IUnknown* inOuter);

    InnerUnknown mInner;
    IUnknown* mOuter;
    std::atomic<ULONG> mRefCount{0};
    IUnknown* mMarshaler = nullptr;
    CriticalSection mLock;
};

template <class TDerived, class TInterface>
HRESULT ObjectBase<TDerived, TInterface>::InnerQueryInterface(REFIID inIid, void** outObject)
{
    if (outObject == nullptr)
        return E_POINTER;
    *outObject = nullptr;
    struct Entry {
        const IID* iid;
        IUnknown* object;
    };
    const Entry theTable[] = {
        {&IID_IUnknown, &mInner},
        {TDerived::Identity().iid, PrimaryUnknown()},
        {&IID_IDispatch, PrimaryUnknown()},
        {&IID_ISupportErrorInfo, static_cast<ISupportErrorInfo*>(this)},
    };
    for (const Entry& theEntry : theTable) {
        if (!IsEqualIID(inIid, *theEntry.iid))
            continue;
        theEntry.object->AddRef();
        *outObject = theEntry.object;
        return S_OK;
    }
    if (IsEqualIID(inIid, IID_IMarshal) && mMarshaler != nullptr)
        return mMarshaler->QueryInterface(inIid, outObject);
    return E_NOINTERFACE;
}

template <class TDerived, class TInterface>
HRESULT ObjectBase<TDerived, TInterface>::Construct(IUnknown* inOuter)
{
    if (inOuter != nullptr)
        mOuter = inOuter;
    return CoCreateFreeThreadedMarshaler(mOuter, &mMarshaler);
}

template <class TDerived, class TInterface>
HRESULT ObjectBase<TDerived, TInterface>::CreateInstance(IUnknown* inOuter, REFIID inIid, void** outObject)
{
    if (outObject == nullptr)
        return E_POINTER;
    *outObject = nullptr;
    if (inOuter != nullptr && !IsEqualIID(inIid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    TDerived* theObject = nullptr;
    try {
        theObject = new TDerived();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // Hold a reference while the marshaler is made so that a failure destroys the object.
    ObjectBase* theBase = theObject;
    theBase->mInner.AddRef();
    HRESULT hr = theBase->Construct(inOuter);
    if (SUCCEEDED(hr))
        hr = theBase->mInner.QueryInterface(inIid, outObject);
    theBase->mInner.Release();
    return hr;
}

// The free-threaded marshaler: an aggregatable object whose inner IUnknown answers
// IMarshal. Its IMarshal delegates AddRef, Release and QueryInterface to the outer
// object, so the aggregate keeps one identity.
//
// Marshaling here never leaves the process: GetUnmarshalClass names the in-process
// marshaler for in-process contexts (the pointer itself is what would travel) and
// GetMarshalSizeMax gives the size of that pointer record. There are no streams, so
// MarshalInterface, UnmarshalInterface and ReleaseMarshalData answer E_NOTIMPL, as do
// all calls for cross-process contexts.
#include "platform/com/Com.h"

#include <atomic>
#include <new>

namespace {

// The bytes an in-process marshal record would hold: flags, pointer, reserved GUID.
constexpr DWORD kInProcRecordSize = sizeof(DWORD) + sizeof(void*) + sizeof(GUID);

bool IsInProcess(DWORD inContext)
{
    return inContext == MSHCTX_INPROC || inContext == MSHCTX_CROSSCTX;
}

class FreeThreadedMarshaler;

// The non-delegating IUnknown that the outer object holds.
class InnerUnknown final : public IUnknown {
public:
    explicit InnerUnknown(FreeThreadedMarshaler& inOwner) : mOwner(inOwner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

private:
    FreeThreadedMarshaler& mOwner;
};

class MarshalPart final : public IMarshal {
public:
    explicit MarshalPart(IUnknown* inOuter) : mOuter(inOuter) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        return mOuter->QueryInterface(inIid, outObject);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return mOuter->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return mOuter->Release(); }

    HRESULT STDMETHODCALLTYPE GetUnmarshalClass(REFIID, void*, DWORD inContext, void*, DWORD, CLSID* outClsid) override
    {
        if (!outClsid)
            return E_INVALIDARG;
        if (!IsInProcess(inContext))
            return E_NOTIMPL;
        *outClsid = CLSID_InProcFreeMarshaler;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetMarshalSizeMax(REFIID, void*, DWORD inContext, void*, DWORD, DWORD* outSize) override
    {
        if (!outSize)
            return E_INVALIDARG;
        if (!IsInProcess(inContext))
            return E_NOTIMPL;
        *outSize = kInProcRecordSize;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE MarshalInterface(IStream*, REFIID, void*, DWORD, void*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnmarshalInterface(IStream*, REFIID, void** outObject) override
    {
        if (outObject)
            *outObject = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ReleaseMarshalData(IStream*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DisconnectObject(DWORD) override { return S_OK; }

private:
    IUnknown* mOuter;   // not counted: the outer object owns us
};

class FreeThreadedMarshaler {
public:
    // Without an outer object the marshaler is its own controlling unknown.
    explicit FreeThreadedMarshaler(IUnknown* inOuter) : mInner(*this), mMarshal(inOuter ? inOuter : &mInner) {}

    HRESULT QueryInner(REFIID inIid, void** outObject)
    {
        if (!outObject)
            return E_POINTER;
        if (IsEqualIID(inIid, IID_IUnknown)) {
            *outObject = &mInner;
            AddRefInner();
            return S_OK;
        }
        if (IsEqualIID(inIid, IID_IMarshal)) {
            *outObject = &mMarshal;
            mMarshal.AddRef();
            return S_OK;
        }
        *outObject = nullptr;
        return E_NOINTERFACE;
    }

    ULONG AddRefInner() { return ++mRefs; }

    ULONG ReleaseInner()
    {
        const ULONG theRefs = --mRefs;
        if (theRefs == 0)
            delete this;
        return theRefs;
    }

    IUnknown* Inner() { return &mInner; }

private:
    std::atomic<ULONG> mRefs{1};
    InnerUnknown mInner;
    MarshalPart mMarshal;
};

HRESULT InnerUnknown::QueryInterface(REFIID inIid, void** outObject) { return mOwner.QueryInner(inIid, outObject); }
ULONG InnerUnknown::AddRef() { return mOwner.AddRefInner(); }
ULONG InnerUnknown::Release() { return mOwner.ReleaseInner(); }

}  // namespace

extern "C" {

HRESULT WINAPI CoCreateFreeThreadedMarshaler(LPUNKNOWN punkOuter, LPUNKNOWN* ppunkMarshal)
{
    if (!ppunkMarshal)
        return E_INVALIDARG;
    auto* theMarshaler = new (std::nothrow) FreeThreadedMarshaler(punkOuter);
    *ppunkMarshal = theMarshaler ? theMarshaler->Inner() : nullptr;
    return theMarshaler ? S_OK : E_OUTOFMEMORY;
}

}  // extern "C"

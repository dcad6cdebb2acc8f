// XProgress.h: a view of the progress of one upload (interface IXProgress).
//
//   ComPtr<IXProgress> theProgress;
//   XProgress::CreateInstance(nullptr, IID_IXProgress, theProgress.put_void());
//
// Every member runs in the member frame; this first version answers E_NOTIMPL.
#pragma once

#include "server/Interfaces.h"
#include "server/ObjectBase.h"

/// The XProgress class.
class XProgress : public ObjectBase<XProgress, IXProgress> {
public:
    XProgress() = default;

    /// CLSID, interface, error source and type description of the class.
    static const ClassIdentity& Identity();

    HRESULT STDMETHODCALLTYPE get_ID(LONG* outID) override;
    HRESULT STDMETHODCALLTYPE put_ID(LONG inID) override;
    HRESULT STDMETHODCALLTYPE get_Note(BSTR* outNote) override;
    HRESULT STDMETHODCALLTYPE put_Note(BSTR inNote) override;
    HRESULT STDMETHODCALLTYPE get_Started(VARIANT_BOOL* outTruth) override;
    HRESULT STDMETHODCALLTYPE get_BytesTotal(LONG* outBytes) override;
    HRESULT STDMETHODCALLTYPE get_BytesDone(LONG* outBytes) override;
    HRESULT STDMETHODCALLTYPE get_PercentDone(LONG* outPercent) override;
    HRESULT STDMETHODCALLTYPE get_ElapsedSeconds(LONG* outSeconds) override;
    HRESULT STDMETHODCALLTYPE get_SecondsLeft(LONG* outSeconds) override;
    HRESULT STDMETHODCALLTYPE get_BytesPerSecond(LONG* outBytesPS) override;
};

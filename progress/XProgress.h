// XProgress.h: a view of the progress of one upload (interface IXProgress). The object
// holds only a progress ID; every property reads the upload's record at the moment of
// the call, so a page that polls also keeps the record alive.
//
//   ComPtr<IXProgress> theProgress;
//   XProgress::CreateInstance(nullptr, IID_IXProgress, theProgress.put_void());
//   LONG theID = 0, thePercent = 0;
//   theProgress->get_ID(&theID);            // hand this to the upload page
//   theProgress->get_PercentDone(&thePercent);
#pragma once

#include "progress/ProgressFigures.h"
#include "support/Interfaces.h"
#include "support/ObjectBase.h"

/// The XProgress class. A new object has a fresh ID and registers nothing.
class XProgress : public ObjectBase<XProgress, IXProgress> {
public:
    XProgress();

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

private:
    /// One registry reading of the object's ID for the figures.
    ProgressReading ReadFigures();

    LONG mID;
};

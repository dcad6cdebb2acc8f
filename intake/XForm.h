// XForm.h: the form object a page creates to receive an upload (interface IXForm).
//
//   ComPtr<IXForm> theForm;
//   XForm::CreateInstance(nullptr, IID_IXForm, theForm.put_void());
//
// Every member runs in the member frame; this first version answers E_NOTIMPL.
#pragma once

#include "server/Interfaces.h"
#include "server/ObjectBase.h"

/// The XForm class.
class XForm : public ObjectBase<XForm, IXForm> {
public:
    XForm() = default;

    /// CLSID, interface, error source and type description of the class.
    static const ClassIdentity& Identity();

    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** outEnum) override;
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT inIndex, VARIANT* outVal) override;
    HRESULT STDMETHODCALLTYPE get_Count(LONG* outCount) override;
    HRESULT STDMETHODCALLTYPE get_ID(LONG* outID) override;
    HRESULT STDMETHODCALLTYPE put_ID(LONG inID) override;
    HRESULT STDMETHODCALLTYPE get_AbsolutePath(VARIANT_BOOL* theTruth) override;
    HRESULT STDMETHODCALLTYPE put_AbsolutePath(VARIANT_BOOL inTruth) override;
    HRESULT STDMETHODCALLTYPE get_Overwrite(VARIANT_BOOL* theTruth) override;
    HRESULT STDMETHODCALLTYPE put_Overwrite(VARIANT_BOOL inTruth) override;
    HRESULT STDMETHODCALLTYPE get_MaxUploadSize(LONG* theBytes) override;
    HRESULT STDMETHODCALLTYPE put_MaxUploadSize(LONG inBytes) override;
    HRESULT STDMETHODCALLTYPE get_User(BSTR* outName) override;
    HRESULT STDMETHODCALLTYPE get_Domain(BSTR* outName) override;
    HRESULT STDMETHODCALLTYPE get_CodePage(LONG* outCodePage) override;
    HRESULT STDMETHODCALLTYPE put_CodePage(LONG inCodePage) override;
    HRESULT STDMETHODCALLTYPE get_Streams(VARIANT_BOOL* outStreams) override;
    HRESULT STDMETHODCALLTYPE put_Streams(VARIANT_BOOL inStreams) override;
    HRESULT STDMETHODCALLTYPE get_Multipart(VARIANT_BOOL* outMP) override;
    HRESULT STDMETHODCALLTYPE SetUser(BSTR inName, BSTR inPassword, BSTR inDomain) override;
    HRESULT STDMETHODCALLTYPE Read(BSTR inPath) override;
    HRESULT STDMETHODCALLTYPE Save(BSTR inPath) override;
};

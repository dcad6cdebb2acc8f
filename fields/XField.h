// XField.h: one value of one field of an upload (interface IXField).
//
//   ComPtr<IXField> theField;
//   XField::CreateInstance(nullptr, IID_IXField, theField.put_void());
//
// Every member runs in the member frame; this first version answers E_NOTIMPL.
#pragma once

#include "server/Interfaces.h"
#include "server/ObjectBase.h"

/// The XField class.
class XField : public ObjectBase<XField, IXField> {
public:
    XField() = default;

    /// CLSID, interface, error source and type description of the class.
    static const ClassIdentity& Identity();

    HRESULT STDMETHODCALLTYPE get_Content(BSTR* outContent) override;
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* outName) override;
    HRESULT STDMETHODCALLTYPE get_Length(LONG* outLength) override;
    HRESULT STDMETHODCALLTYPE get_FileExists(VARIANT_BOOL* outExists) override;
    HRESULT STDMETHODCALLTYPE get_SafeFileName(BSTR* outName) override;
    HRESULT STDMETHODCALLTYPE get_FileType(BSTR* outType) override;
    HRESULT STDMETHODCALLTYPE get_FileName(BSTR* outName) override;
    HRESULT STDMETHODCALLTYPE get_MIMEType(BSTR* outType) override;
    HRESULT STDMETHODCALLTYPE get_MacBinary(VARIANT_BOOL* outMacBinary) override;
    HRESULT STDMETHODCALLTYPE get_Data(VARIANT* outData) override;
    HRESULT STDMETHODCALLTYPE get_Resource(VARIANT* outData) override;
    HRESULT STDMETHODCALLTYPE get_RawFilePath(BSTR* outPath) override;
    HRESULT STDMETHODCALLTYPE get_RawFileName(BSTR* outName) override;
    HRESULT STDMETHODCALLTYPE get_RawFileType(BSTR* outType) override;
    HRESULT STDMETHODCALLTYPE get_RawLength(LONG* outLength) override;
    HRESULT STDMETHODCALLTYPE get_RawData(VARIANT* outData) override;
    HRESULT STDMETHODCALLTYPE get_ImageType(ferImageType* outType) override;
    HRESULT STDMETHODCALLTYPE get_ImageWidth(LONG* outWidth) override;
    HRESULT STDMETHODCALLTYPE get_ImageHeight(LONG* outHeight) override;
    HRESULT STDMETHODCALLTYPE Save(BSTR inPath) override;
};

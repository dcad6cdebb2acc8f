// XField.h: one value of one field of an upload (interface IXField). It owns no data:
// it holds its form and two positions and looks its entry up again at every call, so
// the upload's bytes are never copied to answer a property.
//
//   IXField* theField = ...;                 // from a collection's Item (1)
//   LONG theLength = 0;
//   theField->get_Length(&theLength);        // data fork length for MacBinary
//   theField->Save(thePath);                 // honours the form's options
#pragma once

#include "decode/ImageInfo.h"
#include "support/Interfaces.h"
#include "support/ObjectBase.h"
#include "platform/common/ComPtr.h"

class XForm;
struct FieldEntry;

/// The XField class.
class XField : public ObjectBase<XField, IXField> {
public:
    XField() = default;

    /// CLSID, interface, error source and type description of the class.
    static const ClassIdentity& Identity();

    /// Takes a reference on inForm and remembers the 0-based group and value positions.
    void Attach(XForm* inForm, LONG inGroup, LONG inValue);

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

private:
    /// The bytes a property looks at: the data fork of a MacBinary part, else all.
    struct Bytes {
        const BYTE* data = nullptr;
        LONG length = 0;
        bool macBinary = false;
    };

    /// The entry at the field's positions, or null; E_POINTER without form.
    const FieldEntry* Entry() const;
    /// The decoded bytes of inEntry (null: none).
    static Bytes DecodedBytes(const FieldEntry* inEntry);
    /// Fills the image information once, from the decoded bytes.
    void AnalyseImage();
    /// Copies inText into a new automation string (E_OUTOFMEMORY when that fails).
    static HRESULT CopyText(const WCHAR* inText, BSTR* outText);
    /// Writes the field to inTarget as Save does.
    void WriteTo(const WCHAR* inTarget, BOOL inOverwrite, BOOL inStreams);

    ComPtr<XForm> mForm;
    LONG mGroup = -1;
    LONG mValue = -1;
    ImageInfo mImage;
};

// Interfaces.h: the four dual interfaces of the component, the image-kind enumeration and
// the identifiers of the classes, interfaces and type library.
//
//   ComPtr<IXForm> theForm;
//   CoCreateInstance(CLSID_XForm, nullptr, CLSCTX_INPROC_SERVER, IID_IXForm, theForm.put_void());
//   LONG theCount = 0;
//   theForm->get_Count(&theCount);
//
// Members appear in vtable slot order after the seven IDispatch slots; the type library
// description (server/TypeLibrary.cpp) lists them in the same order.
#pragma once

#include <windows.h>
#include <oleauto.h>

/// Image kinds answered by IXField::get_ImageType.
enum ferImageType : LONG {
    ferUnknown = 0,
    ferJPEGgray = 1,
    ferJPEG = 2,
    ferJPEGcmyk = 3,
    ferGIF = 4,
    ferPNG = 5,
    ferBMP = 6,
};

extern "C" {
extern const GUID LIBID_Ferrolift4;
extern const CLSID CLSID_XForm;
extern const CLSID CLSID_XField;
extern const CLSID CLSID_XFields;
extern const CLSID CLSID_XProgress;
extern const IID IID_IXForm;
extern const IID IID_IXField;
extern const IID IID_IXFields;
extern const IID IID_IXProgress;
}

/// The form object a page creates to receive an upload.
struct IXForm : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** outEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT inIndex, VARIANT* outVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* outCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ID(LONG* outID) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ID(LONG inID) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AbsolutePath(VARIANT_BOOL* theTruth) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AbsolutePath(VARIANT_BOOL inTruth) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Overwrite(VARIANT_BOOL* theTruth) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Overwrite(VARIANT_BOOL inTruth) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MaxUploadSize(LONG* theBytes) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_MaxUploadSize(LONG inBytes) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_User(BSTR* outName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Domain(BSTR* outName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CodePage(LONG* outCodePage) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CodePage(LONG inCodePage) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Streams(VARIANT_BOOL* outStreams) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Streams(VARIANT_BOOL inStreams) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Multipart(VARIANT_BOOL* outMP) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetUser(BSTR inName, BSTR inPassword, BSTR inDomain) = 0;
    virtual HRESULT STDMETHODCALLTYPE Read(BSTR inPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE Save(BSTR inPath) = 0;
};

/// One value of one field of an upload.
struct IXField : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Content(BSTR* outContent) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* outName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Length(LONG* outLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FileExists(VARIANT_BOOL* outExists) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SafeFileName(BSTR* outName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FileType(BSTR* outType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FileName(BSTR* outName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MIMEType(BSTR* outType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MacBinary(VARIANT_BOOL* outMacBinary) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Data(VARIANT* outData) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Resource(VARIANT* outData) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RawFilePath(BSTR* outPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RawFileName(BSTR* outName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RawFileType(BSTR* outType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RawLength(LONG* outLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RawData(VARIANT* outData) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ImageType(ferImageType* outType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ImageWidth(LONG* outWidth) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ImageHeight(LONG* outHeight) = 0;
    virtual HRESULT STDMETHODCALLTYPE Save(BSTR inPath) = 0;
};

/// The values of one field name, numbered from 1.
struct IXFields : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** outEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT inIndex, VARIANT* outVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* outCount) = 0;
};

/// A view of the progress of the upload with a given ID.
struct IXProgress : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_ID(LONG* outID) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ID(LONG inID) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Note(BSTR* outNote) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Note(BSTR inNote) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Started(VARIANT_BOOL* outTruth) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BytesTotal(LONG* outBytes) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BytesDone(LONG* outBytes) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PercentDone(LONG* outPercent) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ElapsedSeconds(LONG* outSeconds) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SecondsLeft(LONG* outSeconds) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BytesPerSecond(LONG* outBytesPS) = 0;
};

// XField.cpp: one value of one field of an upload.
#include "objects/XField.h"

#include "decode/MacBinary.h"
#include "decode/MacFileTypes.h"
#include "objects/FieldSaver.h"
#include "intake/Names.h"
#include "objects/XForm.h"
#include "support/TypeLibrary.h"
#include "support/FileUtilities.h"
#include "support/Utilities.h"

namespace {

// The source module named in system-exception texts.
constexpr const char* kSource = "XField";

}  // namespace

const ClassIdentity& XField::Identity()
{
    static const ClassIdentity theIdentity = {&CLSID_XField, &IID_IXField, "Ferrolift4.XField.4", &kIXFieldDesc};
    return theIdentity;
}

void XField::Attach(XForm* inForm, LONG inGroup, LONG inValue)
{
    mForm.assign(inForm);
    mGroup = inGroup;
    mValue = inValue;
}

const FieldEntry* XField::Entry() const
{
    if (!mForm)
        throw _com_error(E_POINTER);
    const FieldGroup* theGroup = mForm->Group(mGroup);
    return theGroup != nullptr ? theGroup->Entry(mValue) : nullptr;
}

XField::Bytes XField::DecodedBytes(const FieldEntry* inEntry)
{
    Bytes theBytes;
    if (inEntry == nullptr)
        return theBytes;
    theBytes.data = inEntry->data;
    theBytes.length = inEntry->length;
    if (!IsMacBinary(inEntry->contentType.c_str(), inEntry->data, inEntry->length))
        return theBytes;
    const MacBinaryView theView(inEntry->data, inEntry->length);
    theBytes.data = theView.DataFork();
    theBytes.length = DataForkLength(theView);
    theBytes.macBinary = true;
    return theBytes;
}

HRESULT XField::CopyText(const WCHAR* inText, BSTR* outText)
{
    *outText = SysAllocString(inText != nullptr ? inText : OLESTR(""));
    return *outText != nullptr ? S_OK : E_OUTOFMEMORY;
}

void XField::AnalyseImage()
{
    const FieldEntry* theEntry = Entry();
    if (mImage.computed || theEntry == nullptr || theEntry->data == nullptr || theEntry->length == 0)
        return;
    const Bytes theBytes = DecodedBytes(theEntry);
    DetectImage(mImage, theBytes.data, static_cast<DWORD>(theBytes.length));
    mImage.computed = true;
}

HRESULT XField::get_Content(BSTR* outContent)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outContent);
        *outContent = nullptr;
        const FieldEntry* theEntry = Entry();
        if (theEntry == nullptr)
            return S_OK;
        const Bytes theBytes = DecodedBytes(theEntry);
        *outContent = MultiByteToBSTR(mForm->CodePage(), reinterpret_cast<const char*>(theBytes.data),
                                      theBytes.data != nullptr ? theBytes.length : 0);
        return *outContent != nullptr ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT XField::get_Name(BSTR* outName)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outName);
        *outName = nullptr;
        Entry();
        const FieldGroup* theGroup = mForm->Group(mGroup);
        *outName = MultiByteToBSTR(CP_ACP, theGroup != nullptr ? theGroup->Name() : "", -1);
        return *outName != nullptr ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT XField::get_Length(LONG* outLength)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outLength);
        *outLength = DecodedBytes(Entry()).length;
        return S_OK;
    });
}

HRESULT XField::get_FileExists(VARIANT_BOOL* outExists)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outExists);
        const FieldEntry* theEntry = Entry();
        const bool theExists = theEntry != nullptr && !theEntry->rawPath.empty() && theEntry->length != 0;
        *outExists = theExists ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT XField::get_SafeFileName(BSTR* outName)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outName);
        const FieldEntry* theEntry = Entry();
        return CopyText(theEntry != nullptr ? theEntry->safeName.c_str() : nullptr, outName);
    });
}

HRESULT XField::get_FileType(BSTR* outType)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outType);
        const FieldEntry* theEntry = Entry();
        if (theEntry == nullptr)
            return CopyText(nullptr, outType);
        if (!DecodedBytes(theEntry).macBinary)
            return CopyText(PathExtension(theEntry->rawPath.c_str()), outType);
        const MacBinaryView theView(theEntry->data, theEntry->length);
        char theExtension[kMacExtensionLength] = {};
        MacTypeToExtension(theView.FileType(), theView.FileCreator(), theExtension);
        *outType = MultiByteToBSTR(CP_ACP, theExtension, -1);
        return *outType != nullptr ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT XField::get_FileName(BSTR* outName)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outName);
        const FieldEntry* theEntry = Entry();
        return CopyText(theEntry != nullptr ? theEntry->urlSafeName.c_str() : nullptr, outName);
    });
}

HRESULT XField::get_MIMEType(BSTR* outType)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outType);
        const FieldEntry* theEntry = Entry();
        return CopyText(theEntry != nullptr ? theEntry->contentType.c_str() : nullptr, outType);
    });
}

HRESULT XField::get_MacBinary(VARIANT_BOOL* outMacBinary)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outMacBinary);
        *outMacBinary = DecodedBytes(Entry()).macBinary ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT XField::get_Data(VARIANT* outData)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outData);
        VariantInit(outData);
        const Bytes theBytes = DecodedBytes(Entry());
        const DWORD theLength = theBytes.data != nullptr ? static_cast<DWORD>(theBytes.length) : 0;
        return PtrToVARIANT(theBytes.data, theLength, outData);
    });
}

HRESULT XField::get_Resource(VARIANT* outData)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outData);
        VariantInit(outData);
        const FieldEntry* theEntry = Entry();
        if (theEntry == nullptr || !DecodedBytes(theEntry).macBinary)
            return PtrToVARIANT(nullptr, 0, outData);
        const MacBinaryView theView(theEntry->data, theEntry->length);
        return PtrToVARIANT(FindResourceFork(theView), static_cast<DWORD>(ResourceForkLength(theView)), outData);
    });
}

HRESULT XField::get_RawFilePath(BSTR* outPath)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outPath);
        const FieldEntry* theEntry = Entry();
        return CopyText(theEntry != nullptr ? theEntry->rawPath.c_str() : nullptr, outPath);
    });
}

HRESULT XField::get_RawFileName(BSTR* outName)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outName);
        const FieldEntry* theEntry = Entry();
        return CopyText(theEntry != nullptr ? LastPathComponent(theEntry->rawPath.c_str()) : nullptr, outName);
    });
}

HRESULT XField::get_RawFileType(BSTR* outType)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outType);
        const FieldEntry* theEntry = Entry();
        return CopyText(theEntry != nullptr ? PathExtension(theEntry->rawPath.c_str()) : nullptr, outType);
    });
}

HRESULT XField::get_RawLength(LONG* outLength)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outLength);
        const FieldEntry* theEntry = Entry();
        *outLength = theEntry != nullptr ? theEntry->length : 0;
        return S_OK;
    });
}

HRESULT XField::get_RawData(VARIANT* outData)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outData);
        VariantInit(outData);
        const FieldEntry* theEntry = Entry();
        if (theEntry == nullptr || theEntry->data == nullptr)
            return PtrToVARIANT(nullptr, 0, outData);
        return PtrToVARIANT(theEntry->data, static_cast<DWORD>(theEntry->length), outData);
    });
}

HRESULT XField::get_ImageType(ferImageType* outType)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outType);
        AnalyseImage();
        *outType = mImage.type;
        return S_OK;
    });
}

HRESULT XField::get_ImageWidth(LONG* outWidth)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outWidth);
        AnalyseImage();
        *outWidth = mImage.width;
        return S_OK;
    });
}

HRESULT XField::get_ImageHeight(LONG* outHeight)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outHeight);
        AnalyseImage();
        *outHeight = mImage.height;
        return S_OK;
    });
}

void XField::WriteTo(const WCHAR* inTarget, BOOL inOverwrite, BOOL inStreams)
{
    const FieldEntry* theEntry = Entry();
    if (theEntry == nullptr || theEntry->data == nullptr) {
        WriteVisitorFile(inTarget, nullptr, 0, inOverwrite);
        return;
    }
    if (DecodedBytes(theEntry).macBinary) {
        SaveMacBinary(MacBinaryView(theEntry->data, theEntry->length), inTarget, inOverwrite, inStreams);
        return;
    }
    WriteVisitorFile(inTarget, theEntry->data, static_cast<DWORD>(theEntry->length), inOverwrite);
}

HRESULT XField::Save(BSTR inPath)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        Entry();
        VARIANT_BOOL theAbsolute = VARIANT_FALSE;
        VARIANT_BOOL theOverwrite = VARIANT_FALSE;
        VARIANT_BOOL theStreams = VARIANT_TRUE;
        mForm->get_AbsolutePath(&theAbsolute);
        mForm->get_Overwrite(&theOverwrite);
        mForm->get_Streams(&theStreams);

        ErrorRecord theErrors;
        WCHAR theTarget[MAX_PATH];
        mForm->ResolveTarget(inPath, theAbsolute == VARIANT_TRUE, theTarget, theErrors);
        if (!theErrors.HasError()) {
            WriteTo(theTarget, theOverwrite != VARIANT_FALSE, theStreams != VARIANT_FALSE);
            if (GetLastError() != 0)
                theErrors.SetSystemError(GetLastError());
        }
        if (!theErrors.HasError())
            return S_OK;
        return ReportError(theErrors.Describe(), theErrors.DerivedResult());
    });
}

// XField.cpp: one value of one field of an upload.
#include "fields/XField.h"

#include "server/TypeLibrary.h"

namespace {

// The source module named in system-exception texts.
constexpr const char* kSource = "XField";

}  // namespace

const ClassIdentity& XField::Identity()
{
    static const ClassIdentity theIdentity = {&CLSID_XField, &IID_IXField, "Ferrolift4.XField.4", &kIXFieldDesc};
    return theIdentity;
}

HRESULT XField::get_Content(BSTR* outContent)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outContent);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_Name(BSTR* outName)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outName);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_Length(LONG* outLength)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outLength);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_FileExists(VARIANT_BOOL* outExists)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outExists);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_SafeFileName(BSTR* outName)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outName);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_FileType(BSTR* outType)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outType);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_FileName(BSTR* outName)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outName);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_MIMEType(BSTR* outType)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outType);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_MacBinary(VARIANT_BOOL* outMacBinary)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outMacBinary);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_Data(VARIANT* outData)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outData);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_Resource(VARIANT* outData)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outData);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_RawFilePath(BSTR* outPath)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outPath);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_RawFileName(BSTR* outName)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outName);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_RawFileType(BSTR* outType)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outType);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_RawLength(LONG* outLength)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outLength);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_RawData(VARIANT* outData)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outData);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_ImageType(ferImageType* outType)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outType);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_ImageWidth(LONG* outWidth)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outWidth);
        return E_NOTIMPL;
    });
}

HRESULT XField::get_ImageHeight(LONG* outHeight)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outHeight);
        return E_NOTIMPL;
    });
}

HRESULT XField::Save(BSTR /*inPath*/)
{
    return RunMember(this, kSource, __LINE__, []() -> HRESULT { return E_NOTIMPL; });
}

// XForm.cpp: the form object a page creates to receive an upload.
#include "intake/XForm.h"

#include "server/TypeLibrary.h"

namespace {

// The source module named in system-exception texts.
constexpr const char* kSource = "XForm";

}  // namespace

const ClassIdentity& XForm::Identity()
{
    static const ClassIdentity theIdentity = {&CLSID_XForm, &IID_IXForm, "Ferrolift4.XForm.4", &kIXFormDesc};
    return theIdentity;
}

HRESULT XForm::get__NewEnum(IUnknown** outEnum)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outEnum);
        return E_NOTIMPL;
    });
}

HRESULT XForm::get_Item(VARIANT /*inIndex*/, VARIANT* outVal)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outVal);
        return E_NOTIMPL;
    });
}

HRESULT XForm::get_Count(LONG* outCount)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outCount);
        return E_NOTIMPL;
    });
}

HRESULT XForm::get_ID(LONG* outID)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outID);
        return E_NOTIMPL;
    });
}

HRESULT XForm::put_ID(LONG /*inID*/)
{
    return RunMember(this, kSource, __LINE__, []() -> HRESULT { return E_NOTIMPL; });
}

HRESULT XForm::get_AbsolutePath(VARIANT_BOOL* theTruth)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(theTruth);
        return E_NOTIMPL;
    });
}

HRESULT XForm::put_AbsolutePath(VARIANT_BOOL /*inTruth*/)
{
    return RunMember(this, kSource, __LINE__, []() -> HRESULT { return E_NOTIMPL; });
}

HRESULT XForm::get_Overwrite(VARIANT_BOOL* theTruth)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(theTruth);
        return E_NOTIMPL;
    });
}

HRESULT XForm::put_Overwrite(VARIANT_BOOL /*inTruth*/)
{
    return RunMember(this, kSource, __LINE__, []() -> HRESULT { return E_NOTIMPL; });
}

HRESULT XForm::get_MaxUploadSize(LONG* theBytes)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(theBytes);
        return E_NOTIMPL;
    });
}

HRESULT XForm::put_MaxUploadSize(LONG /*inBytes*/)
{
    return RunMember(this, kSource, __LINE__, []() -> HRESULT { return E_NOTIMPL; });
}

HRESULT XForm::get_User(BSTR* outName)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outName);
        return E_NOTIMPL;
    });
}

HRESULT XForm::get_Domain(BSTR* outName)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outName);
        return E_NOTIMPL;
    });
}

HRESULT XForm::get_CodePage(LONG* outCodePage)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outCodePage);
        return E_NOTIMPL;
    });
}

HRESULT XForm::put_CodePage(LONG /*inCodePage*/)
{
    return RunMember(this, kSource, __LINE__, []() -> HRESULT { return E_NOTIMPL; });
}

HRESULT XForm::get_Streams(VARIANT_BOOL* outStreams)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outStreams);
        return E_NOTIMPL;
    });
}

HRESULT XForm::put_Streams(VARIANT_BOOL /*inStreams*/)
{
    return RunMember(this, kSource, __LINE__, []() -> HRESULT { return E_NOTIMPL; });
}

HRESULT XForm::get_Multipart(VARIANT_BOOL* outMP)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outMP);
        return E_NOTIMPL;
    });
}

HRESULT XForm::SetUser(BSTR /*inName*/, BSTR /*inPassword*/, BSTR /*inDomain*/)
{
    return RunMember(this, kSource, __LINE__, []() -> HRESULT { return E_NOTIMPL; });
}

HRESULT XForm::Read(BSTR /*inPath*/)
{
    return RunMember(this, kSource, __LINE__, []() -> HRESULT { return E_NOTIMPL; });
}

HRESULT XForm::Save(BSTR /*inPath*/)
{
    return RunMember(this, kSource, __LINE__, []() -> HRESULT { return E_NOTIMPL; });
}

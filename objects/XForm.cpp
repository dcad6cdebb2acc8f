// XForm.cpp: the form object a page creates to receive an upload.
#include "objects/XForm.h"

#include <vector>

#include "objects/FieldEnumerator.h"
#include "objects/FieldSaver.h"
#include "objects/XFields.h"
#include "support/TypeLibrary.h"
#include "support/FileUtilities.h"
#include "support/Settings.h"
#include "platform/common/ReturnIfFailed.h"
#include "platform/common/UniqueBstr.h"
#include "platform/common/UniqueVariant.h"
#include "support/Utilities.h"

namespace {

// The source module named in system-exception texts.
constexpr const char* kSource = "XForm";

/// Stores a script's boolean out-value.
void PutTruth(VARIANT_BOOL* outTruth, bool inValue)
{
    *outTruth = inValue ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

const ClassIdentity& XForm::Identity()
{
    static const ClassIdentity theIdentity = {&CLSID_XForm, &IID_IXForm, "Ferrolift4.XForm.4", &kIXFormDesc};
    return theIdentity;
}

HRESULT XForm::Intake()
{
    if (!mReader.Initialize(nullptr, false))
        return S_OK;
    return ReportError(mReader.Errors().Describe(), E_FAIL);
}

void XForm::ResolveTarget(const WCHAR* inPath, bool inIsPhysical, WCHAR* outTarget, ErrorRecord& inOutErrors)
{
    CriticalSectionGuard theGuard(ObjectLock());
    outTarget[0] = 0;
    if (inIsPhysical) {
        if (!DecodePhysicalPath(inPath, mReader.GetCodePage(), outTarget))
            inOutErrors.SetSystemError(GetLastError());
        return;
    }
    const HRESULT hr = mReader.MapPath(inPath != nullptr ? inPath : OLESTR(""), outTarget);
    if (SUCCEEDED(hr))
        return;
    inOutErrors.AddMessage("Unable to convert virtual to physical path");
    inOutErrors.SetResultCode(static_cast<DWORD>(hr));
}

HRESULT XForm::get__NewEnum(IUnknown** outEnum)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outEnum);
        *outEnum = nullptr;
        RETURN_IF_FAILED(Intake());
        std::vector<UniqueVariant> theNames(static_cast<size_t>(mReader.GroupCount()));
        for (size_t i = 0; i < theNames.size(); ++i) {
            const FieldGroup* theGroup = mReader.GetGroup(static_cast<LONG>(i));
            VARIANT* theName = theNames[i].get();
            V_VT(theName) = VT_BSTR;
            V_BSTR(theName) = MultiByteToBSTR(CP_ACP, theGroup->Name(), -1);
            if (V_BSTR(theName) == nullptr)
                return E_OUTOFMEMORY;
        }
        return FieldEnumerator::Create(std::move(theNames), outEnum);
    });
}

HRESULT XForm::FindPosition(VARIANT& inIndex, LONG& outPosition)
{
    UniqueVariant theText;
    HRESULT hr = V_VT(&inIndex) == VT_BSTR ? VariantCopy(theText.get(), &inIndex)
                                           : VariantChangeType(theText.get(), &inIndex, 0, VT_BSTR);
    if (SUCCEEDED(hr) && theText.vt() == VT_BSTR) {
        const std::string theName = AnsiFromWide(V_BSTR(theText.get()), -1);
        outPosition = mReader.FindGroup(theName.c_str());
        if (outPosition >= 0)
            return S_OK;
    }
    if (V_VT(&inIndex) == VT_I4) {
        outPosition = ZeroBasedPosition(V_I4(&inIndex));
        return S_OK;
    }
    UniqueVariant theNumber;
    RETURN_IF_FAILED(VariantChangeType(theNumber.get(), &inIndex, 0, VT_I4));
    outPosition = ZeroBasedPosition(V_I4(theNumber.get()));
    return S_OK;
}

HRESULT XForm::get_Item(VARIANT inIndex, VARIANT* outVal)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outVal);
        HRESULT hr = Intake();
        UniqueVariant theIndex;
        VariantInit(outVal);
        RETURN_IF_FAILED(VariantCopyInd(theIndex.get(), &inIndex));
        if (theIndex.vt() == VT_ERROR) {
            V_VT(outVal) = VT_BSTR;
            V_BSTR(outVal) = MultiByteToBSTR(mReader.GetCodePage(), reinterpret_cast<const char*>(mReader.Data()),
                                             mReader.Data() != nullptr ? mReader.Length() : 0);
            return hr;
        }
        LONG thePosition = -1;
        RETURN_IF_FAILED(FindPosition(*theIndex.get(), thePosition));
        RETURN_IF_FAILED(hr);
        ComPtr<IXFields> theFields;
        RETURN_IF_FAILED(XFields::CreateInstance(nullptr, IID_IXFields, theFields.put_void()));
        static_cast<XFields*>(theFields.get())->Attach(this, thePosition);
        V_VT(outVal) = VT_DISPATCH;
        V_DISPATCH(outVal) = theFields.detach();
        return S_OK;
    });
}

HRESULT XForm::get_Count(LONG* outCount)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outCount);
        const HRESULT hr = Intake();
        *outCount = mReader.GroupCount();
        return hr;
    });
}

HRESULT XForm::get_ID(LONG* outID)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outID);
        *outID = mReader.GetProgressID();
        return S_OK;
    });
}

HRESULT XForm::put_ID(LONG inID)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        mReader.SetProgressID(inID);
        return S_OK;
    });
}

HRESULT XForm::get_AbsolutePath(VARIANT_BOOL* theTruth)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(theTruth);
        *theTruth = mAbsolutePath;
        return S_OK;
    });
}

HRESULT XForm::put_AbsolutePath(VARIANT_BOOL inTruth)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        mAbsolutePath = inTruth;
        return S_OK;
    });
}

HRESULT XForm::get_Overwrite(VARIANT_BOOL* theTruth)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(theTruth);
        *theTruth = mOverwrite;
        return S_OK;
    });
}

HRESULT XForm::put_Overwrite(VARIANT_BOOL inTruth)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        mOverwrite = inTruth;
        return S_OK;
    });
}

HRESULT XForm::get_MaxUploadSize(LONG* theBytes)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(theBytes);
        *theBytes = mReader.GetMaxUploadSize();
        return S_OK;
    });
}

HRESULT XForm::put_MaxUploadSize(LONG inBytes)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        mReader.SetMaxUploadSize(inBytes);
        return S_OK;
    });
}

HRESULT XForm::AccountName(bool inWantDomain, BSTR* outName)
{
    char theUser[kAccountNameSize] = {};
    char theDomain[kAccountNameSize] = {};
    bool theUsedProcess = false;
    HRESULT hr = S_OK;
    if (!GetTokenAccount(theUser, theDomain, theUsedProcess)) {
        const DWORD theError = GetLastError();
        theUser[0] = theDomain[0] = 0;
        if (theError != 0) {
            ErrorRecord theErrors;
            theErrors.SetSystemError(theError);
            hr = ReportError(theErrors.Describe(), theErrors.DerivedResult());
        }
    }
    *outName = MultiByteToBSTR(CP_ACP, inWantDomain ? theDomain : theUser, -1);
    return hr;
}

HRESULT XForm::get_User(BSTR* outName)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outName);
        return AccountName(false, outName);
    });
}

HRESULT XForm::get_Domain(BSTR* outName)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outName);
        return AccountName(true, outName);
    });
}

HRESULT XForm::get_CodePage(LONG* outCodePage)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outCodePage);
        *outCodePage = static_cast<LONG>(mReader.GetCodePage());
        return S_OK;
    });
}

HRESULT XForm::put_CodePage(LONG inCodePage)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        mReader.SetCodePage(static_cast<UINT>(inCodePage));
        return S_OK;
    });
}

HRESULT XForm::get_Streams(VARIANT_BOOL* outStreams)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outStreams);
        *outStreams = mStreams;
        return S_OK;
    });
}

HRESULT XForm::put_Streams(VARIANT_BOOL inStreams)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        mStreams = inStreams;
        return S_OK;
    });
}

HRESULT XForm::get_Multipart(VARIANT_BOOL* outMP)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outMP);
        const HRESULT hr = Intake();
        PutTruth(outMP, mReader.IsMultipart());
        return hr;
    });
}

HRESULT XForm::SetUser(BSTR inName, BSTR inPassword, BSTR inDomain)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        DWORD theEnabled = 0;
        ReadSettingDword("EnableImpersonation", &theEnabled);
        if (theEnabled == 0)
            return ReportError("Ferrolift impersonation is not enabled via registry", E_FAIL);
        const std::string theName = AnsiFromWide(inName);
        const std::string thePassword = AnsiFromWide(inPassword);
        const std::string theDomain = SysStringLen(inDomain) != 0 ? AnsiFromWide(inDomain) : std::string(".");
        if (mImpersonator.ImpersonateUser(theName.c_str(), thePassword.c_str(), theDomain.c_str()))
            return S_OK;
        const DWORD theError = GetLastError();
        if (theError == 0)
            return S_OK;
        ErrorRecord theErrors;
        theErrors.SetSystemError(theError);
        return ReportError(theErrors.Describe(), theErrors.DerivedResult());
    });
}

HRESULT XForm::Read(BSTR inPath)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        mReader.Clear();
        if (!mReader.Initialize(inPath, mAbsolutePath != VARIANT_FALSE))
            return S_OK;
        return ReportError(mReader.Errors().Describe(), E_FAIL);
    });
}

HRESULT XForm::Save(BSTR inPath)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RETURN_IF_FAILED(Intake());
        ErrorRecord theErrors;
        WCHAR theTarget[MAX_PATH];
        ResolveTarget(inPath, mAbsolutePath != VARIANT_FALSE, theTarget, theErrors);
        if (!theErrors.HasError()) {
            const DWORD theLength = mReader.Data() != nullptr ? static_cast<DWORD>(mReader.Length()) : 0;
            WriteVisitorFile(theTarget, mReader.Data(), theLength, mOverwrite != VARIANT_FALSE);
            if (GetLastError() != 0)
                theErrors.SetSystemError(GetLastError());
        }
        if (!theErrors.HasError())
            return S_OK;
        return ReportError(theErrors.Describe(), theErrors.DerivedResult());
    });
}

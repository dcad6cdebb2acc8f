// XForm.h: the form object a page creates to receive an upload (interface IXForm). It
// owns the upload reader and the impersonation, carries the options that saving reads,
// and hands out field collections by name or number.
//
//   ComPtr<IXForm> theForm;
//   XForm::CreateInstance(nullptr, IID_IXForm, theForm.put_void());
//   theForm->put_MaxUploadSize(1 << 20);     // before the first reading member
//   LONG theCount = 0;
//   theForm->get_Count(&theCount);           // runs the intake once
#pragma once

#include "intake/Multipart.h"
#include "support/Interfaces.h"
#include "support/ObjectBase.h"
#include "support/Impersonator.h"

/// The XForm class.
class XForm : public ObjectBase<XForm, IXForm> {
public:
    XForm() = default;

    /// CLSID, interface, error source and type description of the class.
    static const ClassIdentity& Identity();

    /// The group at a 0-based position of the upload, or null. Fields and collections
    /// read it without the form's lock: groups change only through Read.
    const FieldGroup* Group(LONG inPosition) const { return mReader.GetGroup(inPosition); }
    /// The code page of every text conversion (0: the system ANSI page).
    UINT CodePage() const { return mReader.GetCodePage(); }
    /// Resolves a Save path under the form's lock into outTarget[MAX_PATH]: physical
    /// paths by the code-page rule, virtual ones through the page's server. Failures go
    /// into inOutErrors (nothing else is touched).
    void ResolveTarget(const WCHAR* inPath, bool inIsPhysical, WCHAR* outTarget, ErrorRecord& inOutErrors);

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

private:
    /// Runs the intake once; every later call reports the same failure again.
    HRESULT Intake();
    /// The group position inIndex selects: a name first, then a 1-based number.
    /// Fails with the integer conversion's code.
    HRESULT FindPosition(VARIANT& inIndex, LONG& outPosition);
    /// User (inWantDomain false) or Domain of the calling thread's account.
    HRESULT AccountName(bool inWantDomain, BSTR* outName);

    // Declared first so that it is destroyed last: the impersonation ends before the
    // reader finishes its progress record.
    Multipart mReader;
    Impersonator mImpersonator;
    VARIANT_BOOL mAbsolutePath = VARIANT_FALSE;
    VARIANT_BOOL mOverwrite = VARIANT_FALSE;
    VARIANT_BOOL mStreams = VARIANT_TRUE;
};

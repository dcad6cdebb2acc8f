// XFields.cpp: the values of one field name.
#include "objects/XFields.h"

#include <vector>

#include "objects/FieldEnumerator.h"
#include "objects/XField.h"
#include "objects/XForm.h"
#include "support/TypeLibrary.h"
#include "platform/common/UniqueVariant.h"
#include "support/Utilities.h"

namespace {

// The source module named in system-exception texts.
constexpr const char* kSource = "XFields";

}  // namespace

const ClassIdentity& XFields::Identity()
{
    static const ClassIdentity theIdentity = {&CLSID_XFields, &IID_IXFields, "Ferrolift4.XFields.4", &kIXFieldsDesc};
    return theIdentity;
}

void XFields::Attach(XForm* inForm, LONG inGroup)
{
    mForm.assign(inForm);
    mGroup = inGroup;
}

LONG XFields::EntryCount() const
{
    if (!mForm)
        throw _com_error(E_POINTER);
    const FieldGroup* theGroup = mForm->Group(mGroup);
    return theGroup != nullptr ? theGroup->EntryCount() : 0;
}

HRESULT XFields::MakeField(LONG inValue, IDispatch** outField)
{
    ComPtr<IXField> theField;
    const HRESULT hr = XField::CreateInstance(nullptr, IID_IXField, theField.put_void());
    if (FAILED(hr))
        return hr;
    static_cast<XField*>(theField.get())->Attach(mForm.get(), mGroup, inValue);
    *outField = theField.detach();
    return S_OK;
}

HRESULT XFields::get__NewEnum(IUnknown** outEnum)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outEnum);
        *outEnum = nullptr;
        std::vector<UniqueVariant> theFields(static_cast<size_t>(EntryCount()));
        for (size_t i = 0; i < theFields.size(); ++i) {
            VARIANT* theItem = theFields[i].get();
            IDispatch* theField = nullptr;
            if (FAILED(MakeField(static_cast<LONG>(i), &theField))) {
                theFields.resize(i);
                break;
            }
            V_VT(theItem) = VT_DISPATCH;
            V_DISPATCH(theItem) = theField;
        }
        return FieldEnumerator::Create(std::move(theFields), outEnum);
    });
}

HRESULT XFields::get_Item(VARIANT inIndex, VARIANT* outVal)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outVal);
        VariantInit(outVal);
        EntryCount();
        LONG theNumber = 0;
        if (V_VT(&inIndex) == VT_I4) {
            theNumber = V_I4(&inIndex);
        } else {
            UniqueVariant theConverted;
            const HRESULT hr = VariantChangeType(theConverted.get(), &inIndex, 0, VT_I4);
            if (FAILED(hr))
                return hr;
            theNumber = V_I4(theConverted.get());
        }
        IDispatch* theField = nullptr;
        const HRESULT hr = MakeField(ZeroBasedPosition(theNumber), &theField);
        if (FAILED(hr))
            return hr;
        V_VT(outVal) = VT_DISPATCH;
        V_DISPATCH(outVal) = theField;
        return S_OK;
    });
}

HRESULT XFields::get_Count(LONG* outCount)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outCount);
        *outCount = EntryCount();
        return S_OK;
    });
}

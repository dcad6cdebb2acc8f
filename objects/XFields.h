// XFields.h: the values of one field name (interface IXFields). Made by the form's Item;
// it holds the form and a group position and reads the group anew at every call.
//
//   VARIANT theFields;                         // from the form's Item ("photo")
//   IXFields* theGroup = ...;                  // V_DISPATCH(&theFields) queried for IXFields
//   LONG theCount = 0;
//   theGroup->get_Count(&theCount);            // values sent under that name
//   theGroup->get_Item(theOne, &theField);     // VT_DISPATCH of a new XField, 1-based
#pragma once

#include "support/Interfaces.h"
#include "support/ObjectBase.h"
#include "platform/common/ComPtr.h"

class XForm;

/// The XFields class.
class XFields : public ObjectBase<XFields, IXFields> {
public:
    XFields() = default;

    /// CLSID, interface, error source and type description of the class.
    static const ClassIdentity& Identity();

    /// Takes a reference on inForm and remembers the 0-based group position.
    void Attach(XForm* inForm, LONG inGroup);

    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** outEnum) override;
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT inIndex, VARIANT* outVal) override;
    HRESULT STDMETHODCALLTYPE get_Count(LONG* outCount) override;

private:
    /// The group's value count (0 without group); E_POINTER without form.
    LONG EntryCount() const;
    /// A new field on (form, group, inValue) as its IDispatch, owned by the caller.
    HRESULT MakeField(LONG inValue, IDispatch** outField);

    ComPtr<XForm> mForm;
    LONG mGroup = -1;
};

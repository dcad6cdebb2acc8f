// XFields.h: the values of one field name (interface IXFields).
//
//   ComPtr<IXFields> theFields;
//   XFields::CreateInstance(nullptr, IID_IXFields, theFields.put_void());
//
// Every member runs in the member frame; this first version answers E_NOTIMPL.
#pragma once

#include "server/Interfaces.h"
#include "server/ObjectBase.h"

/// The XFields class.
class XFields : public ObjectBase<XFields, IXFields> {
public:
    XFields() = default;

    /// CLSID, interface, error source and type description of the class.
    static const ClassIdentity& Identity();

    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** outEnum) override;
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT inIndex, VARIANT* outVal) override;
    HRESULT STDMETHODCALLTYPE get_Count(LONG* outCount) override;
};

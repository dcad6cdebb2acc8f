// XFields.cpp: the values of one field name.
#include "fields/XFields.h"

#include "server/TypeLibrary.h"

namespace {

// The source module named in system-exception texts.
constexpr const char* kSource = "XFields";

}  // namespace

const ClassIdentity& XFields::Identity()
{
    static const ClassIdentity theIdentity = {&CLSID_XFields, &IID_IXFields, "Ferrolift4.XFields.4", &kIXFieldsDesc};
    return theIdentity;
}

HRESULT XFields::get__NewEnum(IUnknown** outEnum)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outEnum);
        return E_NOTIMPL;
    });
}

HRESULT XFields::get_Item(VARIANT /*inIndex*/, VARIANT* outVal)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outVal);
        return E_NOTIMPL;
    });
}

HRESULT XFields::get_Count(LONG* outCount)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outCount);
        return E_NOTIMPL;
    });
}

// The interface identifiers of the system interfaces, with their Windows values so that
// the component's registrations read the same on both platforms.
#include "platform/com/Com.h"

namespace {
constexpr GUID StandardIid(uint32_t inData1)
{
    return GUID{inData1, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}
}  // namespace

extern "C" {
const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = StandardIid(0x00000000);
const IID IID_IClassFactory = StandardIid(0x00000001);
const IID IID_IMarshal = StandardIid(0x00000003);
const IID IID_IDispatch = StandardIid(0x00020400);
const IID IID_ITypeInfo = StandardIid(0x00020401);
const IID IID_IEnumVARIANT = StandardIid(0x00020404);
const IID IID_ICreateErrorInfo = {0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const CLSID CLSID_InProcFreeMarshaler = StandardIid(0x0000033A);
const IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
}

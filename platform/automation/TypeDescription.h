// TypeDescription.h: the one description of an automation type library from which
// IDispatch is implemented (names, dispids, invoke kinds, parameters, defaults) and
// from which `ferrolift typelib` prints IDL.
//
// A class implements its dual interface in C++ and answers IDispatch by forwarding:
//
//   HRESULT XForm::GetIDsOfNames(REFIID, LPOLESTR* n, UINT c, LCID, DISPID* ids)
//   { return ferrolift::automation::DispatchGetIDsOfNames(kIXFormDesc, n, c, ids); }
//   HRESULT XForm::Invoke(DISPID id, REFIID, LCID, WORD f, DISPPARAMS* p, VARIANT* r,
//                         EXCEPINFO* e, UINT* a)
//   { return ferrolift::automation::DispatchInvoke(kIXFormDesc, this, id, f, p, r, e, a); }
//
// Each member carries a thunk that unpacks already-coerced arguments and calls the
// vtable method; the thunk is the only code that knows the C++ signature.
//
// On Windows the same two calls are answered by the system's automation runtime from the
// type library compiled from this description and embedded in the module
// (platform/windows/Dispatch.cpp); the thunks are then unused.
#pragma once

#include <string>
#include <vector>

#include <windows.h>
#include <oleauto.h>

namespace ferrolift::automation {

enum class InvokeKind : WORD {
    Method = DISPATCH_METHOD,
    PropertyGet = DISPATCH_PROPERTYGET,
    PropertyPut = DISPATCH_PROPERTYPUT,
};

// One [in] parameter. `type` is the declared automation type: VT_I4, VT_BSTR, VT_BOOL,
// VT_VARIANT, VT_UNKNOWN, VT_DISPATCH, or VT_I4 with `enumName` set for an enumeration.
struct ParamDesc {
    const char* name;
    VARTYPE type;
    bool optional = false;
    // Text of the [defaultvalue(...)] for an optional parameter (a string for VT_BSTR,
    // a number otherwise); null: none, a missing VARIANT argument then arrives as
    // VT_ERROR with DISP_E_PARAMNOTFOUND.
    const char* defaultValue = nullptr;
    const char* enumName = nullptr;
};

// args: the [in] arguments in declaration order, each coerced to its declared type
// (VT_VARIANT arguments are passed as given, with one level of VT_BYREF removed);
// result: where a getter's [out, retval] value goes (already VariantInit'ed; null for
// members without one). Returns the member's HRESULT.
using MemberThunk = HRESULT (*)(IUnknown* inSelf, VARIANT* inArgs, VARIANT* outResult);

struct MemberDesc {
    DISPID id;
    const char* name;
    InvokeKind kind;
    std::vector<ParamDesc> params;     // [in] parameters, in order
    VARTYPE resultType = VT_EMPTY;     // type of the [out, retval]; VT_EMPTY: none
    const char* resultName = nullptr;  // its parameter name in the IDL
    const char* resultEnum = nullptr;  // enumeration name when the result is one
    const char* help = "";
    bool restricted = false;
    MemberThunk thunk = nullptr;
};

struct InterfaceDesc {
    const char* name;                  // "IXForm"
    const IID* iid;
    const char* help;                  // "IXForm Interface"
    std::vector<MemberDesc> members;   // in vtable slot order
};

struct EnumValueDesc {
    const char* name;
    LONG value;
};

struct EnumDesc {
    const char* name;
    std::vector<EnumValueDesc> values;
};

struct CoClassDesc {
    const char* name;                  // "XForm"
    const CLSID* clsid;
    const char* help;                  // "XForm Class"
    const InterfaceDesc* defaultInterface;
};

struct TypeLibraryDesc {
    const char* name;                  // "Ferrolift4"
    const GUID* libid;
    WORD majorVersion;
    WORD minorVersion;
    const char* help;
    std::vector<EnumDesc> enums;
    std::vector<const InterfaceDesc*> interfaces;
    std::vector<CoClassDesc> coclasses;
};

// Case-insensitive lookup of the member name (rgszNames[0]); further names are
// parameter names, matched case-insensitively against the member's parameters
// (the first matching member by name decides). Unknown names give DISPID_UNKNOWN and
// DISP_E_UNKNOWNNAME.
HRESULT DispatchGetIDsOfNames(const InterfaceDesc& inDesc, LPOLESTR* inNames, UINT inCount, DISPID* outIds);

// Finds the member by dispid and wFlags (a property get may also be invoked as
// DISPATCH_METHOD|DISPATCH_PROPERTYGET, as script engines do), checks the argument
// count (DISP_E_BADPARAMCOUNT, DISP_E_PARAMNOTOPTIONAL), coerces each argument with
// VariantChangeType (DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW with *outArgErr set to the
// argument's position in rgvarg), fills missing optionals with their defaults, and
// calls the thunk. A failed call whose thread error info is set (the object answers
// ISupportErrorInfo for inDesc.iid) becomes DISP_E_EXCEPTION with outExcep filled
// (source, description, scode = the member's HRESULT); without error info the
// member's HRESULT is returned as it is.
HRESULT DispatchInvoke(const InterfaceDesc& inDesc, IUnknown* inSelf, DISPID inId, WORD inFlags,
                       DISPPARAMS* inParams, VARIANT* outResult, EXCEPINFO* outExcep, UINT* outArgErr);

// The library as IDL text, in the MIDL dialect (library, enums, interfaces, coclasses).
std::string WriteIdl(const TypeLibraryDesc& inLib);

}  // namespace ferrolift::automation

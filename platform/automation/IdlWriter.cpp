// The type description printed as IDL in the MIDL dialect, so that the library can be
// compiled or compared with the tools of the other platform.
#include "platform/automation/TypeDescription.h"

#include <charconv>
#include <cstring>
#include <string>

#include "platform/com/Com.h"

namespace ferrolift::automation {
namespace {

std::string GuidText(const GUID& inGuid)
{
    OLECHAR theWide[39];
    StringFromGUID2(inGuid, theWide, 39);
    // Drop the braces: IDL writes uuid(XXXXXXXX-...).
    return std::string(theWide + 1, theWide + 37);
}

std::string Quoted(const char* inText)
{
    std::string theOut = "\"";
    for (const char* p = inText ? inText : ""; *p; ++p) {
        if (*p == '"' || *p == '\\')
            theOut += '\\';
        theOut += *p;
    }
    return theOut + "\"";
}

std::string TypeName(VARTYPE inVt, const char* inEnum)
{
    if (inEnum)
        return inEnum;
    switch (inVt) {
    case VT_I1: return "char";
    case VT_UI1: return "unsigned char";
    case VT_I2: return "short";
    case VT_UI2: return "unsigned short";
    case VT_I4: return "long";
    case VT_UI4: return "unsigned long";
    case VT_INT: return "int";
    case VT_UINT: return "unsigned int";
    case VT_I8: return "int64";
    case VT_UI8: return "uint64";
    case VT_R4: return "single";
    case VT_R8: return "double";
    case VT_CY: return "CURRENCY";
    case VT_DATE: return "DATE";
    case VT_BSTR: return "BSTR";
    case VT_BOOL: return "VARIANT_BOOL";
    case VT_ERROR: return "SCODE";
    case VT_DECIMAL: return "DECIMAL";
    case VT_UNKNOWN: return "IUnknown*";
    case VT_DISPATCH: return "IDispatch*";
    case VT_VARIANT: return "VARIANT";
    default: break;
    }
    if (inVt == (VT_ARRAY | VT_UI1))
        return "SAFEARRAY(unsigned char)";
    if (inVt == (VT_ARRAY | VT_VARIANT))
        return "SAFEARRAY(VARIANT)";
    return "VARIANT";
}

// A default value: quoted for strings, a number otherwise (text that is no number is
// quoted too, so the output always compiles).
std::string DefaultText(const ParamDesc& inParam)
{
    const char* theText = inParam.defaultValue;
    if (inParam.type == VT_BSTR || !*theText)
        return Quoted(theText);
    const char* theEnd = theText + std::strlen(theText);
    double theValue = 0;
    const auto theResult = std::from_chars(*theText == '-' ? theText + 1 : theText, theEnd, theValue);
    return theResult.ec == std::errc() && theResult.ptr == theEnd ? std::string(theText) : Quoted(theText);
}

std::string ParamText(const ParamDesc& inParam)
{
    std::string theOut = "[in";
    if (inParam.optional)
        theOut += ", optional";
    if (inParam.defaultValue)
        theOut += ", defaultvalue(" + DefaultText(inParam) + ")";
    return theOut + "] " + TypeName(inParam.type, inParam.enumName) + " " + inParam.name;
}

std::string MemberText(const MemberDesc& inMember)
{
    std::string theOut = "        [id(" + std::to_string(inMember.id) + ")";
    if (inMember.kind == InvokeKind::PropertyGet)
        theOut += ", propget";
    else if (inMember.kind == InvokeKind::PropertyPut)
        theOut += ", propput";
    if (inMember.restricted)
        theOut += ", restricted";
    if (inMember.help && *inMember.help)
        theOut += ", helpstring(" + Quoted(inMember.help) + ")";
    theOut += "]\n        HRESULT " + std::string(inMember.name) + "(";
    std::string theParams;
    for (const ParamDesc& theParam : inMember.params)
        theParams += (theParams.empty() ? "" : ", ") + ParamText(theParam);
    if (inMember.resultType != VT_EMPTY) {
        const std::string theName = inMember.resultName ? inMember.resultName : "pVal";
        theParams += (theParams.empty() ? "" : ", ") + std::string("[out, retval] ") +
                     TypeName(inMember.resultType, inMember.resultEnum) + "* " + theName;
    }
    return theOut + theParams + ");\n";
}

std::string EnumText(const EnumDesc& inEnum)
{
    std::string theOut = "    typedef enum {\n";
    for (size_t i = 0; i < inEnum.values.size(); ++i) {
        theOut += "        " + std::string(inEnum.values[i].name) + " = " + std::to_string(inEnum.values[i].value);
        theOut += i + 1 < inEnum.values.size() ? ",\n" : "\n";
    }
    return theOut + "    } " + inEnum.name + ";\n\n";
}

std::string InterfaceText(const InterfaceDesc& inInterface)
{
    std::string theOut = "    [\n        object,\n        uuid(" + GuidText(*inInterface.iid) + "),\n        dual,\n";
    theOut += "        helpstring(" + Quoted(inInterface.help) + "),\n        oleautomation\n    ]\n";
    theOut += "    interface " + std::string(inInterface.name) + " : IDispatch {\n";
    for (const MemberDesc& theMember : inInterface.members)
        theOut += MemberText(theMember);
    return theOut + "    };\n\n";
}

std::string CoClassText(const CoClassDesc& inClass)
{
    std::string theOut = "    [\n        uuid(" + GuidText(*inClass.clsid) + "),\n";
    theOut += "        helpstring(" + Quoted(inClass.help) + ")\n    ]\n";
    theOut += "    coclass " + std::string(inClass.name) + " {\n";
    if (inClass.defaultInterface)
        theOut += "        [default] interface " + std::string(inClass.defaultInterface->name) + ";\n";
    return theOut + "    };\n\n";
}

}  // namespace

std::string WriteIdl(const TypeLibraryDesc& inLib)
{
    // IDispatch, HRESULT, BSTR and VARIANT come from the standard automation IDL, which
    // the compilers do not know on their own; the library itself imports stdole2.
    std::string theOut = "import \"oaidl.idl\";\n\n[\n    uuid(" + GuidText(*inLib.libid) + "),\n";
    theOut += "    version(" + std::to_string(inLib.majorVersion) + "." + std::to_string(inLib.minorVersion) + "),\n";
    theOut += "    helpstring(" + Quoted(inLib.help) + ")\n]\n";
    theOut += "library " + std::string(inLib.name) + "\n{\n    importlib(\"stdole2.tlb\");\n\n";
    for (const InterfaceDesc* theInterface : inLib.interfaces)
        theOut += "    interface " + std::string(theInterface->name) + ";\n";
    if (!inLib.interfaces.empty())
        theOut += "\n";
    for (const EnumDesc& theEnum : inLib.enums)
        theOut += EnumText(theEnum);
    for (const InterfaceDesc* theInterface : inLib.interfaces)
        theOut += InterfaceText(*theInterface);
    for (const CoClassDesc& theClass : inLib.coclasses)
        theOut += CoClassText(theClass);
    // No blank line before the closing brace.
    if (theOut.size() >= 2 && theOut.compare(theOut.size() - 2, 2, "\n\n") == 0)
        theOut.pop_back();
    return theOut + "};\n";
}

}  // namespace ferrolift::automation

// IDispatch driven by a type description: name lookup and Invoke with argument
// coercion, optional arguments, property put and error info -> EXCEPINFO.
//
// Notes on behaviour:
// - A property put takes its value from the DISPID_PROPERTYPUT named argument, or, when
//   the caller names none, from the last positional argument.
// - Named arguments other than DISPID_PROPERTYPUT are matched to parameters by the
//   position that DispatchGetIDsOfNames gave them.
// - An argument passed as VT_ERROR / DISP_E_PARAMNOTFOUND counts as missing.
// - pVarResult is written without being cleared first, as callers pass it empty.
// - With a null pExcepInfo the member's error info stays on the thread and its
//   HRESULT is returned as it is.
#include "platform/automation/TypeDescription.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "platform/automation/OleAuto.h"
#include "platform/com/Com.h"

namespace ferrolift::automation {
namespace {

char16_t FoldCase(char16_t inCh)
{
    return (inCh >= u'A' && inCh <= u'Z') ? static_cast<char16_t>(inCh + 32) : inCh;
}

// Compares a caller's name with a description name, ASCII letters without case.
bool SameName(const OLECHAR* inName, const char* inDescName)
{
    size_t i = 0;
    for (; inName[i] && inDescName[i]; ++i)
        if (FoldCase(inName[i]) != FoldCase(static_cast<unsigned char>(inDescName[i])))
            return false;
    return inName[i] == 0 && inDescName[i] == 0;
}

// The coerced arguments of one call, cleared when the call is over.
class ArgumentList {
public:
    explicit ArgumentList(size_t inCount) : mArgs(inCount)
    {
        for (VARIANT& theArg : mArgs)
            VariantInit(&theArg);
    }
    ArgumentList(const ArgumentList&) = delete;
    ArgumentList& operator=(const ArgumentList&) = delete;
    ~ArgumentList()
    {
        for (VARIANT& theArg : mArgs)
            VariantClear(&theArg);
    }
    VARIANT* Data() { return mArgs.empty() ? nullptr : mArgs.data(); }
    VARIANT& operator[](size_t inIndex) { return mArgs[inIndex]; }

private:
    std::vector<VARIANT> mArgs;
};

// Picks the member for inId and inFlags: puts only for DISPATCH_PROPERTYPUT(REF),
// methods for DISPATCH_METHOD, getters for DISPATCH_PROPERTYGET (also when combined
// with DISPATCH_METHOD, as script engines call them).
const MemberDesc* FindMember(const InterfaceDesc& inDesc, DISPID inId, WORD inFlags)
{
    const bool thePut = inFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    const MemberDesc* theGetter = nullptr;
    for (const MemberDesc& theMember : inDesc.members) {
        if (theMember.id != inId)
            continue;
        if (thePut) {
            if (theMember.kind == InvokeKind::PropertyPut)
                return &theMember;
            continue;
        }
        if (theMember.kind == InvokeKind::Method && (inFlags & DISPATCH_METHOD))
            return &theMember;
        if (theMember.kind == InvokeKind::PropertyGet && (inFlags & DISPATCH_PROPERTYGET))
            theGetter = &theMember;
    }
    return theGetter;
}

bool IsMissing(const VARIANT* inArg)
{
    return V_VT(inArg) == VT_ERROR && V_ERROR(inArg) == DISP_E_PARAMNOTFOUND;
}

// The default of an optional parameter, coerced to its declared type; VT_ERROR /
// DISP_E_PARAMNOTFOUND when it has none.
HRESULT FillDefault(const ParamDesc& inParam, VARIANT* outArg)
{
    if (!inParam.defaultValue) {
        V_VT(outArg) = VT_ERROR;
        V_ERROR(outArg) = DISP_E_PARAMNOTFOUND;
        return S_OK;
    }
    const std::string_view theText(inParam.defaultValue);
    std::u16string theWide(theText.begin(), theText.end());
    VARIANT theValue;
    V_VT(&theValue) = VT_BSTR;
    V_BSTR(&theValue) = SysAllocStringLen(theWide.data(), static_cast<UINT>(theWide.size()));
    if (!V_BSTR(&theValue))
        return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    if (inParam.type == VT_VARIANT) {
        // An untyped default is a number when it reads as one, text otherwise.
        if (FAILED(VariantChangeType(outArg, &theValue, 0, VT_I4)) && FAILED(VariantChangeType(outArg, &theValue, 0, VT_R8)))
            hr = VariantCopy(outArg, &theValue);
    } else {
        hr = VariantChangeType(outArg, &theValue, 0, inParam.type);
    }
    VariantClear(&theValue);
    return hr;
}

// Coerces the caller's argument to the declared type of inParam.
HRESULT CoerceArgument(const ParamDesc& inParam, const VARIANT* inArg, VARIANT* outArg)
{
    if (inParam.type == VT_VARIANT)
        return VariantCopyInd(outArg, inArg);
    return VariantChangeType(outArg, inArg, 0, inParam.type);
}

// Matches the caller's arguments to inMember's parameters: outSlots[i] is the index in
// rgvarg of parameter i's argument, or -1 when none was passed.
HRESULT MatchArguments(const MemberDesc& inMember, const DISPPARAMS& inParams, std::vector<int>& outSlots,
                       UINT* outArgErr)
{
    const size_t theCount = inMember.params.size();
    outSlots.assign(theCount, -1);
    const bool thePut = inMember.kind == InvokeKind::PropertyPut && theCount > 0;
    // A put's value is its last parameter; positional arguments fill the others.
    const size_t theFillable = thePut ? theCount - 1 : theCount;
    UINT thePositional = inParams.cArgs - inParams.cNamedArgs;
    UINT theFirstNamed = 0;
    if (thePut) {
        int theValueSlot = 0;
        if (inParams.cNamedArgs >= 1 && inParams.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT) {
            theFirstNamed = 1;
        } else if (thePositional > 0) {
            // The last positional argument sits just after the named ones in rgvarg.
            theValueSlot = static_cast<int>(inParams.cNamedArgs);
            --thePositional;
        } else {
            return DISP_E_BADPARAMCOUNT;
        }
        outSlots[theCount - 1] = theValueSlot;
    }
    if (thePositional > theFillable)
        return DISP_E_BADPARAMCOUNT;
    for (UINT i = 0; i < thePositional; ++i)
        outSlots[i] = static_cast<int>(inParams.cArgs - 1 - i);
    for (UINT j = theFirstNamed; j < inParams.cNamedArgs; ++j) {
        const DISPID theParam = inParams.rgdispidNamedArgs[j];
        if (theParam < 0 || static_cast<size_t>(theParam) >= theFillable || outSlots[theParam] != -1) {
            if (outArgErr)
                *outArgErr = j;
            return DISP_E_PARAMNOTFOUND;
        }
        outSlots[theParam] = static_cast<int>(j);
    }
    return S_OK;
}

// Coerces every argument (or fills in its default) into outArgs.
HRESULT PrepareArguments(const MemberDesc& inMember, const DISPPARAMS& inParams, ArgumentList& outArgs,
                         UINT* outArgErr)
{
    std::vector<int> theSlots;
    HRESULT hr = MatchArguments(inMember, inParams, theSlots, outArgErr);
    if (FAILED(hr))
        return hr;
    for (size_t i = 0; i < inMember.params.size(); ++i) {
        const ParamDesc& theParam = inMember.params[i];
        const VARIANT* theArg = theSlots[i] >= 0 ? &inParams.rgvarg[theSlots[i]] : nullptr;
        if (theArg && V_VT(theArg) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(theArg) && IsMissing(V_VARIANTREF(theArg)))
            theArg = V_VARIANTREF(theArg);
        if (!theArg || IsMissing(theArg)) {
            if (!theParam.optional)
                return theArg ? DISP_E_PARAMNOTOPTIONAL : DISP_E_BADPARAMCOUNT;
            hr = FillDefault(theParam, &outArgs[i]);
        } else {
            hr = CoerceArgument(theParam, theArg, &outArgs[i]);
        }
        if (FAILED(hr)) {
            if (theArg && outArgErr)
                *outArgErr = static_cast<UINT>(theSlots[i]);
            return hr;
        }
    }
    return S_OK;
}

// When the member left error info that its object vouches for, moves it into
// outExcep and answers DISP_E_EXCEPTION; otherwise answers inResult.
HRESULT ReportFailure(const InterfaceDesc& inDesc, IUnknown* inSelf, HRESULT inResult, EXCEPINFO* outExcep)
{
    ISupportErrorInfo* theSupport = nullptr;
    if (FAILED(inSelf->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&theSupport))) || !theSupport)
        return inResult;
    const bool theVouched = theSupport->InterfaceSupportsErrorInfo(*inDesc.iid) == S_OK;
    theSupport->Release();
    if (!theVouched || !outExcep)
        return inResult;
    IErrorInfo* theInfo = nullptr;
    if (GetErrorInfo(0, &theInfo) != S_OK || !theInfo)
        return inResult;
    std::memset(outExcep, 0, sizeof *outExcep);
    theInfo->GetSource(&outExcep->bstrSource);
    theInfo->GetDescription(&outExcep->bstrDescription);
    theInfo->GetHelpFile(&outExcep->bstrHelpFile);
    theInfo->GetHelpContext(&outExcep->dwHelpContext);
    outExcep->scode = inResult;
    theInfo->Release();
    return DISP_E_EXCEPTION;
}

HRESULT CallThunk(const MemberDesc& inMember, IUnknown* inSelf, VARIANT* inArgs, VARIANT* outResult)
{
    try {
        return inMember.thunk(inSelf, inArgs, outResult);
    } catch (...) {
        // Members catch their own failures; anything that still escapes stops here.
        return E_UNEXPECTED;
    }
}

}  // namespace

HRESULT DispatchGetIDsOfNames(const InterfaceDesc& inDesc, LPOLESTR* inNames, UINT inCount, DISPID* outIds)
{
    if (!inNames || !outIds || inCount == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < inCount; ++i)
        outIds[i] = DISPID_UNKNOWN;
    if (!inNames[0])
        return E_INVALIDARG;
    const MemberDesc* theMember = nullptr;
    for (const MemberDesc& theCandidate : inDesc.members) {
        if (SameName(inNames[0], theCandidate.name)) {
            theMember = &theCandidate;
            break;
        }
    }
    if (!theMember)
        return DISP_E_UNKNOWNNAME;
    outIds[0] = theMember->id;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < inCount; ++i) {
        for (size_t j = 0; inNames[i] && j < theMember->params.size(); ++j) {
            if (SameName(inNames[i], theMember->params[j].name)) {
                outIds[i] = static_cast<DISPID>(j);
                break;
            }
        }
        if (outIds[i] == DISPID_UNKNOWN)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispatchInvoke(const InterfaceDesc& inDesc, IUnknown* inSelf, DISPID inId, WORD inFlags,
                       DISPPARAMS* inParams, VARIANT* outResult, EXCEPINFO* outExcep, UINT* outArgErr)
{
    if (!inSelf || !inParams)
        return E_INVALIDARG;
    if (inParams->cNamedArgs > inParams->cArgs || (inParams->cArgs && !inParams->rgvarg) ||
        (inParams->cNamedArgs && !inParams->rgdispidNamedArgs))
        return E_INVALIDARG;
    const MemberDesc* theMember = FindMember(inDesc, inId, inFlags);
    if (!theMember || !theMember->thunk)
        return DISP_E_MEMBERNOTFOUND;
    ArgumentList theArgs(theMember->params.size());
    HRESULT hr = PrepareArguments(*theMember, *inParams, theArgs, outArgErr);
    if (FAILED(hr))
        return hr;
    VARIANT theResult;
    VariantInit(&theResult);
    hr = CallThunk(*theMember, inSelf, theArgs.Data(), theMember->resultType != VT_EMPTY ? &theResult : nullptr);
    if (FAILED(hr)) {
        VariantClear(&theResult);
        return ReportFailure(inDesc, inSelf, hr, outExcep);
    }
    if (outResult)
        std::memcpy(outResult, &theResult, sizeof theResult);
    else
        VariantClear(&theResult);
    return hr;
}

}  // namespace ferrolift::automation

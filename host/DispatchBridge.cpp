#include "host/DispatchBridge.h"

#include <strings.h>

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "host/ScriptEnvironment.h"
#include "host/ScriptHeap.h"
#include "host/ScriptText.h"
#include "platform/common/ComPtr.h"
#include "platform/common/UniqueBstr.h"
#include "platform/common/UniqueSafeArray.h"
#include "platform/common/UniqueVariant.h"

namespace ferrolift::host {

namespace {

constexpr const char* kHandlerKey = "ferroliftDispatchHandler";
constexpr const char* kDispKey = DUK_HIDDEN_SYMBOL("disp");
constexpr const char* kProxyKey = DUK_HIDDEN_SYMBOL("proxy");
constexpr const char* kOwnerKey = DUK_HIDDEN_SYMBOL("owner");
constexpr const char* kDispIdKey = DUK_HIDDEN_SYMBOL("dispid");

// Arguments handed to Invoke; cleared however the call ends.
struct ArgumentList {
    std::vector<VARIANT> values;
    ~ArgumentList()
    {
        for (VARIANT& theValue : values)
            VariantClear(&theValue);
    }
};

IDispatch* TargetDispatch(duk_context* inContext, duk_idx_t inTarget)
{
    duk_get_prop_string(inContext, inTarget, kDispKey);
    auto* theDispatch = static_cast<IDispatch*>(duk_get_pointer(inContext, -1));
    duk_pop(inContext);
    return theDispatch;
}

bool LookUpId(IDispatch* inDispatch, const std::string& inName, DISPID& outId)
{
    std::u16string theName = ScriptToUtf16(inName);
    LPOLESTR theNames[1] = {theName.data()};
    return SUCCEEDED(inDispatch->GetIDsOfNames(IID_NULL, theNames, 1, LOCALE_USER_DEFAULT, &outId));
}

// The target's finalizer: drops the reference that the proxy carried, unless the page's
// end released it already.
duk_ret_t FinalizeTarget(duk_context* inContext)
{
    ComPtr<IUnknown> theObject;
    theObject.attach(TakeHeldObject(inContext, 0, kDispKey));
    if (theObject) {
        duk_get_prop_string(inContext, 0, kProxyKey);
        ScriptHeap::Environment(inContext).proxies.erase(duk_get_pointer(inContext, -1));
        duk_pop(inContext);
    }
    return 0;
}

duk_ret_t NeverCalled(duk_context*)
{
    return 0;   // the Proxy's apply trap answers calls
}

// A method of an automation object, bound to its object: calling it invokes the member.
int CallMember(duk_context* inContext, ScriptFailure& outFailure)
{
    duk_push_current_function(inContext);
    duk_get_prop_string(inContext, -1, kDispIdKey);
    auto theId = static_cast<DISPID>(duk_get_int(inContext, -1));
    duk_get_prop_string(inContext, -2, kOwnerKey);
    IDispatch* theDispatch = duk_is_object(inContext, -1) ? TargetDispatch(inContext, -1) : nullptr;
    duk_pop_3(inContext);
    if (theDispatch == nullptr) {
        outFailure.typeError = true;
        outFailure.description = "The object has been released";
        return kNativeFailed;
    }
    UniqueVariant theResult;
    if (!InvokeWithScriptArgs(inContext, theDispatch, theId, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0,
                              theResult.put(), outFailure))
        return kNativeFailed;
    return PushVariant(inContext, theResult.get(), outFailure) ? 1 : kNativeFailed;
}

void PushMemberFunction(duk_context* inContext, duk_idx_t inTarget, DISPID inId)
{
    inTarget = duk_normalize_index(inContext, inTarget);
    duk_push_c_function(inContext, NativeFunction<CallMember>, DUK_VARARGS);
    duk_push_int(inContext, inId);
    duk_put_prop_string(inContext, -2, kDispIdKey);
    duk_dup(inContext, inTarget);
    duk_put_prop_string(inContext, -2, kOwnerKey);
}

// toString / valueOf of a proxy: the object's default value as a primitive.
int DefaultValue(duk_context* inContext, ScriptFailure& outFailure)
{
    duk_push_this(inContext);
    IDispatch* theDispatch = GetDispatch(inContext, -1);
    duk_pop(inContext);
    if (theDispatch == nullptr) {
        duk_push_string(inContext, "[object]");
        return 1;
    }
    UniqueVariant theResult;
    std::vector<VARIANT> theNone;
    if (!InvokeDispatch(theDispatch, DISPID_VALUE, DISPATCH_PROPERTYGET, theNone, theResult.put(), outFailure))
        return kNativeFailed;
    if (V_VT(theResult.get()) == VT_DISPATCH || V_VT(theResult.get()) == VT_UNKNOWN) {
        duk_push_string(inContext, "[object]");
        return 1;
    }
    return PushVariant(inContext, theResult.get(), outFailure) ? 1 : kNativeFailed;
}

bool IsMethodAnswer(HRESULT inResult)
{
    return inResult == DISP_E_MEMBERNOTFOUND || inResult == DISP_E_BADPARAMCOUNT ||
           inResult == DISP_E_PARAMNOTOPTIONAL;
}

// get trap (target, key, receiver).
int ProxyGet(duk_context* inContext, ScriptFailure& outFailure)
{
    IDispatch* theDispatch = TargetDispatch(inContext, 0);
    if (theDispatch == nullptr || !duk_is_string(inContext, 1) || duk_is_symbol(inContext, 1)) {
        duk_push_undefined(inContext);
        return 1;
    }
    std::string theName = duk_get_string(inContext, 1);
    if (theName == "toString" || theName == "valueOf") {
        duk_push_c_function(inContext, NativeFunction<DefaultValue>, 0);
        return 1;
    }
    DISPID theId = 0;
    if (!LookUpId(theDispatch, theName, theId)) {
        duk_push_undefined(inContext);
        return 1;
    }
    // Item takes an index and is always called, even where it has a value without one.
    if (strcasecmp(theName.c_str(), "Item") == 0) {
        PushMemberFunction(inContext, 0, theId);
        return 1;
    }
    UniqueVariant theResult;
    std::vector<VARIANT> theNone;
    ScriptFailure theGetFailure;
    if (InvokeDispatch(theDispatch, theId, DISPATCH_PROPERTYGET, theNone, theResult.put(), theGetFailure))
        return PushVariant(inContext, theResult.get(), outFailure) ? 1 : kNativeFailed;
    if (IsMethodAnswer(theGetFailure.number)) {
        PushMemberFunction(inContext, 0, theId);
        return 1;
    }
    outFailure = theGetFailure;
    return kNativeFailed;
}

// set trap (target, key, value, receiver).
int ProxySet(duk_context* inContext, ScriptFailure& outFailure)
{
    IDispatch* theDispatch = TargetDispatch(inContext, 0);
    if (theDispatch == nullptr || !duk_is_string(inContext, 1) || duk_is_symbol(inContext, 1)) {
        duk_push_false(inContext);
        return 1;
    }
    std::string theName = duk_get_string(inContext, 1);
    DISPID theId = 0;
    if (!LookUpId(theDispatch, theName, theId))
        return outFailure.Set(DISP_E_UNKNOWNNAME, "", "");
    ArgumentList theArgs;
    theArgs.values.resize(1);
    VariantInit(&theArgs.values[0]);
    if (!ToVariant(inContext, 2, &theArgs.values[0], false, outFailure))
        return kNativeFailed;
    UniqueVariant theResult;
    if (!InvokeDispatch(theDispatch, theId, DISPATCH_PROPERTYPUT, theArgs.values, theResult.put(), outFailure))
        return kNativeFailed;
    duk_push_true(inContext);
    return 1;
}

// apply trap (target, thisArg, argumentsArray): the default member.
int ProxyApply(duk_context* inContext, ScriptFailure& outFailure)
{
    IDispatch* theDispatch = TargetDispatch(inContext, 0);
    if (theDispatch == nullptr)
        return outFailure.Set(E_POINTER, "", "");
    duk_idx_t theFirst = duk_get_top(inContext);
    duk_size_t theCount = duk_get_length(inContext, 2);
    if (theCount > 64 || duk_check_stack(inContext, static_cast<duk_idx_t>(theCount) + 8) == 0)
        return outFailure.Set(DISP_E_BADPARAMCOUNT, "", "");
    for (duk_size_t i = 0; i < theCount; ++i)
        duk_get_prop_index(inContext, 2, static_cast<duk_uarridx_t>(i));
    UniqueVariant theResult;
    if (!InvokeWithScriptArgs(inContext, theDispatch, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, theFirst,
                              theResult.put(), outFailure))
        return kNativeFailed;
    return PushVariant(inContext, theResult.get(), outFailure) ? 1 : kNativeFailed;
}

bool PushByteArray(duk_context* inContext, SAFEARRAY* inArray, ScriptFailure& outFailure)
{
    LONG theLow = 0;
    LONG theHigh = -1;
    SafeArrayGetLBound(inArray, 1, &theLow);
    SafeArrayGetUBound(inArray, 1, &theHigh);
    std::size_t theCount = theHigh >= theLow ? static_cast<std::size_t>(theHigh - theLow) + 1 : 0;
    {
        SafeArrayData theData(inArray);
        if (FAILED(theData.result())) {
            outFailure.Set(E_FAIL, "", "The byte array cannot be read");
            return false;
        }
        void* theBuffer = duk_push_fixed_buffer(inContext, theCount);
        if (theCount > 0)
            std::memcpy(theBuffer, theData.get(), theCount);
    }
    duk_push_buffer_object(inContext, -1, 0, theCount, DUK_BUFOBJ_UINT8ARRAY);
    duk_remove(inContext, -2);
    return true;
}

// Fills inArray, a new byte array of inSize bytes, from inData.
bool CopyIntoArray(SAFEARRAY* inArray, const void* inData, std::size_t inSize)
{
    SafeArrayData theTarget(inArray);
    if (FAILED(theTarget.result()))
        return false;
    if (inSize > 0)
        std::memcpy(theTarget.get(), inData, inSize);
    return true;
}

bool PushArray(duk_context* inContext, SAFEARRAY* inArray, VARTYPE inType, ScriptFailure& outFailure)
{
    if (inType == VT_UI1 && SafeArrayGetDim(inArray) == 1)
        return PushByteArray(inContext, inArray, outFailure);
    LONG theLow = 0;
    LONG theHigh = -1;
    if (SafeArrayGetDim(inArray) != 1 || FAILED(SafeArrayGetLBound(inArray, 1, &theLow)) ||
        FAILED(SafeArrayGetUBound(inArray, 1, &theHigh))) {
        outFailure.Set(DISP_E_BADVARTYPE, "", "Only one-dimensional arrays reach scripts");
        return false;
    }
    duk_push_array(inContext);
    for (LONG i = theLow; i <= theHigh; ++i) {
        UniqueVariant theElement;
        if (inType == VT_VARIANT) {
            SafeArrayGetElement(inArray, &i, theElement.put());
        } else {
            V_VT(theElement.put()) = inType;
            if (FAILED(SafeArrayGetElement(inArray, &i, &V_UNION(theElement.get(), llVal))))
                V_VT(theElement.get()) = VT_EMPTY;
        }
        if (!PushVariant(inContext, theElement.get(), outFailure))
            return false;
        duk_put_prop_index(inContext, -2, static_cast<duk_uarridx_t>(i - theLow));
    }
    return true;
}

}  // namespace

void InstallDispatchBridge(duk_context* inContext)
{
    duk_push_heap_stash(inContext);
    duk_push_object(inContext);
    duk_push_c_function(inContext, NativeFunction<ProxyGet>, 3);
    duk_put_prop_string(inContext, -2, "get");
    duk_push_c_function(inContext, NativeFunction<ProxySet>, 4);
    duk_put_prop_string(inContext, -2, "set");
    duk_push_c_function(inContext, NativeFunction<ProxyApply>, 3);
    duk_put_prop_string(inContext, -2, "apply");
    duk_put_prop_string(inContext, -2, kHandlerKey);
    duk_pop(inContext);
}

void PushDispatch(duk_context* inContext, IDispatch* inDispatch)
{
    if (inDispatch == nullptr) {
        duk_push_null(inContext);
        return;
    }
    ScriptEnvironment& theEnvironment = ScriptHeap::Environment(inContext);
    duk_push_c_function(inContext, NeverCalled, DUK_VARARGS);   // callable target
    duk_push_c_function(inContext, FinalizeTarget, 2);
    duk_set_finalizer(inContext, -2);
    inDispatch->AddRef();
    HoldObject(inContext, -1, kDispKey, inDispatch);
    duk_dup_top(inContext);
    duk_push_heap_stash(inContext);
    duk_get_prop_string(inContext, -1, kHandlerKey);
    duk_remove(inContext, -2);
    duk_push_proxy(inContext, 0);                                // [target proxy]
    void* theProxy = duk_get_heapptr(inContext, -1);
    duk_push_pointer(inContext, theProxy);
    duk_put_prop_string(inContext, -3, kProxyKey);
    duk_remove(inContext, -2);
    theEnvironment.proxies[theProxy] = inDispatch;
}

void HoldObject(duk_context* inContext, duk_idx_t inHolder, const char* inKey, IUnknown* inObject)
{
    inHolder = duk_normalize_index(inContext, inHolder);
    // The list owns the reference; should storing the pointer fail, the holder's
    // finalizer (set before this call) or the page's end still releases it.
    ScriptHeap::Environment(inContext).held[duk_get_heapptr(inContext, inHolder)] = {inObject, inKey};
    duk_push_pointer(inContext, inObject);
    duk_put_prop_string(inContext, inHolder, inKey);
}

IUnknown* TakeHeldObject(duk_context* inContext, duk_idx_t inHolder, const char* inKey)
{
    inHolder = duk_normalize_index(inContext, inHolder);
    // A holder from an ended page is not listed: its object was released with the page.
    // A holder being finalized is still allocated, so no listed holder shares its address.
    auto& theHeld = ScriptHeap::Environment(inContext).held;
    const auto theFound = theHeld.find(duk_get_heapptr(inContext, inHolder));
    if (theFound == theHeld.end())
        return nullptr;
    IUnknown* theObject = theFound->second.object;
    theHeld.erase(theFound);
    duk_push_pointer(inContext, nullptr);
    duk_put_prop_string(inContext, inHolder, inKey);
    return theObject;
}

duk_ret_t ReleaseHeldObjects(duk_context* inContext, void*)
{
    ScriptEnvironment& theEnvironment = ScriptHeap::Environment(inContext);
    // Objects may release other held objects' holders only through the script, which no
    // longer runs, so the list is stable while it is walked.
    std::unordered_map<void*, ScriptEnvironment::HeldObject> theHeld;
    theHeld.swap(theEnvironment.held);
    theEnvironment.proxies.clear();
    for (auto& [theHolder, theEntry] : theHeld) {
        duk_push_heapptr(inContext, theHolder);
        duk_push_pointer(inContext, nullptr);
        duk_put_prop_string(inContext, -2, theEntry.key);
        duk_pop(inContext);
        std::exchange(theEntry.object, nullptr)->Release();
    }
    return 0;
}

IDispatch* GetDispatch(duk_context* inContext, duk_idx_t inIndex)
{
    if (!duk_is_object(inContext, inIndex))
        return nullptr;
    auto& theProxies = ScriptHeap::Environment(inContext).proxies;
    auto theFound = theProxies.find(duk_get_heapptr(inContext, inIndex));
    return theFound != theProxies.end() ? theFound->second : nullptr;
}

bool PushVariant(duk_context* inContext, const VARIANT* inValue, ScriptFailure& outFailure)
{
    if (V_VT(inValue) & VT_BYREF) {
        UniqueVariant theCopy;
        if (FAILED(VariantCopyInd(theCopy.put(), inValue))) {
            outFailure.Set(DISP_E_BADVARTYPE, "", "");
            return false;
        }
        return PushVariant(inContext, theCopy.get(), outFailure);
    }
    VARTYPE theType = V_VT(inValue);
    if (theType & VT_ARRAY)
        return V_ARRAY(inValue) == nullptr ? (duk_push_null(inContext), true)
                                           : PushArray(inContext, V_ARRAY(inValue), theType & VT_TYPEMASK, outFailure);
    switch (theType) {
    case VT_EMPTY: case VT_ERROR: duk_push_undefined(inContext); return true;
    case VT_NULL: duk_push_null(inContext); return true;
    case VT_I1: duk_push_int(inContext, V_I1(inValue)); return true;
    case VT_UI1: duk_push_uint(inContext, V_UI1(inValue)); return true;
    case VT_I2: duk_push_int(inContext, V_I2(inValue)); return true;
    case VT_UI2: duk_push_uint(inContext, V_UI2(inValue)); return true;
    case VT_I4: duk_push_int(inContext, V_I4(inValue)); return true;
    case VT_INT: duk_push_int(inContext, V_INT(inValue)); return true;
    case VT_UI4: duk_push_uint(inContext, V_UI4(inValue)); return true;
    case VT_UINT: duk_push_uint(inContext, V_UINT(inValue)); return true;
    case VT_I8: duk_push_number(inContext, static_cast<double>(V_I8(inValue))); return true;
    case VT_UI8: duk_push_number(inContext, static_cast<double>(V_UI8(inValue))); return true;
    case VT_R4: duk_push_number(inContext, V_R4(inValue)); return true;
    case VT_R8: case VT_DATE: duk_push_number(inContext, V_R8(inValue)); return true;
    case VT_CY: duk_push_number(inContext, static_cast<double>(V_CY(inValue).int64) / 10000.0); return true;
    case VT_BOOL: duk_push_boolean(inContext, V_BOOL(inValue) != 0); return true;
    case VT_BSTR: {
        BSTR theText = V_BSTR(inValue);
        std::string theScript = theText ? Utf16ToScript(std::u16string_view(theText, SysStringLen(theText))) : "";
        duk_push_lstring(inContext, theScript.data(), theScript.size());
        return true;
    }
    case VT_DISPATCH: PushDispatch(inContext, V_DISPATCH(inValue)); return true;
    case VT_UNKNOWN: {
        ComPtr<IDispatch> theDispatch;
        if (V_UNKNOWN(inValue) != nullptr)
            V_UNKNOWN(inValue)->QueryInterface(IID_IDispatch, theDispatch.put_void());
        PushDispatch(inContext, theDispatch.get());
        return true;
    }
    default: {
        UniqueVariant theNumber;
        if (SUCCEEDED(VariantChangeType(theNumber.put(), inValue, 0, VT_R8))) {
            duk_push_number(inContext, V_R8(theNumber.get()));
            return true;
        }
        outFailure.Set(DISP_E_BADVARTYPE, "", "A value of this type cannot reach scripts");
        return false;
    }
    }
}

bool ToVariant(duk_context* inContext, duk_idx_t inIndex, VARIANT* outValue, bool inMissingAsParamNotFound,
               ScriptFailure& outFailure)
{
    VariantInit(outValue);
    if (duk_is_undefined(inContext, inIndex)) {
        if (inMissingAsParamNotFound) {
            V_VT(outValue) = VT_ERROR;
            V_ERROR(outValue) = DISP_E_PARAMNOTFOUND;
        }
        return true;
    }
    if (duk_is_null(inContext, inIndex)) {
        V_VT(outValue) = VT_NULL;
        return true;
    }
    if (duk_is_boolean(inContext, inIndex)) {
        V_VT(outValue) = VT_BOOL;
        V_BOOL(outValue) = duk_get_boolean(inContext, inIndex) ? VARIANT_TRUE : VARIANT_FALSE;
        return true;
    }
    if (duk_is_number(inContext, inIndex)) {
        double theNumber = duk_get_number(inContext, inIndex);
        if (std::nearbyint(theNumber) == theNumber && theNumber >= -2147483648.0 && theNumber <= 2147483647.0 &&
            !(theNumber == 0 && std::signbit(theNumber))) {
            V_VT(outValue) = VT_I4;
            V_I4(outValue) = static_cast<LONG>(theNumber);
        } else {
            V_VT(outValue) = VT_R8;
            V_R8(outValue) = theNumber;
        }
        return true;
    }
    if (duk_is_buffer_data(inContext, inIndex)) {
        duk_size_t theSize = 0;
        void* theData = duk_get_buffer_data(inContext, inIndex, &theSize);
        UniqueSafeArray theArray(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(theSize)));
        if (!theArray || !CopyIntoArray(theArray.get(), theData, theSize)) {
            outFailure.Set(E_OUTOFMEMORY, "", "");
            return false;
        }
        V_VT(outValue) = VT_ARRAY | VT_UI1;
        V_ARRAY(outValue) = theArray.detach();
        return true;
    }
    if (IDispatch* theDispatch = GetDispatch(inContext, inIndex)) {
        theDispatch->AddRef();
        V_VT(outValue) = VT_DISPATCH;
        V_DISPATCH(outValue) = theDispatch;
        return true;
    }
    // Strings, and any other object by its text (Request collections, Dates, ...).
    duk_size_t theLength = 0;
    duk_dup(inContext, inIndex);
    const char* theText = duk_safe_to_lstring(inContext, -1, &theLength);
    std::u16string theWide = ScriptToUtf16(std::string_view(theText, theLength));
    duk_pop(inContext);
    V_VT(outValue) = VT_BSTR;
    V_BSTR(outValue) = SysAllocStringLen(theWide.data(), static_cast<UINT>(theWide.size()));
    return true;
}

bool InvokeWithScriptArgs(duk_context* inContext, IDispatch* inDispatch, DISPID inId, WORD inFlags,
                          duk_idx_t inFirst, VARIANT* outResult, ScriptFailure& outFailure)
{
    duk_idx_t theEnd = duk_get_top(inContext);
    while (theEnd > inFirst && duk_is_undefined(inContext, theEnd - 1))
        --theEnd;   // trailing undefined arguments are omitted optionals
    ArgumentList theArgs;
    theArgs.values.resize(static_cast<std::size_t>(theEnd - inFirst));
    for (VARIANT& theValue : theArgs.values)
        VariantInit(&theValue);
    for (duk_idx_t i = inFirst; i < theEnd; ++i) {
        if (!ToVariant(inContext, i, &theArgs.values[static_cast<std::size_t>(theEnd - 1 - i)], true, outFailure))
            return false;
    }
    return InvokeDispatch(inDispatch, inId, inFlags, theArgs.values, outResult, outFailure);
}

bool InvokeDispatch(IDispatch* inDispatch, DISPID inId, WORD inFlags, std::vector<VARIANT>& inReversedArgs,
                    VARIANT* outResult, ScriptFailure& outFailure)
{
    DISPID thePutId = DISPID_PROPERTYPUT;
    DISPPARAMS theParams{};
    theParams.rgvarg = inReversedArgs.empty() ? nullptr : inReversedArgs.data();
    theParams.cArgs = static_cast<UINT>(inReversedArgs.size());
    if (inFlags & DISPATCH_PROPERTYPUT) {
        theParams.rgdispidNamedArgs = &thePutId;
        theParams.cNamedArgs = 1;
    }
    EXCEPINFO theException{};
    UINT theArgError = 0;
    HRESULT hr = inDispatch->Invoke(inId, IID_NULL, LOCALE_USER_DEFAULT, inFlags, &theParams, outResult, &theException,
                                    &theArgError);
    if (hr == DISP_E_EXCEPTION && theException.pfnDeferredFillIn != nullptr)
        theException.pfnDeferredFillIn(&theException);
    UniqueBstr theSource(theException.bstrSource);
    UniqueBstr theDescription(theException.bstrDescription);
    UniqueBstr theHelpFile(theException.bstrHelpFile);
    if (SUCCEEDED(hr))
        return true;
    if (hr != DISP_E_EXCEPTION) {
        outFailure.Set(hr, "", "");
        return false;
    }
    HRESULT theCode = theException.scode != 0 ? theException.scode : static_cast<HRESULT>(0x80040200 + theException.wCode);
    auto theText = [](BSTR inText) {
        return inText ? Utf16ToScript(std::u16string_view(inText, SysStringLen(inText))) : std::string();
    };
    outFailure.Set(theCode, theText(theSource.get()), theText(theDescription.get()));
    return false;
}

}  // namespace ferrolift::host

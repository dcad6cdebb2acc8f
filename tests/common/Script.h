// Script.h: drives the component's objects the way a page script does: members found by
// name (GetIDsOfNames) and called through Invoke, failures seen as the script sees them
// (the member's code and the description in EXCEPINFO).
//
//   Script::Outcome theCount = Script::Get(theForm, u"Count");
//   EXPECT_EQ(V_I4(theCount.value.get()), 2);
//   ComPtr<IDispatch> theField = Script::Object(theForm, u"Item", Script::Text(u"photo"), Script::Long(1));
#pragma once

#include <gtest/gtest.h>

#include <oleauto.h>
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "objects/XForm.h"
#include "platform/files/FilePath.h"
#include "platform/common/ComPtr.h"
#include "platform/common/UniqueVariant.h"

namespace Script {

/// What a member call gave: its code (the EXCEPINFO code for an exception), the
/// description shown to the script, and the result value.
struct Outcome {
    HRESULT hr = S_OK;
    std::string description;
    UniqueVariant value;
};

/// A VT_BSTR argument.
inline UniqueVariant Text(const std::u16string& inText)
{
    UniqueVariant theValue;
    V_VT(theValue.get()) = VT_BSTR;
    V_BSTR(theValue.get()) = SysAllocStringLen(inText.data(), static_cast<UINT>(inText.size()));
    return theValue;
}

/// A VT_I4 argument.
inline UniqueVariant Long(LONG inValue)
{
    UniqueVariant theValue;
    V_VT(theValue.get()) = VT_I4;
    V_I4(theValue.get()) = inValue;
    return theValue;
}

/// A VT_BOOL argument.
inline UniqueVariant Bool(bool inValue)
{
    UniqueVariant theValue;
    V_VT(theValue.get()) = VT_BOOL;
    V_BOOL(theValue.get()) = inValue ? VARIANT_TRUE : VARIANT_FALSE;
    return theValue;
}

/// Calls the member inName of inObject with inFlags and the arguments in script order.
inline Outcome Call(IDispatch* inObject, const std::u16string& inName, WORD inFlags,
                    std::vector<const VARIANT*> inArgs = {})
{
    Outcome theOutcome;
    DISPID theId = 0;
    LPOLESTR theName = const_cast<LPOLESTR>(inName.c_str());
    theOutcome.hr = inObject->GetIDsOfNames(IID_NULL, &theName, 1, 0, &theId);
    if (FAILED(theOutcome.hr))
        return theOutcome;
    // Invoke takes its arguments last first.
    std::vector<VARIANT> theArgs(inArgs.size());
    for (size_t i = 0; i < inArgs.size(); ++i)
        theArgs[inArgs.size() - 1 - i] = *inArgs[i];
    DISPID thePutId = DISPID_PROPERTYPUT;
    DISPPARAMS theParams = {theArgs.data(), nullptr, static_cast<UINT>(theArgs.size()), 0};
    if (inFlags == DISPATCH_PROPERTYPUT) {
        theParams.rgdispidNamedArgs = &thePutId;
        theParams.cNamedArgs = 1;
    }
    EXCEPINFO theException = {};
    UINT theArgError = 0;
    theOutcome.hr = inObject->Invoke(theId, IID_NULL, 0, inFlags, &theParams, theOutcome.value.get(), &theException,
                                     &theArgError);
    if (theOutcome.hr == DISP_E_EXCEPTION) {
        theOutcome.hr = theException.scode;
        if (theException.bstrDescription != nullptr)
            theOutcome.description = ferrolift::platform::Utf8FromUtf16(theException.bstrDescription);
    }
    SysFreeString(theException.bstrSource);
    SysFreeString(theException.bstrDescription);
    SysFreeString(theException.bstrHelpFile);
    return theOutcome;
}

/// A property get (with optional index arguments).
inline Outcome Get(IDispatch* inObject, const std::u16string& inName, std::vector<const VARIANT*> inArgs = {})
{
    return Call(inObject, inName, DISPATCH_PROPERTYGET | DISPATCH_METHOD, std::move(inArgs));
}

/// A method call.
inline Outcome Run(IDispatch* inObject, const std::u16string& inName, std::vector<const VARIANT*> inArgs = {})
{
    return Call(inObject, inName, DISPATCH_METHOD, std::move(inArgs));
}

/// A property put; expects success.
inline void Put(IDispatch* inObject, const std::u16string& inName, const UniqueVariant& inValue)
{
    Outcome theOutcome = Call(inObject, inName, DISPATCH_PROPERTYPUT, {inValue.get()});
    EXPECT_EQ(theOutcome.hr, S_OK) << "put " << ferrolift::platform::Utf8FromUtf16(inName.c_str());
}

/// A text property as UTF-8 (a failure shows as "<error>").
inline std::string TextOf(IDispatch* inObject, const std::u16string& inName)
{
    Outcome theOutcome = Get(inObject, inName);
    if (FAILED(theOutcome.hr) || theOutcome.value.vt() != VT_BSTR)
        return "<error>";
    BSTR theText = V_BSTR(theOutcome.value.get());
    return theText != nullptr ? ferrolift::platform::Utf8FromUtf16(theText) : std::string();
}

/// A 32-bit number property (a failure shows as -99999).
inline LONG NumberOf(IDispatch* inObject, const std::u16string& inName)
{
    Outcome theOutcome = Get(inObject, inName);
    UniqueVariant theNumber;
    if (FAILED(theOutcome.hr) || FAILED(VariantChangeType(theNumber.get(), theOutcome.value.get(), 0, VT_I4)))
        return -99999;
    return V_I4(theNumber.get());
}

/// A boolean property: -1, 0, or 1 for a failure.
inline LONG TruthOf(IDispatch* inObject, const std::u16string& inName)
{
    Outcome theOutcome = Get(inObject, inName);
    if (FAILED(theOutcome.hr) || theOutcome.value.vt() != VT_BOOL)
        return 1;
    return V_BOOL(theOutcome.value.get());
}

/// The bytes of a byte-array property ("<error>" when it is none).
inline std::string BytesOf(IDispatch* inObject, const std::u16string& inName)
{
    Outcome theOutcome = Get(inObject, inName);
    if (FAILED(theOutcome.hr) || theOutcome.value.vt() != (VT_ARRAY | VT_UI1))
        return "<error>";
    SAFEARRAY* theArray = V_ARRAY(theOutcome.value.get());
    LONG theLower = 0, theUpper = -1;
    SafeArrayGetLBound(theArray, 1, &theLower);
    SafeArrayGetUBound(theArray, 1, &theUpper);
    void* theData = nullptr;
    SafeArrayAccessData(theArray, &theData);
    std::string theBytes(static_cast<const char*>(theData), static_cast<size_t>(theUpper - theLower + 1));
    SafeArrayUnaccessData(theArray);
    return theLower == 0 ? theBytes : "<error>";
}

/// An object-valued get (Item) with arguments; null when it failed or gave no object.
inline ComPtr<IDispatch> Object(IDispatch* inObject, const std::u16string& inName,
                                std::vector<const VARIANT*> inArgs = {})
{
    Outcome theOutcome = Get(inObject, inName, std::move(inArgs));
    if (FAILED(theOutcome.hr) || theOutcome.value.vt() != VT_DISPATCH)
        return nullptr;
    return ComPtr<IDispatch>(V_DISPATCH(theOutcome.value.get()));
}

/// What For Each over inObject yields, in order.
inline std::vector<UniqueVariant> ForEach(IDispatch* inObject)
{
    std::vector<UniqueVariant> theItems;
    Outcome theOutcome = Call(inObject, u"_NewEnum", DISPATCH_PROPERTYGET);
    if (FAILED(theOutcome.hr) || (theOutcome.value.vt() != VT_UNKNOWN && theOutcome.value.vt() != VT_DISPATCH))
        return theItems;
    ComPtr<IEnumVARIANT> theEnum;
    V_UNKNOWN(theOutcome.value.get())->QueryInterface(IID_IEnumVARIANT, theEnum.put_void());
    if (!theEnum)
        return theItems;
    for (;;) {
        UniqueVariant theItem;
        ULONG theFetched = 0;
        if (theEnum->Next(1, theItem.get(), &theFetched) != S_OK || theFetched != 1)
            break;
        theItems.push_back(std::move(theItem));
    }
    return theItems;
}

/// A new form, as a page's CreateObject gives it.
inline ComPtr<IDispatch> NewForm()
{
    ComPtr<IDispatch> theForm;
    EXPECT_EQ(XForm::CreateInstance(nullptr, IID_IDispatch, theForm.put_void()), S_OK);
    return theForm;
}

}  // namespace Script

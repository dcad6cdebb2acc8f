#include "TestWidget.h"

using namespace ferrolift::automation;

namespace {

TestWidget* Self(IUnknown* inSelf)
{
    return static_cast<TestWidget*>(static_cast<IDispatch*>(inSelf));
}

HRESULT GetName(IUnknown* inSelf, VARIANT*, VARIANT* outResult)
{
    V_VT(outResult) = VT_BSTR;
    V_BSTR(outResult) = SysAllocStringLen(Self(inSelf)->mName.data(), static_cast<UINT>(Self(inSelf)->mName.size()));
    return S_OK;
}

HRESULT PutName(IUnknown* inSelf, VARIANT* inArgs, VARIANT*)
{
    Self(inSelf)->mName.assign(V_BSTR(&inArgs[0]), SysStringLen(V_BSTR(&inArgs[0])));
    return S_OK;
}

HRESULT Scale(IUnknown* inSelf, VARIANT* inArgs, VARIANT* outResult)
{
    Self(inSelf)->mLastFactor = V_I4(&inArgs[1]);
    V_VT(outResult) = VT_I4;
    V_I4(outResult) = V_I4(&inArgs[0]) * V_I4(&inArgs[1]);
    return S_OK;
}

// Says what arrived for the optional VARIANT: -1 when missing, else its type.
HRESULT Describe(IUnknown*, VARIANT* inArgs, VARIANT* outResult)
{
    const bool theMissing = V_VT(&inArgs[0]) == VT_ERROR && V_ERROR(&inArgs[0]) == DISP_E_PARAMNOTFOUND;
    V_VT(outResult) = VT_I4;
    V_I4(outResult) = theMissing ? -1 : V_VT(&inArgs[0]);
    return S_OK;
}

HRESULT Fail(IUnknown*, VARIANT* inArgs, VARIANT*)
{
    if (V_BOOL(&inArgs[0])) {
        ICreateErrorInfo* theCreate = nullptr;
        CreateErrorInfo(&theCreate);
        theCreate->SetSource(const_cast<LPOLESTR>(u"Test.Widget"));
        theCreate->SetDescription(const_cast<LPOLESTR>(u"It broke"));
        IErrorInfo* theInfo = nullptr;
        theCreate->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&theInfo));
        SetErrorInfo(0, theInfo);
        theInfo->Release();
        theCreate->Release();
    }
    return static_cast<HRESULT>(0x80040005);
}

HRESULT GetFlag(IUnknown* inSelf, VARIANT*, VARIANT* outResult)
{
    V_VT(outResult) = VT_BOOL;
    V_BOOL(outResult) = Self(inSelf)->mFlag ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT Echo(IUnknown*, VARIANT* inArgs, VARIANT* outResult)
{
    std::u16string theText(V_BSTR(&inArgs[0]), SysStringLen(V_BSTR(&inArgs[0])));
    theText += u"|";
    theText.append(V_BSTR(&inArgs[1]), SysStringLen(V_BSTR(&inArgs[1])));
    V_VT(outResult) = VT_BSTR;
    V_BSTR(outResult) = SysAllocStringLen(theText.data(), static_cast<UINT>(theText.size()));
    return S_OK;
}

HRESULT Throws(IUnknown*, VARIANT*, VARIANT*)
{
    throw 42;
}

}  // namespace

const InterfaceDesc& TestWidget::Desc()
{
    static const InterfaceDesc kDesc{
        "ITestWidget", &IID_ITestWidget, "ITestWidget Interface",
        {
            {0, "Name", InvokeKind::PropertyGet, {}, VT_BSTR, "pVal", nullptr, "The \"name\"", false, GetName},
            {0, "Name", InvokeKind::PropertyPut, {{"newVal", VT_BSTR}}, VT_EMPTY, nullptr, nullptr, "The name", false, PutName},
            {2, "Scale", InvokeKind::Method, {{"inValue", VT_I4}, {"inFactor", VT_I4, true, "2"}}, VT_I4, "outResult",
             nullptr, "Multiplies", false, Scale},
            {3, "Describe", InvokeKind::Method, {{"inWhat", VT_VARIANT, true}}, VT_I4, "outType", nullptr, "", false,
             Describe},
            {4, "Fail", InvokeKind::Method, {{"inWithInfo", VT_BOOL}}, VT_EMPTY, nullptr, nullptr, "Fails", false, Fail},
            {5, "Flag", InvokeKind::PropertyGet, {}, VT_BOOL, "pVal", nullptr, "", false, GetFlag},
            {6, "Echo", InvokeKind::Method, {{"inFirst", VT_BSTR}, {"inSecond", VT_BSTR, true, "two"}}, VT_BSTR,
             "outText", nullptr, "", false, Echo},
            {7, "Kind", InvokeKind::PropertyGet, {}, VT_I4, "pVal", "TestKind", "", true, Throws},
        }};
    return kDesc;
}

const TypeLibraryDesc& TestWidget::Library()
{
    static const TypeLibraryDesc kLibrary{
        "TestLib", &LIBID_TestLib, 1, 2, "Test Library",
        {{"TestKind", {{"tkNone", 0}, {"tkSome", 1}}}},
        {&Desc()},
        {{"TestWidget", &CLSID_TestWidget, "TestWidget Class", &Desc()}}};
    return kLibrary;
}

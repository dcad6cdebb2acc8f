// Automation objects seen from script: property get and put, methods, the default
// member by call, booleans, byte arrays, errors with number and description, and the
// release of every reference when the heap goes.
#include <gtest/gtest.h>

#include <strings.h>

#include <atomic>
#include <cstring>
#include <string>

#include "host/DispatchBridge.h"
#include "host/ScriptEnvironment.h"
#include "host/ScriptHeap.h"
#include "host/ScriptText.h"

using namespace ferrolift::host;

namespace {

std::atomic<int> gLiveObjects{0};

// A small automation object: Name (text, read/write), Count (read-only 3), Flag
// (boolean), Bytes (byte array), Add(a, b) (method), Item(index) (default member:
// a child for a number, the text for a string), Broken (fails with error info).
class FakeObject final : public IDispatch {
public:
    explicit FakeObject(int inDepth = 0) : mDepth(inDepth) { ++gLiveObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (inIid == IID_IUnknown || inIid == IID_IDispatch) {
            *outObject = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *outObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++mRefs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG theRefs = --mRefs;
        if (theRefs == 0) {
            --gLiveObjects;
            delete this;
        }
        return theRefs;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override { *outCount = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* inNames, UINT, LCID, DISPID* outIds) override
    {
        static const char* const kNames[] = {"Item", "Name", "Count", "Flag", "Bytes", "Add", "Broken", "Depth"};
        std::string theName = ScriptToUtf8(Utf16ToScript(inNames[0]));
        for (DISPID i = 0; i < 8; ++i) {
            if (strcasecmp(theName.c_str(), kNames[i]) == 0) {
                *outIds = i;
                return S_OK;
            }
        }
        *outIds = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID inId, REFIID, LCID, WORD inFlags, DISPPARAMS* inParams,
                                     VARIANT* outResult, EXCEPINFO* outExcep, UINT*) override
    {
        bool theGet = (inFlags & DISPATCH_PROPERTYGET) != 0;
        bool thePut = (inFlags & DISPATCH_PROPERTYPUT) != 0;
        switch (inId) {
        case 0: return Item(inParams, outResult);
        case 1:
            if (thePut) {
                if (V_VT(&inParams->rgvarg[0]) != VT_BSTR)
                    return DISP_E_TYPEMISMATCH;
                mName.assign(V_BSTR(&inParams->rgvarg[0]), SysStringLen(V_BSTR(&inParams->rgvarg[0])));
                return S_OK;
            }
            V_VT(outResult) = VT_BSTR;
            V_BSTR(outResult) = SysAllocStringLen(mName.data(), static_cast<UINT>(mName.size()));
            return S_OK;
        case 2: V_VT(outResult) = VT_I4; V_I4(outResult) = 3; return S_OK;
        case 3: V_VT(outResult) = VT_BOOL; V_BOOL(outResult) = VARIANT_TRUE; return S_OK;
        case 4: {
            SAFEARRAY* theArray = SafeArrayCreateVector(VT_UI1, 0, 3);
            void* theData = nullptr;
            SafeArrayAccessData(theArray, &theData);
            std::memcpy(theData, "\x01\xff\x00", 3);
            SafeArrayUnaccessData(theArray);
            V_VT(outResult) = VT_ARRAY | VT_UI1;
            V_ARRAY(outResult) = theArray;
            return S_OK;
        }
        case 5:
            if (!(inFlags & DISPATCH_METHOD))
                return DISP_E_MEMBERNOTFOUND;
            if (inParams->cArgs != 2)
                return DISP_E_BADPARAMCOUNT;
            V_VT(outResult) = VT_I4;
            V_I4(outResult) = V_I4(&inParams->rgvarg[1]) + V_I4(&inParams->rgvarg[0]);
            return S_OK;
        case 6:
            outExcep->scode = static_cast<SCODE>(0x80004005);
            outExcep->bstrSource = SysAllocString(u"Fake.Object.1");
            outExcep->bstrDescription = SysAllocString(u"It is broken.");
            return DISP_E_EXCEPTION;
        case 7: V_VT(outResult) = VT_I4; V_I4(outResult) = mDepth; return S_OK;
        default:
            (void)theGet;
            return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    ~FakeObject() = default;

    HRESULT Item(DISPPARAMS* inParams, VARIANT* outResult)
    {
        if (inParams->cArgs == 0) {
            V_VT(outResult) = VT_BSTR;
            V_BSTR(outResult) = SysAllocString(u"default text");
            return S_OK;
        }
        VARIANT& theIndex = inParams->rgvarg[inParams->cArgs - 1];
        if (V_VT(&theIndex) == VT_I4) {
            V_VT(outResult) = VT_DISPATCH;
            V_DISPATCH(outResult) = new FakeObject(mDepth + V_I4(&theIndex));
            return S_OK;
        }
        if (V_VT(&theIndex) == VT_BSTR) {
            V_VT(outResult) = VT_BSTR;
            V_BSTR(outResult) = SysAllocString(V_BSTR(&theIndex));
            return S_OK;
        }
        return DISP_E_TYPEMISMATCH;
    }

    std::atomic<ULONG> mRefs{1};
    int mDepth;
    std::u16string mName = u"first";
};

duk_ret_t Evaluate(duk_context* inContext, void*)
{
    duk_eval(inContext);
    duk_safe_to_string(inContext, -1);
    return 1;
}

// Runs inCode with `obj` bound to a fresh FakeObject and returns String(result) or
// "threw: <number> <description> <source> line <n>".
std::string RunScript(const std::string& inCode)
{
    ScriptEnvironment theEnvironment;
    theEnvironment.virtualPath = "test";
    std::string theResult;
    {
        ScriptHeap theHeap(&theEnvironment);
        duk_context* ctx = theHeap.Context();
        InstallDispatchBridge(ctx);
        FakeObject* theObject = new FakeObject();
        PushDispatch(ctx, theObject);
        theObject->Release();
        duk_put_global_string(ctx, "obj");
        std::string theCode = "(function () { try { return String(" + inCode +
                              "); } catch (e) { return 'threw: ' + e.number + ' ' + e.description + ' ' + e.source; } })()";
        duk_push_string(ctx, theCode.c_str());
        duk_safe_call(ctx, Evaluate, nullptr, 1, 1);
        theResult = duk_get_string(ctx, -1) ? duk_get_string(ctx, -1) : "";
        duk_pop(ctx);
    }
    return theResult;
}

TEST(DispatchBridge, PropertiesMethodsAndDefaultMember)
{
    EXPECT_EQ(RunScript("obj.Count + 1"), "4");
    EXPECT_EQ(RunScript("obj.count"), "3");   // names are case-insensitive
    EXPECT_EQ(RunScript("(obj.Name = 'changed', obj.Name)"), "changed");
    EXPECT_EQ(RunScript("obj.Add(40, 2)"), "42");
    EXPECT_EQ(RunScript("obj(5).Depth"), "5");
    EXPECT_EQ(RunScript("obj(2)(3).Depth"), "5");
    EXPECT_EQ(RunScript("obj.Item(4).Depth"), "4");
    EXPECT_EQ(RunScript("obj('text')"), "text");
    EXPECT_EQ(RunScript("String(obj)"), "default text");
    EXPECT_EQ(RunScript("obj.Unknown"), "undefined");
}

TEST(DispatchBridge, BooleansAndByteArraysKeepTheirKinds)
{
    EXPECT_EQ(RunScript("obj.Flag === true"), "true");
    EXPECT_EQ(RunScript("obj.Flag ? 'yes' : 'no'"), "yes");
    EXPECT_EQ(RunScript("obj.Bytes instanceof Uint8Array"), "true");
    EXPECT_EQ(RunScript("Array.prototype.join.call(obj.Bytes, ',')"), "1,255,0");
}

TEST(DispatchBridge, FailuresBecomeErrorsWithNumberAndDescription)
{
    EXPECT_EQ(RunScript("obj.Broken"), "threw: -2147467259 It is broken. Fake.Object.1");
    EXPECT_EQ(RunScript("obj.Add(1)"), "threw: -2147352562 Wrong number of arguments or invalid property assignment ");
    EXPECT_EQ(RunScript("(obj.Name = 5, obj.Name)"), "threw: -2147352571 Type mismatch ");
    EXPECT_EQ(RunScript("obj.Nothing = 1"), "threw: -2147352570 Object doesn't support this property or method ");
}

TEST(DispatchBridge, EveryReferenceIsReleasedWithTheHeap)
{
    RunScript("obj(1)(2)(3).Depth + obj.Item(7).Depth");
    RunScript("obj.Broken");
    EXPECT_EQ(gLiveObjects.load(), 0);
}

TEST(DispatchBridge, TextSurvivesTheRoundTrip)
{
    EXPECT_EQ(ScriptToUtf8(RunScript("(obj.Name = 'caf\\u00e9 \\ud83d\\ude00', obj.Name)")), "caf\xc3\xa9 \xf0\x9f\x98\x80");
    EXPECT_EQ(Utf8ToScript("a\xff"), "a\xef\xbf\xbd");
}

}  // namespace

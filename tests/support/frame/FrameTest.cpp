// The member frame as a script sees it: failures become HRESULTs with error info in
// EXCEPINFO, null out-pointers and thrown codes come back without it, unknown exceptions
// get a generic text, faults are logged and survived (or end the process) by AutoRecover.
#include "support/MemberFrame.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/ObjectBase.h"
#include "common/ScratchMachine.h"
#include "platform/common/ComPtr.h"
#include "platform/common/UniqueBstr.h"
#include "platform/common/UniqueVariant.h"

// Faults must reach the component's translator, not the sanitizer's report.
extern "C" const char* __asan_default_options()
{
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0";
}

// A translated fault leaves its signal handler by throwing, so the sanitizer believes the
// thread stays inside the handler and flags every later allocation.
extern "C" const char* __tsan_default_options()
{
    return "report_signal_unsafe=0";
}

namespace {

const IID IID_ITestThing = {0x5b0d3d51, 0x7a4e, 0x4a43, {0x9b, 0x1e, 0x2f, 0x63, 0x0c, 0x11, 0x42, 0x7d}};
const CLSID CLSID_TestThing = {0x5b0d3d52, 0x7a4e, 0x4a43, {0x9b, 0x1e, 0x2f, 0x63, 0x0c, 0x11, 0x42, 0x7d}};

struct ITestThing : IDispatch {
    static const IID& iid() { return IID_ITestThing; }
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* outCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE Fail(BSTR inText) = 0;
    virtual HRESULT STDMETHODCALLTYPE Throw() = 0;
    virtual HRESULT STDMETHODCALLTYPE Refuse() = 0;
    virtual HRESULT STDMETHODCALLTYPE Crash(LONG inRead) = 0;
};

// Bad addresses the compiler cannot see through.
volatile uintptr_t gWriteAddress = 0x10;
volatile uintptr_t gReadAddress = 0x20;

ITestThing* Self(IUnknown* inSelf)
{
    return static_cast<ITestThing*>(inSelf);
}

using ferrolift::automation::InvokeKind;
using ferrolift::automation::MemberDesc;
using ferrolift::automation::ParamDesc;

MemberDesc Member(DISPID inId, const char* inName, InvokeKind inKind, std::vector<ParamDesc> inParams,
                  ferrolift::automation::MemberThunk inThunk, VARTYPE inResult = VT_EMPTY)
{
    MemberDesc theMember{inId, inName, inKind, std::move(inParams)};
    theMember.resultType = inResult;
    theMember.thunk = inThunk;
    return theMember;
}

const ferrolift::automation::InterfaceDesc kTestDesc = {
    "ITestThing",
    &IID_ITestThing,
    "ITestThing Interface",
    {
        Member(1, "Count", InvokeKind::PropertyGet, {},
               [](IUnknown* s, VARIANT*, VARIANT* r) -> HRESULT {
                   V_VT(r) = VT_I4;
                   return Self(s)->get_Count(&V_I4(r));
               },
               VT_I4),
        Member(2, "Fail", InvokeKind::Method, {{"inText", VT_BSTR}},
               [](IUnknown* s, VARIANT* a, VARIANT*) { return Self(s)->Fail(V_BSTR(&a[0])); }),
        Member(3, "Throw", InvokeKind::Method, {}, [](IUnknown* s, VARIANT*, VARIANT*) { return Self(s)->Throw(); }),
        Member(4, "Refuse", InvokeKind::Method, {},
               [](IUnknown* s, VARIANT*, VARIANT*) { return Self(s)->Refuse(); }),
        Member(5, "Crash", InvokeKind::Method, {{"inRead", VT_I4}},
               [](IUnknown* s, VARIANT* a, VARIANT*) { return Self(s)->Crash(V_I4(&a[0])); }),
    },
};

// A class built the way the component's classes are.
class TestThing : public ObjectBase<TestThing, ITestThing> {
public:
    static const ClassIdentity& Identity()
    {
        static const ClassIdentity theIdentity = {&CLSID_TestThing, &IID_ITestThing, "Ferrolift4.TestThing.4",
                                                  &kTestDesc};
        return theIdentity;
    }

    HRESULT STDMETHODCALLTYPE get_Count(LONG* outCount) override
    {
        return RunMember(this, "TestThing", __LINE__, [&]() -> HRESULT {
            RequireOut(outCount);
            // Unsynchronised on purpose: the frame's lock must make this safe.
            *outCount = ++mCalls;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Fail(BSTR inText) override
    {
        return RunMember(this, "TestThing", __LINE__, [&]() -> HRESULT {
            std::string theText;
            for (UINT i = 0; inText != nullptr && i < SysStringLen(inText); ++i)
                theText += static_cast<char>(inText[i]);
            return ReportError(theText.c_str(), theText.empty() ? 0 : E_FAIL);
        });
    }
    HRESULT STDMETHODCALLTYPE Throw() override
    {
        return RunMember(this, "TestThing", __LINE__, []() -> HRESULT { throw std::runtime_error("boom"); });
    }
    HRESULT STDMETHODCALLTYPE Refuse() override
    {
        return RunMember(this, "TestThing", __LINE__, []() -> HRESULT { throw _com_error(E_OUTOFMEMORY); });
    }
    HRESULT STDMETHODCALLTYPE Crash(LONG inRead) override
    {
        return RunMember(this, "TestThing", 77, [&]() -> HRESULT {
            if (inRead != 0)
                return *reinterpret_cast<volatile LONG*>(gReadAddress);
            *reinterpret_cast<volatile LONG*>(gWriteAddress) = 1;
            return S_OK;
        });
    }

private:
    LONG mCalls = 0;
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetErrorInfo(0, nullptr);  // error info is per thread: start clean
        ASSERT_EQ(TestThing::CreateInstance(nullptr, IID_ITestThing, mThing.put_void()), S_OK);
        mDispatch = mThing.query<IDispatch>();
        ASSERT_TRUE(mDispatch);
    }

    // Calls a member by name, as a script would.
    HRESULT CallByName(const char16_t* inName, VARIANT* inArg, EXCEPINFO* outExcep, VARIANT* outResult = nullptr)
    {
        DISPID theId = DISPID_UNKNOWN;
        LPOLESTR theName = const_cast<LPOLESTR>(inName);
        HRESULT hr = mDispatch->GetIDsOfNames(IID_NULL, &theName, 1, LOCALE_USER_DEFAULT, &theId);
        if (FAILED(hr))
            return hr;
        DISPPARAMS theParams = {inArg, nullptr, inArg != nullptr ? 1u : 0u, 0};
        UniqueVariant theIgnored;
        UINT theArgErr = 0;
        return mDispatch->Invoke(theId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                 &theParams, outResult != nullptr ? outResult : theIgnored.put(), outExcep,
                                 &theArgErr);
    }

    static bool HasErrorInfo()
    {
        ComPtr<IErrorInfo> theInfo;
        return GetErrorInfo(0, theInfo.put()) == S_OK && theInfo;
    }

    ScratchMachine mMachine;
    ComPtr<ITestThing> mThing;
    ComPtr<IDispatch> mDispatch;
};

TEST_F(FrameTest, ReportedErrorsReachTheScriptWithSourceAndDescription)
{
    VARIANT theArg;
    VariantInit(&theArg);
    V_VT(&theArg) = VT_BSTR;
    V_BSTR(&theArg) = SysAllocString(u"Unable to read\r\nthe file.");
    EXCEPINFO theExcep = {};
    EXPECT_EQ(CallByName(u"fail", &theArg, &theExcep), DISP_E_EXCEPTION);
    EXPECT_EQ(std::u16string(theExcep.bstrSource), u"Ferrolift4.TestThing.4");
    EXPECT_EQ(std::u16string(theExcep.bstrDescription), u"Unable to read\r\nthe file.");
    EXPECT_EQ(theExcep.scode, E_FAIL);
    SysFreeString(theExcep.bstrSource);
    SysFreeString(theExcep.bstrDescription);
    SysFreeString(theExcep.bstrHelpFile);

    // LogErrors absent: nothing logged. On: a warning with line breaks flattened.
    EXPECT_EQ(mMachine.Events().size(), 0u);
    SetSettingDword("LogErrors", 1);
    BSTR theText = SysAllocString(u"Line one\r\nline two");
    EXPECT_EQ(mThing->Fail(theText), E_FAIL);
    SysFreeString(theText);
    EXPECT_EQ(mMachine.CountEvents("Line one  line two"), 1);
    EXPECT_TRUE(HasErrorInfo());
    VariantClear(&theArg);
}

TEST_F(FrameTest, ACodeOfZeroBecomesDispException)
{
    SetSettingDword("LogErrors", 0);
    BSTR theEmpty = SysAllocString(u"");
    EXPECT_EQ(mThing->Fail(theEmpty), DISP_E_EXCEPTION);
    SysFreeString(theEmpty);
    EXPECT_TRUE(HasErrorInfo());
}

TEST_F(FrameTest, CodesWithoutErrorInfo)
{
    GetErrorInfo(0, ComPtr<IErrorInfo>().put());
    EXPECT_EQ(mThing->get_Count(nullptr), E_POINTER);
    EXPECT_FALSE(HasErrorInfo());
    EXPECT_EQ(mThing->Refuse(), E_OUTOFMEMORY);
    EXPECT_FALSE(HasErrorInfo());

    EXCEPINFO theExcep = {};
    EXPECT_EQ(CallByName(u"Refuse", nullptr, &theExcep), E_OUTOFMEMORY);
    EXPECT_EQ(theExcep.bstrDescription, nullptr);
}

TEST_F(FrameTest, UnknownExceptionsGetAGenericDescription)
{
    EXCEPINFO theExcep = {};
    EXPECT_EQ(CallByName(u"THROW", nullptr, &theExcep), DISP_E_EXCEPTION);
    EXPECT_EQ(std::u16string(theExcep.bstrDescription), u"Unknown exception thrown");
    EXPECT_EQ(std::u16string(theExcep.bstrSource), u"Ferrolift4.TestThing.4");
    EXPECT_EQ(theExcep.scode, E_FAIL);
    SysFreeString(theExcep.bstrSource);
    SysFreeString(theExcep.bstrDescription);
    SysFreeString(theExcep.bstrHelpFile);
    EXPECT_EQ(mMachine.CountEvents("Unknown exception thrown"), 0);

    SetSettingDword("LogErrors", 1);
    EXPECT_EQ(mThing->Throw(), E_FAIL);
    EXPECT_EQ(mMachine.CountEvents("Unknown exception thrown"), 1);
}

TEST_F(FrameTest, FaultsAreLoggedAndSurvivedWithAutoRecover)
{
    SetSettingDword("AutoRecover", 1);
    EXPECT_EQ(mThing->Crash(0), S_OK);
    EXPECT_EQ(mMachine.CountEvents("attempted to write to 0x00000010. System Error caught at line 77 of TestThing"), 1);
    EXPECT_EQ(mThing->Crash(1), S_OK);
    EXPECT_EQ(mMachine.CountEvents("attempted to read from 0x00000020."), 1);
    EXPECT_FALSE(HasErrorInfo());

    // The lock was left on the fault path: another thread can still call in.
    LONG theCount = 0;
    std::thread([&] { mThing->get_Count(&theCount); }).join();
    EXPECT_EQ(theCount, 1);
}

TEST_F(FrameTest, FaultsEndTheProcessWithoutAutoRecover)
{
    // "fast": the child goes on from here, with this test's registry and event log.
    GTEST_FLAG_SET(death_test_style, "fast");
    SetSettingDword("AutoRecover", 0);
    EXPECT_EXIT(mThing->Crash(0), ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(mMachine.CountEvents("attempted to write to 0x00000010"), 1);
}

TEST_F(FrameTest, MembersOfOneObjectRunOneAtATime)
{
    constexpr int kCalls = 20000;
    auto theCaller = [this] {
        LONG theIgnored = 0;
        for (int i = 0; i < kCalls; ++i)
            mThing->get_Count(&theIgnored);
    };
    std::thread theFirst(theCaller);
    std::thread theSecond(theCaller);
    theFirst.join();
    theSecond.join();
    LONG theCount = 0;
    mThing->get_Count(&theCount);
    EXPECT_EQ(theCount, 2 * kCalls + 1);
}

}  // namespace

#include <oleauto.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestWidget.h"

namespace {

// Arguments for one call, written in script order and handed over reversed.
class Call {
public:
    Call& Text(const char16_t* inText)
    {
        VARIANT& theArg = Add();
        V_VT(&theArg) = VT_BSTR;
        V_BSTR(&theArg) = SysAllocString(inText);
        return *this;
    }
    Call& Int(LONG inValue)
    {
        VARIANT& theArg = Add();
        V_VT(&theArg) = VT_I4;
        V_I4(&theArg) = inValue;
        return *this;
    }
    Call& Missing()
    {
        VARIANT& theArg = Add();
        V_VT(&theArg) = VT_ERROR;
        V_ERROR(&theArg) = DISP_E_PARAMNOTFOUND;
        return *this;
    }
    Call& Named(std::vector<DISPID> inIds)
    {
        mNamed = std::move(inIds);
        return *this;
    }
    ~Call()
    {
        VariantClear(&mResult);
        for (VARIANT& theArg : mArgs)
            VariantClear(&theArg);
        SysFreeString(mExcep.bstrSource);
        SysFreeString(mExcep.bstrDescription);
        SysFreeString(mExcep.bstrHelpFile);
    }

    HRESULT Invoke(TestWidget& inWidget, DISPID inId, WORD inFlags)
    {
        std::vector<VARIANT> theReversed(mArgs.rbegin(), mArgs.rend());
        // Named arguments come first in rgvarg, in the order of their ids.
        if (!mNamed.empty())
            theReversed.assign(mArgs.begin(), mArgs.end());
        DISPPARAMS theParams{theReversed.data(), mNamed.data(), static_cast<UINT>(theReversed.size()),
                             static_cast<UINT>(mNamed.size())};
        VariantClear(&mResult);
        mArgErr = 99;
        return inWidget.Invoke(inId, IID_NULL, 0, inFlags, &theParams, &mResult, &mExcep, &mArgErr);
    }

    VARIANT mResult{};
    EXCEPINFO mExcep{};
    UINT mArgErr = 99;

private:
    VARIANT& Add()
    {
        mArgs.emplace_back();
        VariantInit(&mArgs.back());
        return mArgs.back();
    }
    std::vector<VARIANT> mArgs;
    std::vector<DISPID> mNamed;
};

std::u16string TextOf(const VARIANT& inValue)
{
    return V_VT(&inValue) == VT_BSTR ? std::u16string(V_BSTR(&inValue), SysStringLen(V_BSTR(&inValue))) : u"?";
}

TEST(Dispatch, NamesResolveWithoutCase)
{
    TestWidget theWidget;
    LPOLESTR theNames[3] = {const_cast<LPOLESTR>(u"sCALE"), const_cast<LPOLESTR>(u"INFACTOR"),
                            const_cast<LPOLESTR>(u"inValue")};
    DISPID theIds[3] = {};
    ASSERT_EQ(theWidget.GetIDsOfNames(IID_NULL, theNames, 3, 0, theIds), S_OK);
    EXPECT_EQ(theIds[0], 2);
    EXPECT_EQ(theIds[1], 1);
    EXPECT_EQ(theIds[2], 0);

    theNames[1] = const_cast<LPOLESTR>(u"nope");
    ASSERT_EQ(theWidget.GetIDsOfNames(IID_NULL, theNames, 2, 0, theIds), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(theIds[0], 2);
    EXPECT_EQ(theIds[1], DISPID_UNKNOWN);
    theNames[0] = const_cast<LPOLESTR>(u"Scalex");
    EXPECT_EQ(theWidget.GetIDsOfNames(IID_NULL, theNames, 1, 0, theIds), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(theIds[0], DISPID_UNKNOWN);
    EXPECT_EQ(theWidget.GetIDsOfNames(IID_NULL, nullptr, 1, 0, theIds), E_INVALIDARG);
    EXPECT_EQ(theWidget.GetIDsOfNames(IID_NULL, theNames, 0, 0, theIds), E_INVALIDARG);
}

TEST(Dispatch, PropertyGetAndPut)
{
    TestWidget theWidget;
    Call theGet;
    ASSERT_EQ(theGet.Invoke(theWidget, 0, DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(TextOf(theGet.mResult), u"widget");
    // Script engines ask for values as method-or-get.
    ASSERT_EQ(theGet.Invoke(theWidget, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(TextOf(theGet.mResult), u"widget");
    EXPECT_EQ(theGet.Invoke(theWidget, 0, DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND);

    Call thePut;
    thePut.Int(12).Named({DISPID_PROPERTYPUT});
    ASSERT_EQ(thePut.Invoke(theWidget, 0, DISPATCH_PROPERTYPUT), S_OK);
    EXPECT_EQ(theWidget.mName, u"12");
    Call theUnnamed;
    theUnnamed.Text(u"plain");
    ASSERT_EQ(theUnnamed.Invoke(theWidget, 0, DISPATCH_PROPERTYPUT), S_OK);
    EXPECT_EQ(theWidget.mName, u"plain");

    Call theReadOnly;
    theReadOnly.Int(1).Named({DISPID_PROPERTYPUT});
    EXPECT_EQ(theReadOnly.Invoke(theWidget, 5, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call().Invoke(theWidget, 0, DISPATCH_PROPERTYPUT), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call().Invoke(theWidget, 77, DISPATCH_PROPERTYGET), DISP_E_MEMBERNOTFOUND);
}

TEST(Dispatch, OptionalArgumentsTakeTheirDefaults)
{
    TestWidget theWidget;
    Call theOne;
    theOne.Text(u"21");
    ASSERT_EQ(theOne.Invoke(theWidget, 2, DISPATCH_METHOD), S_OK);
    EXPECT_EQ(V_I4(&theOne.mResult), 42);
    EXPECT_EQ(theWidget.mLastFactor, 2);

    Call theSkipped;
    theSkipped.Int(5).Missing();
    ASSERT_EQ(theSkipped.Invoke(theWidget, 2, DISPATCH_METHOD), S_OK);
    EXPECT_EQ(V_I4(&theSkipped.mResult), 10);

    // An optional VARIANT without a default arrives as VT_ERROR / DISP_E_PARAMNOTFOUND.
    Call theNone;
    ASSERT_EQ(theNone.Invoke(theWidget, 3, DISPATCH_METHOD), S_OK);
    EXPECT_EQ(V_I4(&theNone.mResult), -1);
    Call theGiven;
    theGiven.Text(u"x");
    ASSERT_EQ(theGiven.Invoke(theWidget, 3, DISPATCH_METHOD), S_OK);
    EXPECT_EQ(V_I4(&theGiven.mResult), VT_BSTR);

    Call theNamed;
    theNamed.Text(u"second").Text(u"first").Named({1, 0});
    ASSERT_EQ(theNamed.Invoke(theWidget, 6, DISPATCH_METHOD), S_OK);
    EXPECT_EQ(TextOf(theNamed.mResult), u"first|second");
}

TEST(Dispatch, ArgumentCountAndTypeFailures)
{
    TestWidget theWidget;
    EXPECT_EQ(Call().Invoke(theWidget, 2, DISPATCH_METHOD), DISP_E_BADPARAMCOUNT);
    Call theMany;
    theMany.Int(1).Int(2).Int(3);
    EXPECT_EQ(theMany.Invoke(theWidget, 2, DISPATCH_METHOD), DISP_E_BADPARAMCOUNT);
    Call theRequiredMissing;
    theRequiredMissing.Missing().Int(2);
    EXPECT_EQ(theRequiredMissing.Invoke(theWidget, 2, DISPATCH_METHOD), DISP_E_PARAMNOTOPTIONAL);

    // The failing argument is reported by its position in rgvarg (reversed).
    Call theMismatch;
    theMismatch.Int(1).Text(u"lots");
    EXPECT_EQ(theMismatch.Invoke(theWidget, 2, DISPATCH_METHOD), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(theMismatch.mArgErr, 0u);
    Call theOverflow;
    theOverflow.Text(u"9999999999").Int(1);
    EXPECT_EQ(theOverflow.Invoke(theWidget, 2, DISPATCH_METHOD), DISP_E_OVERFLOW);
    EXPECT_EQ(theOverflow.mArgErr, 1u);
    Call theBadName;
    theBadName.Text(u"a").Named({5});
    EXPECT_EQ(theBadName.Invoke(theWidget, 6, DISPATCH_METHOD), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(theBadName.mArgErr, 0u);

    VARIANT theResult;
    EXPECT_EQ(theWidget.Invoke(2, IID_NULL, 0, DISPATCH_METHOD, nullptr, &theResult, nullptr, nullptr), E_INVALIDARG);
    DISPPARAMS theBroken{nullptr, nullptr, 2, 0};
    EXPECT_EQ(theWidget.Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &theBroken, &theResult, nullptr, nullptr), E_INVALIDARG);
}

TEST(Dispatch, ByReferenceArgumentsAreRead)
{
    TestWidget theWidget;
    LONG theValue = 4;
    VARIANT theInner;
    V_VT(&theInner) = VT_I4;
    V_I4(&theInner) = 3;
    VARIANT theArgs[2];
    V_VT(&theArgs[0]) = VT_VARIANT | VT_BYREF;   // inFactor
    V_VARIANTREF(&theArgs[0]) = &theInner;
    V_VT(&theArgs[1]) = VT_I4 | VT_BYREF;        // inValue
    V_I4REF(&theArgs[1]) = &theValue;
    DISPPARAMS theParams{theArgs, nullptr, 2, 0};
    VARIANT theResult;
    VariantInit(&theResult);
    ASSERT_EQ(theWidget.Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &theParams, &theResult, nullptr, nullptr), S_OK);
    EXPECT_EQ(V_I4(&theResult), 12);
}

TEST(Dispatch, FailuresWithErrorInfoBecomeExceptions)
{
    TestWidget theWidget;
    Call theWithInfo;
    VARIANT_BOOL theYes = VARIANT_TRUE;
    theWithInfo.Int(theYes);
    ASSERT_EQ(theWithInfo.Invoke(theWidget, 4, DISPATCH_METHOD), DISP_E_EXCEPTION);
    EXPECT_EQ(theWithInfo.mExcep.scode, static_cast<HRESULT>(0x80040005));
    EXPECT_EQ(std::u16string(theWithInfo.mExcep.bstrSource), u"Test.Widget");
    EXPECT_EQ(std::u16string(theWithInfo.mExcep.bstrDescription), u"It broke");
    IErrorInfo* theLeft = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &theLeft), S_FALSE) << "the info moved into EXCEPINFO";

    Call theWithout;
    theWithout.Int(0);
    EXPECT_EQ(theWithout.Invoke(theWidget, 4, DISPATCH_METHOD), static_cast<HRESULT>(0x80040005));
    EXPECT_EQ(theWithout.mExcep.bstrDescription, nullptr);

    // Escaping C++ exceptions stop at the dispatcher.
    EXPECT_EQ(Call().Invoke(theWidget, 7, DISPATCH_PROPERTYGET), E_UNEXPECTED);
    EXPECT_EQ(theWidget.Refs(), 1u);
}

}  // namespace

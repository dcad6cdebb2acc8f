#include <windows.h>

#include <atomic>
#include <utility>

#include <gtest/gtest.h>

#include "platform/common/ComPtr.h"
#include "platform/common/UniqueBstr.h"
#include "platform/common/UniqueSafeArray.h"
#include "platform/common/UniqueVariant.h"

namespace {

// Counts references; lives on the stack, so it never deletes itself.
class Counted final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (IsEqualIID(inIid, IID_IUnknown) || IsEqualIID(inIid, IID_IDispatch)) {
            *outObject = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *outObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++mRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --mRefs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    std::atomic<ULONG> mRefs{0};
};

TEST(ComPtrOwner, CountsReferencesThroughCopiesMovesAndQueries)
{
    Counted theObject;
    {
        ComPtr<IDispatch> theFirst(&theObject);
        EXPECT_EQ(theObject.mRefs, 1u);
        ComPtr<IDispatch> theCopy = theFirst;
        EXPECT_EQ(theObject.mRefs, 2u);
        ComPtr<IDispatch> theMoved = std::move(theCopy);
        EXPECT_EQ(theObject.mRefs, 2u);
        EXPECT_FALSE(theCopy);
        theMoved = theMoved;   // self-assignment keeps the reference
        EXPECT_EQ(theObject.mRefs, 2u);
        ComPtr<IUnknown> theUnknown = theFirst.query<IUnknown>();
        EXPECT_EQ(theObject.mRefs, 3u);
        ComPtr<IErrorInfo> theMissing = theFirst.query<IErrorInfo>();
        EXPECT_FALSE(theMissing);
        IDispatch* theOut = nullptr;
        EXPECT_EQ(theFirst.copy_to(&theOut), S_OK);
        EXPECT_EQ(theObject.mRefs, 4u);
        theOut->Release();
        EXPECT_EQ(theFirst.copy_to(nullptr), E_POINTER);
    }
    EXPECT_EQ(theObject.mRefs, 0u);

    ComPtr<IDispatch> theHolder;
    theObject.AddRef();
    theHolder.attach(&theObject);
    EXPECT_EQ(theObject.mRefs, 1u);
    *theHolder.put() = nullptr;   // put() releases what was held
    EXPECT_EQ(theObject.mRefs, 0u);
    theHolder.assign(&theObject);
    IDispatch* theDetached = theHolder.detach();
    EXPECT_EQ(theObject.mRefs, 1u);
    theDetached->Release();
    ComPtr<IDispatch> theEmpty;
    void* theNone = reinterpret_cast<void*>(1);
    EXPECT_EQ(theEmpty.query_to(IID_IUnknown, &theNone), E_POINTER);
    EXPECT_EQ(theNone, nullptr);
}

TEST(UniqueBstrOwner, OwnsOneString)
{
    UniqueBstr theText = UniqueBstr::copy_of(u"abc");
    EXPECT_EQ(theText.length(), 3u);
    BSTR theCopy = theText.copy();
    EXPECT_NE(theCopy, theText.get());
    SysFreeString(theCopy);
    UniqueBstr theMoved = std::move(theText);
    EXPECT_EQ(theText.get(), nullptr);
    EXPECT_TRUE(theText.empty());
    *theMoved.put() = SysAllocString(u"replaced");   // the old string is freed first
    EXPECT_EQ(std::u16string(theMoved.get()), u"replaced");
    BSTR theOut = theMoved.detach();
    EXPECT_EQ(theMoved.get(), nullptr);
    SysFreeString(theOut);
    UniqueBstr theOdd(SysAllocStringByteLen("xyz", 3));
    BSTR theOddCopy = theOdd.copy();
    EXPECT_EQ(SysStringByteLen(theOddCopy), 3u);
    SysFreeString(theOddCopy);
}

TEST(UniqueVariantOwner, ClearsAndHandsOver)
{
    Counted theObject;
    {
        UniqueVariant theValue;
        EXPECT_EQ(theValue.vt(), VT_EMPTY);
        V_VT(theValue.get()) = VT_DISPATCH;
        V_DISPATCH(theValue.get()) = &theObject;
        theObject.AddRef();
        VARIANT theCopy;
        VariantInit(&theCopy);
        EXPECT_EQ(theValue.copy_to(&theCopy), S_OK);
        EXPECT_EQ(theObject.mRefs, 2u);
        UniqueVariant theAdopted(&theCopy);
        EXPECT_EQ(V_VT(&theCopy), VT_EMPTY);
        UniqueVariant theMoved = std::move(theAdopted);
        EXPECT_EQ(theAdopted.vt(), VT_EMPTY);
        EXPECT_EQ(theObject.mRefs, 2u);
        VARIANT theOut;
        theMoved.detach_to(&theOut);
        EXPECT_EQ(theMoved.vt(), VT_EMPTY);
        VariantClear(&theOut);
        EXPECT_EQ(theObject.mRefs, 1u);
        V_VT(theMoved.put()) = VT_BSTR;
        V_BSTR(theMoved.get()) = SysAllocString(u"freed by the owner");
    }
    EXPECT_EQ(theObject.mRefs, 0u);
}

TEST(UniqueSafeArrayOwner, DestroysAndScopesAccess)
{
    UniqueSafeArray theArray(SafeArrayCreateVector(VT_UI1, 0, 4));
    ASSERT_TRUE(theArray);
    {
        SafeArrayData theData(theArray.get());
        ASSERT_EQ(theData.result(), S_OK);
        theData.as<BYTE>()[3] = 9;
        EXPECT_EQ(theArray.get()->cLocks, 1u);
    }
    EXPECT_EQ(theArray.get()->cLocks, 0u);
    SafeArrayData theNone(nullptr);
    EXPECT_EQ(theNone.result(), E_INVALIDARG);
    EXPECT_EQ(theNone.get(), nullptr);

    UniqueSafeArray theMoved = std::move(theArray);
    EXPECT_FALSE(theArray);
    *theMoved.put() = SafeArrayCreateVector(VT_BSTR, 0, 2);
    SAFEARRAY* theDetached = theMoved.detach();
    EXPECT_FALSE(theMoved);
    EXPECT_EQ(SafeArrayDestroy(theDetached), S_OK);
}

}  // namespace

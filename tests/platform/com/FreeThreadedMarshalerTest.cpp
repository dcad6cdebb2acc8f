#include <windows.h>

#include <atomic>

#include <gtest/gtest.h>

namespace {

// An outer object that aggregates the marshaler the way the component's classes do.
class Outer final : public IUnknown {
public:
    HRESULT Init() { return CoCreateFreeThreadedMarshaler(this, &mMarshaler); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (IsEqualIID(inIid, IID_IUnknown)) {
            *outObject = this;
            AddRef();
            return S_OK;
        }
        if (IsEqualIID(inIid, IID_IMarshal))
            return mMarshaler->QueryInterface(inIid, outObject);
        *outObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++mRefs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG theRefs = --mRefs;
        if (theRefs == 0)
            mMarshaler->Release();
        return theRefs;
    }
    std::atomic<ULONG> mRefs{1};
    IUnknown* mMarshaler = nullptr;
};

TEST(FreeThreadedMarshaler, AggregatesWithTheOuterIdentity)
{
    Outer theOuter;
    ASSERT_EQ(theOuter.Init(), S_OK);
    EXPECT_EQ(theOuter.mRefs, 1u) << "creating does not count the outer";

    IMarshal* theMarshal = nullptr;
    ASSERT_EQ(theOuter.QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&theMarshal)), S_OK);
    EXPECT_EQ(theOuter.mRefs, 2u) << "IMarshal counts on the outer object";
    IUnknown* theIdentity = nullptr;
    ASSERT_EQ(theMarshal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&theIdentity)), S_OK);
    EXPECT_EQ(theIdentity, &theOuter);
    theIdentity->Release();
    void* theNone = nullptr;
    EXPECT_EQ(theMarshal->QueryInterface(IID_IDispatch, &theNone), E_NOINTERFACE);

    CLSID theClass{};
    DWORD theSize = 0;
    EXPECT_EQ(theMarshal->GetUnmarshalClass(IID_IUnknown, &theOuter, MSHCTX_INPROC, nullptr, 0, &theClass), S_OK);
    EXPECT_TRUE(IsEqualCLSID(theClass, CLSID_InProcFreeMarshaler));
    EXPECT_EQ(theMarshal->GetMarshalSizeMax(IID_IUnknown, &theOuter, MSHCTX_INPROC, nullptr, 0, &theSize), S_OK);
    EXPECT_GT(theSize, sizeof(void*));
    EXPECT_EQ(theMarshal->GetUnmarshalClass(IID_IUnknown, &theOuter, MSHCTX_LOCAL, nullptr, 0, &theClass), E_NOTIMPL);
    EXPECT_EQ(theMarshal->GetUnmarshalClass(IID_IUnknown, &theOuter, MSHCTX_INPROC, nullptr, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(theMarshal->MarshalInterface(nullptr, IID_IUnknown, &theOuter, MSHCTX_INPROC, nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(theMarshal->DisconnectObject(0), S_OK);
    theMarshal->Release();
    EXPECT_EQ(theOuter.mRefs, 1u);
    EXPECT_EQ(theOuter.Release(), 0u);
}

TEST(FreeThreadedMarshaler, InnerUnknownIsItsOwn)
{
    Outer theOuter;
    ASSERT_EQ(theOuter.Init(), S_OK);
    IUnknown* theInner = nullptr;
    ASSERT_EQ(theOuter.mMarshaler->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&theInner)), S_OK);
    EXPECT_EQ(theInner, theOuter.mMarshaler);
    EXPECT_EQ(theInner->Release(), 1u);
    EXPECT_EQ(theOuter.mRefs, 1u);
    EXPECT_EQ(theOuter.Release(), 0u);   // frees the marshaler too (checked by ASan)
}

TEST(FreeThreadedMarshaler, WorksWithoutAnOuterObject)
{
    IUnknown* theMarshaler = nullptr;
    ASSERT_EQ(CoCreateFreeThreadedMarshaler(nullptr, &theMarshaler), S_OK);
    IMarshal* theMarshal = nullptr;
    ASSERT_EQ(theMarshaler->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&theMarshal)), S_OK);
    EXPECT_EQ(theMarshal->Release(), 1u);
    EXPECT_EQ(theMarshaler->Release(), 0u);
    EXPECT_EQ(CoCreateFreeThreadedMarshaler(nullptr, nullptr), E_INVALIDARG);
}

}  // namespace

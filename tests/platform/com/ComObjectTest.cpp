// The one IUnknown that every object builds on: one identity, only the interfaces in the
// object's table, the object gone with its last reference, the module held meanwhile.
#include "platform/common/ComObject.h"
#include "platform/common/NoTypeInfoDispatch.h"

#include <gtest/gtest.h>

namespace {

int gLive = 0;
int gModuleLocks = 0;

struct CountingModuleLock {
    static void Lock() { ++gModuleLocks; }
    static void Unlock() { --gModuleLocks; }
};

class Twofold final : public ComObject<CountingModuleLock, ISupportErrorInfo, IClassFactory> {
public:
    Twofold() { ++gLive; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        return QueryInterfaceFrom({{&IID_IUnknown, static_cast<ISupportErrorInfo*>(this)},
                                   {&IID_ISupportErrorInfo, static_cast<ISupportErrorInfo*>(this)},
                                   {&IID_IClassFactory, static_cast<IClassFactory*>(this)}},
                                  inIid, outObject);
    }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ~Twofold() override { --gLive; }
};

class Described final : public ComObject<NoModuleLock, NoTypeInfoDispatch<IDispatch>> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        return QueryInterfaceFrom({{&IID_IUnknown, this}, {&IID_IDispatch, this}}, inIid, outObject);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }
};

TEST(ComObject, AnswersItsInterfacesWithOneIdentity)
{
    ISupportErrorInfo* theSupport = new Twofold();
    IClassFactory* theFactory = nullptr;
    ASSERT_EQ(theSupport->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&theFactory)), S_OK);
    EXPECT_EQ(theFactory->LockServer(TRUE), S_OK);

    IUnknown* theFromSupport = nullptr;
    IUnknown* theFromFactory = nullptr;
    ASSERT_EQ(theSupport->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&theFromSupport)), S_OK);
    ASSERT_EQ(theFactory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&theFromFactory)), S_OK);
    EXPECT_EQ(theFromSupport, theFromFactory);
    EXPECT_EQ(static_cast<void*>(theFromSupport), static_cast<void*>(theSupport));

    void* theOther = &theOther;
    EXPECT_EQ(theFactory->QueryInterface(IID_IDispatch, &theOther), E_NOINTERFACE);
    EXPECT_EQ(theOther, nullptr);
    EXPECT_EQ(theFactory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    // Four references: the creator's and three from QueryInterface.
    EXPECT_EQ(theFromFactory->Release(), 3u);
    EXPECT_EQ(theFromSupport->Release(), 2u);
    EXPECT_EQ(theFactory->Release(), 1u);
    EXPECT_EQ(theSupport->AddRef(), 2u);
    EXPECT_EQ(theSupport->Release(), 1u);
    EXPECT_EQ(gLive, 1);
    EXPECT_EQ(theSupport->Release(), 0u);
    EXPECT_EQ(gLive, 0);
}

TEST(ComObject, HoldsTheModuleForItsLifetime)
{
    ASSERT_EQ(gModuleLocks, 0);
    ISupportErrorInfo* theFirst = new Twofold();
    ISupportErrorInfo* theSecond = new Twofold();
    EXPECT_EQ(gModuleLocks, 2);
    theFirst->AddRef();
    theFirst->Release();
    EXPECT_EQ(gModuleLocks, 2);
    theFirst->Release();
    EXPECT_EQ(gModuleLocks, 1);
    theSecond->Release();
    EXPECT_EQ(gModuleLocks, 0);
}

TEST(ComObject, TableAnswersTheFirstMatchingRow)
{
    // Two rows for one IID: the first wins, and only it gains a reference.
    ISupportErrorInfo* theFirst = new Twofold();
    ISupportErrorInfo* theSecond = new Twofold();
    void* theFound = nullptr;
    EXPECT_EQ(QueryInterfaceFrom({{&IID_IClassFactory, theFirst}, {&IID_IClassFactory, theSecond}},
                                 IID_IClassFactory, &theFound),
              S_OK);
    EXPECT_EQ(theFound, static_cast<void*>(theFirst));
    EXPECT_EQ(theFirst->Release(), 1u);
    EXPECT_EQ(theSecond->Release(), 0u);
    EXPECT_EQ(theFirst->Release(), 0u);

    void* theNone = &theNone;
    EXPECT_EQ(QueryInterfaceFrom({}, IID_IUnknown, &theNone), E_NOINTERFACE);
    EXPECT_EQ(theNone, nullptr);
}

TEST(ComObject, DispatchWithoutTypeInformation)
{
    IDispatch* theDispatch = new Described();
    UINT theCount = 7;
    EXPECT_EQ(theDispatch->GetTypeInfoCount(&theCount), S_OK);
    EXPECT_EQ(theCount, 0u);
    EXPECT_EQ(theDispatch->GetTypeInfoCount(nullptr), E_POINTER);
    ITypeInfo* theInfo = reinterpret_cast<ITypeInfo*>(theDispatch);
    EXPECT_EQ(theDispatch->GetTypeInfo(0, 0, &theInfo), E_NOTIMPL);
    EXPECT_EQ(theInfo, nullptr);
    EXPECT_EQ(theDispatch->GetTypeInfo(0, 0, nullptr), E_NOTIMPL);
    EXPECT_EQ(theDispatch->Release(), 0u);
}

}  // namespace

// The shared IUnknown of the platform's own objects: one identity, only the listed
// interfaces, and the object gone with its last reference.
#include "platform/com/ComObject.h"

#include <gtest/gtest.h>

namespace {

int gLive = 0;

class Twofold final : public ferrolift::platform::ComObject<ISupportErrorInfo, IClassFactory> {
public:
    Twofold() { ++gLive; }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ~Twofold() override { --gLive; }
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

}  // namespace

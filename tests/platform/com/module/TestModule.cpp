// A minimal in-process server for the activation tests: one class whose objects only
// answer IUnknown, and a live-object count that DllCanUnloadNow reports.
#include <windows.h>

#include <atomic>
#include <new>

namespace {

const CLSID kTestClass = {0x7B2E1D01, 0x3C4D, 0x4A5B, {0x9C, 0x8D, 0x7E, 0x6F, 0x50, 0x41, 0x32, 0x23}};

std::atomic<long> gLive{0};

class TestObject final : public IUnknown {
public:
    TestObject() { ++gLive; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (!IsEqualIID(inIid, IID_IUnknown))
            return *outObject = nullptr, E_NOINTERFACE;
        *outObject = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++mRefs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG theRefs = --mRefs;
        if (theRefs == 0)
            delete this;
        return theRefs;
    }

private:
    ~TestObject() { --gLive; }
    std::atomic<ULONG> mRefs{1};
};

class TestFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (!IsEqualIID(inIid, IID_IUnknown) && !IsEqualIID(inIid, IID_IClassFactory))
            return *outObject = nullptr, E_NOINTERFACE;
        *outObject = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* inOuter, REFIID inIid, void** outObject) override
    {
        if (!outObject)
            return E_POINTER;
        *outObject = nullptr;
        if (inOuter)
            return CLASS_E_NOAGGREGATION;
        auto* theObject = new (std::nothrow) TestObject();
        if (!theObject)
            return E_OUTOFMEMORY;
        const HRESULT hr = theObject->QueryInterface(inIid, outObject);
        theObject->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TestFactory gFactory;

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID inClsid, REFIID inIid, void** outObject)
{
    if (!outObject)
        return E_POINTER;
    *outObject = nullptr;
    if (!IsEqualCLSID(inClsid, kTestClass))
        return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(inIid, outObject);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return gLive == 0 ? S_OK : S_FALSE;
}

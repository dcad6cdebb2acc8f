// ClassFactory.h: the class object of one class: makes its objects (aggregation rules
// included) and takes server locks.
//
//   ComPtr<IClassFactory> theFactory;
//   theFactory.attach(new XClassFactory(&XForm::CreateInstance));
//   theFactory->CreateInstance(nullptr, IID_IXForm, theForm.put_void());
#pragma once

#include <atomic>

#include <windows.h>

/// Makes one object: outer unknown or null, requested interface, out pointer.
using CreateInstanceFunction = HRESULT (*)(IUnknown* inOuter, REFIID inIid, void** outObject);

/// A class factory over a CreateInstanceFunction. Starts with one reference.
class XClassFactory final : public IClassFactory {
public:
    explicit XClassFactory(CreateInstanceFunction inCreate) : mCreate(inCreate) {}
    XClassFactory(const XClassFactory&) = delete;
    XClassFactory& operator=(const XClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    /// E_POINTER for a null out pointer; CLASS_E_NOAGGREGATION when an outer object asks
    /// for anything but IUnknown; E_OUTOFMEMORY; else the object's QueryInterface result.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* inOuter, REFIID inIid, void** outObject) override;
    /// TRUE adds one to the module lock count, FALSE removes one.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL inLock) override;

private:
    ~XClassFactory() = default;

    CreateInstanceFunction mCreate;
    std::atomic<ULONG> mRefCount{1};
};

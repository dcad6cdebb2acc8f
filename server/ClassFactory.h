// ClassFactory.h: the class object of one class: makes its objects (aggregation rules
// included) and takes server locks.
//
//   ComPtr<IClassFactory> theFactory;
//   theFactory.attach(new XClassFactory(&XForm::CreateInstance));
//   theFactory->CreateInstance(nullptr, IID_IXForm, theForm.put_void());
#pragma once

#include <windows.h>

#include "platform/common/ComObject.h"

/// Makes one object: outer unknown or null, requested interface, out pointer.
using CreateInstanceFunction = HRESULT (*)(IUnknown* inOuter, REFIID inIid, void** outObject);

/// A class factory over a CreateInstanceFunction. Starts with one reference. It does not
/// hold the module itself: holders keep it loaded through LockServer.
class XClassFactory final : public ComObject<NoModuleLock, IClassFactory> {
public:
    explicit XClassFactory(CreateInstanceFunction inCreate) : mCreate(inCreate) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override;
    /// E_POINTER for a null out pointer; CLASS_E_NOAGGREGATION when an outer object asks
    /// for anything but IUnknown; E_OUTOFMEMORY; else the object's QueryInterface result.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* inOuter, REFIID inIid, void** outObject) override;
    /// TRUE adds one to the module lock count, FALSE removes one.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL inLock) override;

private:
    ~XClassFactory() override = default;

    CreateInstanceFunction mCreate;
};

// VtableObject.h: IUnknown and IDispatch for the page engine's Request and Server, which
// the component reaches through their vtables only (scripts use their own bindings).
//
//   class ServerObject final : public VtableObject<IServer, IID_IServer> {
//       ...   // only IServer's own methods
//   };
//   ComPtr<IServer> theServer;
//   theServer.attach(new ServerObject(thePaths, "/"));   // one reference, the caller's
#pragma once

#include <atomic>

#include <windows.h>
#include <comsvcs.h>

namespace ferrolift::host {

/// Answers IUnknown, IDispatch and kIid with the one Interface; late binding is refused.
/// Objects start with one reference and delete themselves with the last.
template <class Interface, const IID& kIid>
class VtableObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (outObject == nullptr)
            return E_POINTER;
        if (inIid == IID_IUnknown || inIid == IID_IDispatch || inIid == kIid) {
            *outObject = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *outObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++mReferences; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG theLeft = --mReferences;
        if (theLeft == 0)
            delete this;
        return theLeft;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override
    {
        if (outCount == nullptr)
            return E_POINTER;
        *outCount = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** outInfo) override
    {
        if (outInfo != nullptr)
            *outInfo = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT inCount, LCID, DISPID* outIds) override
    {
        for (UINT i = 0; outIds != nullptr && i < inCount; ++i)
            outIds[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    VtableObject() = default;
    virtual ~VtableObject() = default;

private:
    std::atomic<ULONG> mReferences{1};
};

}  // namespace ferrolift::host

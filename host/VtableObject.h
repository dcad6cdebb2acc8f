// VtableObject.h: IUnknown and IDispatch for the page engine's Request and Server, which
// the component reaches through their vtables only (scripts use their own bindings).
//
//   class ServerObject final : public VtableObject<IServer, IID_IServer> {
//       ...   // only IServer's own methods
//   };
//   ComPtr<IServer> theServer;
//   theServer.attach(new ServerObject(thePaths, "/"));   // one reference, the caller's
#pragma once

#include <windows.h>
#include <comsvcs.h>

#include "platform/common/ComObject.h"
#include "platform/common/NoTypeInfoDispatch.h"

namespace ferrolift::host {

/// Answers IUnknown, IDispatch and kIid with the one Interface; late binding is refused.
/// Objects start with one reference and delete themselves with the last.
template <class Interface, const IID& kIid>
class VtableObject : public ComObject<NoModuleLock, NoTypeInfoDispatch<Interface>> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        return QueryInterfaceFrom({{&IID_IUnknown, this}, {&IID_IDispatch, this}, {&kIid, this}}, inIid, outObject);
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
    ~VtableObject() override = default;
};

}  // namespace ferrolift::host

// NoTypeInfoDispatch.h: the IDispatch type-information members of an object that
// publishes no type information (names and dispatch ids are all a caller gets).
//
//   class ServerObject final : public ComObject<NoModuleLock, NoTypeInfoDispatch<IServer>> {
//       ...   // QueryInterface, GetIDsOfNames, Invoke and IServer's own methods
//   };
#pragma once

#include <windows.h>
#include <oleauto.h>

/// Derives from TInterface (a dispatch interface) and answers GetTypeInfoCount with 0 and
/// GetTypeInfo with E_NOTIMPL.
template <class TInterface>
class NoTypeInfoDispatch : public TInterface {
public:
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
};

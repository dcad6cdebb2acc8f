// Dispatch.cpp (Windows): IDispatch of the component's classes answered by the system's
// automation runtime. The type library embedded in this module as TYPELIB 1 was compiled
// from the same description that drives IDispatch on Linux, so names, dispids, argument
// coercion and the EXCEPINFO of a failing member follow the system's own rules
// (DispGetIDsOfNames, ITypeInfo::Invoke) rather than ours.
#include "platform/automation/TypeDescription.h"

#include <atomic>

namespace ferrolift::automation {
namespace {

// The module that holds this code (and the type library resource).
HMODULE ThisModule()
{
    HMODULE theModule = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &theModule);
    return theModule;
}

// The library, loaded once from the module's own file and kept until the process ends
// (the module can only unload when no object, and so no caller of this, is left).
ITypeLib* Library()
{
    static std::atomic<ITypeLib*> sLibrary{nullptr};
    ITypeLib* theLibrary = sLibrary.load(std::memory_order_acquire);
    if (theLibrary != nullptr)
        return theLibrary;
    WCHAR thePath[MAX_PATH];
    const DWORD theLength = GetModuleFileNameW(ThisModule(), thePath, MAX_PATH);
    if (theLength == 0 || theLength >= MAX_PATH || FAILED(LoadTypeLibEx(thePath, REGKIND_NONE, &theLibrary)))
        return nullptr;
    ITypeLib* theExpected = nullptr;
    if (!sLibrary.compare_exchange_strong(theExpected, theLibrary, std::memory_order_acq_rel)) {
        // Another thread loaded it first: keep theirs.
        theLibrary->Release();
        return theExpected;
    }
    return theLibrary;
}

// The type information of inDesc's interface, or null with the reason in outHr. A dual
// interface's IID names its dispinterface; the vtable half (reference -1) is what
// ITypeInfo::Invoke calls through. The library caches its type infos, so asking again is
// cheap.
ITypeInfo* TypeInfoFor(const InterfaceDesc& inDesc, HRESULT& outHr)
{
    ITypeLib* theLibrary = Library();
    if (theLibrary == nullptr) {
        outHr = TYPE_E_CANTLOADLIBRARY;
        return nullptr;
    }
    ITypeInfo* theInfo = nullptr;
    outHr = theLibrary->GetTypeInfoOfGuid(*inDesc.iid, &theInfo);
    if (FAILED(outHr))
        return nullptr;
    HREFTYPE theVtableHalf = 0;
    ITypeInfo* theInterface = nullptr;
    if (SUCCEEDED(theInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &theVtableHalf)) &&
        SUCCEEDED(theInfo->GetRefTypeInfo(theVtableHalf, &theInterface))) {
        theInfo->Release();
        return theInterface;
    }
    return theInfo;
}

}  // namespace

HRESULT DispatchGetIDsOfNames(const InterfaceDesc& inDesc, LPOLESTR* inNames, UINT inCount, DISPID* outIds)
{
    HRESULT hr = S_OK;
    ITypeInfo* theInfo = TypeInfoFor(inDesc, hr);
    if (theInfo == nullptr)
        return hr;
    hr = DispGetIDsOfNames(theInfo, inNames, inCount, outIds);
    theInfo->Release();
    return hr;
}

HRESULT DispatchInvoke(const InterfaceDesc& inDesc, IUnknown* inSelf, DISPID inId, WORD inFlags,
                       DISPPARAMS* inParams, VARIANT* outResult, EXCEPINFO* outExcep, UINT* outArgErr)
{
    HRESULT hr = S_OK;
    ITypeInfo* theInfo = TypeInfoFor(inDesc, hr);
    if (theInfo == nullptr)
        return hr;
    hr = DispInvoke(inSelf, theInfo, inId, inFlags, inParams, outResult, outExcep, outArgErr);
    theInfo->Release();
    return hr;
}

}  // namespace ferrolift::automation

// InterfaceTable.h: table-driven QueryInterface. An object lists which of its interface
// pointers answers which IID; the lookup, the AddRef and the out-parameter rules are here.
//
//   HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
//   {
//       return QueryInterfaceFrom({{&IID_IUnknown, static_cast<IErrorInfo*>(this)},
//                                  {&IID_IErrorInfo, static_cast<IErrorInfo*>(this)},
//                                  {&IID_ICreateErrorInfo, static_cast<ICreateErrorInfo*>(this)}},
//                                 inIid, outObject);
//   }
#pragma once

#include <initializer_list>

#include <windows.h>

/// One row of an interface table: the interface pointer that answers iid.
struct InterfaceEntry {
    const IID* iid;
    IUnknown* object;
};

/// Hands out the object of the first row whose IID is inIid, with a reference of its own.
/// E_NOINTERFACE (and a null *outObject) when no row has it; E_POINTER for a null
/// outObject.
inline HRESULT QueryInterfaceFrom(std::initializer_list<InterfaceEntry> inTable, REFIID inIid, void** outObject)
{
    if (outObject == nullptr)
        return E_POINTER;
    *outObject = nullptr;
    for (const InterfaceEntry& theEntry : inTable) {
        if (!IsEqualIID(inIid, *theEntry.iid))
            continue;
        theEntry.object->AddRef();
        *outObject = theEntry.object;
        return S_OK;
    }
    return E_NOINTERFACE;
}

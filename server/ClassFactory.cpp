// ClassFactory.cpp: the class objects handed out by DllGetClassObject.
#include "server/ClassFactory.h"

#include "support/ModuleLock.h"

HRESULT XClassFactory::QueryInterface(REFIID inIid, void** outObject)
{
    return QueryInterfaceFrom({{&IID_IUnknown, this}, {&IID_IClassFactory, this}}, inIid, outObject);
}

HRESULT XClassFactory::CreateInstance(IUnknown* inOuter, REFIID inIid, void** outObject)
{
    if (outObject == nullptr)
        return E_POINTER;
    *outObject = nullptr;
    if (inOuter != nullptr && !IsEqualIID(inIid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    return mCreate(inOuter, inIid, outObject);
}

HRESULT XClassFactory::LockServer(BOOL inLock)
{
    if (inLock)
        LockModule();
    else
        UnlockModule();
    return S_OK;
}

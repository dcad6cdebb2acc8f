// ClassFactory.cpp: the class objects handed out by DllGetClassObject.
#include "server/ClassFactory.h"

#include "support/ModuleLock.h"

HRESULT XClassFactory::QueryInterface(REFIID inIid, void** outObject)
{
    if (outObject == nullptr)
        return E_POINTER;
    *outObject = nullptr;
    if (!IsEqualIID(inIid, IID_IUnknown) && !IsEqualIID(inIid, IID_IClassFactory))
        return E_NOINTERFACE;
    AddRef();
    *outObject = static_cast<IClassFactory*>(this);
    return S_OK;
}

ULONG XClassFactory::AddRef()
{
    return ++mRefCount;
}

ULONG XClassFactory::Release()
{
    const ULONG theCount = --mRefCount;
    if (theCount == 0)
        delete this;
    return theCount;
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

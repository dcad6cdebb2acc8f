// Module.cpp: module attach and detach, the class-object cache, DllGetClassObject and
// DllCanUnloadNow.
#include "server/Exports.h"

#include <atomic>
#include <new>

#include "server/ClassTable.h"
#include "support/ModuleLock.h"
#include "support/ModuleInstance.h"

namespace {

constexpr size_t kClassCount = 4;

// Factories are made on first use and kept until the module unloads; they do not
// count as locks.
std::atomic<IClassFactory*> gFactories[kClassCount];
CRITICAL_SECTION gClassObjectLock;

IClassFactory* FactoryFor(size_t inIndex, const ClassEntry& inEntry)
{
    IClassFactory* theFactory = gFactories[inIndex].load(std::memory_order_acquire);
    if (theFactory != nullptr)
        return theFactory;
    EnterCriticalSection(&gClassObjectLock);
    theFactory = gFactories[inIndex].load(std::memory_order_acquire);
    if (theFactory == nullptr) {
        theFactory = new (std::nothrow) XClassFactory(inEntry.create);
        gFactories[inIndex].store(theFactory, std::memory_order_release);
    }
    LeaveCriticalSection(&gClassObjectLock);
    return theFactory;
}

void ProcessAttach()
{
    DisableThreadLibraryCalls(ModuleInstance());
    InitializeCriticalSection(&gClassObjectLock);
}

void ProcessDetach()
{
    for (std::atomic<IClassFactory*>& theSlot : gFactories) {
        if (IClassFactory* theFactory = theSlot.exchange(nullptr))
            theFactory->Release();
    }
    DeleteCriticalSection(&gClassObjectLock);
}

// The loader's attach and detach notifications, as a Windows module gets them.
[[gnu::constructor]] void OnModuleLoad()
{
    ProcessAttach();
}

[[gnu::destructor]] void OnModuleUnload()
{
    ProcessDetach();
}

}  // namespace

HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID inClsid, REFIID inIid, LPVOID* outObject)
{
    if (outObject == nullptr)
        return E_POINTER;
    *outObject = nullptr;
    const std::span<const ClassEntry> theTable = ClassTable();
    for (size_t i = 0; i < theTable.size() && i < kClassCount; ++i) {
        if (!IsEqualCLSID(inClsid, theTable[i].clsid))
            continue;
        IClassFactory* theFactory = FactoryFor(i, theTable[i]);
        if (theFactory == nullptr)
            return E_OUTOFMEMORY;
        HRESULT hr = theFactory->QueryInterface(inIid, outObject);
        if (FAILED(hr) || *outObject != nullptr)
            return hr;
        break;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT STDMETHODCALLTYPE DllCanUnloadNow()
{
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

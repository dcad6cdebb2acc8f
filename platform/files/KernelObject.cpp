// KernelObject.cpp: the process-wide handle table and CloseHandle.
#include "platform/files/KernelObject.h"

#include "platform/errors/Errors.h"

#include <mutex>
#include <unordered_map>

namespace ferrolift::platform {

namespace {

// The table is leaked on purpose: handles may still be closed from static destructors of
// other modules after this library's own statics are gone.
struct HandleTable {
    std::mutex lock;
    std::unordered_map<HANDLE, std::shared_ptr<KernelObject>> objects;
};

HandleTable& Table()
{
    static HandleTable* theTable = new HandleTable;
    return *theTable;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> inObject)
{
    if (!inObject)
        return nullptr;
    HANDLE theHandle = inObject.get();
    HandleTable& theTable = Table();
    std::lock_guard theGuard(theTable.lock);
    theTable.objects.emplace(theHandle, std::move(inObject));
    return theHandle;
}

std::shared_ptr<KernelObject> LookupKernelObject(HANDLE inHandle)
{
    HandleTable& theTable = Table();
    std::lock_guard theGuard(theTable.lock);
    auto theFound = theTable.objects.find(inHandle);
    if (theFound == theTable.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return theFound->second;
}

void SetInvalidHandleError()
{
    SetLastError(ERROR_INVALID_HANDLE);
}

}  // namespace ferrolift::platform

using namespace ferrolift::platform;

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    std::shared_ptr<KernelObject> theObject;
    {
        HandleTable& theTable = Table();
        std::lock_guard theGuard(theTable.lock);
        auto theFound = theTable.objects.find(hObject);
        if (theFound == theTable.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        theObject = std::move(theFound->second);
        theTable.objects.erase(theFound);
    }
    // Close and the destructor run outside the table lock: they may do I/O.
    return theObject->Close();
}

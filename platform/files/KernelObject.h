// KernelObject.h: the one handle model for every kernel handle (files, mappings, tokens).
// A HANDLE is the address of a KernelObject held in a process-wide table; CloseHandle
// removes it from the table whatever its kind. Calls that are running on the object keep
// it alive through their shared_ptr, so a concurrent CloseHandle never frees it under them.
//
//   class Token : public ferrolift::platform::KernelObject { ... };   // releases in ~Token
//   HANDLE theHandle = ferrolift::platform::InsertHandle(std::make_shared<Token>(...));
//   if (auto theToken = ferrolift::platform::LookupHandle<Token>(theHandle)) { ... }
//   CloseHandle(theHandle);   // ~Token runs once the last user lets go
#pragma once

#include "platform/types/WinTypes.h"

#include <memory>

namespace ferrolift::platform {

/// Base of every object a HANDLE can name. Derive from it and release the operating-system
/// resource in the destructor.
class KernelObject {
public:
    virtual ~KernelObject() = default;

    /// Called by CloseHandle when the handle goes away, before the table drops its
    /// reference. Returning FALSE (with the last error set) makes CloseHandle fail; the
    /// handle is gone either way. The default does nothing and succeeds.
    virtual BOOL Close() noexcept { return TRUE; }
};

/// Enters inObject into the handle table and returns its handle (never null or
/// INVALID_HANDLE_VALUE). Returns nullptr only for a null inObject.
HANDLE InsertHandle(std::shared_ptr<KernelObject> inObject);

/// The object behind inHandle, or null for a handle that is not open (the last error is
/// then ERROR_INVALID_HANDLE).
std::shared_ptr<KernelObject> LookupKernelObject(HANDLE inHandle);

/// Sets the last error to ERROR_INVALID_HANDLE (for LookupHandle; avoids pulling the error
/// header into every user of this one).
void SetInvalidHandleError();

/// The object behind inHandle when it is a T; null (last error ERROR_INVALID_HANDLE)
/// when the handle is not open or names another kind of object.
template <class T>
std::shared_ptr<T> LookupHandle(HANDLE inHandle)
{
    std::shared_ptr<T> theObject = std::dynamic_pointer_cast<T>(LookupKernelObject(inHandle));
    if (!theObject)
        SetInvalidHandleError();
    return theObject;
}

}  // namespace ferrolift::platform

extern "C" {
/// Closes a handle of any kind. FALSE with ERROR_INVALID_HANDLE (6) for a handle that is
/// not open (null, INVALID_HANDLE_VALUE, already closed).
BOOL WINAPI CloseHandle(HANDLE hObject);
}

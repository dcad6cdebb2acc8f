// The thread's last-error code and the local heap.
#include "platform/errors/Errors.h"

#include <cstdlib>
#include <cstring>

namespace {
thread_local DWORD tLastError = ERROR_SUCCESS;
}  // namespace

extern "C" DWORD WINAPI GetLastError()
{
    return tLastError;
}

extern "C" void WINAPI SetLastError(DWORD dwErrCode)
{
    tLastError = dwErrCode;
}

extern "C" HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes)
{
    // malloc(0) may return null; a zero-byte block must still be a valid pointer.
    void* theBlock = (uFlags & LMEM_ZEROINIT) ? std::calloc(uBytes ? uBytes : 1, 1) : std::malloc(uBytes ? uBytes : 1);
    if (theBlock == nullptr)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return theBlock;
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL hMem)
{
    std::free(hMem);
    return nullptr;
}

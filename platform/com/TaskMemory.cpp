// Task memory: the allocator that COM calls use to hand memory across a boundary
// (ProgIDFromCLSID's string, for instance). It is the C heap.
#include "platform/com/Com.h"

#include <cstdlib>

extern "C" {

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb)
{
    // A zero-byte request still yields a distinct block, as on Windows.
    return std::malloc(cb ? cb : 1);
}

LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb)
{
    return std::realloc(pv, cb ? cb : 1);
}

void WINAPI CoTaskMemFree(LPVOID pv)
{
    std::free(pv);
}

}  // extern "C"

// CoInitializeEx / CoUninitialize. There are no apartments here: every interface
// pointer may be used on any thread, so initialisation only counts per thread (S_OK
// for the first call on a thread, S_FALSE for the next) and nothing requires it.
#include "platform/com/Com.h"

namespace {

thread_local unsigned long tInitCount = 0;

}  // namespace

extern "C" {

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit)
{
    if (pvReserved)
        return E_INVALIDARG;
    if (dwCoInit & ~static_cast<DWORD>(0xF))
        return E_INVALIDARG;
    return tInitCount++ == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI CoInitialize(LPVOID pvReserved)
{
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void WINAPI CoUninitialize()
{
    if (tInitCount > 0)
        --tInitCount;
}

}  // extern "C"

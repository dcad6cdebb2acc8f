// ModuleInstance.cpp: the component's module found from the address of its own code.
#include "support/ModuleInstance.h"

HMODULE ModuleInstance()
{
    HMODULE theModule = nullptr;
    const DWORD theFlags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExA(theFlags, reinterpret_cast<LPCSTR>(&ModuleInstance), &theModule))
        return nullptr;
    return theModule;
}

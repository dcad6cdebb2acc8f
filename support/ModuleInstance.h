// ModuleInstance.h: the handle of the module that contains the component code (the
// shared library, or the program when the component is linked statically).
//
//   char thePath[MAX_PATH];
//   GetModuleFileNameA(ModuleInstance(), thePath, MAX_PATH);
#pragma once

#include <windows.h>

/// The component's own module handle (its load address); null if it cannot be found.
HMODULE ModuleInstance();

// Exports.h: the module's four exported entry points, the only symbols it exports.
//
//   HMODULE theModule = LoadLibraryA("libferrolift.so");
//   auto theRegister = reinterpret_cast<HRESULT (*)()>(GetProcAddress(theModule, "DllRegisterServer"));
#pragma once

#include <windows.h>

#define FERROLIFT_EXPORT extern "C" __attribute__((visibility("default")))

/// The class factory of inClsid asked for inIid: E_POINTER for a null outObject,
/// CLASS_E_CLASSNOTAVAILABLE for a class not in the table.
FERROLIFT_EXPORT HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID inClsid, REFIID inIid, LPVOID* outObject);

/// S_OK when no object and no server lock is alive, S_FALSE otherwise.
FERROLIFT_EXPORT HRESULT STDMETHODCALLTYPE DllCanUnloadNow();

/// Writes the class and type library entries, then ModulePath, the event source and an
/// information entry. Returns the result of the class and type library steps.
FERROLIFT_EXPORT HRESULT STDMETHODCALLTYPE DllRegisterServer();

/// Removes the class and type library entries (settings and event source stay). S_OK.
FERROLIFT_EXPORT HRESULT STDMETHODCALLTYPE DllUnregisterServer();

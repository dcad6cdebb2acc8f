// TypeLibRegistration.h: the registry entries of the type library. The platform has no
// type library files, so registration writes what a type library registration would:
// HKCR\TypeLib\{LIBID}\4.0 (win32 path, HELPDIR, FLAGS) and HKCR\Interface\{IID}.
//
//   HRESULT hr = RegisterTypeLibrary(ModuleFilePath());
#pragma once

#include <string>

#include <windows.h>

/// Writes the type library and interface keys for the module at inModulePath. Returns
/// S_OK or the registry failure as an HRESULT.
HRESULT RegisterTypeLibrary(const std::string& inModulePath);

/// Removes them; missing keys are no failure. Returns S_OK or the first failure.
HRESULT UnregisterTypeLibrary();

// RegistryWriter.h: small registry steps for self-registration.
//
//   SetKeyValue(HKEY_CLASSES_ROOT, "Ferrolift4.XForm.4", nullptr, "XForm Class");
//   DeleteKeyTree(HKEY_CLASSES_ROOT, "Ferrolift4.XForm.4");
#pragma once

#include <string>

#include <windows.h>

/// Creates inPath under inRoot (with missing parents) and, when inValue is not null, sets
/// the REG_SZ value inName (null: the default value). Returns a Win32 code.
LSTATUS SetKeyValue(HKEY inRoot, const std::string& inPath, const char* inName, const char* inValue);

/// Removes inPath with all its subkeys; a missing key is success. Returns a Win32 code.
LSTATUS DeleteKeyTree(HKEY inRoot, const std::string& inPath);

/// True when inPath exists under inRoot.
bool KeyExists(HKEY inRoot, const std::string& inPath);

/// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, as the registry writes GUIDs.
std::string GuidText(REFGUID inGuid);

/// The component module's full path, or empty when it cannot be found.
std::string ModuleFilePath();

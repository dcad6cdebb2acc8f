// RegistryWriter.cpp: registry steps shared by class and type library registration.
#include "server/RegistryWriter.h"

#include <cstdio>
#include <cstring>

#include "support/ModuleInstance.h"
#include "platform/common/RegistryKey.h"

LSTATUS SetKeyValue(HKEY inRoot, const std::string& inPath, const char* inName, const char* inValue)
{
    RegistryKey theKey;
    LSTATUS theStatus = RegCreateKeyExA(inRoot, inPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                        nullptr, theKey.put(), nullptr);
    if (theStatus != ERROR_SUCCESS || inValue == nullptr)
        return theStatus;
    return RegSetValueExA(theKey.get(), inName, 0, REG_SZ, reinterpret_cast<const BYTE*>(inValue),
                          static_cast<DWORD>(std::strlen(inValue) + 1));
}

LSTATUS DeleteKeyTree(HKEY inRoot, const std::string& inPath)
{
    LSTATUS theStatus = RegDeleteTreeA(inRoot, inPath.c_str());
    if (theStatus == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (theStatus != ERROR_SUCCESS)
        return theStatus;
    // RegDeleteTree empties the key; the key itself goes with RegDeleteKey.
    theStatus = RegDeleteKeyA(inRoot, inPath.c_str());
    return theStatus == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : theStatus;
}

bool KeyExists(HKEY inRoot, const std::string& inPath)
{
    RegistryKey theKey;
    return RegOpenKeyExA(inRoot, inPath.c_str(), 0, KEY_READ, theKey.put()) == ERROR_SUCCESS;
}

std::string GuidText(REFGUID inGuid)
{
    char theText[40];
    std::snprintf(theText, sizeof theText, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(inGuid.Data1), inGuid.Data2, inGuid.Data3, inGuid.Data4[0], inGuid.Data4[1],
                  inGuid.Data4[2], inGuid.Data4[3], inGuid.Data4[4], inGuid.Data4[5], inGuid.Data4[6],
                  inGuid.Data4[7]);
    return theText;
}

std::string ModuleFilePath()
{
    char thePath[MAX_PATH] = {};
    const DWORD theLength = GetModuleFileNameA(ModuleInstance(), thePath, MAX_PATH);
    if (theLength == 0 || theLength >= MAX_PATH)
        return std::string();
    return std::string(thePath, theLength);
}

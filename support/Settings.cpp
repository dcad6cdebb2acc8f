// Settings.cpp: the settings key: DWORD reads with caller defaults, ModulePath, and the
// process-wide read chunk size.
#include "support/Settings.h"

#include <atomic>
#include <cstring>

#include "support/ModuleInstance.h"
#include "platform/common/RegistryKey.h"

namespace {

// Written without a lock by every reader of the setting; atomic only so that concurrent
// readers and writers stay well defined.
std::atomic<DWORD> gReadChunkSize{kDefaultReadChunkSize};

}  // namespace

bool ReadSettingDword(const char* inName, DWORD* inOutValue)
{
    if (inOutValue == nullptr)
        return false;
    RegistryKey theKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, theKey.put()) != ERROR_SUCCESS)
        return false;
    BYTE theBytes[4] = {};
    DWORD theSize = sizeof theBytes;
    if (RegQueryValueExA(theKey.get(), inName, nullptr, nullptr, theBytes, &theSize) != ERROR_SUCCESS)
        return false;
    // Whatever the registry type, up to four bytes count as a little-endian number.
    DWORD theValue = 0;
    for (DWORD i = 0; i < theSize && i < 4; ++i)
        theValue |= static_cast<DWORD>(theBytes[i]) << (8 * i);
    *inOutValue = theValue;
    return true;
}

DWORD WriteModulePath()
{
    char thePath[MAX_PATH] = {};
    DWORD theLength = GetModuleFileNameA(ModuleInstance(), thePath, MAX_PATH);
    if (theLength == 0 || theLength >= MAX_PATH) {
        DWORD theError = GetLastError();
        return theError != 0 ? theError : ERROR_INSUFFICIENT_BUFFER;
    }
    RegistryKey theKey;
    LSTATUS theStatus = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, const_cast<LPSTR>(""), 0, KEY_WRITE,
                                        nullptr, theKey.put(), nullptr);
    if (theStatus != ERROR_SUCCESS)
        return static_cast<DWORD>(theStatus);
    return static_cast<DWORD>(RegSetValueExA(theKey.get(), "ModulePath", 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(thePath), theLength + 1));
}

DWORD ReadModulePath(const char* inServer, char* outBuffer, DWORD inSize)
{
    if (outBuffer == nullptr || inSize == 0)
        return ERROR_INVALID_PARAMETER;
    outBuffer[0] = '\0';
    RegistryKey theMachine;
    const char* theServer = (inServer != nullptr && inServer[0] != '\0') ? inServer : nullptr;
    LSTATUS theStatus = RegConnectRegistryA(theServer, HKEY_LOCAL_MACHINE, theMachine.put());
    if (theStatus != ERROR_SUCCESS)
        return static_cast<DWORD>(theStatus);
    RegistryKey theKey;
    theStatus = RegOpenKeyExA(theMachine.get(), kSettingsKey, 0, KEY_READ, theKey.put());
    if (theStatus != ERROR_SUCCESS)
        return static_cast<DWORD>(theStatus);
    DWORD theSize = inSize;
    theStatus = RegQueryValueExA(theKey.get(), "ModulePath", nullptr, nullptr, reinterpret_cast<BYTE*>(outBuffer),
                                 &theSize);
    if (theStatus != ERROR_SUCCESS) {
        outBuffer[0] = '\0';
        return static_cast<DWORD>(theStatus);
    }
    // A value stored without its terminator still comes back as a string.
    outBuffer[theSize < inSize ? theSize : inSize - 1] = '\0';
    return ERROR_SUCCESS;
}

DWORD RefreshReadChunkSize()
{
    DWORD theValue = gReadChunkSize.load(std::memory_order_relaxed);
    if (ReadSettingDword("ReadChunkSize", &theValue))
        gReadChunkSize.store(theValue, std::memory_order_relaxed);
    return theValue;
}

DWORD CurrentReadChunkSize()
{
    return gReadChunkSize.load(std::memory_order_relaxed);
}

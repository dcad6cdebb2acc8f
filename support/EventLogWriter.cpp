// EventLogWriter.cpp: one-string entries under the component's event source, and the
// source's registration (message file = the module) when it is missing.
#include "support/EventLogWriter.h"

#include <cstring>
#include <string>

#include "platform/common/RegistryKey.h"
#include "support/Settings.h"
#include "support/Utilities.h"

namespace {

constexpr WORD kEventCategory = 1;
constexpr DWORD kEventId = 0x1000;
constexpr size_t kMaxSourceLength = 64;

DWORD SetDwordValue(HKEY inKey, const char* inName, DWORD inValue)
{
    return static_cast<DWORD>(
        RegSetValueExA(inKey, inName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&inValue), sizeof inValue));
}

DWORD SetStringValue(HKEY inKey, const char* inName, const char* inValue)
{
    return static_cast<DWORD>(RegSetValueExA(inKey, inName, 0, REG_SZ, reinterpret_cast<const BYTE*>(inValue),
                                             static_cast<DWORD>(std::strlen(inValue) + 1)));
}

}  // namespace

DWORD LogEvent(const char* inText, WORD inType)
{
    std::string theCopy;
    try {
        theCopy = inText != nullptr ? inText : "";
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    EnsureEventSource(nullptr, kEventSourceName);
    HANDLE theSource = RegisterEventSourceA(nullptr, kEventSourceName);
    if (theSource == nullptr)
        return GetLastError();
    // The event viewer shows entries on one line.
    ReplaceChar(theCopy.data(), '\r', ' ');
    ReplaceChar(theCopy.data(), '\n', ' ');
    LPCSTR theStrings[1] = {theCopy.c_str()};
    ReportEventA(theSource, inType, kEventCategory, kEventId, nullptr, 1, 0, theStrings, nullptr);
    DeregisterEventSource(theSource);
    return ERROR_SUCCESS;
}

DWORD EnsureEventSource(const char* inServer, const char* inSource)
{
    const size_t theSourceLength = inSource != nullptr ? std::strlen(inSource) : 0;
    if (theSourceLength == 0 || theSourceLength > kMaxSourceLength)
        return ERROR_INVALID_DATA;
    const std::string theKeyName = std::string(kEventSourceKeyPrefix) + inSource;
    const char* theServer = (inServer != nullptr && inServer[0] != '\0') ? inServer : nullptr;
    RegistryKey theMachine;
    LSTATUS theStatus = RegConnectRegistryA(theServer, HKEY_LOCAL_MACHINE, theMachine.put());
    if (theStatus != ERROR_SUCCESS)
        return static_cast<DWORD>(theStatus);
    RegistryKey theKey;
    if (RegOpenKeyExA(theMachine.get(), theKeyName.c_str(), 0, KEY_READ, theKey.put()) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    char theModulePath[MAX_PATH];
    if (DWORD theError = ReadModulePath(inServer, theModulePath, sizeof theModulePath))
        return theError;
    theStatus = RegCreateKeyExA(theMachine.get(), theKeyName.c_str(), 0, const_cast<LPSTR>(""), 0, KEY_WRITE, nullptr,
                                theKey.put(), nullptr);
    if (theStatus != ERROR_SUCCESS)
        return static_cast<DWORD>(theStatus);
    if (DWORD theError = SetDwordValue(theKey.get(), "CategoryCount", 1))
        return theError;
    if (DWORD theError = SetStringValue(theKey.get(), "CategoryMessageFile", theModulePath))
        return theError;
    if (DWORD theError = SetStringValue(theKey.get(), "EventMessageFile", theModulePath))
        return theError;
    return SetDwordValue(theKey.get(), "TypesSupported", 7);
}

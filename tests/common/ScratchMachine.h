// ScratchMachine.h: a throw-away registry file and event log for one test, so tests never
// touch the real machine state and can read back what the component wrote.
//
//   ScratchMachine theMachine;                       // sets FERROLIFT_REGISTRY / _EVENTLOG
//   SetSettingDword("LogErrors", 1);
//   EXPECT_EQ(theMachine.CountEvents("Assertion Failed"), 1);
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/common/RegistryKey.h"
#include "support/Settings.h"

class ScratchMachine {
public:
    ScratchMachine()
    {
        std::string theTemplate = (std::filesystem::temp_directory_path() / "ferrolift-server-XXXXXX").string();
        mFolder = mkdtemp(theTemplate.data());
        mRegistry = mFolder + "/registry.reg";
        mEventLog = mFolder + "/eventlog.jsonl";
        setenv("FERROLIFT_REGISTRY", mRegistry.c_str(), 1);
        setenv("FERROLIFT_EVENTLOG", mEventLog.c_str(), 1);
    }
    ~ScratchMachine()
    {
        unsetenv("FERROLIFT_REGISTRY");
        unsetenv("FERROLIFT_EVENTLOG");
        std::error_code theIgnored;
        std::filesystem::remove_all(mFolder, theIgnored);
    }
    ScratchMachine(const ScratchMachine&) = delete;
    ScratchMachine& operator=(const ScratchMachine&) = delete;

    /// The event log, one JSON line per entry.
    std::vector<std::string> Events() const
    {
        std::vector<std::string> theLines;
        std::ifstream theFile(mEventLog);
        for (std::string theLine; std::getline(theFile, theLine);)
            theLines.push_back(theLine);
        return theLines;
    }

    /// Entries whose line contains inText.
    int CountEvents(const std::string& inText) const
    {
        int theCount = 0;
        for (const std::string& theLine : Events())
            theCount += theLine.find(inText) != std::string::npos ? 1 : 0;
        return theCount;
    }

    const std::string& Folder() const { return mFolder; }

private:
    std::string mFolder;
    std::string mRegistry;
    std::string mEventLog;
};

/// Sets a REG_DWORD value in the settings key.
inline void SetSettingDword(const char* inName, DWORD inValue)
{
    RegistryKey theKey;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, theKey.put(), nullptr);
    RegSetValueExA(theKey.get(), inName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&inValue), sizeof inValue);
}

/// Sets a value of any type and size in the settings key.
inline void SetSettingBytes(const char* inName, DWORD inType, const void* inData, DWORD inSize)
{
    RegistryKey theKey;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, theKey.put(), nullptr);
    RegSetValueExA(theKey.get(), inName, 0, inType, static_cast<const BYTE*>(inData), inSize);
}

/// Removes a value from the settings key.
inline void DeleteSetting(const char* inName)
{
    RegistryKey theKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_WRITE, theKey.put()) == ERROR_SUCCESS)
        RegDeleteValueA(theKey.get(), inName);
}

/// The default value (or inName) of a key as text; "<missing>" when absent.
inline std::string ReadRegistryString(HKEY inRoot, const std::string& inPath, const char* inName = nullptr)
{
    RegistryKey theKey;
    if (RegOpenKeyExA(inRoot, inPath.c_str(), 0, KEY_READ, theKey.put()) != ERROR_SUCCESS)
        return "<missing>";
    char theText[1024] = {};
    DWORD theSize = sizeof theText - 1;
    if (RegQueryValueExA(theKey.get(), inName, nullptr, nullptr, reinterpret_cast<BYTE*>(theText), &theSize) !=
        ERROR_SUCCESS)
        return "<missing>";
    return theText;
}

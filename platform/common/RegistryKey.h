// RegistryKey.h: an owned registry key handle, closed when the owner goes.
//
//   RegistryKey theKey;
//   if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, theKey.put()) == ERROR_SUCCESS)
//       RegQueryValueExA(theKey.get(), "LogErrors", nullptr, nullptr, theBytes, &theSize);
#pragma once

#include <utility>

#include <windows.h>

/// Move-only owner of one HKEY.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { reset(); }
    RegistryKey(RegistryKey&& inOther) noexcept : mKey(std::exchange(inOther.mKey, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& inOther) noexcept
    {
        if (this != &inOther) {
            reset();
            mKey = std::exchange(inOther.mKey, nullptr);
        }
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    /// The key, still owned.
    HKEY get() const { return mKey; }
    /// Closes the present key and returns the address to receive a new one.
    HKEY* put()
    {
        reset();
        return &mKey;
    }
    /// Closes the key.
    void reset()
    {
        if (mKey != nullptr)
            RegCloseKey(std::exchange(mKey, nullptr));
    }

private:
    HKEY mKey = nullptr;
};

// Registry calls on keys: open, create, enumerate, delete, close, connect.
#include "platform/registry/Registry.h"

#include "platform/registry/KeyAccess.h"
#include "platform/registry/KeyHandles.h"
#include "platform/registry/RegText.h"
#include "platform/registry/RegistryStore.h"

#include <algorithm>
#include <unistd.h>

using namespace ferrolift::platform::reg;

namespace {

// The handle's key as a path, plus inSubkey.
std::vector<std::string> Joined(const OpenKey& inKey, const std::vector<std::string>& inSubkey)
{
    std::vector<std::string> thePath = inKey.path;
    thePath.insert(thePath.end(), inSubkey.begin(), inSubkey.end());
    return thePath;
}

LSTATUS Prepare(HKEY inKey, const char* inSubkey, OpenKey& outKey, std::vector<std::string>& outNames)
{
    if (!ResolveKeyHandle(inKey, outKey))
        return ERROR_INVALID_HANDLE;
    return SplitSubkey(inSubkey, outNames);
}

bool IsThisMachine(LPCSTR inName)
{
    if (inName == nullptr)
        return true;
    std::string_view theName(inName);
    while (!theName.empty() && theName.front() == '\\')
        theName.remove_prefix(1);
    if (theName.empty() || FoldName(theName) == "LOCALHOST" || theName == "." || theName == "127.0.0.1")
        return true;
    char theHost[256] = {};
    if (::gethostname(theHost, sizeof theHost - 1) != 0)
        return false;
    const std::string_view theOwn(theHost);
    const std::string theFolded = FoldName(theName);
    return theFolded == FoldName(theOwn) || theFolded == FoldName(theOwn.substr(0, theOwn.find('.')));
}

}  // namespace

extern "C" LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                        PHKEY phkResult)
{
    if (phkResult == nullptr || (ulOptions & ~static_cast<DWORD>(REG_OPTION_OPEN_LINK)) != 0)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    OpenKey theKey;
    std::vector<std::string> theNames;
    LSTATUS theStatus = Prepare(hKey, lpSubKey, theKey, theNames);
    if (theStatus != ERROR_SUCCESS)
        return theStatus;
    theStatus = Store::Instance().Read([&](Tree& inTree) -> LSTATUS {
        LSTATUS theFound = ERROR_SUCCESS;
        LocateKey(inTree, theKey, theNames, theFound);
        return theFound;
    });
    if (theStatus != ERROR_SUCCESS)
        return theStatus;
    *phkResult =
        NewKeyHandle({.root = theKey.root, .path = Joined(theKey, theNames), .access = EffectiveAccess(samDesired)});
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                        PHKEY phkResult)
{
    const std::string theName = Narrow(lpSubKey);
    return RegOpenKeyExA(hKey, lpSubKey ? theName.c_str() : nullptr, ulOptions, samDesired, phkResult);
}

extern "C" LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD dwOptions,
                                          REGSAM samDesired, const struct _SECURITY_ATTRIBUTES*, PHKEY phkResult,
                                          LPDWORD lpdwDisposition)
{
    constexpr DWORD kKnownOptions = REG_OPTION_VOLATILE | REG_OPTION_BACKUP_RESTORE;
    if (phkResult == nullptr || lpSubKey == nullptr || (dwOptions & ~kKnownOptions) != 0)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    OpenKey theKey;
    std::vector<std::string> theNames;
    LSTATUS theStatus = Prepare(hKey, lpSubKey, theKey, theNames);
    if (theStatus != ERROR_SUCCESS)
        return theStatus;
    const std::vector<std::string> thePath = Joined(theKey, theNames);
    if (thePath.size() > kMaxDepth)
        return ERROR_INVALID_PARAMETER;
    DWORD theDisposition = REG_OPENED_EXISTING_KEY;
    theStatus = Store::Instance().Change([&](Tree& inTree, bool& outChanged) -> LSTATUS {
        LSTATUS theFound = ERROR_SUCCESS;
        if (LocateKey(inTree, theKey, theNames, theFound) != nullptr)
            return ERROR_SUCCESS;
        if (theFound != ERROR_FILE_NOT_FOUND)
            return theFound;
        if ((theKey.access & KEY_CREATE_SUB_KEY) == 0)
            return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
        inTree.Root(theKey.root).CreatePath(thePath);
        theDisposition = REG_CREATED_NEW_KEY;
        outChanged = true;
        return ERROR_SUCCESS;
    });
    if (theStatus != ERROR_SUCCESS)
        return theStatus;
    *phkResult = NewKeyHandle({.root = theKey.root, .path = thePath, .access = EffectiveAccess(samDesired)});
    if (lpdwDisposition != nullptr)
        *lpdwDisposition = theDisposition;
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR, DWORD dwOptions,
                                          REGSAM samDesired, const struct _SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                          PHKEY phkResult, LPDWORD lpdwDisposition)
{
    const std::string theName = Narrow(lpSubKey);
    return RegCreateKeyExA(hKey, lpSubKey ? theName.c_str() : nullptr, Reserved, nullptr, dwOptions, samDesired,
                           lpSecurityAttributes, phkResult, lpdwDisposition);
}

extern "C" LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD,
                                        LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    const bool theValid = lpName != nullptr && lpcchName != nullptr;
    return ReadKey(hKey, theValid, KEY_ENUMERATE_SUB_KEYS, [&](const Key& inFound) -> LSTATUS {
        if (dwIndex >= inFound.Subkeys().size())
            return ERROR_NO_MORE_ITEMS;
        auto theIt = inFound.Subkeys().begin();
        std::advance(theIt, dwIndex);
        const LSTATUS theStatus = CopyName(theIt->second->Name(), lpName, lpcchName);
        if (theStatus != ERROR_SUCCESS)
            return theStatus;
        if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0)
            *lpClass = '\0';
        if (lpcchClass != nullptr)
            *lpcchClass = 0;
        if (lpftLastWriteTime != nullptr)
            *lpftLastWriteTime = FILETIME {};
        return ERROR_SUCCESS;
    });
}

extern "C" LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD,
                                           LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                           LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                           LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime)
{
    return ReadKey(hKey, true, KEY_QUERY_VALUE, [&](const Key& inFound) -> LSTATUS {
        DWORD theMaxSubkey = 0, theMaxName = 0, theMaxData = 0;
        for (const auto& theEntry : inFound.Subkeys())
            theMaxSubkey = std::max(theMaxSubkey, static_cast<DWORD>(theEntry.second->Name().size()));
        for (const Value& theValue : inFound.Values()) {
            theMaxName = std::max(theMaxName, static_cast<DWORD>(theValue.name.size()));
            theMaxData = std::max(theMaxData, static_cast<DWORD>(theValue.data.size()));
        }
        if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0)
            *lpClass = '\0';
        for (LPDWORD theZero : {lpcchClass, lpcbMaxClassLen, lpcbSecurityDescriptor})
            if (theZero != nullptr)
                *theZero = 0;
        if (lpcSubKeys != nullptr)
            *lpcSubKeys = static_cast<DWORD>(inFound.Subkeys().size());
        if (lpcbMaxSubKeyLen != nullptr)
            *lpcbMaxSubKeyLen = theMaxSubkey;
        if (lpcValues != nullptr)
            *lpcValues = static_cast<DWORD>(inFound.Values().size());
        if (lpcbMaxValueNameLen != nullptr)
            *lpcbMaxValueNameLen = theMaxName;
        if (lpcbMaxValueLen != nullptr)
            *lpcbMaxValueLen = theMaxData;
        if (lpftLastWriteTime != nullptr)
            *lpftLastWriteTime = FILETIME {};
        return ERROR_SUCCESS;
    });
}

namespace {

// Removes lpSubKey below hKey (hKey's own key when empty); with inWithSubkeys, subkeys are taken
// along, otherwise a key with subkeys is refused.
LSTATUS DeleteKey(HKEY hKey, LPCSTR lpSubKey, bool inWithSubkeys)
{
    OpenKey theKey;
    std::vector<std::string> theNames;
    LSTATUS theStatus = Prepare(hKey, lpSubKey, theKey, theNames);
    if (theStatus != ERROR_SUCCESS)
        return theStatus;
    const std::vector<std::string> thePath = Joined(theKey, theNames);
    if (thePath.empty() || (theNames.empty() && theKey.predefined))
        return ERROR_ACCESS_DENIED;
    return Store::Instance().Change([&](Tree& inTree, bool& outChanged) -> LSTATUS {
        LSTATUS theFound = ERROR_SUCCESS;
        const Key* theTarget = LocateKey(inTree, theKey, theNames, theFound);
        if (theTarget == nullptr)
            return theFound;
        if (!inWithSubkeys && !theTarget->Subkeys().empty())
            return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
        std::vector<std::string> theParentPath(thePath.begin(), thePath.end() - 1);
        inTree.Root(theKey.root).FindPath(theParentPath)->DeleteSubkey(thePath.back());
        outChanged = true;
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    });
}

}  // namespace

extern "C" LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    if (lpSubKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    return DeleteKey(hKey, lpSubKey, false);
}

extern "C" LSTATUS WINAPI RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey)
{
    if (lpSubKey != nullptr && *lpSubKey != '\0')
        return DeleteKey(hKey, lpSubKey, true);
    OpenKey theKey;
    if (!ResolveKeyHandle(hKey, theKey))
        return ERROR_INVALID_HANDLE;
    return Store::Instance().Change([&](Tree& inTree, bool& outChanged) -> LSTATUS {
        LSTATUS theFound = ERROR_SUCCESS;
        Key* theTarget = LocateKey(inTree, theKey, {}, theFound);
        if (theTarget == nullptr)
            return theFound;
        outChanged = !theTarget->Subkeys().empty() || !theTarget->Values().empty();
        if (outChanged) {
            theTarget->ClearSubkeys();
            theTarget->ClearValues();
        }
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    });
}

extern "C" LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    return ferrolift::platform::reg::CloseKeyHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

extern "C" LSTATUS WINAPI RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult)
{
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (!IsThisMachine(lpMachineName))
        return ERROR_BAD_NETPATH;
    if (hKey != HKEY_LOCAL_MACHINE && hKey != HKEY_USERS)
        return ERROR_INVALID_HANDLE;
    OpenKey theKey;
    theKey.root = hKey == HKEY_USERS ? RootId::Users : RootId::LocalMachine;
    theKey.access = KEY_ALL_ACCESS;
    *phkResult = NewKeyHandle(std::move(theKey));
    return ERROR_SUCCESS;
}

namespace ferrolift::platform {

std::string RegistryFileProblem()
{
    return reg::Store::Instance().Problem();
}

}  // namespace ferrolift::platform

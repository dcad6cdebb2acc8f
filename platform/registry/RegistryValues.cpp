// Registry calls on values: query, set, enumerate, delete.
#include "platform/registry/Registry.h"

#include "platform/registry/KeyAccess.h"
#include "platform/registry/KeyHandles.h"
#include "platform/registry/RegText.h"
#include "platform/registry/RegistryStore.h"

#include <cstring>

using namespace ferrolift::platform::reg;

namespace {

bool IsStringType(DWORD inType)
{
    return inType == REG_SZ || inType == REG_EXPAND_SZ || inType == REG_MULTI_SZ;
}

// Stored string data (UTF-16LE) as the A calls see it (UTF-8); other data unchanged.
std::vector<BYTE> AsNarrow(const Value& inValue)
{
    if (!IsStringType(inValue.type))
        return inValue.data;
    std::u16string theUnits;
    for (size_t i = 0; i + 1 < inValue.data.size(); i += 2)
        theUnits += static_cast<char16_t>(inValue.data[i] | (inValue.data[i + 1] << 8));
    const std::string theText = Utf16ToUtf8(theUnits);
    return std::vector<BYTE>(theText.begin(), theText.end());
}

// Data given to RegSetValueExA as it is stored.
std::vector<BYTE> FromNarrow(DWORD inType, const BYTE* inData, DWORD inSize)
{
    if (inData == nullptr)
        return {};
    if (!IsStringType(inType))
        return std::vector<BYTE>(inData, inData + inSize);
    const std::u16string theUnits = Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(inData), inSize));
    std::vector<BYTE> theBytes;
    theBytes.reserve(theUnits.size() * 2);
    for (char16_t theUnit : theUnits) {
        theBytes.push_back(static_cast<BYTE>(theUnit & 0xFF));
        theBytes.push_back(static_cast<BYTE>(theUnit >> 8));
    }
    return theBytes;
}

// The size protocol shared by query and enumeration.
LSTATUS CopyData(const std::vector<BYTE>& inData, LPBYTE outData, LPDWORD inOutSize)
{
    if (inOutSize == nullptr)
        return ERROR_SUCCESS;
    const DWORD theRoom = *inOutSize;
    *inOutSize = static_cast<DWORD>(inData.size());
    if (outData == nullptr)
        return ERROR_SUCCESS;
    if (inData.size() > theRoom)
        return ERROR_MORE_DATA;
    if (!inData.empty())
        std::memcpy(outData, inData.data(), inData.size());
    return ERROR_SUCCESS;
}

LSTATUS QueryValue(HKEY hKey, const char* inName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                   LPDWORD lpcbData, bool inNarrow)
{
    const bool theValid = lpReserved == nullptr && (lpData == nullptr || lpcbData != nullptr);
    return ReadKey(hKey, theValid, KEY_QUERY_VALUE, [&](const Key& inFound) -> LSTATUS {
        const Value* theValue = inFound.FindValue(inName != nullptr ? inName : "");
        if (theValue == nullptr)
            return ERROR_FILE_NOT_FOUND;
        if (lpType != nullptr)
            *lpType = theValue->type;
        return CopyData(inNarrow ? AsNarrow(*theValue) : theValue->data, lpData, lpcbData);
    });
}

LSTATUS SetValue(HKEY hKey, const char* inName, DWORD inType, std::vector<BYTE> inData)
{
    OpenKey theKey;
    if (!ResolveKeyHandle(hKey, theKey))
        return ERROR_INVALID_HANDLE;
    const std::string_view theName(inName != nullptr ? inName : "");
    // The file keeps one value per line: line breaks cannot be part of a name.
    if (theName.size() > kMaxValueNameLength || theName.find_first_of("\r\n") != std::string_view::npos)
        return ERROR_INVALID_PARAMETER;
    if ((theKey.access & KEY_SET_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    return Store::Instance().Change([&](Tree& inTree, bool& outChanged) -> LSTATUS {
        LSTATUS theStatus = ERROR_SUCCESS;
        Key* theFound = theKey.predefined ? &inTree.Root(theKey.root).CreatePath(theKey.path)
                                          : LocateKey(inTree, theKey, {}, theStatus);
        if (theFound == nullptr)
            return theStatus;
        theFound->SetValue(theName, inType, std::move(inData));
        outChanged = true;
        return ERROR_SUCCESS;
    });
}

}  // namespace

extern "C" LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                           LPBYTE lpData, LPDWORD lpcbData)
{
    return QueryValue(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData, true);
}

extern "C" LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                           LPBYTE lpData, LPDWORD lpcbData)
{
    const std::string theName = Narrow(lpValueName);
    return QueryValue(hKey, theName.c_str(), lpReserved, lpType, lpData, lpcbData, false);
}

extern "C" LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                                         DWORD cbData)
{
    if (lpData == nullptr && cbData != 0)
        return ERROR_NOACCESS;
    return SetValue(hKey, lpValueName, dwType, FromNarrow(dwType, lpData, cbData));
}

extern "C" LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                                         DWORD cbData)
{
    if (lpData == nullptr && cbData != 0)
        return ERROR_NOACCESS;
    const std::string theName = Narrow(lpValueName);
    std::vector<BYTE> theData;
    if (lpData != nullptr)
        theData.assign(lpData, lpData + cbData);
    return SetValue(hKey, theName.c_str(), dwType, std::move(theData));
}

extern "C" LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                                        LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    const bool theValid = lpValueName != nullptr && lpcchValueName != nullptr && lpReserved == nullptr &&
                          (lpData == nullptr || lpcbData != nullptr);
    return ReadKey(hKey, theValid, KEY_QUERY_VALUE, [&](const Key& inFound) -> LSTATUS {
        if (dwIndex >= inFound.Values().size())
            return ERROR_NO_MORE_ITEMS;
        const Value& theValue = inFound.Values()[dwIndex];
        const LSTATUS theStatus = CopyName(theValue.name, lpValueName, lpcchValueName);
        if (theStatus != ERROR_SUCCESS)
            return theStatus;
        if (lpType != nullptr)
            *lpType = theValue.type;
        return CopyData(AsNarrow(theValue), lpData, lpcbData);
    });
}

extern "C" LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    OpenKey theKey;
    if (!ResolveKeyHandle(hKey, theKey))
        return ERROR_INVALID_HANDLE;
    if ((theKey.access & KEY_SET_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    const std::string theName(lpValueName != nullptr ? lpValueName : "");
    return Store::Instance().Change([&](Tree& inTree, bool& outChanged) -> LSTATUS {
        LSTATUS theStatus = ERROR_SUCCESS;
        Key* theFound = LocateKey(inTree, theKey, {}, theStatus);
        if (theFound == nullptr)
            return theStatus;
        if (!theFound->DeleteValue(theName))
            return ERROR_FILE_NOT_FOUND;
        outChanged = true;
        return ERROR_SUCCESS;
    });
}

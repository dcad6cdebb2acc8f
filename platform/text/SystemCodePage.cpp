// The system's ANSI and OEM code pages, read from the registry at each call so that an
// administrator's change takes effect without a restart.
#include "platform/text/CodePages.h"

#include <cstdlib>

#include "platform/text/CodePageTable.h"
#include "platform/registry/Registry.h"

namespace {

constexpr const char* kCodePageKey = "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";

/// The code page number stored in value inName (a decimal string, or a DWORD), or
/// inDefault when it is missing, unreadable or names no code page we convert.
UINT ReadCodePageValue(const char* inName, UINT inDefault)
{
    HKEY theKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCodePageKey, 0, KEY_READ, &theKey) != ERROR_SUCCESS)
        return inDefault;
    BYTE theData[32] = {};
    DWORD theType = 0;
    DWORD theSize = sizeof theData - 1;
    const LONG theResult = RegQueryValueExA(theKey, inName, nullptr, &theType, theData, &theSize);
    RegCloseKey(theKey);
    if (theResult != ERROR_SUCCESS)
        return inDefault;
    UINT theNumber = 0;
    if (theType == REG_DWORD && theSize == sizeof(DWORD)) {
        theNumber = theData[0] | (theData[1] << 8) | (theData[2] << 16) | (UINT(theData[3]) << 24);
    } else if (theType == REG_SZ || theType == REG_EXPAND_SZ) {
        char* theEnd = nullptr;
        const unsigned long theParsed = std::strtoul(reinterpret_cast<const char*>(theData), &theEnd, 10);
        if (theEnd == reinterpret_cast<const char*>(theData) || theParsed > 65535)
            return inDefault;
        theNumber = static_cast<UINT>(theParsed);
    }
    // A symbolic number here would make GetACP ask itself.
    if (theNumber <= CP_THREAD_ACP || ferrolift::platform::FindCodePage(theNumber) == nullptr)
        return inDefault;
    return theNumber;
}

} // namespace

extern "C" {

UINT WINAPI GetACP(void)
{
    return ReadCodePageValue("ACP", 1252);
}

UINT WINAPI GetOEMCP(void)
{
    return ReadCodePageValue("OEMCP", 437);
}

} // extern "C"

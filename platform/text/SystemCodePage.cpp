// The system's ANSI and OEM code pages, taken from the registry at each call so that an
// administrator's change takes effect without a restart. Every text conversion asks, so
// the value is kept with the registry generation it was read at.
#include "platform/text/CodePages.h"

#include <atomic>
#include <cstdlib>

#include "platform/text/CodePageTable.h"
#include "platform/registry/Registry.h"
#include "platform/registry/RegistryStore.h"
#include "platform/common/RegistryKey.h"

namespace {

constexpr const char* kCodePageKey = "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";

/// The code page number stored in value inName (a decimal string, or a DWORD), or
/// inDefault when it is missing, unreadable or names no code page we convert.
UINT ReadCodePageValue(const char* inName, UINT inDefault)
{
    RegistryKey theKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCodePageKey, 0, KEY_READ, theKey.put()) != ERROR_SUCCESS)
        return inDefault;
    BYTE theData[32] = {};
    DWORD theType = 0;
    DWORD theSize = sizeof theData - 1;
    const LONG theResult = RegQueryValueExA(theKey.get(), inName, nullptr, &theType, theData, &theSize);
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

/// A code page value and the registry generation it belongs to, in one word: the
/// generation above, the code page number in the low 16 bits.
class CachedCodePage {
public:
    CachedCodePage(const char* inName, UINT inDefault) : mName(inName), mDefault(inDefault) {}

    UINT Get()
    {
        const unsigned long long theGeneration = ferrolift::platform::reg::Store::Instance().Generation();
        const unsigned long long theCached = mValue.load(std::memory_order_acquire);
        if (theCached != 0 && (theCached >> 16) == (theGeneration & kGenerationMask))
            return static_cast<UINT>(theCached & 0xFFFF);
        const UINT theNumber = ReadCodePageValue(mName, mDefault);
        mValue.store(((theGeneration & kGenerationMask) << 16) | theNumber, std::memory_order_release);
        return theNumber;
    }

private:
    static constexpr unsigned long long kGenerationMask = (1ULL << 48) - 1;
    const char* mName;
    UINT mDefault;
    std::atomic<unsigned long long> mValue{0};   // 0: nothing read yet
};

CachedCodePage gAnsiCodePage("ACP", 1252);
CachedCodePage gOemCodePage("OEMCP", 437);

} // namespace

extern "C" {

UINT WINAPI GetACP(void)
{
    return gAnsiCodePage.Get();
}

UINT WINAPI GetOEMCP(void)
{
    return gOemCodePage.Get();
}

} // extern "C"

// Checks and copies shared by the key and value calls.
#include "platform/registry/KeyAccess.h"

#include "platform/registry/KeyHandles.h"
#include "platform/registry/RegText.h"
#include "platform/registry/RegistryStore.h"

#include <cstring>

namespace ferrolift::platform::reg {

LSTATUS ReadKey(HKEY inKey, bool inArgumentsValid, REGSAM inNeeded, const std::function<LSTATUS(const Key&)>& inRead)
{
    OpenKey theKey;
    if (!ResolveKeyHandle(inKey, theKey))
        return ERROR_INVALID_HANDLE;
    if (!inArgumentsValid)
        return ERROR_INVALID_PARAMETER;
    if ((theKey.access & inNeeded) == 0)
        return ERROR_ACCESS_DENIED;
    return Store::Instance().Read([&](Tree& inTree) -> LSTATUS {
        LSTATUS theStatus = ERROR_SUCCESS;
        const Key* theFound = LocateKey(inTree, theKey, {}, theStatus);
        if (theFound == nullptr)
            return theStatus;
        return inRead(*theFound);
    });
}

LSTATUS CopyName(const std::string& inName, LPSTR outName, LPDWORD inOutCount)
{
    if (inName.size() + 1 > *inOutCount)
        return ERROR_MORE_DATA;
    std::memcpy(outName, inName.c_str(), inName.size() + 1);
    *inOutCount = static_cast<DWORD>(inName.size());
    return ERROR_SUCCESS;
}

std::string Narrow(LPCWSTR inText)
{
    if (inText == nullptr)
        return {};
    return Utf16ToUtf8(std::u16string_view(inText));
}

}  // namespace ferrolift::platform::reg

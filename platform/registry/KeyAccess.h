// KeyAccess.h: what the key and value calls share: the checks before a key is read,
// the copy of a name into a caller's buffer, and names of the wide calls as UTF-8.
//
//   return ReadKey(hKey, lpName != nullptr, KEY_QUERY_VALUE, [&](const Key& inKey) -> LSTATUS {
//       return inKey.Values().empty() ? ERROR_NO_MORE_ITEMS : ERROR_SUCCESS;
//   });
#pragma once

#include "platform/registry/RegTree.h"
#include "platform/registry/Registry.h"

#include <functional>
#include <string>

namespace ferrolift::platform::reg {

/// Runs inRead on the key inKey stands for, after the checks in the order the calls
/// answer them: ERROR_INVALID_HANDLE for no open key, ERROR_INVALID_PARAMETER when not
/// inArgumentsValid, ERROR_ACCESS_DENIED when the handle lacks inNeeded, then the
/// errors of a key deleted since it was opened.
LSTATUS ReadKey(HKEY inKey, bool inArgumentsValid, REGSAM inNeeded, const std::function<LSTATUS(const Key&)>& inRead);

/// Copies inName with its terminator into outName of *inOutCount characters and stores
/// its length there; ERROR_MORE_DATA (nothing copied) when it does not fit.
LSTATUS CopyName(const std::string& inName, LPSTR outName, LPDWORD inOutCount);

/// A wide name as UTF-8; "" for null.
std::string Narrow(LPCWSTR inText);

}  // namespace ferrolift::platform::reg

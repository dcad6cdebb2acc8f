// KeyHandles.h: what an HKEY stands for. The predefined roots are fixed values; every
// other handle is an entry of a process-wide table naming a root, a path and the access
// it was opened with. Paths, not tree nodes, so handles survive reloads of the file.
//
//   OpenKey theKey;
//   if (!ResolveKeyHandle(hKey, theKey)) return ERROR_INVALID_HANDLE;
//   HKEY theCopy = NewKeyHandle(theKey);
#pragma once

#include "platform/registry/Registry.h"
#include "platform/registry/RegTree.h"

#include <string>
#include <vector>

namespace ferrolift::platform::reg {

/// An open key.
struct OpenKey {
    RootId root = RootId::LocalMachine;
    std::vector<std::string> path;  // subkey names below the root
    REGSAM access = 0;              // KEY_* rights, generic rights expanded
    bool predefined = false;        // a root (or HKEY_CLASSES_ROOT): never "deleted"
};

/// Looks a handle up; false for a value that is no open key.
bool ResolveKeyHandle(HKEY inKey, OpenKey& outKey);
/// Registers an open key and returns its new handle.
HKEY NewKeyHandle(OpenKey inKey);
/// Forgets a handle; false when it was not open. Predefined roots are accepted.
bool CloseKeyHandle(HKEY inKey);
/// Splits a subkey name ("A\\B"; null or "" is none; one trailing backslash is allowed)
/// into names: ERROR_BAD_PATHNAME (161) for a leading backslash or an empty name,
/// ERROR_INVALID_PARAMETER (87) for a name longer than 255 or holding CR or LF.
LSTATUS SplitSubkey(const char* inSubkey, std::vector<std::string>& outNames);

/// The key of inKey, then inSubkey below it. Null with outStatus ERROR_KEY_DELETED when
/// inKey's own key is gone (a predefined root never is: its missing path reads as empty),
/// ERROR_FILE_NOT_FOUND when the subkey is missing.
Key* LocateKey(Tree& inTree, const OpenKey& inKey, const std::vector<std::string>& inSubkey, LSTATUS& outStatus);

/// samDesired with generic and maximum rights turned into KEY_* rights.
REGSAM EffectiveAccess(REGSAM inDesired);

}  // namespace ferrolift::platform::reg

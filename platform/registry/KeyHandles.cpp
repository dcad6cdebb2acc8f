// The table of open registry keys.
#include "platform/registry/KeyHandles.h"

#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace ferrolift::platform::reg {

namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<const void*, std::unique_ptr<OpenKey>> keys;
};

HandleTable& Table()
{
    static HandleTable theTable;
    return theTable;
}

bool Predefined(HKEY inKey, OpenKey& outKey)
{
    outKey = OpenKey {};
    outKey.access = KEY_ALL_ACCESS;
    outKey.predefined = true;
    if (inKey == HKEY_LOCAL_MACHINE)
        outKey.root = RootId::LocalMachine;
    else if (inKey == HKEY_CURRENT_USER)
        outKey.root = RootId::CurrentUser;
    else if (inKey == HKEY_USERS)
        outKey.root = RootId::Users;
    else if (inKey == HKEY_CLASSES_ROOT)
        outKey.path = {"SOFTWARE", "Classes"};
    else
        return false;
    return true;
}

}  // namespace

bool ResolveKeyHandle(HKEY inKey, OpenKey& outKey)
{
    if (Predefined(inKey, outKey))
        return true;
    std::lock_guard theGuard(Table().mutex);
    const auto theIt = Table().keys.find(inKey);
    if (theIt == Table().keys.end())
        return false;
    outKey = *theIt->second;
    return true;
}

HKEY NewKeyHandle(OpenKey inKey)
{
    auto theKey = std::make_unique<OpenKey>(std::move(inKey));
    HKEY theHandle = reinterpret_cast<HKEY>(theKey.get());
    std::lock_guard theGuard(Table().mutex);
    Table().keys.emplace(theKey.get(), std::move(theKey));
    return theHandle;
}

bool CloseKeyHandle(HKEY inKey)
{
    OpenKey theRoot;
    if (Predefined(inKey, theRoot))
        return true;
    std::lock_guard theGuard(Table().mutex);
    return Table().keys.erase(inKey) != 0;
}

LSTATUS SplitSubkey(const char* inSubkey, std::vector<std::string>& outNames)
{
    outNames.clear();
    if (inSubkey == nullptr || *inSubkey == '\0')
        return ERROR_SUCCESS;
    std::string_view theRest(inSubkey);
    if (theRest.front() == '\\')
        return ERROR_BAD_PATHNAME;
    if (theRest.back() == '\\')
        theRest.remove_suffix(1);
    while (true) {
        const size_t theSlash = theRest.find('\\');
        const std::string_view theName = theRest.substr(0, theSlash);
        if (theName.empty())
            return ERROR_BAD_PATHNAME;
        // The file keeps one key per line: line breaks cannot be part of a name.
        if (theName.size() > kMaxKeyNameLength || theName.find_first_of("\r\n") != std::string_view::npos)
            return ERROR_INVALID_PARAMETER;
        outNames.emplace_back(theName);
        if (theSlash == std::string_view::npos)
            return ERROR_SUCCESS;
        theRest.remove_prefix(theSlash + 1);
    }
}

Key* LocateKey(Tree& inTree, const OpenKey& inKey, const std::vector<std::string>& inSubkey, LSTATUS& outStatus)
{
    Key& theRoot = inTree.Root(inKey.root);
    Key* theBase = theRoot.FindPath(inKey.path);
    if (theBase == nullptr && !inKey.predefined) {
        outStatus = ERROR_KEY_DELETED;
        return nullptr;
    }
    Key* theKey = theBase != nullptr ? theBase->FindPath(inSubkey) : nullptr;
    if (theKey == nullptr && !(theBase == nullptr && inSubkey.empty())) {
        outStatus = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (theKey == nullptr) {
        // HKEY_CLASSES_ROOT before anything was written below it: an empty key.
        static Key theEmpty;
        theKey = &theEmpty;
    }
    outStatus = ERROR_SUCCESS;
    return theKey;
}

REGSAM EffectiveAccess(REGSAM inDesired)
{
    constexpr REGSAM kGenericRead = 0x80000000U, kGenericWrite = 0x40000000U, kGenericExecute = 0x20000000U,
                     kGenericAll = 0x10000000U, kMaximumAllowed = 0x02000000U;
    REGSAM theAccess = inDesired & (KEY_ALL_ACCESS | KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    if (inDesired & (kGenericAll | kMaximumAllowed))
        theAccess |= KEY_ALL_ACCESS;
    if (inDesired & (kGenericRead | kGenericExecute))
        theAccess |= KEY_READ;
    if (inDesired & kGenericWrite)
        theAccess |= KEY_WRITE;
    return theAccess;
}

}  // namespace ferrolift::platform::reg

// RegTree.h: the registry's content in memory: three roots of keys, each key with its
// values (in creation order) and subkeys (in folded-name order). Names match without
// regard to ASCII case and keep the case they were created with.
//
//   ferrolift::platform::reg::Tree theTree;
//   Key& theKey = theTree.Root(RootId::LocalMachine).CreatePath({"SOFTWARE", "Tallowmere"});
//   theKey.SetValue("LogErrors", REG_DWORD, {1, 0, 0, 0});
#pragma once

#include "platform/types/WinTypes.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ferrolift::platform::reg {

/// Keys deeper than this are refused, as the system refuses them.
constexpr size_t kMaxDepth = 512;
/// Longest key name (one path component) and value name, in bytes.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

/// A value: name ("" is the default value), type and raw data (strings in UTF-16LE).
struct Value {
    std::string name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

/// One key. Owns its subkeys.
class Key {
public:
    explicit Key(std::string inName = {}) : mName(std::move(inName)) {}

    /// The name as created.
    const std::string& Name() const { return mName; }

    /// The value of that name, or null.
    const Value* FindValue(std::string_view inName) const;
    /// Creates or replaces a value (a replaced value keeps its position).
    void SetValue(std::string_view inName, DWORD inType, std::vector<BYTE> inData);
    /// Removes a value; false when there is none of that name.
    bool DeleteValue(std::string_view inName);
    /// The values in creation order.
    const std::vector<Value>& Values() const { return mValues; }
    /// Removes every value.
    void ClearValues();

    /// The subkey of that name, or null.
    Key* FindSubkey(std::string_view inName);
    const Key* FindSubkey(std::string_view inName) const;
    /// The subkey of that name, created when missing (outCreated tells which).
    Key& CreateSubkey(std::string_view inName, bool* outCreated = nullptr);
    /// Removes a subkey with everything below it; false when missing.
    bool DeleteSubkey(std::string_view inName);
    /// Removes every subkey.
    void ClearSubkeys() { mSubkeys.clear(); }
    /// The subkeys by folded name.
    const std::map<std::string, std::unique_ptr<Key>>& Subkeys() const { return mSubkeys; }

    /// Follows a path of subkey names; null when a key on it is missing.
    Key* FindPath(const std::vector<std::string>& inPath);
    /// Follows a path of subkey names, creating what is missing.
    Key& CreatePath(const std::vector<std::string>& inPath, bool* outCreated = nullptr);

private:
    std::string mName;
    std::vector<Value> mValues;
    std::unordered_map<std::string, size_t> mValueIndex;  // folded name -> position
    std::map<std::string, std::unique_ptr<Key>> mSubkeys;
};

/// The roots that the store keeps. HKEY_CLASSES_ROOT is a path below LocalMachine.
enum class RootId { LocalMachine, CurrentUser, Users };

/// The whole store.
class Tree {
public:
    Key& Root(RootId inRoot) { return mRoots[static_cast<int>(inRoot)]; }
    const Key& Root(RootId inRoot) const { return mRoots[static_cast<int>(inRoot)]; }

private:
    Key mRoots[3] = {Key("HKEY_LOCAL_MACHINE"), Key("HKEY_CURRENT_USER"), Key("HKEY_USERS")};
};

}  // namespace ferrolift::platform::reg

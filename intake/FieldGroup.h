// FieldGroup.h: all values sent under one field name, in body order.
//
//   const FieldGroup* theGroup = theReader.GetGroup(0);
//   for (LONG i = 0; i < theGroup->EntryCount(); ++i)
//       Show(theGroup->Name(), theGroup->Entry(i)->length);
#pragma once

#include "intake/FieldEntry.h"

#include <string>
#include <vector>

/// One distinct field name (the bytes as sent, at most 259) and its entries.
class FieldGroup {
public:
    /// Longest name kept, in bytes; longer names are cut.
    static constexpr size_t kMaxName = 259;

    /// Makes an empty group named by the zero-terminated inName (cut to kMaxName bytes).
    explicit FieldGroup(const char* inName);

    /// Number of entries.
    LONG EntryCount() const { return static_cast<LONG>(mEntries.size()); }
    /// The entry at a 0-based position, or null for a position outside the list.
    const FieldEntry* Entry(LONG inPosition) const;
    /// The name as stored, zero-terminated.
    const char* Name() const { return mName.c_str(); }
    /// Appends an entry at the end.
    void Append(FieldEntry inEntry) { mEntries.push_back(std::move(inEntry)); }

private:
    std::string mName;
    std::vector<FieldEntry> mEntries;
};

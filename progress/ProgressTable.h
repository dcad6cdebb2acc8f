// ProgressTable.h: the progress records of a registry, with every operation in constant
// (amortised) time however many records are held.
//
//   ProgressTable theTable(theSeed);
//   theTable.Append(theEntry);                        // stamped by the caller
//   if (ProgressEntry* theFirst = theTable.FindFirst(theID))
//       theTable.Touch(theFirst, theNow);
//   ProgressEntryList theRemoved;
//   theTable.Remove(theID, theNow, 60000, theRemoved);
//
// Three orders are kept: the records of each ID in registration order (lookups take the
// first), an ID index to the first record of each ID, and all records by last access,
// least recent first. Expiry therefore walks only the records that expire and stops at
// the first one that does not. The access order assumes that the tick counter never
// goes back. Not thread-safe: the registry locks around it.
#pragma once

#include "progress/ProgressEntry.h"
#include "progress/ProgressIdIndex.h"

#include <memory>

class ProgressTable {
public:
    explicit ProgressTable(uint64_t inSeed) : mIndex(inSeed) {}
    ProgressTable(const ProgressTable&) = delete;
    ProgressTable& operator=(const ProgressTable&) = delete;
    /// Frees every record still held.
    ~ProgressTable();

    /// Appends inOutEntry (its record already filled in and stamped) after every record
    /// of its ID, as the most recently accessed record, and takes it over. False (the
    /// entry stays the caller's) only when the ID index never got memory.
    bool Append(std::unique_ptr<ProgressEntry>& inOutEntry);
    /// The first record of inID in registration order, or null.
    ProgressEntry* FindFirst(LONG inID) const { return mIndex.Find(inID); }
    /// Stamps inEntry as accessed at inNow (which is not before any earlier stamp).
    void Touch(ProgressEntry* inEntry, ULONGLONG inNow);
    /// Moves every record of inID, and every other record idle for more than inIdleLimit
    /// ms at inNow, into outRemoved.
    void Remove(LONG inID, ULONGLONG inNow, ULONGLONG inIdleLimit, ProgressEntryList& outRemoved);
    /// The number of records held.
    size_t Count() const { return mCount; }
    /// The ID index, for growing it (see ProgressIdIndex).
    ProgressIdIndex& Index() { return mIndex; }

private:
    void AppendToAccessOrder(ProgressEntry* inEntry);
    void UnlinkFromAccessOrder(ProgressEntry* inEntry);
    void UnlinkFromItsId(ProgressEntry* inEntry);

    ProgressEntry* mOldest = nullptr;
    ProgressEntry* mNewest = nullptr;
    size_t mCount = 0;
    ProgressIdIndex mIndex;
};

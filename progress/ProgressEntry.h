// ProgressEntry.h: a progress record together with the links that place it in the
// progress table, and the owner of entries taken out of the table.
//
//   ProgressEntryList theRemoved;             // declared before the lock guard...
//   {
//       CriticalSectionGuard theLock(mLock);
//       mTable.Remove(theID, theNow, kIdleLimit, theRemoved);
//   }                                         // ...so the entries are freed unlocked
#pragma once

#include "progress/ProgressRecord.h"

#include <memory>

/// A record and its three memberships: the table's order of last access, the records of
/// its ID in registration order, and (for the first record of an ID) a chain of the ID
/// index. The table owns every entry it links.
struct ProgressEntry {
    ProgressRecord mRecord;
    ProgressEntry* mOlder = nullptr;        // access order, towards the least recent
    ProgressEntry* mNewer = nullptr;        // access order, towards the most recent
    ProgressEntry* mPrevSameID = nullptr;   // records of this ID, registration order
    ProgressEntry* mNextSameID = nullptr;
    ProgressEntry* mLastSameID = nullptr;   // on the first record of an ID only
    ProgressEntry* mNextInBucket = nullptr; // on the first record of an ID only
};

/// Owns entries that have left the table until it goes out of scope. Lets the table
/// hand removed entries (and the notes they hold) out of the registry lock, so that
/// freeing them never lengthens the time the lock is held.
class ProgressEntryList {
public:
    ProgressEntryList() = default;
    ProgressEntryList(const ProgressEntryList&) = delete;
    ProgressEntryList& operator=(const ProgressEntryList&) = delete;
    ~ProgressEntryList()
    {
        while (mFirst != nullptr) {
            std::unique_ptr<ProgressEntry> theEntry(mFirst);
            mFirst = mFirst->mNewer;
        }
    }

    /// Takes ownership of inEntry, which no longer belongs to any table; its links are
    /// reused here.
    void Push(ProgressEntry* inEntry)
    {
        inEntry->mNewer = mFirst;
        mFirst = inEntry;
    }

    bool Empty() const { return mFirst == nullptr; }

private:
    ProgressEntry* mFirst = nullptr;
};

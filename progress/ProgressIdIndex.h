// ProgressIdIndex.h: finds the first progress record of an ID in constant time.
//
//   ProgressIdIndex theIndex(theSeed);
//   if (size_t theWanted = theIndex.WantedBuckets())        // made outside the lock
//       theIndex.Grow(ProgressIdIndex::MakeBuckets(theWanted), theWanted);
//   theIndex.Insert(theFirstOfId);
//   ProgressEntry* theFirst = theIndex.Find(theID);
//
// A chained hash table over the entries themselves (no node of its own), keyed with a
// per-process secret: IDs come from query strings, and a client must not be able to
// pick IDs that share a chain. Growing never rehashes everything at once: the old
// table is emptied a few chains per insertion, so no single call does work that grows
// with the number of records. Bucket arrays are made and freed by the caller, outside
// its lock. Not thread-safe.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

struct ProgressEntry;

class ProgressIdIndex {
public:
    using Buckets = std::unique_ptr<ProgressEntry*[]>;

    /// inSeed keys the hash (any value; a random one keeps chains short against chosen
    /// IDs).
    explicit ProgressIdIndex(uint64_t inSeed);
    ProgressIdIndex(const ProgressIdIndex&) = delete;
    ProgressIdIndex& operator=(const ProgressIdIndex&) = delete;

    /// A zeroed bucket array of inCount slots, or null when memory is short.
    static Buckets MakeBuckets(size_t inCount);

    /// The first record of inID, or null.
    ProgressEntry* Find(LONG inID) const;
    /// Adds inFirst, whose ID is not yet indexed. False only when no bucket array was
    /// ever had (memory was short from the start); the entry is not indexed then.
    bool Insert(ProgressEntry* inFirst);
    /// Removes inFirst, which is indexed.
    void Remove(ProgressEntry* inFirst);
    /// Puts inNew, a record of the same ID, where the indexed inOld was.
    void Replace(ProgressEntry* inOld, ProgressEntry* inNew);
    /// The number of IDs indexed.
    size_t Size() const { return mSize; }

    /// The bucket count the index wants to grow to, or 0 when it needs no growth (or is
    /// still moving into its last growth). Without growth it stays correct, only slower.
    size_t WantedBuckets() const;
    /// Starts moving into inBuckets (zeroed, inCount == WantedBuckets()).
    void Grow(Buckets inBuckets, size_t inCount);
    /// A bucket array the index no longer uses, for the caller to free unlocked.
    Buckets TakeRetired() { return std::move(mRetired); }

private:
    static constexpr size_t kFirstBucketCount = 16;
    /// Old chains moved per insertion while growing: two per insertion empty the old
    /// table long before the new one is as full as the old one was.
    static constexpr size_t kMovesPerInsert = 2;

    size_t Hash(LONG inID) const;
    ProgressEntry** SlotFor(LONG inID) const;
    ProgressEntry** LinkTo(ProgressEntry* inFirst) const;
    void MoveSomeChains();

    Buckets mTable;
    size_t mTableCount = 0;
    Buckets mOld;              // being emptied into mTable; null when not growing
    size_t mOldCount = 0;
    size_t mMoved = 0;         // chains of mOld already moved
    Buckets mRetired;
    size_t mSize = 0;
    uint64_t mKey;
    uint64_t mMultiplier;
};

// ProgressTable.h: the storage of the progress registry, without its lock or clock.
// A server keeps a minute of finished uploads (a quarter of a million records at a few
// thousand uploads a second), so a record costs one small slot and no allocation of its
// own: records live in fixed blocks that are never given back, linked by index in order
// of last access and chained in a bucket of the ID index. The index hashes IDs with a
// seed of its own, so IDs chosen by a client cannot all land in one bucket, and doubles
// a few buckets at a time, so no call pays for moving them all.
//
//   ProgressTable theTable(theSeed);
//   ProgressTable::Index theAt = theTable.Append(theID);   // the most recent record
//   theTable.At(theAt).mBytesDone = 10;
//   theTable.Touch(theTable.First(theID));                  // most recent again
//   while (theTable.Oldest() != ProgressTable::kNone && ...) theTable.Remove(theTable.Oldest());
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "progress/ProgressRecord.h"

class ProgressTable {
public:
    using Index = std::uint32_t;
    /// No record. Index 0 never holds one, so zeroed memory is an empty bucket table.
    static constexpr Index kNone = 0;

    explicit ProgressTable(std::uint64_t inSeed);
    ProgressTable(const ProgressTable&) = delete;
    ProgressTable& operator=(const ProgressTable&) = delete;

    ProgressRecord& At(Index inAt) { return EntryAt(inAt).mRecord; }
    /// The first record of inID still held, or kNone.
    Index First(LONG inID) const;
    /// The least recently accessed record, or kNone.
    Index Oldest() const { return mOldest; }
    std::size_t Size() const { return mSize; }

    /// A fresh record of inID, the most recent and the last of its ID. Throws
    /// std::bad_alloc, and then holds what it held before.
    Index Append(LONG inID);
    /// Makes inAt the most recently accessed record.
    void Touch(Index inAt);
    void Remove(Index inAt);
    /// Removes every record of inID.
    void RemoveAll(LONG inID);

private:
    struct Entry {
        ProgressRecord mRecord;
        Index mOlder = kNone;
        Index mNewer = kNone;  // of a free entry: the next free one
        Index mNextInBucket = kNone;
    };
    static constexpr unsigned kBlockBits = 12;
    static constexpr Index kBlockSize = Index{1} << kBlockBits;

    /// Chain heads in memory from calloc: a large table comes from the system already
    /// zeroed, so doubling the index writes nothing up front and the pages fill in as the
    /// buckets are moved.
    struct Buckets {
        struct Free {
            void operator()(Index* inHeads) const { std::free(inHeads); }
        };
        std::unique_ptr<Index[], Free> mHeads;
        std::size_t mCount = 0;

        Buckets() = default;
        explicit Buckets(std::size_t inCount);   // throws std::bad_alloc
        Buckets(Buckets&& inOther) noexcept
            : mHeads(std::move(inOther.mHeads)), mCount(std::exchange(inOther.mCount, 0)) {}
        Buckets& operator=(Buckets&& inOther) noexcept
        {
            mHeads = std::move(inOther.mHeads);
            mCount = std::exchange(inOther.mCount, 0);
            return *this;
        }
        Index& operator[](std::size_t inAt) { return mHeads[inAt]; }
        std::size_t size() const { return mCount; }
        bool empty() const { return mCount == 0; }
    };

    Entry& EntryAt(Index inAt) { return mBlocks[inAt >> kBlockBits][inAt & (kBlockSize - 1)]; }
    const Entry& EntryAt(Index inAt) const { return mBlocks[inAt >> kBlockBits][inAt & (kBlockSize - 1)]; }
    /// The head of the chain that holds inID's records, in whichever table holds it.
    Index& HeadOf(LONG inID);
    Index HeadOf(LONG inID) const { return const_cast<ProgressTable*>(this)->HeadOf(inID); }
    /// A free entry, taken off the free list; a new block when there is none.
    Index TakeFree();
    /// Unlinks inAt from its bucket and from the access order, and frees it.
    void Drop(Index inAt, Index inBucketPrevious);
    void UnlinkFromAccess(Index inAt);
    void LinkAsNewest(Index inAt);
    /// Starts doubling the buckets (finishing a doubling still under way first).
    void Grow();
    /// Splits up to inCount more old buckets into the new table: old bucket b becomes new
    /// buckets 2b and 2b + 1, each chain in its order, so each ID keeps the order of its
    /// records.
    void MoveBuckets(std::size_t inCount);

    std::uint64_t mSeed;
    std::vector<std::unique_ptr<Entry[]>> mBlocks;
    Buckets mBuckets;      // 2^mBucketBits chain heads
    unsigned mBucketBits;
    Buckets mOldBuckets;   // while doubling: the table before, half the size
    std::size_t mMoved = 0;           // old buckets already split into mBuckets
    Index mFree = kNone;
    Index mOldest = kNone;
    Index mNewest = kNone;
    std::size_t mSize = 0;
};

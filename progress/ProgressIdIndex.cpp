// ProgressIdIndex.cpp: the keyed, incrementally grown hash of first records.
#include "progress/ProgressIdIndex.h"

#include "progress/ProgressEntry.h"

#include <new>

ProgressIdIndex::ProgressIdIndex(uint64_t inSeed)
    : mKey(inSeed), mMultiplier((inSeed * 0x9E3779B97F4A7C15ull) | 1)
{
}

ProgressIdIndex::Buckets ProgressIdIndex::MakeBuckets(size_t inCount)
{
    return Buckets(new (std::nothrow) ProgressEntry*[inCount]());
}

size_t ProgressIdIndex::Hash(LONG inID) const
{
    // A keyed multiply followed by a 64-bit finaliser: every bit of the ID and of the key
    // reaches the low bits that pick the bucket.
    uint64_t theMix = (static_cast<uint64_t>(static_cast<uint32_t>(inID)) ^ mKey) * mMultiplier;
    theMix ^= theMix >> 33;
    theMix *= 0xFF51AFD7ED558CCDull;
    theMix ^= theMix >> 33;
    theMix *= 0xC4CEB9FE1A85EC53ull;
    theMix ^= theMix >> 33;
    return static_cast<size_t>(theMix);
}

ProgressEntry** ProgressIdIndex::SlotFor(LONG inID) const
{
    const size_t theHash = Hash(inID);
    if (mOld) {
        // Chains not yet moved are still in the old table.
        const size_t theOldAt = theHash & (mOldCount - 1);
        if (theOldAt >= mMoved)
            return &mOld[theOldAt];
    }
    if (mTableCount == 0)
        return nullptr;
    return &mTable[theHash & (mTableCount - 1)];
}

ProgressEntry** ProgressIdIndex::LinkTo(ProgressEntry* inFirst) const
{
    ProgressEntry** theLink = SlotFor(inFirst->mRecord.mID);
    while (theLink != nullptr && *theLink != inFirst)
        theLink = *theLink != nullptr ? &(*theLink)->mNextInBucket : nullptr;
    return theLink;
}

ProgressEntry* ProgressIdIndex::Find(LONG inID) const
{
    ProgressEntry* const* theSlot = SlotFor(inID);
    if (theSlot == nullptr)
        return nullptr;
    for (ProgressEntry* theAt = *theSlot; theAt != nullptr; theAt = theAt->mNextInBucket) {
        if (theAt->mRecord.mID == inID)
            return theAt;
    }
    return nullptr;
}

bool ProgressIdIndex::Insert(ProgressEntry* inFirst)
{
    MoveSomeChains();
    ProgressEntry** theSlot = SlotFor(inFirst->mRecord.mID);
    if (theSlot == nullptr)
        return false;
    inFirst->mNextInBucket = *theSlot;
    *theSlot = inFirst;
    ++mSize;
    return true;
}

void ProgressIdIndex::Remove(ProgressEntry* inFirst)
{
    ProgressEntry** theLink = LinkTo(inFirst);
    if (theLink == nullptr)
        return;
    *theLink = inFirst->mNextInBucket;
    inFirst->mNextInBucket = nullptr;
    --mSize;
}

void ProgressIdIndex::Replace(ProgressEntry* inOld, ProgressEntry* inNew)
{
    ProgressEntry** theLink = LinkTo(inOld);
    if (theLink == nullptr)
        return;
    inNew->mNextInBucket = inOld->mNextInBucket;
    inOld->mNextInBucket = nullptr;
    *theLink = inNew;
}

size_t ProgressIdIndex::WantedBuckets() const
{
    if (mOld)
        return 0;
    if (mTableCount == 0)
        return kFirstBucketCount;
    // Load factor 1; past half of the address space the table simply stops growing.
    if (mSize < mTableCount || mTableCount > (SIZE_MAX >> 2))
        return 0;
    return mTableCount * 2;
}

void ProgressIdIndex::Grow(Buckets inBuckets, size_t inCount)
{
    if (!inBuckets || inCount != WantedBuckets())
        return;
    if (mTableCount != 0) {
        mOld = std::move(mTable);
        mOldCount = mTableCount;
        mMoved = 0;
    }
    mTable = std::move(inBuckets);
    mTableCount = inCount;
}

void ProgressIdIndex::MoveSomeChains()
{
    for (size_t theMoves = 0; mOld && theMoves < kMovesPerInsert; ++theMoves) {
        ProgressEntry* theAt = mOld[mMoved];
        mOld[mMoved] = nullptr;
        ++mMoved;
        while (theAt != nullptr) {
            ProgressEntry* theNext = theAt->mNextInBucket;
            ProgressEntry*& theSlot = mTable[Hash(theAt->mRecord.mID) & (mTableCount - 1)];
            theAt->mNextInBucket = theSlot;
            theSlot = theAt;
            theAt = theNext;
        }
        if (mMoved == mOldCount) {
            mRetired = std::move(mOld);
            mOldCount = 0;
            mMoved = 0;
        }
    }
}

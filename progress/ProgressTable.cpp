// ProgressTable.cpp: records in blocks, the access order and the seeded ID index.
#include "progress/ProgressTable.h"

#include <new>
#include <utility>

namespace {

constexpr unsigned kFirstBucketBits = 10;

}  // namespace

ProgressTable::ProgressTable(std::uint64_t inSeed)
    : mSeed(inSeed | 1u), mBuckets(std::size_t{1} << kFirstBucketBits, kNone), mBucketBits(kFirstBucketBits)
{
}

std::size_t ProgressTable::BucketOf(LONG inID) const
{
    // Multiply-shift with a random odd factor: the top bits of the product spread any
    // set of IDs, and a client that does not know the factor cannot pick colliding ones.
    const std::uint64_t theProduct = mSeed * static_cast<std::uint32_t>(inID);
    return static_cast<std::size_t>(theProduct >> (64 - mBucketBits));
}

ProgressTable::Index ProgressTable::First(LONG inID) const
{
    for (Index theAt = mBuckets[BucketOf(inID)]; theAt != kNone; theAt = EntryAt(theAt).mNextInBucket) {
        if (EntryAt(theAt).mRecord.mID == inID)
            return theAt;
    }
    return kNone;
}

ProgressTable::Index ProgressTable::TakeFree()
{
    if (mFree == kNone) {
        if (mBlocks.size() >= (kNone >> kBlockBits))
            throw std::bad_alloc();
        mBlocks.push_back(std::make_unique<Entry[]>(kBlockSize));   // nothing changes if this throws
        const Index theFirst = static_cast<Index>(mBlocks.size() - 1) << kBlockBits;
        for (Index i = kBlockSize; i-- > 0;) {
            EntryAt(theFirst + i).mNewer = mFree;
            mFree = theFirst + i;
        }
    }
    const Index theAt = mFree;
    mFree = EntryAt(theAt).mNewer;
    return theAt;
}

ProgressTable::Index ProgressTable::Append(LONG inID)
{
    if (mSize >= mBuckets.size()) {
        try {
            Grow();
        } catch (const std::bad_alloc&) {
            // Longer chains instead.
        }
    }
    const Index theAt = TakeFree();
    Entry& theEntry = EntryAt(theAt);
    theEntry.mRecord = ProgressRecord{};
    theEntry.mRecord.mID = inID;
    theEntry.mNextInBucket = kNone;
    Index* theLink = &mBuckets[BucketOf(inID)];
    while (*theLink != kNone)
        theLink = &EntryAt(*theLink).mNextInBucket;
    *theLink = theAt;
    LinkAsNewest(theAt);
    ++mSize;
    return theAt;
}

void ProgressTable::LinkAsNewest(Index inAt)
{
    Entry& theEntry = EntryAt(inAt);
    theEntry.mOlder = mNewest;
    theEntry.mNewer = kNone;
    if (mNewest != kNone)
        EntryAt(mNewest).mNewer = inAt;
    else
        mOldest = inAt;
    mNewest = inAt;
}

void ProgressTable::UnlinkFromAccess(Index inAt)
{
    const Entry& theEntry = EntryAt(inAt);
    if (theEntry.mOlder != kNone)
        EntryAt(theEntry.mOlder).mNewer = theEntry.mNewer;
    else
        mOldest = theEntry.mNewer;
    if (theEntry.mNewer != kNone)
        EntryAt(theEntry.mNewer).mOlder = theEntry.mOlder;
    else
        mNewest = theEntry.mOlder;
}

void ProgressTable::Touch(Index inAt)
{
    if (inAt == mNewest)
        return;
    UnlinkFromAccess(inAt);
    LinkAsNewest(inAt);
}

void ProgressTable::Drop(Index inAt, Index inBucketPrevious)
{
    Entry& theEntry = EntryAt(inAt);
    if (inBucketPrevious == kNone)
        mBuckets[BucketOf(theEntry.mRecord.mID)] = theEntry.mNextInBucket;
    else
        EntryAt(inBucketPrevious).mNextInBucket = theEntry.mNextInBucket;
    UnlinkFromAccess(inAt);
    theEntry.mRecord.mNote.reset();
    theEntry.mNewer = mFree;
    mFree = inAt;
    --mSize;
}

void ProgressTable::Remove(Index inAt)
{
    Index thePrevious = kNone;
    for (Index theIn = mBuckets[BucketOf(At(inAt).mID)]; theIn != inAt; theIn = EntryAt(theIn).mNextInBucket)
        thePrevious = theIn;
    Drop(inAt, thePrevious);
}

void ProgressTable::RemoveAll(LONG inID)
{
    Index thePrevious = kNone;
    Index theAt = mBuckets[BucketOf(inID)];
    while (theAt != kNone) {
        const Index theNext = EntryAt(theAt).mNextInBucket;
        if (EntryAt(theAt).mRecord.mID == inID)
            Drop(theAt, thePrevious);
        else
            thePrevious = theAt;
        theAt = theNext;
    }
}

void ProgressTable::Grow()
{
    // One more bit of the product: bucket b splits into 2b and 2b + 1.
    std::vector<Index> theBuckets(mBuckets.size() * 2, kNone);
    ++mBucketBits;
    for (Index theHead : mBuckets) {
        Index* theTails[2] = {nullptr, nullptr};
        for (Index theAt = theHead; theAt != kNone;) {
            Entry& theEntry = EntryAt(theAt);
            const Index theNext = theEntry.mNextInBucket;
            const std::size_t theBucket = BucketOf(theEntry.mRecord.mID);
            Index*& theTail = theTails[theBucket & 1];
            theEntry.mNextInBucket = kNone;
            if (theTail == nullptr)
                theBuckets[theBucket] = theAt;
            else
                *theTail = theAt;
            theTail = &theEntry.mNextInBucket;
            theAt = theNext;
        }
    }
    mBuckets.swap(theBuckets);
}

// ProgressTable.cpp: records in blocks, the access order and the seeded ID index.
#include "progress/ProgressTable.h"

#include <new>
#include <utility>

namespace {

constexpr unsigned kFirstBucketBits = 10;
// Old buckets split at each append while the index doubles: the doubling ends long before
// the table fills up again, since that takes as many appends as there were buckets.
constexpr std::size_t kMovesPerAppend = 4;

}  // namespace

ProgressTable::ProgressTable(std::uint64_t inSeed)
    : mSeed(inSeed | 1u), mBuckets(std::size_t{1} << kFirstBucketBits), mBucketBits(kFirstBucketBits)
{
}

ProgressTable::Buckets::Buckets(std::size_t inCount)
    : mHeads(static_cast<Index*>(std::calloc(inCount, sizeof(Index)))), mCount(inCount)
{
    static_assert(kNone == 0);
    if (!mHeads)
        throw std::bad_alloc();
}

ProgressTable::Index& ProgressTable::HeadOf(LONG inID)
{
    // Multiply-shift with a random odd factor: the top bits of the product spread any
    // set of IDs, and a client that does not know the factor cannot pick colliding ones.
    const std::uint64_t theProduct = mSeed * static_cast<std::uint32_t>(inID);
    if (!mOldBuckets.empty()) {
        const std::size_t theOld = static_cast<std::size_t>(theProduct >> (64 - (mBucketBits - 1)));
        if (theOld >= mMoved)
            return mOldBuckets[theOld];
    }
    return mBuckets[static_cast<std::size_t>(theProduct >> (64 - mBucketBits))];
}

ProgressTable::Index ProgressTable::First(LONG inID) const
{
    for (Index theAt = HeadOf(inID); theAt != kNone; theAt = EntryAt(theAt).mNextInBucket) {
        if (EntryAt(theAt).mRecord.mID == inID)
            return theAt;
    }
    return kNone;
}

ProgressTable::Index ProgressTable::TakeFree()
{
    if (mFree == kNone) {
        if (mBlocks.size() >= (std::size_t{1} << (32 - kBlockBits)))
            throw std::bad_alloc();   // no index left
        mBlocks.push_back(std::make_unique<Entry[]>(kBlockSize));   // nothing changes if this throws
        const Index theFirst = static_cast<Index>(mBlocks.size() - 1) << kBlockBits;
        const Index theLowest = theFirst == 0 ? 1 : 0;   // index 0 stays kNone
        for (Index i = kBlockSize; i-- > theLowest;) {
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
    if (!mOldBuckets.empty())
        MoveBuckets(kMovesPerAppend);
    else if (mSize >= mBuckets.size()) {
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
    Index* theLink = &HeadOf(inID);
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
        HeadOf(theEntry.mRecord.mID) = theEntry.mNextInBucket;
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
    for (Index theIn = HeadOf(At(inAt).mID); theIn != inAt; theIn = EntryAt(theIn).mNextInBucket)
        thePrevious = theIn;
    Drop(inAt, thePrevious);
}

void ProgressTable::RemoveAll(LONG inID)
{
    Index thePrevious = kNone;
    Index theAt = HeadOf(inID);
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
    MoveBuckets(mOldBuckets.size());
    Buckets theBuckets(mBuckets.size() * 2);
    mOldBuckets = std::move(mBuckets);
    mBuckets = std::move(theBuckets);
    ++mBucketBits;
    mMoved = 0;
}

void ProgressTable::MoveBuckets(std::size_t inCount)
{
    for (; inCount != 0 && mMoved < mOldBuckets.size(); --inCount, ++mMoved) {
        Index* theTails[2] = {&mBuckets[2 * mMoved], &mBuckets[2 * mMoved + 1]};
        for (Index theAt = mOldBuckets[mMoved]; theAt != kNone;) {
            Entry& theEntry = EntryAt(theAt);
            const Index theNext = theEntry.mNextInBucket;
            const std::uint64_t theProduct = mSeed * static_cast<std::uint32_t>(theEntry.mRecord.mID);
            Index*& theTail = theTails[(theProduct >> (64 - mBucketBits)) & 1];
            theEntry.mNextInBucket = kNone;
            *theTail = theAt;
            theTail = &theEntry.mNextInBucket;
            theAt = theNext;
        }
    }
    if (mMoved == mOldBuckets.size())
        mOldBuckets = Buckets();
}

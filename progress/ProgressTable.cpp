// ProgressTable.cpp: the linked orders of the progress records.
#include "progress/ProgressTable.h"

ProgressTable::~ProgressTable()
{
    ProgressEntryList theAll;
    while (mOldest != nullptr) {
        ProgressEntry* theEntry = mOldest;
        mOldest = theEntry->mNewer;
        theAll.Push(theEntry);
    }
}

bool ProgressTable::Append(std::unique_ptr<ProgressEntry>& inOutEntry)
{
    ProgressEntry* theEntry = inOutEntry.get();
    ProgressEntry* theFirst = mIndex.Find(theEntry->mRecord.mID);
    if (theFirst == nullptr) {
        if (!mIndex.Insert(theEntry))
            return false;
        theEntry->mLastSameID = theEntry;
    } else {
        ProgressEntry* theLast = theFirst->mLastSameID;
        theLast->mNextSameID = theEntry;
        theEntry->mPrevSameID = theLast;
        theFirst->mLastSameID = theEntry;
    }
    AppendToAccessOrder(inOutEntry.release());
    ++mCount;
    return true;
}

void ProgressTable::Touch(ProgressEntry* inEntry, ULONGLONG inNow)
{
    inEntry->mRecord.mLastAccessTick = inNow;
    if (inEntry == mNewest)
        return;
    UnlinkFromAccessOrder(inEntry);
    AppendToAccessOrder(inEntry);
}

void ProgressTable::Remove(LONG inID, ULONGLONG inNow, ULONGLONG inIdleLimit, ProgressEntryList& outRemoved)
{
    if (ProgressEntry* theFirst = mIndex.Find(inID)) {
        mIndex.Remove(theFirst);
        for (ProgressEntry* theAt = theFirst; theAt != nullptr;) {
            ProgressEntry* theNext = theAt->mNextSameID;
            UnlinkFromAccessOrder(theAt);
            outRemoved.Push(theAt);
            --mCount;
            theAt = theNext;
        }
    }
    // Least recent first: the first record that is not idle long enough ends the walk.
    // The difference is unsigned, so a stamp from a clock that went back counts as very
    // old, as a 32-bit difference across such a step would.
    while (mOldest != nullptr && inNow - mOldest->mRecord.mLastAccessTick > inIdleLimit) {
        ProgressEntry* theEntry = mOldest;
        UnlinkFromAccessOrder(theEntry);
        UnlinkFromItsId(theEntry);
        outRemoved.Push(theEntry);
        --mCount;
    }
}

void ProgressTable::AppendToAccessOrder(ProgressEntry* inEntry)
{
    inEntry->mOlder = mNewest;
    inEntry->mNewer = nullptr;
    if (mNewest != nullptr)
        mNewest->mNewer = inEntry;
    else
        mOldest = inEntry;
    mNewest = inEntry;
}

void ProgressTable::UnlinkFromAccessOrder(ProgressEntry* inEntry)
{
    if (inEntry->mOlder != nullptr)
        inEntry->mOlder->mNewer = inEntry->mNewer;
    else
        mOldest = inEntry->mNewer;
    if (inEntry->mNewer != nullptr)
        inEntry->mNewer->mOlder = inEntry->mOlder;
    else
        mNewest = inEntry->mOlder;
    inEntry->mOlder = nullptr;
    inEntry->mNewer = nullptr;
}

void ProgressTable::UnlinkFromItsId(ProgressEntry* inEntry)
{
    ProgressEntry* thePrev = inEntry->mPrevSameID;
    ProgressEntry* theNext = inEntry->mNextSameID;
    if (thePrev == nullptr) {
        // The first record of its ID: the next one, if any, takes its place in the index.
        if (theNext != nullptr) {
            theNext->mPrevSameID = nullptr;
            theNext->mLastSameID = inEntry->mLastSameID;
            mIndex.Replace(inEntry, theNext);
        } else {
            mIndex.Remove(inEntry);
        }
    } else {
        thePrev->mNextSameID = theNext;
        if (theNext != nullptr)
            theNext->mPrevSameID = thePrev;
        else if (ProgressEntry* theFirst = mIndex.Find(inEntry->mRecord.mID))
            theFirst->mLastSameID = thePrev;
    }
    inEntry->mPrevSameID = nullptr;
    inEntry->mNextSameID = nullptr;
    inEntry->mLastSameID = nullptr;
}

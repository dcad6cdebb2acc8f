// ProgressRegistry.cpp: the locked face of the progress table, notes and progress IDs.
#include "progress/ProgressRegistry.h"

#include <cstdint>
#include <memory>
#include <new>
#include <utility>

namespace {

const char kNoRecordNote[] = "Connecting...";

/// Converts an ANSI note to its shared form (wide text and the ANSI text it reads back
/// as). Done outside the registry lock so that readers never wait on a conversion.
/// Null for no text, an empty text, or a text that does not convert.
std::shared_ptr<ProgressNote> MakeNote(LPCSTR inNote)
{
    if (inNote == nullptr || inNote[0] == '\0')
        return nullptr;
    int theWideLen = MultiByteToWideChar(CP_ACP, 0, inNote, -1, nullptr, 0);
    if (theWideLen <= 1)
        return nullptr;
    auto theNote = std::make_shared<ProgressNote>();
    theNote->mWide.resize(static_cast<size_t>(theWideLen));
    MultiByteToWideChar(CP_ACP, 0, inNote, -1, theNote->mWide.data(), theWideLen);
    theNote->mWide.resize(static_cast<size_t>(theWideLen - 1));

    int theAnsiLen = WideCharToMultiByte(CP_ACP, 0, theNote->mWide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (theAnsiLen <= 1)
        return nullptr;
    theNote->mAnsi.resize(static_cast<size_t>(theAnsiLen));
    WideCharToMultiByte(CP_ACP, 0, theNote->mWide.c_str(), -1, theNote->mAnsi.data(), theAnsiLen, nullptr,
                        nullptr);
    theNote->mAnsi.resize(static_cast<size_t>(theAnsiLen - 1));
    return theNote;
}

/// Seeds the calling thread's generator once from the system's random source, so that
/// pool threads and separate processes do not hand out the same IDs.
void SeedThreadOnce()
{
    thread_local bool tSeeded = false;
    if (tSeeded)
        return;
    unsigned int theSeed = 0;
    if (rand_s(&theSeed) != 0)
        theSeed = GetTickCount() ^ (GetCurrentThreadId() * 2654435761u) ^ GetCurrentProcessId();
    ferrolift::srand(theSeed);
    tSeeded = true;
}

/// A secret for the ID index's hash, so that chosen IDs cannot crowd one chain.
uint64_t IndexSeed()
{
    unsigned int theHigh = 0;
    unsigned int theLow = 0;
    if (rand_s(&theHigh) != 0 || rand_s(&theLow) != 0)
        return GetTickCount64() * 0x9E3779B97F4A7C15ull ^ GetCurrentProcessId();
    return (static_cast<uint64_t>(theHigh) << 32) | theLow;
}

}  // namespace

ProgressRegistry::ProgressRegistry() : mTable(IndexSeed()) {}

ProgressRegistry& ProgressRegistry::Module()
{
    static ProgressRegistry theRegistry;
    return theRegistry;
}

void ProgressRegistry::Register(LONG inID)
{
    std::unique_ptr<ProgressEntry> theEntry(new (std::nothrow) ProgressEntry());
    if (!theEntry)
        return;  // out of memory: no record, as if the upload had no ID
    theEntry->mRecord.mID = inID;
    // When the ID index wants to grow, its bucket array is made here, unlocked, and the
    // wish checked again under the lock (another thread may have grown it meanwhile).
    ProgressIdIndex::Buckets theBuckets;
    size_t theBucketCount = 0;
    bool theOutOfMemory = false;
    for (;;) {
        ProgressIdIndex::Buckets theRetired;  // outlives the guard: freed unlocked
        size_t theWanted = 0;
        {
            CriticalSectionGuard theLock(mLock);
            ProgressIdIndex& theIndex = mTable.Index();
            theWanted = theIndex.WantedBuckets();
            if (theWanted == 0 || theWanted == theBucketCount || theOutOfMemory) {
                if (theWanted != 0 && theWanted == theBucketCount)
                    theIndex.Grow(std::move(theBuckets), theBucketCount);
                // Stamped under the lock, so the access order is also the order of ticks.
                const ULONGLONG theNow = GetTickCount64();
                theEntry->mRecord.mStartTick = static_cast<DWORD>(theNow);
                theEntry->mRecord.mLastAccessTick = theNow;
                mTable.Append(theEntry);  // kept by theEntry (and freed unlocked) on failure
                theRetired = theIndex.TakeRetired();
                break;
            }
        }
        theBuckets = ProgressIdIndex::MakeBuckets(theWanted);
        theBucketCount = theBuckets ? theWanted : 0;
        theOutOfMemory = !theBuckets;
    }
}

void ProgressRegistry::Unregister(LONG inID)
{
    ProgressEntryList theRemoved;  // outlives the guard: freed unlocked
    CriticalSectionGuard theLock(mLock);
    mTable.Remove(inID, GetTickCount64(), kIdleLimit, theRemoved);
}

void ProgressRegistry::SetBytes(LONG inID, LONG inBytesDone, LONG inBytesTotal)
{
    CriticalSectionGuard theLock(mLock);
    ProgressEntry* theEntry = mTable.FindFirst(inID);
    if (theEntry == nullptr)
        return;
    theEntry->mRecord.mBytesDone = inBytesDone;
    theEntry->mRecord.mBytesTotal = inBytesTotal;
    theEntry->mRecord.mStarted = VARIANT_TRUE;
    mTable.Touch(theEntry, GetTickCount64());
}

void ProgressRegistry::SetNote(LONG inID, LPCSTR inNote)
{
    std::shared_ptr<ProgressNote> theNote;
    try {
        theNote = MakeNote(inNote);
    } catch (const std::bad_alloc&) {
        // The note becomes empty.
    }
    std::shared_ptr<ProgressNote> theOld;  // outlives the guard: released unlocked
    CriticalSectionGuard theLock(mLock);
    ProgressEntry* theEntry = mTable.FindFirst(inID);
    if (theEntry != nullptr)
        theOld = std::exchange(theEntry->mRecord.mNote, std::move(theNote));
}

void ProgressRegistry::MarkFinished(LONG inID)
{
    CriticalSectionGuard theLock(mLock);
    ProgressEntry* theEntry = mTable.FindFirst(inID);
    if (theEntry != nullptr)
        theEntry->mRecord.mFinished = VARIANT_TRUE;
}

void ProgressRegistry::Get(LONG inID, LONG* outBytesDone, LONG* outBytesTotal, DWORD* outElapsed,
                           VARIANT_BOOL* outStarted, VARIANT_BOOL* outFinished, std::string* outNote)
{
    if (outBytesDone != nullptr)
        *outBytesDone = 0;
    if (outBytesTotal != nullptr)
        *outBytesTotal = 0;
    if (outElapsed != nullptr)
        *outElapsed = 0;
    if (outStarted != nullptr)
        *outStarted = VARIANT_FALSE;
    std::shared_ptr<ProgressNote> theNote;
    bool theFound = false;
    {
        CriticalSectionGuard theLock(mLock);
        ProgressEntry* theEntry = mTable.FindFirst(inID);
        if (theEntry != nullptr) {
            theFound = true;
            const ULONGLONG theNow = GetTickCount64();
            mTable.Touch(theEntry, theNow);
            const ProgressRecord& theRecord = theEntry->mRecord;
            if (outBytesDone != nullptr)
                *outBytesDone = theRecord.mBytesDone;
            if (outBytesTotal != nullptr)
                *outBytesTotal = theRecord.mBytesTotal;
            if (outElapsed != nullptr)
                *outElapsed = static_cast<DWORD>(theNow) - theRecord.mStartTick;
            if (outStarted != nullptr)
                *outStarted = theRecord.mStarted;
            if (outFinished != nullptr)
                *outFinished = theRecord.mFinished;
            if (outNote != nullptr)
                theNote = theRecord.mNote;
        }
    }
    // A note is never changed once made, so holding a reference is as good as a copy
    // taken under the lock; the text is copied out unlocked.
    if (outNote == nullptr)
        return;
    try {
        if (!theFound)
            outNote->assign(kNoRecordNote);
        else
            outNote->assign(theNote ? theNote->mAnsi : std::string());
    } catch (const std::bad_alloc&) {
        outNote->clear();
    }
}

size_t ProgressRegistry::Count()
{
    CriticalSectionGuard theLock(mLock);
    return mTable.Count();
}

LONG NewProgressID()
{
    SeedThreadOnce();
    LONG theID = 0;
    do {
        const LONG theHigh = ferrolift::rand();
        const LONG theLow = ferrolift::rand();
        theID = theHigh * 65536 + theLow;
    } while (theID < 1);
    return theID;
}

void RegisterProgress(LONG inID)
{
    ProgressRegistry::Module().Register(inID);
}

void UnregisterProgress(LONG inID)
{
    ProgressRegistry::Module().Unregister(inID);
}

void SetProgressBytes(LONG inID, LONG inBytesDone, LONG inBytesTotal)
{
    ProgressRegistry::Module().SetBytes(inID, inBytesDone, inBytesTotal);
}

void SetProgressNote(LONG inID, LPCSTR inNote)
{
    ProgressRegistry::Module().SetNote(inID, inNote);
}

void MarkProgressFinished(LONG inID)
{
    ProgressRegistry::Module().MarkFinished(inID);
}

void GetProgress(LONG inID, LONG* outBytesDone, LONG* outBytesTotal, DWORD* outElapsed,
                 VARIANT_BOOL* outStarted, VARIANT_BOOL* outFinished, std::string* outNote)
{
    ProgressRegistry::Module().Get(inID, outBytesDone, outBytesTotal, outElapsed, outStarted, outFinished,
                                   outNote);
}

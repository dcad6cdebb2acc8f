// ProgressRegistry.cpp: the progress table, its index and its idle expiry.
#include "progress/ProgressRegistry.h"

#include <cstdlib>
#include <iterator>
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
    const UINT theCodePage = GetACP();   // one reading for the four calls
    int theWideLen = MultiByteToWideChar(theCodePage, 0, inNote, -1, nullptr, 0);
    if (theWideLen <= 1)
        return nullptr;
    auto theNote = std::make_shared<ProgressNote>();
    theNote->mWide.resize(static_cast<size_t>(theWideLen));
    MultiByteToWideChar(theCodePage, 0, inNote, -1, theNote->mWide.data(), theWideLen);
    theNote->mWide.resize(static_cast<size_t>(theWideLen - 1));

    int theAnsiLen = WideCharToMultiByte(theCodePage, 0, theNote->mWide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (theAnsiLen <= 1)
        return nullptr;
    theNote->mAnsi.resize(static_cast<size_t>(theAnsiLen));
    WideCharToMultiByte(theCodePage, 0, theNote->mWide.c_str(), -1, theNote->mAnsi.data(), theAnsiLen, nullptr,
                        nullptr);
    theNote->mAnsi.resize(static_cast<size_t>(theAnsiLen - 1));
    return theNote;
}

LONG NextGeneratorValue(unsigned int& inOutState)
{
    inOutState = inOutState * 214013u + 2531011u;
    return static_cast<LONG>((inOutState >> 16) & 0x7fffu);
}

}  // namespace

ProgressRegistry& ProgressRegistry::Module()
{
    static ProgressRegistry theRegistry;
    return theRegistry;
}

ProgressRegistry::AccessList::iterator ProgressRegistry::FindFirst(LONG inID)
{
    auto theFound = mById.find(inID);
    return theFound == mById.end() ? mByAccess.end() : theFound->second.front();
}

void ProgressRegistry::Touch(AccessList::iterator inAt, DWORD inNow)
{
    inAt->mRecord.mLastAccessTick = inNow;
    mByAccess.splice(mByAccess.end(), mByAccess, inAt);
}

void ProgressRegistry::Remove(AccessList::iterator inAt)
{
    auto theIds = mById.find(inAt->mRecord.mID);
    theIds->second.erase(inAt->mIdPos);
    if (theIds->second.empty())
        mById.erase(theIds);
    mByAccess.erase(inAt);
}

void ProgressRegistry::Register(LONG inID)
{
    try {
        // Both list nodes are made outside the lock and spliced in under it.
        AccessList theNew(1);
        auto theAt = theNew.begin();
        theAt->mRecord.mID = inID;
        IdList theIdNode{theAt};

        CriticalSectionGuard theLock(mLock);
        IdList& theIds = mById[inID];
        theAt->mRecord.mStartTick = GetTickCount();
        theAt->mRecord.mLastAccessTick = theAt->mRecord.mStartTick;
        mByAccess.splice(mByAccess.end(), theNew);
        theIds.splice(theIds.end(), theIdNode);
        theAt->mIdPos = std::prev(theIds.end());
    } catch (const std::bad_alloc&) {
        // Out of memory: no record, as if the upload had no ID.
    }
}

void ProgressRegistry::Unregister(LONG inID)
{
    CriticalSectionGuard theLock(mLock);
    const DWORD theNow = GetTickCount();
    auto theIds = mById.find(inID);
    if (theIds != mById.end()) {
        for (AccessList::iterator theAt : theIds->second)
            mByAccess.erase(theAt);
        mById.erase(theIds);
    }
    // Oldest access first: the walk ends at the first record that is not idle.
    while (!mByAccess.empty() &&
           static_cast<DWORD>(theNow - mByAccess.front().mRecord.mLastAccessTick) > kIdleLimit)
        Remove(mByAccess.begin());
}

void ProgressRegistry::SetBytes(LONG inID, LONG inBytesDone, LONG inBytesTotal)
{
    CriticalSectionGuard theLock(mLock);
    auto theAt = FindFirst(inID);
    if (theAt == mByAccess.end())
        return;
    ProgressRecord& theRecord = theAt->mRecord;
    theRecord.mBytesDone = inBytesDone;
    theRecord.mBytesTotal = inBytesTotal;
    theRecord.mStarted = VARIANT_TRUE;
    Touch(theAt, GetTickCount());
}

void ProgressRegistry::SetNote(LONG inID, LPCSTR inNote)
{
    std::shared_ptr<ProgressNote> theNote;
    try {
        theNote = MakeNote(inNote);
    } catch (const std::bad_alloc&) {
        // The note becomes empty.
    }
    std::shared_ptr<ProgressNote> theOld;
    {
        CriticalSectionGuard theLock(mLock);
        auto theAt = FindFirst(inID);
        if (theAt == mByAccess.end())
            return;
        theOld = std::exchange(theAt->mRecord.mNote, std::move(theNote));
    }
    // theOld is released here, outside the lock.
}

void ProgressRegistry::MarkFinished(LONG inID)
{
    CriticalSectionGuard theLock(mLock);
    auto theAt = FindFirst(inID);
    if (theAt != mByAccess.end())
        theAt->mRecord.mFinished = VARIANT_TRUE;
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
    {
        CriticalSectionGuard theLock(mLock);
        auto theAt = FindFirst(inID);
        if (theAt == mByAccess.end()) {
            if (outNote != nullptr)
                outNote->assign(kNoRecordNote);
            return;
        }
        const DWORD theNow = GetTickCount();
        Touch(theAt, theNow);
        const ProgressRecord* theRecord = &theAt->mRecord;
        if (outBytesDone != nullptr)
            *outBytesDone = theRecord->mBytesDone;
        if (outBytesTotal != nullptr)
            *outBytesTotal = theRecord->mBytesTotal;
        if (outElapsed != nullptr)
            *outElapsed = theNow - theRecord->mStartTick;
        if (outStarted != nullptr)
            *outStarted = theRecord->mStarted;
        if (outFinished != nullptr)
            *outFinished = theRecord->mFinished;
        theNote = theRecord->mNote;
    }
    // A note is never changed once made, so holding a reference is as good as a copy
    // taken under the lock.
    if (outNote == nullptr)
        return;
    try {
        outNote->assign(theNote ? theNote->mAnsi : std::string());
    } catch (const std::bad_alloc&) {
        outNote->clear();
    }
}

size_t ProgressRegistry::Count()
{
    CriticalSectionGuard theLock(mLock);
    return mByAccess.size();
}

LONG NextProgressID(unsigned int& inOutState)
{
    LONG theID = 0;
    do {
        const LONG theHigh = NextGeneratorValue(inOutState);
        const LONG theLow = NextGeneratorValue(inOutState);
        theID = theHigh * 65536 + theLow;
    } while (theID < 1);
    return theID;
}

LONG NewProgressID()
{
    // One generator per thread, as the runtime's, seeded once from the system's random
    // source so that pool threads and separate processes do not hand out the same IDs.
    thread_local unsigned int tState = 0;
    thread_local bool tSeeded = false;
    if (!tSeeded) {
        if (rand_s(&tState) != 0)
            tState = GetTickCount() ^ (GetCurrentThreadId() * 2654435761u) ^ GetCurrentProcessId();
        tSeeded = true;
    }
    return NextProgressID(tState);
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

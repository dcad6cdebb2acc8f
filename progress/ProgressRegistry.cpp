// ProgressRegistry.cpp: the locked progress table, its notes and its idle expiry.
#include "progress/ProgressRegistry.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

namespace {

const char kNoRecordNote[] = "Connecting...";

/// Converts an ANSI note to its shared form (wide text and the ANSI text it reads back
/// as). Null for a text that does not convert.
std::shared_ptr<const ProgressNote> MakeNote(LPCSTR inNote, UINT inCodePage)
{
    int theWideLen = MultiByteToWideChar(inCodePage, 0, inNote, -1, nullptr, 0);
    if (theWideLen <= 1)
        return nullptr;
    auto theNote = std::make_shared<ProgressNote>();
    theNote->mWide.resize(static_cast<size_t>(theWideLen));
    MultiByteToWideChar(inCodePage, 0, inNote, -1, theNote->mWide.data(), theWideLen);
    theNote->mWide.resize(static_cast<size_t>(theWideLen - 1));

    int theAnsiLen = WideCharToMultiByte(inCodePage, 0, theNote->mWide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (theAnsiLen <= 1)
        return nullptr;
    theNote->mAnsi.resize(static_cast<size_t>(theAnsiLen));
    WideCharToMultiByte(inCodePage, 0, theNote->mWide.c_str(), -1, theNote->mAnsi.data(), theAnsiLen, nullptr,
                        nullptr);
    theNote->mAnsi.resize(static_cast<size_t>(theAnsiLen - 1));
    return theNote;
}

/// The shared form of an ANSI note (system code page), made outside the registry lock so
/// that readers never wait on a conversion. Uploads set the same few notes over and
/// over, so each thread keeps the last ones it made and records share them: a minute of
/// finished uploads then holds no note of its own. Null for no text, an empty text, or a
/// text that does not convert.
std::shared_ptr<const ProgressNote> SharedNote(LPCSTR inNote)
{
    if (inNote == nullptr || inNote[0] == '\0')
        return nullptr;
    struct Made {
        std::string mText;  // empty: unused
        UINT mCodePage = 0;
        std::shared_ptr<const ProgressNote> mNote;
    };
    thread_local std::array<Made, 8> tMade;
    thread_local size_t tNextMade = 0;
    const UINT theCodePage = GetACP();
    for (const Made& theMade : tMade) {
        if (theMade.mCodePage == theCodePage && theMade.mText == inNote)
            return theMade.mNote;
    }
    Made& theMade = tMade[tNextMade];
    tNextMade = (tNextMade + 1) % tMade.size();
    // Unused until complete, so running short of memory halfway never pairs a text with
    // another text's note.
    theMade.mText.clear();
    theMade.mNote = MakeNote(inNote, theCodePage);
    theMade.mCodePage = theCodePage;
    theMade.mText = inNote;
    return theMade.mNote;
}

/// The seed of a registry's ID index, from the system's random source.
std::uint64_t IndexSeed()
{
    unsigned int theHigh = 0, theLow = 0;
    if (rand_s(&theHigh) != 0 || rand_s(&theLow) != 0)
        return (static_cast<std::uint64_t>(GetTickCount()) << 32) ^ GetCurrentProcessId() ^ 0x9E3779B97F4A7C15ull;
    return (static_cast<std::uint64_t>(theHigh) << 32) | theLow;
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

ProgressRegistry::ProgressRegistry() : mTable(IndexSeed())
{
}

void ProgressRegistry::Register(LONG inID)
{
    CriticalSectionGuard theLock(mLock);
    try {
        const ProgressTable::Index theAt = mTable.Append(inID);
        ProgressRecord& theRecord = mTable.At(theAt);
        theRecord.mStartTick = GetTickCount();
        theRecord.mLastAccessTick = theRecord.mStartTick;
    } catch (const std::bad_alloc&) {
        // Out of memory: no record, as if the upload had no ID.
    }
}

void ProgressRegistry::Unregister(LONG inID)
{
    CriticalSectionGuard theLock(mLock);
    const DWORD theNow = GetTickCount();
    mTable.RemoveAll(inID);
    // Oldest access first: the walk ends at the first record that is not idle.
    for (ProgressTable::Index theAt = mTable.Oldest();
         theAt != ProgressTable::kNone && static_cast<DWORD>(theNow - mTable.At(theAt).mLastAccessTick) > kIdleLimit;
         theAt = mTable.Oldest())
        mTable.Remove(theAt);
}

void ProgressRegistry::SetBytes(LONG inID, LONG inBytesDone, LONG inBytesTotal)
{
    CriticalSectionGuard theLock(mLock);
    const ProgressTable::Index theAt = mTable.First(inID);
    if (theAt == ProgressTable::kNone)
        return;
    ProgressRecord& theRecord = mTable.At(theAt);
    theRecord.mBytesDone = inBytesDone;
    theRecord.mBytesTotal = inBytesTotal;
    theRecord.mStarted = VARIANT_TRUE;
    theRecord.mLastAccessTick = GetTickCount();
    mTable.Touch(theAt);
}

void ProgressRegistry::SetNote(LONG inID, LPCSTR inNote)
{
    std::shared_ptr<const ProgressNote> theNote;
    try {
        theNote = SharedNote(inNote);
    } catch (const std::bad_alloc&) {
        // The note becomes empty.
    }
    std::shared_ptr<const ProgressNote> theOld;
    {
        CriticalSectionGuard theLock(mLock);
        const ProgressTable::Index theAt = mTable.First(inID);
        if (theAt == ProgressTable::kNone)
            return;
        theOld = std::exchange(mTable.At(theAt).mNote, std::move(theNote));
    }
    // theOld is released here, outside the lock.
}

void ProgressRegistry::MarkFinished(LONG inID)
{
    CriticalSectionGuard theLock(mLock);
    const ProgressTable::Index theAt = mTable.First(inID);
    if (theAt != ProgressTable::kNone)
        mTable.At(theAt).mFinished = VARIANT_TRUE;
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
    std::shared_ptr<const ProgressNote> theNote;
    {
        CriticalSectionGuard theLock(mLock);
        const ProgressTable::Index theAt = mTable.First(inID);
        if (theAt == ProgressTable::kNone) {
            if (outNote != nullptr)
                outNote->assign(kNoRecordNote);
            return;
        }
        const DWORD theNow = GetTickCount();
        ProgressRecord* theRecord = &mTable.At(theAt);
        theRecord->mLastAccessTick = theNow;
        mTable.Touch(theAt);
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
        if (theNote)
            outNote->assign(theNote->mAnsi);
        else
            outNote->clear();
    } catch (const std::bad_alloc&) {
        outNote->clear();
    }
}

size_t ProgressRegistry::Count()
{
    CriticalSectionGuard theLock(mLock);
    return mTable.Size();
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

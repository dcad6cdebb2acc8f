// ProgressRecord.h: one upload's progress as the registry keeps it, and its note.
//
//   ProgressRecord theRecord;
//   theRecord.mID = theID;
//   theRecord.mStartTick = static_cast<DWORD>(theNow);
//   theRecord.mLastAccessTick = theNow;
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <string>

/// The note of a record: a wide text shared by reference, with the ANSI form (system
/// code page) that readers get. Both are made before the note is stored and never change
/// afterwards, so readers may keep a reference past the registry lock.
struct ProgressNote {
    std::u16string mWide;
    std::string mAnsi;
};

/// One upload's progress.
struct ProgressRecord {
    LONG mID = 0;
    LONG mBytesTotal = 0;
    LONG mBytesDone = 0;
    VARIANT_BOOL mStarted = VARIANT_FALSE;
    VARIANT_BOOL mFinished = VARIANT_FALSE;
    /// The 32-bit tick of registration: elapsed times are unsigned 32-bit differences
    /// from it, right across the counter's wrap.
    DWORD mStartTick = 0;
    /// The 64-bit tick of the last read or byte update. Kept wide so that idle times are
    /// plain differences that only grow, which is what lets expiry look at the oldest
    /// records alone.
    ULONGLONG mLastAccessTick = 0;
    std::shared_ptr<ProgressNote> mNote;  // null: the empty note
};

// ProgressRecord.h: what the progress registry knows of one upload.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <string>

/// The note of a record: a wide text shared by reference, with the ANSI form (system
/// code page) that readers get. Both are made before the note is stored and never change
/// afterwards, so readers may keep a reference past the registry lock, and records with
/// the same note may share one.
struct ProgressNote {
    std::basic_string<WCHAR> mWide;
    std::string mAnsi;
};

/// One upload's progress.
struct ProgressRecord {
    LONG mID = 0;
    LONG mBytesTotal = 0;
    LONG mBytesDone = 0;
    VARIANT_BOOL mStarted = VARIANT_FALSE;
    VARIANT_BOOL mFinished = VARIANT_FALSE;
    DWORD mStartTick = 0;
    DWORD mLastAccessTick = 0;
    std::shared_ptr<const ProgressNote> mNote;  // null: the empty note
};

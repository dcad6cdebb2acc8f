// ProgressFigures.h: the figures a progress page shows, derived from one reading of an
// upload's record, and the cleaning of its note for use inside page scripts.
//
//   ProgressReading theReading{500, 1000, 2000, false};
//   LONG thePercent = PercentDone(theReading);     // 47: reaches 100 only once finished
//   char theNote[] = "say \"hi\"\n";
//   CleanNote(theNote);                             // "say  hi  "
#pragma once

#include <windows.h>

/// Values of one GetProgress call; for an ID without a record all zero and false.
struct ProgressReading {
    LONG mDone = 0;
    LONG mTotal = 0;
    DWORD mElapsed = 0;  ///< milliseconds since registration
    bool mFinished = false;
};

/// 100 when all bytes are in and the upload is finished; otherwise done / total * 95
/// (at most 95 while reading), truncated; 0 without a total.
LONG PercentDone(const ProgressReading& inReading);

/// Whole seconds since registration.
LONG ElapsedSeconds(const ProgressReading& inReading);

/// Estimated seconds to go at the average rate so far; 0 before the first byte.
LONG SecondsLeft(const ProgressReading& inReading);

/// Average bytes per second since registration; 0 in the first millisecond.
LONG BytesPerSecond(const ProgressReading& inReading);

/// Replaces tab, line feed, carriage return, both quotes and backslash by blanks, so a
/// note can be dropped into a script string literal of a page as it is.
void CleanNote(char* inOutNote);

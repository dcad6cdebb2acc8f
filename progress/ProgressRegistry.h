// ProgressRegistry.h: the process-wide table of upload progress, keyed by progress ID.
// The upload reader writes records, progress objects read them; the two pages share
// nothing but the ID.
//
//   LONG theID = NewProgressID();
//   UnregisterProgress(theID);            // also drops records idle for over a minute
//   RegisterProgress(theID);
//   SetProgressNote(theID, "Reading upload...");
//   SetProgressBytes(theID, 2048, 100000);
//   LONG theDone = 0, theTotal = 0;
//   std::string theNote;
//   GetProgress(theID, &theDone, &theTotal, nullptr, nullptr, nullptr, &theNote);
//   MarkProgressFinished(theID);
//
// The registry lock is the innermost lock of the component: callers may hold their own
// object locks, and nothing here calls back out. No operation reports a failure.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "platform/common/CriticalSection.h"
#include "progress/ProgressRecord.h"
#include "progress/ProgressTable.h"

#include <string>

/// A table of progress records. Several records may share an ID; every lookup reaches the
/// first one registered. Records are kept in order of last access, so expiry looks only
/// at the records that really expire: every operation costs the same however many
/// uploads are in flight (expiry is paid once per expired record). Thread-safe.
class ProgressRegistry {
public:
    /// Milliseconds a record may stay unread and unwritten before it expires.
    static constexpr DWORD kIdleLimit = 60000;

    ProgressRegistry();
    ProgressRegistry(const ProgressRegistry&) = delete;
    ProgressRegistry& operator=(const ProgressRegistry&) = delete;

    /// The registry of this module (made on first use, lives until the module unloads).
    static ProgressRegistry& Module();

    /// Appends a fresh record for inID (zero counts, empty note, both ticks now).
    void Register(LONG inID);
    /// Removes every record of inID and every record idle for more than kIdleLimit ms.
    void Unregister(LONG inID);
    /// Stores both counts on the first record of inID, sets started, refreshes its access.
    void SetBytes(LONG inID, LONG inBytesDone, LONG inBytesTotal);
    /// Replaces the note of the first record of inID by inNote (ANSI; null: empty).
    void SetNote(LONG inID, LPCSTR inNote);
    /// Sets finished on the first record of inID; the access tick stays.
    void MarkFinished(LONG inID);
    /// Reads the first record of inID into the outputs that are not null and refreshes
    /// its access. Defaults (no record): 0, 0, 0, false, "Connecting..."; *outFinished is
    /// left alone then, so callers start it at false.
    void Get(LONG inID, LONG* outBytesDone, LONG* outBytesTotal, DWORD* outElapsed,
             VARIANT_BOOL* outStarted, VARIANT_BOOL* outFinished, std::string* outNote);
    /// Number of records held.
    size_t Count();

private:
    CriticalSection mLock;
    ProgressTable mTable;
};

/// A new progress ID, 1 or above, with bits 15 and 31 clear: two 15-bit values of the
/// calling thread's generator, the first in the upper half. Each thread's generator is
/// seeded once from the system's random source, so threads and processes do not repeat
/// each other's IDs.
LONG NewProgressID();

/// The ID that the generator whose state is inOutState gives next, advancing the state:
/// the C runtime's generator (state = state * 214013 + 2531011, value = bits 16 to 30),
/// two values, the first in the upper half, again while the result is below 1. It lives
/// here rather than in the runtime so that every system gives the same sequence.
LONG NextProgressID(unsigned int& inOutState);

/// Appends a fresh record for inID to the module's registry.
void RegisterProgress(LONG inID);
/// Removes every record of inID and every record idle for more than a minute.
void UnregisterProgress(LONG inID);
/// Stores bytes done and total on the first record of inID and marks it started.
void SetProgressBytes(LONG inID, LONG inBytesDone, LONG inBytesTotal);
/// Replaces the note of the first record of inID (ANSI text in the system code page).
void SetProgressNote(LONG inID, LPCSTR inNote);
/// Marks the first record of inID finished; its counts stay.
void MarkProgressFinished(LONG inID);
/// Reads the first record of inID into the given outputs (see ProgressRegistry::Get).
void GetProgress(LONG inID, LONG* outBytesDone = nullptr, LONG* outBytesTotal = nullptr,
                 DWORD* outElapsed = nullptr, VARIANT_BOOL* outStarted = nullptr,
                 VARIANT_BOOL* outFinished = nullptr, std::string* outNote = nullptr);

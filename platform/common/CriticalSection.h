// CriticalSection.h: an owned re-entrant critical section and its scope guard.
//
//   CriticalSection mLock;
//   ...
//   CriticalSectionGuard theGuard(mLock);   // left when theGuard goes out of scope
#pragma once

#include <windows.h>

/// Owns one CRITICAL_SECTION for its lifetime.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&mSection); }
    ~CriticalSection() { DeleteCriticalSection(&mSection); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    /// Enters; re-entrant for the owning thread.
    void Enter() { EnterCriticalSection(&mSection); }
    /// Leaves one level of Enter.
    void Leave() { LeaveCriticalSection(&mSection); }

private:
    CRITICAL_SECTION mSection;
};

/// Holds a CriticalSection from construction to destruction.
class CriticalSectionGuard {
public:
    explicit CriticalSectionGuard(CriticalSection& inSection) : mSection(inSection) { mSection.Enter(); }
    ~CriticalSectionGuard() { mSection.Leave(); }
    CriticalSectionGuard(const CriticalSectionGuard&) = delete;
    CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

private:
    CriticalSection& mSection;
};

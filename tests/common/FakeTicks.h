// FakeTicks.h: a tick counter the tests move by hand.
#pragma once

#include <windows.h>

#include <atomic>

/// Replaces the process's tick source while alive; Now() and Advance() steer it.
class FakeTicks {
public:
    explicit FakeTicks(ULONGLONG inStart = 1000)
    {
        sNow = inStart;
        ferrolift::platform::SetTickCountSource(&Read);
    }
    ~FakeTicks() { ferrolift::platform::SetTickCountSource(nullptr); }
    FakeTicks(const FakeTicks&) = delete;
    FakeTicks& operator=(const FakeTicks&) = delete;

    void Set(ULONGLONG inNow) { sNow = inNow; }
    void Advance(ULONGLONG inMs) { sNow += inMs; }

private:
    static ULONGLONG Read() { return sNow.load(); }
    static inline std::atomic<ULONGLONG> sNow{0};
};

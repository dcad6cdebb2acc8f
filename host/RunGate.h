// RunGate.h: how many pages run on the processors at once. A page thread takes a slot
// while it computes and gives it back while it waits for its client, so that a few
// pages run at a time, each to its end, instead of every worker thread sharing the
// processors in small slices (which made the slowest small requests wait a hundred
// times longer than the typical one). Slots go to waiters in arrival order, those of
// rank Ahead (requests without a body: pages, progress polls) before the others, so a
// progress bar keeps moving while uploads are being split; after sixteen Ahead waiters
// in a row a waiting upload has its turn, so a flood of polls cannot stop uploads.
// When no slot has been given back for the gate's patience, the holders are blocked on
// something the gate cannot see (another server, a lock), and one waiter runs beside
// them, one more each patience; a long queue of slots that do move is simply waited out.
//
//   RunGate theGate(2 * std::thread::hardware_concurrency(), std::chrono::milliseconds(50));
//   {
//       RunGate::Slot theSlot(theGate, RunGate::Rank::Ahead);   // around the page
//       ... { RunGate::Wait theWait; poll(...); } ...           // around a wait for the client
//   }
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace ferrolift::host {

/// A counted set of run slots with a bounded wait.
class RunGate {
public:
    enum class Rank { Normal, Ahead };
    using Clock = std::chrono::steady_clock;

    RunGate(int inSlots, std::chrono::milliseconds inPatience);
    RunGate(const RunGate&) = delete;
    RunGate& operator=(const RunGate&) = delete;

    /// Holds a slot on this thread for its life; nests with Wait.
    class Slot {
    public:
        explicit Slot(RunGate& inGate, Rank inRank = Rank::Normal);
        ~Slot();
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;

    private:
        RunGate* mOuterGate;
        Rank mOuterRank;
    };

    /// Gives this thread's slot (if it holds one) back for the life of the object.
    class Wait {
    public:
        Wait();
        ~Wait();
        Wait(const Wait&) = delete;
        Wait& operator=(const Wait&) = delete;

    private:
        RunGate* mGate;
        Rank mRank;
    };

    /// Slots held now (may exceed the count while impatient pages run).
    int Busy() const;
    /// Threads waiting for a slot.
    int Waiting() const;

private:
    static constexpr int kAheadInARow = 16;

    struct Waiter {
        std::condition_variable turn;
        bool granted = false;
    };

    void Enter(Rank inRank);
    void Leave();

    const int mSlots;
    const std::chrono::milliseconds mPatience;
    mutable std::mutex mLock;
    std::deque<Waiter*> mAhead;     // oldest first
    std::deque<Waiter*> mNormal;    // oldest first, served when mAhead is empty or has had its run
    int mAheadInARow = 0;           // slots given to Ahead waiters while Normal ones waited
    int mBusy = 0;                  // slots held, impatient pages included
    Clock::time_point mLastMove = Clock::now();   // a slot was last given back then
};

}  // namespace ferrolift::host

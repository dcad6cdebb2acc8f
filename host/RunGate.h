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
// A waiter is a thread that wants its slot back, or a job (a page not started yet) that
// needs a slot before it needs a thread: the gate starts it on its runner pool when its
// turn comes, and a page that ends passes its slot, and its thread, straight on to the
// next job. So a queue of pages costs no thread that wakes only to wait again.
//
//   RunGate theGate(std::thread::hardware_concurrency(), std::chrono::milliseconds(50), &thePool, 4096);
//   theGate.Admit(theJob, RunGate::Rank::Ahead);             // runs now or in its turn
//   // in the job's Run:
//   RunGate::Slot theSlot(theGate, RunGate::Rank::Ahead, RunGate::kAdmitted);
//   ... { RunGate::Wait theWait; poll(...); } ...           // around a wait for the client
//   mNext = theSlot.Pass();                                   // the next job, for this thread
//   // elsewhere (a thread that is not a job):
//   RunGate::Slot theSlot(theGate, RunGate::Rank::Normal);   // waits for a slot
//   theGate.Tick();   // every patience while jobs wait: starts one if the holders are stuck
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>

#include "host/WorkerPool.h"

namespace ferrolift::host {

/// A counted set of run slots with a bounded wait.
class RunGate {
public:
    enum class Rank { Normal, Ahead };
    using Clock = std::chrono::steady_clock;
    using Job = WorkerPool::Task;

    /// Tag of the Slot constructor that takes over the slot a job was admitted with.
    struct Admitted {};
    static constexpr Admitted kAdmitted{};

    /// inRunner starts admitted jobs (none: the gate only sees threads); at most
    /// inMaxJobs wait at once.
    RunGate(int inSlots, std::chrono::milliseconds inPatience, WorkerPool* inRunner = nullptr,
            std::size_t inMaxJobs = 0);
    ~RunGate();
    RunGate(const RunGate&) = delete;
    RunGate& operator=(const RunGate&) = delete;

    enum class Admission { Started, Queued, Refused };
    /// Gives inOutJob (moved from) a free slot and starts it, or queues it for its turn;
    /// Refused (left untouched) when inMaxJobs wait already or the runner takes no task.
    Admission Admit(std::unique_ptr<Job>& inOutJob, Rank inRank);
    /// Starts one waiting job beside the holders when no slot has moved for the
    /// patience; true while jobs still wait. Call it about once a patience while they do.
    bool Tick();

    /// Holds a slot on this thread for its life; nests with Wait.
    class Slot {
    public:
        /// Waits for a slot.
        explicit Slot(RunGate& inGate, Rank inRank = Rank::Normal);
        /// Takes over the slot that Admit gave the job running on this thread.
        Slot(RunGate& inGate, Rank inRank, Admitted);
        ~Slot();
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;

        /// Gives the slot back now. When it passes to a waiting job, that job is returned
        /// (holding the slot) for this thread to run next, rather than started elsewhere.
        std::unique_ptr<Job> Pass();

    private:
        RunGate* mOuterGate;
        Rank mOuterRank;
        bool mHeld = true;
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
    /// Threads and jobs waiting for a slot.
    int Waiting() const;

private:
    static constexpr int kAheadInARow = 16;

    struct Waiter {
        std::condition_variable turn;
        bool granted = false;
    };
    // One place in a queue: a thread waiting in Enter, or a job.
    struct Entry {
        Waiter* thread = nullptr;
        Rank rank = Rank::Normal;
        std::unique_ptr<Job> job;
    };

    void Enter(Rank inRank);
    /// Gives a slot back; returns the job it passed to, if any, for the caller to start.
    Entry Leave();
    /// Hands a job that holds a slot to the runner; one it cannot take yet waits again.
    void Start(Entry inJob);

    const int mSlots;
    const std::chrono::milliseconds mPatience;
    WorkerPool* const mRunner;
    const std::size_t mMaxJobs;
    mutable std::mutex mLock;
    std::deque<Entry> mAhead;       // oldest first
    std::deque<Entry> mNormal;      // oldest first, served when mAhead is empty or has had its run
    std::size_t mJobs = 0;          // jobs among the entries
    int mAheadInARow = 0;           // slots given to Ahead waiters while Normal ones waited
    int mBusy = 0;                  // slots held, impatient pages included
    Clock::time_point mLastMove = Clock::now();   // a slot was last given back then
};

}  // namespace ferrolift::host

#include "host/RunGate.h"

#include <algorithm>

namespace ferrolift::host {

namespace {

// The gate whose slot this thread holds, and the rank it came with.
thread_local RunGate* tGate = nullptr;
thread_local RunGate::Rank tRank = RunGate::Rank::Normal;

}  // namespace

RunGate::RunGate(int inSlots, std::chrono::milliseconds inPatience, WorkerPool* inRunner, std::size_t inMaxJobs)
    : mSlots(inSlots < 1 ? 1 : inSlots), mPatience(inPatience), mRunner(inRunner), mMaxJobs(inMaxJobs)
{
}

RunGate::~RunGate() = default;

RunGate::Admission RunGate::Admit(std::unique_ptr<Job>& inOutJob, Rank inRank)
{
    if (mRunner == nullptr)
        return Admission::Refused;
    {
        std::lock_guard<std::mutex> theGuard(mLock);
        if (mBusy >= mSlots || !mAhead.empty() || !mNormal.empty()) {
            if (mJobs >= mMaxJobs)
                return Admission::Refused;
            (inRank == Rank::Ahead ? mAhead : mNormal).push_back(Entry{nullptr, inRank, std::move(inOutJob)});
            ++mJobs;
            return Admission::Queued;
        }
        ++mBusy;
    }
    if (mRunner->Submit(inOutJob))
        return Admission::Started;
    Start(Leave());   // the slot it would have had goes on
    return Admission::Refused;
}

bool RunGate::Tick()
{
    Entry theJob;
    {
        std::lock_guard<std::mutex> theGuard(mLock);
        if (mJobs == 0)
            return false;
        const Clock::time_point theNow = Clock::now();
        if (theNow - mLastMove < mPatience)
            return true;
        // The holders are stuck: the oldest job of the higher rank runs beside them.
        for (std::deque<Entry>* theQueue : {&mAhead, &mNormal}) {
            auto theFound = std::find_if(theQueue->begin(), theQueue->end(),
                                         [](const Entry& inEntry) { return inEntry.job != nullptr; });
            if (theFound == theQueue->end())
                continue;
            theJob = std::move(*theFound);
            theQueue->erase(theFound);
            break;
        }
        --mJobs;
        ++mBusy;
        mLastMove = theNow;
    }
    Start(std::move(theJob));
    std::lock_guard<std::mutex> theGuard(mLock);
    return mJobs > 0;
}

void RunGate::Enter(Rank inRank)
{
    std::unique_lock<std::mutex> theGuard(mLock);
    if (mBusy < mSlots && mAhead.empty() && mNormal.empty()) {
        ++mBusy;
        return;
    }
    Waiter theWaiter;
    std::deque<Entry>& theQueue = inRank == Rank::Ahead ? mAhead : mNormal;
    theQueue.push_back(Entry{&theWaiter, inRank, nullptr});
    for (;;) {
        if (theWaiter.turn.wait_for(theGuard, mPatience, [&theWaiter] { return theWaiter.granted; }))
            return;
        // While slots keep changing hands the queue is just long, and waiting is right.
        // When none has for the whole patience, the holders are stuck on something the
        // gate cannot see: one waiter runs beside them (one more each patience).
        const Clock::time_point theNow = Clock::now();
        if (theNow - mLastMove >= mPatience) {
            theQueue.erase(std::find_if(theQueue.begin(), theQueue.end(),
                                        [&theWaiter](const Entry& inEntry) { return inEntry.thread == &theWaiter; }));
            ++mBusy;
            mLastMove = theNow;
            return;
        }
    }
}

RunGate::Entry RunGate::Leave()
{
    std::lock_guard<std::mutex> theGuard(mLock);
    mLastMove = Clock::now();
    // Ahead waiters go first, but never more than kAheadInARow times past a waiting
    // upload: a flood of polls slows uploads down without stopping them.
    const bool theNormalsTurn = !mNormal.empty() && (mAhead.empty() || mAheadInARow >= kAheadInARow);
    std::deque<Entry>& theQueue = theNormalsTurn ? mNormal : mAhead;
    if (mBusy > mSlots || theQueue.empty()) {
        --mBusy;
        return {};
    }
    // The slot passes straight to the waiter whose turn it is.
    mAheadInARow = theNormalsTurn || mNormal.empty() ? 0 : mAheadInARow + 1;
    Entry theNext = std::move(theQueue.front());
    theQueue.pop_front();
    if (theNext.thread != nullptr) {
        theNext.thread->granted = true;
        theNext.thread->turn.notify_one();
        return {};
    }
    --mJobs;
    return theNext;
}

void RunGate::Start(Entry inJob)
{
    if (inJob.job == nullptr || mRunner->Submit(inJob.job))
        return;
    // No thread for it now (the runner is full or has stopped): it waits again, first
    // in line, and a later slot or Tick tries once more.
    std::lock_guard<std::mutex> theGuard(mLock);
    --mBusy;
    (inJob.rank == Rank::Ahead ? mAhead : mNormal).push_front(std::move(inJob));
    ++mJobs;
}

int RunGate::Busy() const
{
    std::lock_guard<std::mutex> theGuard(mLock);
    return mBusy;
}

int RunGate::Waiting() const
{
    std::lock_guard<std::mutex> theGuard(mLock);
    return static_cast<int>(mAhead.size() + mNormal.size());
}

RunGate::Slot::Slot(RunGate& inGate, Rank inRank) : mOuterGate(tGate), mOuterRank(tRank)
{
    if (mOuterGate != nullptr)
        mOuterGate->Start(mOuterGate->Leave());
    inGate.Enter(inRank);
    tGate = &inGate;
    tRank = inRank;
}

RunGate::Slot::Slot(RunGate& inGate, Rank inRank, Admitted) : mOuterGate(tGate), mOuterRank(tRank)
{
    tGate = &inGate;
    tRank = inRank;
}

RunGate::Slot::~Slot()
{
    if (mHeld)
        tGate->Start(tGate->Leave());
    tGate = mOuterGate;
    tRank = mOuterRank;
    if (mOuterGate != nullptr)
        mOuterGate->Enter(mOuterRank);
}

std::unique_ptr<RunGate::Job> RunGate::Slot::Pass()
{
    if (!mHeld)
        return nullptr;
    mHeld = false;
    RunGate* theGate = tGate;
    tGate = nullptr;   // nothing held now: a Wait has nothing to give
    return theGate->Leave().job;
}

RunGate::Wait::Wait() : mGate(tGate), mRank(tRank)
{
    if (mGate != nullptr)
        mGate->Start(mGate->Leave());
    tGate = nullptr;
}

RunGate::Wait::~Wait()
{
    if (mGate != nullptr)
        mGate->Enter(mRank);
    tGate = mGate;
}

}  // namespace ferrolift::host

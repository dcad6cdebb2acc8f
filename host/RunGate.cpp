#include "host/RunGate.h"

#include <algorithm>

namespace ferrolift::host {

namespace {

// The gate whose slot this thread holds, and the rank it came with.
thread_local RunGate* tGate = nullptr;
thread_local RunGate::Rank tRank = RunGate::Rank::Normal;

}  // namespace

RunGate::RunGate(int inSlots, std::chrono::milliseconds inPatience)
    : mSlots(inSlots < 1 ? 1 : inSlots), mPatience(inPatience)
{
}

void RunGate::Enter(Rank inRank)
{
    std::unique_lock<std::mutex> theGuard(mLock);
    if (mBusy < mSlots && mAhead.empty() && mNormal.empty()) {
        ++mBusy;
        return;
    }
    Waiter theWaiter;
    std::deque<Waiter*>& theQueue = inRank == Rank::Ahead ? mAhead : mNormal;
    theQueue.push_back(&theWaiter);
    for (;;) {
        if (theWaiter.turn.wait_for(theGuard, mPatience, [&theWaiter] { return theWaiter.granted; }))
            return;
        // While slots keep changing hands the queue is just long, and waiting is right.
        // When none has for the whole patience, the holders are stuck on something the
        // gate cannot see: one waiter runs beside them (one more each patience).
        const Clock::time_point theNow = Clock::now();
        if (theNow - mLastMove >= mPatience) {
            theQueue.erase(std::find(theQueue.begin(), theQueue.end(), &theWaiter));
            ++mBusy;
            mLastMove = theNow;
            return;
        }
    }
}

void RunGate::Leave()
{
    std::lock_guard<std::mutex> theGuard(mLock);
    mLastMove = Clock::now();
    // Ahead waiters go first, but never more than kAheadInARow times past a waiting
    // upload: a flood of polls slows uploads down without stopping them.
    const bool theNormalsTurn = !mNormal.empty() && (mAhead.empty() || mAheadInARow >= kAheadInARow);
    std::deque<Waiter*>& theQueue = theNormalsTurn ? mNormal : mAhead;
    if (mBusy > mSlots || theQueue.empty()) {
        --mBusy;
        return;
    }
    // The slot passes straight to the waiter whose turn it is.
    mAheadInARow = theNormalsTurn || mNormal.empty() ? 0 : mAheadInARow + 1;
    Waiter* theNext = theQueue.front();
    theQueue.pop_front();
    theNext->granted = true;
    theNext->turn.notify_one();
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
        mOuterGate->Leave();
    inGate.Enter(inRank);
    tGate = &inGate;
    tRank = inRank;
}

RunGate::Slot::~Slot()
{
    tGate->Leave();
    tGate = mOuterGate;
    tRank = mOuterRank;
    if (mOuterGate != nullptr)
        mOuterGate->Enter(mOuterRank);
}

RunGate::Wait::Wait() : mGate(tGate), mRank(tRank)
{
    if (mGate != nullptr)
        mGate->Leave();
    tGate = nullptr;
}

RunGate::Wait::~Wait()
{
    if (mGate != nullptr)
        mGate->Enter(mRank);
    tGate = mGate;
}

}  // namespace ferrolift::host

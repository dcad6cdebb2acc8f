#include "host/RunGate.h"

#include <algorithm>

namespace ferrolift::host {

namespace {

thread_local RunGate* tHeld = nullptr;   // the gate whose slot this thread holds

}  // namespace

RunGate::RunGate(int inSlots, std::chrono::milliseconds inPatience)
    : mSlots(inSlots < 1 ? 1 : inSlots), mPatience(inPatience)
{
}

void RunGate::Enter()
{
    std::unique_lock<std::mutex> theGuard(mLock);
    if (mBusy < mSlots && mWaiting.empty()) {
        ++mBusy;
        return;
    }
    // Slots go to waiters in the order they came, so no page waits behind later ones.
    Waiter theWaiter;
    mWaiting.push_back(&theWaiter);
    if (!theWaiter.turn.wait_for(theGuard, mPatience, [&theWaiter] { return theWaiter.granted; })) {
        mWaiting.erase(std::find(mWaiting.begin(), mWaiting.end(), &theWaiter));
        ++mBusy;   // out of patience: runs beside the others
    }
}

void RunGate::Leave()
{
    std::lock_guard<std::mutex> theGuard(mLock);
    if (mBusy > mSlots || mWaiting.empty()) {
        --mBusy;
        return;
    }
    // The slot passes straight to the oldest waiter.
    Waiter* theNext = mWaiting.front();
    mWaiting.pop_front();
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
    return static_cast<int>(mWaiting.size());
}

RunGate::Slot::Slot(RunGate& inGate) : mOuter(tHeld)
{
    if (mOuter != nullptr)
        mOuter->Leave();
    inGate.Enter();
    tHeld = &inGate;
}

RunGate::Slot::~Slot()
{
    tHeld->Leave();
    tHeld = mOuter;
    if (mOuter != nullptr)
        mOuter->Enter();
}

RunGate::Wait::Wait() : mGate(tHeld)
{
    if (mGate != nullptr)
        mGate->Leave();
    tHeld = nullptr;
}

RunGate::Wait::~Wait()
{
    if (mGate != nullptr)
        mGate->Enter();
    tHeld = mGate;
}

}  // namespace ferrolift::host

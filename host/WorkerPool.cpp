#include "host/WorkerPool.h"

namespace ferrolift::host {

WorkerPool::WorkerPool(int inMaxThreads, std::size_t inMaxQueued, std::size_t inStackBytes,
                       std::chrono::milliseconds inIdleLinger)
    : mMaxThreads(inMaxThreads < 1 ? 1 : inMaxThreads), mMaxQueued(inMaxQueued), mStackBytes(inStackBytes),
      mIdleLinger(inIdleLinger)
{
}

WorkerPool::~WorkerPool()
{
    Stop();
}

bool WorkerPool::Submit(std::unique_ptr<Task>& inOutTask)
{
    std::unique_lock<std::mutex> theGuard(mLock);
    if (mStopping && mThreads == 0)
        return false;
    JoinFinishedLocked();
    std::size_t theWaiting = mQueue.size();
    bool theFree = theWaiting < static_cast<std::size_t>(mAvailable);
    if (!theFree && !(mThreads < mMaxThreads && SpawnLocked())) {
        // No thread will take it at once: it may wait in the queue, if there is room.
        std::size_t theUnclaimed = theWaiting - std::min<std::size_t>(theWaiting, static_cast<std::size_t>(mAvailable));
        if (theUnclaimed >= mMaxQueued || mThreads == 0)
            return false;
    }
    mQueue.push_back(std::move(inOutTask));
    // Woken after the lock is given up, or the worker wakes only to wait for the lock.
    theGuard.unlock();
    mWake.notify_one();
    return true;
}

std::size_t WorkerPool::Load() const
{
    std::lock_guard<std::mutex> theGuard(mLock);
    return mQueue.size() + static_cast<std::size_t>(mRunning);
}

bool WorkerPool::SpawnLocked()
{
    pthread_attr_t theAttributes;
    pthread_attr_init(&theAttributes);
    if (mStackBytes > 0)
        pthread_attr_setstacksize(&theAttributes, mStackBytes);
    pthread_t theThread;
    int theError = pthread_create(&theThread, &theAttributes, &WorkerPool::ThreadMain, this);
    pthread_attr_destroy(&theAttributes);
    if (theError != 0)
        return false;
    ++mThreads;
    ++mAvailable;
    return true;
}

void WorkerPool::JoinFinishedLocked()
{
    // These threads have left Work() for good; joining only waits for their last return.
    for (pthread_t theThread : mFinished)
        pthread_join(theThread, nullptr);
    mFinished.clear();
}

void* WorkerPool::ThreadMain(void* inPool)
{
    static_cast<WorkerPool*>(inPool)->Work();
    return nullptr;
}

void WorkerPool::Work()
{
    std::unique_lock<std::mutex> theGuard(mLock);
    for (;;) {
        if (mQueue.empty() && !mStopping) {
            bool theWoken = mWake.wait_for(theGuard, mIdleLinger, [this] { return !mQueue.empty() || mStopping; });
            if (!theWoken)
                break;   // idle too long
        }
        if (mQueue.empty())
            break;   // stopping with nothing left
        std::unique_ptr<Task> theTask = std::move(mQueue.front());
        mQueue.pop_front();
        --mAvailable;
        ++mRunning;
        theGuard.unlock();
        while (theTask != nullptr) {
            theTask->Run();
            theTask = theTask->TakeNext();
        }
        theGuard.lock();
        --mRunning;
        ++mAvailable;
    }
    --mAvailable;
    --mThreads;
    mFinished.push_back(pthread_self());
    mAllDone.notify_all();
}

void WorkerPool::Stop()
{
    std::unique_lock<std::mutex> theGuard(mLock);
    mStopping = true;
    mWake.notify_all();
    mAllDone.wait(theGuard, [this] { return mThreads == 0; });
    JoinFinishedLocked();
}

}  // namespace ferrolift::host

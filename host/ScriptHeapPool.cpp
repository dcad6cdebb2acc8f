#include "host/ScriptHeapPool.h"

namespace ferrolift::host {

ScriptHeapPool::ScriptHeapPool(std::size_t inMaxIdle, std::size_t inLimit) : mMaxIdle(inMaxIdle), mLimit(inLimit) {}

ScriptHeapPool& ScriptHeapPool::Shared()
{
    static ScriptHeapPool sPool;
    return sPool;
}

std::unique_ptr<PageHeap> ScriptHeapPool::Checkout()
{
    {
        std::lock_guard<std::mutex> theGuard(mLock);
        if (!mIdle.empty()) {
            // The most recently used heap: its memory is the likeliest to be in cache.
            std::unique_ptr<PageHeap> theHeap = std::move(mIdle.back());
            mIdle.pop_back();
            return theHeap;
        }
        ++mBuilt;
    }
    // Built outside the lock: it takes a while, and other threads may check in meanwhile.
    auto theHeap = std::make_unique<PageHeap>(mLimit);
    if (!theHeap->Valid())
        return nullptr;
    return theHeap;
}

void ScriptHeapPool::Checkin(std::unique_ptr<PageHeap> inHeap, bool inReusable)
{
    if (inHeap == nullptr)
        return;
    if (inReusable && inHeap->Valid()) {
        std::lock_guard<std::mutex> theGuard(mLock);
        if (mIdle.size() < mMaxIdle) {
            mIdle.push_back(std::move(inHeap));
            return;
        }
    }
    inHeap.reset();   // outside the lock: destroying a heap runs its finalizers
}

std::size_t ScriptHeapPool::Idle() const
{
    std::lock_guard<std::mutex> theGuard(mLock);
    return mIdle.size();
}

std::size_t ScriptHeapPool::Built() const
{
    std::lock_guard<std::mutex> theGuard(mLock);
    return mBuilt;
}

}  // namespace ferrolift::host

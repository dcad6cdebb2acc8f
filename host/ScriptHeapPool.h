// ScriptHeapPool.h: page heaps shared by every thread that runs pages. A thread checks a
// heap out for one page and back in afterwards; the pool keeps up to a bounded number
// of idle heaps and frees the rest, and never takes back a heap that is not fit for
// another page (see PageHeap::EndPage).
//
//   ScriptHeapPool::Lease theLease(ScriptHeapPool::Shared());
//   if (!theLease) return;                                  // no heap could be built
//   duk_context* thePage = theLease->BeginPage(&theEnvironment);
//   ...
//   theLease.Return(theLease->EndPage());                   // or destroyed with the lease
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "host/PageHeap.h"

namespace ferrolift::host {

/// A bounded pool of idle page heaps; thread-safe.
class ScriptHeapPool {
public:
    /// Idle heaps kept by default. Building a heap (locking its built-ins) costs as much
    /// as some hundred pages, so the pool keeps enough for the pages that usually run at
    /// once; a burst beyond it builds heaps and frees them afterwards.
    static constexpr std::size_t kDefaultMaxIdle = 32;

    explicit ScriptHeapPool(std::size_t inMaxIdle = kDefaultMaxIdle, std::size_t inLimit = ScriptHeap::kDefaultLimit);
    ScriptHeapPool(const ScriptHeapPool&) = delete;
    ScriptHeapPool& operator=(const ScriptHeapPool&) = delete;

    /// The pool that the page engine uses.
    static ScriptHeapPool& Shared();

    /// An idle heap, or a new one; null when no heap can be built.
    std::unique_ptr<PageHeap> Checkout();
    /// Takes inHeap back when inReusable and there is room; frees it otherwise.
    void Checkin(std::unique_ptr<PageHeap> inHeap, bool inReusable);

    /// Heaps waiting now.
    std::size_t Idle() const;
    /// Heaps built since the pool was made (tells reuse from rebuilding).
    std::size_t Built() const;

    /// One checked-out heap; freed with the lease unless returned as reusable.
    class Lease {
    public:
        explicit Lease(ScriptHeapPool& inPool) : mPool(inPool), mHeap(inPool.Checkout()) {}
        ~Lease() { Return(false); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        explicit operator bool() const { return mHeap != nullptr; }
        PageHeap* operator->() const { return mHeap.get(); }
        /// Gives the heap back now (kept for the next page when inReusable).
        void Return(bool inReusable)
        {
            if (mHeap != nullptr)
                mPool.Checkin(std::move(mHeap), inReusable);
        }

    private:
        ScriptHeapPool& mPool;
        std::unique_ptr<PageHeap> mHeap;
    };

private:
    const std::size_t mMaxIdle;
    const std::size_t mLimit;
    mutable std::mutex mLock;
    std::vector<std::unique_ptr<PageHeap>> mIdle;
    std::size_t mBuilt = 0;
};

}  // namespace ferrolift::host

// WorkerPool.h: threads created on demand up to a cap, with a bounded queue in front of
// them; a thread that stays idle for a while ends, so a burst leaves no threads behind.
// Submit never blocks: a saturated pool says so and the caller answers 503. A task may
// hand its thread on to another task when it ends (TakeNext), which then runs at once on
// the same thread: no thread is woken to take it.
//
//   ferrolift::host::WorkerPool thePool(64, 1024, 0);   // 64 threads, 1024 queued, default stack
//   std::unique_ptr<WorkerPool::Task> theTask = ...;
//   if (!thePool.Submit(theTask)) ... // still ours: refuse the request
//   thePool.Stop();                      // runs what is queued, then joins every thread
#pragma once

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace ferrolift::host {

/// A pool of worker threads.
class WorkerPool {
public:
    /// One unit of work; Run is called once on a pool thread.
    class Task {
    public:
        virtual ~Task() = default;
        virtual void Run() = 0;
        /// After Run: a task to run next on this thread, instead of taking one from the queue.
        virtual std::unique_ptr<Task> TakeNext() { return nullptr; }
    };

    /// inStackBytes 0 keeps the system's default stack size.
    WorkerPool(int inMaxThreads, std::size_t inMaxQueued, std::size_t inStackBytes,
               std::chrono::milliseconds inIdleLinger = std::chrono::seconds(10));
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    /// Hands inOutTask to a thread (moved from), or returns false (left untouched) when
    /// every thread is busy and the queue is full, or the pool has stopped. While Stop
    /// waits, tasks are still taken: those that running tasks hand on must not be lost.
    bool Submit(std::unique_ptr<Task>& inOutTask);
    /// Lets the queued and running tasks finish, joins all threads; refuses tasks after.
    void Stop();
    /// Tasks queued or running.
    std::size_t Load() const;

private:
    static void* ThreadMain(void* inPool);
    void Work();
    bool SpawnLocked();
    void JoinFinishedLocked();

    const int mMaxThreads;
    const std::size_t mMaxQueued;
    const std::size_t mStackBytes;
    const std::chrono::milliseconds mIdleLinger;

    mutable std::mutex mLock;
    std::condition_variable mWake;
    std::condition_variable mAllDone;
    std::deque<std::unique_ptr<Task>> mQueue;
    std::vector<pthread_t> mFinished;   // ended threads not joined yet
    int mThreads = 0;
    int mAvailable = 0;   // threads not running a task: starting, or waiting for one
    int mRunning = 0;
    bool mStopping = false;
};

}  // namespace ferrolift::host

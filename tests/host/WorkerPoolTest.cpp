// The worker pool: at most its cap of threads, a bounded queue, a clear "no" when both are
// full, queued work done before Stop returns, and idle threads that go away.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "host/WorkerPool.h"

using ferrolift::host::WorkerPool;

namespace {

// Blocks its thread until the gate opens; counts the runs.
class GatedTask : public WorkerPool::Task {
public:
    GatedTask(std::shared_future<void> inGate, std::atomic<int>& inRuns) : mGate(std::move(inGate)), mRuns(inRuns) {}
    void Run() override
    {
        mGate.wait();
        ++mRuns;
    }

private:
    std::shared_future<void> mGate;
    std::atomic<int>& mRuns;
};

TEST(WorkerPoolTest, SaturatedPoolRefusesAndKeepsTheTask)
{
    std::promise<void> theGate;
    std::shared_future<void> theOpen = theGate.get_future().share();
    std::atomic<int> theRuns{0};
    WorkerPool thePool(2, 1, 256 * 1024);
    for (int i = 0; i < 3; ++i) {
        std::unique_ptr<WorkerPool::Task> theTask = std::make_unique<GatedTask>(theOpen, theRuns);
        ASSERT_TRUE(thePool.Submit(theTask)) << i;
        EXPECT_EQ(theTask, nullptr);
    }
    std::unique_ptr<WorkerPool::Task> theExtra = std::make_unique<GatedTask>(theOpen, theRuns);
    EXPECT_FALSE(thePool.Submit(theExtra));
    EXPECT_NE(theExtra, nullptr);   // still the caller's, to refuse properly
    EXPECT_EQ(thePool.Load(), 3u);
    theGate.set_value();
    thePool.Stop();   // the queued one runs too
    EXPECT_EQ(theRuns.load(), 3);
    EXPECT_FALSE(thePool.Submit(theExtra));
}

TEST(WorkerPoolTest, IdleThreadsEndAndNewOnesAreMadeOnDemand)
{
    std::promise<void> theGate;
    theGate.set_value();
    std::shared_future<void> theOpen = theGate.get_future().share();
    std::atomic<int> theRuns{0};
    WorkerPool thePool(1, 0, 0, std::chrono::milliseconds(10));
    for (int i = 0; i < 5; ++i) {
        std::unique_ptr<WorkerPool::Task> theTask = std::make_unique<GatedTask>(theOpen, theRuns);
        // With no queue, a task is taken only by a free or new thread: wait for the last.
        while (!thePool.Submit(theTask))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 2 == 0 ? 30 : 0));
    }
    thePool.Stop();
    EXPECT_EQ(theRuns.load(), 5);
}

}  // namespace

// The run gate: no more slots held than it has, slots handed on in arrival order, a
// waiter out of patience runs anyway, a thread waiting for its client holds none, and
// pages that wait as jobs run in their turn on the thread of the page before.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/RunGate.h"
#include "host/WorkerPool.h"

using ferrolift::host::RunGate;
using ferrolift::host::WorkerPool;
using namespace std::chrono_literals;

namespace {

void WaitUntil(const RunGate& inGate, int inWaiting)
{
    while (inGate.Waiting() != inWaiting)
        std::this_thread::yield();
}

TEST(RunGateTest, SlotsPassToWaitersInTheOrderTheyCame)
{
    RunGate theGate(1, 1h);
    std::mutex theLock;
    std::string theOrder;
    int theMostBusy = 0;
    auto theRun = [&](char inName) {
        RunGate::Slot theSlot(theGate);
        std::lock_guard<std::mutex> theGuard(theLock);
        theOrder += inName;
        theMostBusy = std::max(theMostBusy, theGate.Busy());
    };
    std::thread theFirst, theSecond, theThird;
    {
        RunGate::Slot theHeld(theGate);
        theFirst = std::thread(theRun, 'a');
        WaitUntil(theGate, 1);
        theSecond = std::thread(theRun, 'b');
        WaitUntil(theGate, 2);
        theThird = std::thread(theRun, 'c');
        WaitUntil(theGate, 3);
    }
    theFirst.join();
    theSecond.join();
    theThird.join();
    EXPECT_EQ(theOrder, "abc");
    EXPECT_EQ(theMostBusy, 1);
    EXPECT_EQ(theGate.Busy(), 0);
}

TEST(RunGateTest, AWaiterOutOfPatienceRunsBesideTheHolder)
{
    RunGate theGate(1, 20ms);
    RunGate::Slot theHeld(theGate);
    int theBusyInside = 0;
    std::thread theLate([&] {
        RunGate::Slot theSlot(theGate);
        theBusyInside = theGate.Busy();
    });
    theLate.join();
    EXPECT_EQ(theBusyInside, 2);
    EXPECT_EQ(theGate.Busy(), 1);
    EXPECT_EQ(theGate.Waiting(), 0);
}

TEST(RunGateTest, WaitingForTheClientLeavesTheSlotAndTakesItBack)
{
    RunGate theGate(2, 1h);
    {
        RunGate::Wait theOutside;   // no slot held: nothing to give
        EXPECT_EQ(theGate.Busy(), 0);
    }
    {
        RunGate::Slot theSlot(theGate);
        EXPECT_EQ(theGate.Busy(), 1);
        {
            RunGate::Wait theWait;
            EXPECT_EQ(theGate.Busy(), 0);
        }
        EXPECT_EQ(theGate.Busy(), 1);
        // A slot of another gate taken inside gives this one back meanwhile.
        RunGate theOther(1, 1h);
        {
            RunGate::Slot theInner(theOther);
            EXPECT_EQ(theGate.Busy(), 0);
            EXPECT_EQ(theOther.Busy(), 1);
        }
        EXPECT_EQ(theGate.Busy(), 1);
    }
    EXPECT_EQ(theGate.Busy(), 0);
}

}  // namespace

namespace {

TEST(RunGateTest, WaitersAheadGoBeforeEarlierNormalOnesSixteenInARow)
{
    RunGate theGate(1, 1h);
    std::mutex theLock;
    std::string theOrder;
    auto theRun = [&](char inName, RunGate::Rank inRank) {
        RunGate::Slot theSlot(theGate, inRank);
        std::lock_guard<std::mutex> theGuard(theLock);
        theOrder += inName;
    };
    // Upper case: a Normal waiter (an upload); lower case: Ahead (a poll).
    const std::string theArrivals = "NabcdefghijklmnopqrsM";
    std::vector<std::thread> theThreads;
    {
        RunGate::Slot theHeld(theGate);
        for (char theName : theArrivals) {
            const bool theNormal = std::isupper(static_cast<unsigned char>(theName)) != 0;
            theThreads.emplace_back(theRun, theName, theNormal ? RunGate::Rank::Normal : RunGate::Rank::Ahead);
            WaitUntil(theGate, static_cast<int>(theThreads.size()));
        }
    }
    for (std::thread& theThread : theThreads)
        theThread.join();
    EXPECT_EQ(theOrder, "abcdefghijklmnopNqrsM");
}

}  // namespace

namespace {

// What the jobs of a test saw: their order, their threads, the slots held while they ran.
struct JobBench {
    std::mutex lock;
    std::string order;
    std::vector<std::thread::id> threads;
    int busy = 0;

    std::unique_ptr<WorkerPool::Task> Make(RunGate& inGate, char inName);
    void WaitForRuns(std::size_t inCount)
    {
        for (;;) {
            {
                std::lock_guard<std::mutex> theGuard(lock);
                if (order.size() >= inCount)
                    return;
            }
            std::this_thread::yield();
        }
    }
};

// A page that waits in the gate before it has a thread; hands its thread on as the page
// engine's requests do.
class PageJob : public WorkerPool::Task {
public:
    PageJob(RunGate& inGate, char inName, RunGate::Rank inRank, JobBench& inBench)
        : mGate(inGate), mName(inName), mRank(inRank), mBench(inBench)
    {
    }
    void Run() override
    {
        RunGate::Slot theSlot(mGate, mRank, RunGate::kAdmitted);
        {
            std::lock_guard<std::mutex> theGuard(mBench.lock);
            mBench.order += mName;
            mBench.threads.push_back(std::this_thread::get_id());
            mBench.busy = mGate.Busy();
        }
        mNext = theSlot.Pass();
    }
    std::unique_ptr<WorkerPool::Task> TakeNext() override { return std::move(mNext); }

private:
    RunGate& mGate;
    char mName;
    RunGate::Rank mRank;
    JobBench& mBench;
    std::unique_ptr<WorkerPool::Task> mNext;
};

// Upper case: a Normal job (an upload); lower case: Ahead (a poll).
std::unique_ptr<WorkerPool::Task> JobBench::Make(RunGate& inGate, char inName)
{
    const bool theNormal = std::isupper(static_cast<unsigned char>(inName)) != 0;
    return std::make_unique<PageJob>(inGate, inName, theNormal ? RunGate::Rank::Normal : RunGate::Rank::Ahead,
                                     *this);
}

TEST(RunGateTest, WaitingJobsRunInRankOrderOnTheThreadOfTheJobBefore)
{
    WorkerPool thePool(8, 8, 0);
    RunGate theGate(1, 1h, &thePool, 8);
    JobBench theBench;
    {
        RunGate::Slot theHeld(theGate);
        for (char theName : std::string("aBc")) {
            std::unique_ptr<WorkerPool::Task> theJob = theBench.Make(theGate, theName);
            EXPECT_EQ(theGate.Admit(theJob, theName == 'B' ? RunGate::Rank::Normal : RunGate::Rank::Ahead),
                      RunGate::Admission::Queued);
        }
        EXPECT_EQ(theGate.Waiting(), 3);
    }   // the held slot goes to the first job, started on the pool
    theBench.WaitForRuns(3);
    thePool.Stop();
    EXPECT_EQ(theBench.order, "acB");
    ASSERT_EQ(theBench.threads.size(), 3u);
    EXPECT_EQ(theBench.threads[1], theBench.threads[0]);
    EXPECT_EQ(theBench.threads[2], theBench.threads[0]);
    EXPECT_EQ(theBench.busy, 1);
    EXPECT_EQ(theGate.Busy(), 0);
    EXPECT_EQ(theGate.Waiting(), 0);

    // With a free slot a job starts at once.
    WorkerPool theOtherPool(1, 0, 0);
    RunGate theFree(1, 1h, &theOtherPool, 8);
    std::unique_ptr<WorkerPool::Task> theLate = theBench.Make(theFree, 'd');
    EXPECT_EQ(theFree.Admit(theLate, RunGate::Rank::Ahead), RunGate::Admission::Started);
    theBench.WaitForRuns(4);
    theOtherPool.Stop();
    EXPECT_EQ(theFree.Busy(), 0);
}

TEST(RunGateTest, JobsBeyondTheQueueOrWithoutARunnerAreRefusedAndKept)
{
    WorkerPool thePool(1, 0, 0);
    JobBench theBench;
    RunGate theNoRunner(1, 1h);
    std::unique_ptr<WorkerPool::Task> theJob = theBench.Make(theNoRunner, 'a');
    EXPECT_EQ(theNoRunner.Admit(theJob, RunGate::Rank::Ahead), RunGate::Admission::Refused);
    EXPECT_NE(theJob, nullptr);

    RunGate theGate(1, 1h, &thePool, 1);
    {
        RunGate::Slot theHeld(theGate);
        theJob = theBench.Make(theGate, 'a');
        EXPECT_EQ(theGate.Admit(theJob, RunGate::Rank::Ahead), RunGate::Admission::Queued);
        std::unique_ptr<WorkerPool::Task> theExtra = theBench.Make(theGate, 'b');
        EXPECT_EQ(theGate.Admit(theExtra, RunGate::Rank::Ahead), RunGate::Admission::Refused);
        EXPECT_NE(theExtra, nullptr);
    }
    theBench.WaitForRuns(1);
    thePool.Stop();
    // A stopped runner takes nothing: the slot Admit took for the job is given back.
    theJob = theBench.Make(theGate, 'c');
    EXPECT_EQ(theGate.Admit(theJob, RunGate::Rank::Ahead), RunGate::Admission::Refused);
    EXPECT_NE(theJob, nullptr);
    EXPECT_EQ(theGate.Busy(), 0);
    EXPECT_EQ(theBench.order, "a");
}

TEST(RunGateTest, TickStartsAWaitingJobOnlyOnceTheHoldersAreStuck)
{
    WorkerPool thePool(2, 2, 0);
    JobBench theBench;
    // Within the patience the job waits for a slot to move.
    RunGate thePatient(1, 1h, &thePool, 4);
    {
        RunGate::Slot theHeld(thePatient);
        std::unique_ptr<WorkerPool::Task> theJob = theBench.Make(thePatient, 'A');
        ASSERT_EQ(thePatient.Admit(theJob, RunGate::Rank::Normal), RunGate::Admission::Queued);
        EXPECT_TRUE(thePatient.Tick());
        EXPECT_EQ(thePatient.Waiting(), 1);
    }
    theBench.WaitForRuns(1);

    // Past it, the job runs beside the stuck holder.
    RunGate theGate(1, 20ms, &thePool, 4);
    std::thread theHolder([&] {
        RunGate::Slot theStuck(theGate);
        std::unique_ptr<WorkerPool::Task> theLate = theBench.Make(theGate, 'B');
        ASSERT_EQ(theGate.Admit(theLate, RunGate::Rank::Normal), RunGate::Admission::Queued);
        std::this_thread::sleep_for(25ms);
        EXPECT_FALSE(theGate.Tick());
        theBench.WaitForRuns(2);
    });
    theHolder.join();
    thePool.Stop();
    EXPECT_EQ(theBench.order, "AB");
    EXPECT_EQ(theBench.busy, 2);
    EXPECT_FALSE(theGate.Tick());
    EXPECT_EQ(theGate.Busy(), 0);
}

}  // namespace

// The run gate: no more slots held than it has, slots handed on in arrival order, a
// waiter out of patience runs anyway, and a thread waiting for its client holds none.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/RunGate.h"

using ferrolift::host::RunGate;
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

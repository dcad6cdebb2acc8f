// Behaviour of the progress table: defaults, lifecycle, notes, duplicate IDs, idle
// expiry and tick wrap-around, seen through one registry per test.
#include "progress/ProgressRegistry.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "common/FakeTicks.h"
#include "common/ScratchMachine.h"

namespace {

/// Everything one Get returns.
struct Snapshot {
    LONG done = -1;
    LONG total = -1;
    DWORD elapsed = 0xDEAD;
    VARIANT_BOOL started = 1;
    VARIANT_BOOL finished = VARIANT_FALSE;
    std::string note = "unset";
};

Snapshot Read(ProgressRegistry& inRegistry, LONG inID)
{
    Snapshot theSnap;
    inRegistry.Get(inID, &theSnap.done, &theSnap.total, &theSnap.elapsed, &theSnap.started, &theSnap.finished,
                   &theSnap.note);
    return theSnap;
}

class ProgressRegistryTest : public testing::Test {
protected:
    ScratchMachine mMachine;  // a registry of its own: the ANSI code page is the default
    FakeTicks mTicks{5000};
    ProgressRegistry mRegistry;
};

TEST_F(ProgressRegistryTest, UnknownIdGivesDefaultsAndLeavesFinishedAlone)
{
    Snapshot theSnap;
    theSnap.finished = 77;
    mRegistry.Get(42, &theSnap.done, &theSnap.total, &theSnap.elapsed, &theSnap.started, &theSnap.finished,
                  &theSnap.note);
    EXPECT_EQ(theSnap.done, 0);
    EXPECT_EQ(theSnap.total, 0);
    EXPECT_EQ(theSnap.elapsed, 0u);
    EXPECT_EQ(theSnap.started, VARIANT_FALSE);
    EXPECT_EQ(theSnap.finished, 77);
    EXPECT_EQ(theSnap.note, "Connecting...");

    // Writes to an unknown ID create nothing.
    mRegistry.SetBytes(42, 1, 2);
    mRegistry.SetNote(42, "x");
    mRegistry.MarkFinished(42);
    EXPECT_EQ(mRegistry.Count(), 0u);
    EXPECT_EQ(Read(mRegistry, 42).note, "Connecting...");
}

TEST_F(ProgressRegistryTest, RecordLifecycle)
{
    mRegistry.Register(7);
    Snapshot theSnap = Read(mRegistry, 7);
    EXPECT_EQ(theSnap.done, 0);
    EXPECT_EQ(theSnap.total, 0);
    EXPECT_EQ(theSnap.started, VARIANT_FALSE);
    EXPECT_EQ(theSnap.finished, VARIANT_FALSE);
    EXPECT_EQ(theSnap.note, "");

    mTicks.Advance(1500);
    mRegistry.SetBytes(7, 2048, 100000);
    theSnap = Read(mRegistry, 7);
    EXPECT_EQ(theSnap.done, 2048);
    EXPECT_EQ(theSnap.total, 100000);
    EXPECT_EQ(theSnap.elapsed, 1500u);
    EXPECT_EQ(theSnap.started, VARIANT_TRUE);

    // Finishing keeps the counts; later bytes still land; nothing clears the flags.
    mRegistry.MarkFinished(7);
    theSnap = Read(mRegistry, 7);
    EXPECT_EQ(theSnap.finished, VARIANT_TRUE);
    EXPECT_EQ(theSnap.done, 2048);
    EXPECT_EQ(theSnap.total, 100000);
    mRegistry.SetBytes(7, 0, 0);
    theSnap = Read(mRegistry, 7);
    EXPECT_EQ(theSnap.done, 0);
    EXPECT_EQ(theSnap.started, VARIANT_TRUE);
    EXPECT_EQ(theSnap.finished, VARIANT_TRUE);

    mRegistry.Unregister(7);
    EXPECT_EQ(mRegistry.Count(), 0u);
    EXPECT_EQ(Read(mRegistry, 7).note, "Connecting...");
}

TEST_F(ProgressRegistryTest, NotesAreReplacedAndRoundTripThroughTheAnsiCodePage)
{
    mRegistry.Register(9);
    mRegistry.SetNote(9, "Getting upload size...");
    EXPECT_EQ(Read(mRegistry, 9).note, "Getting upload size...");
    mRegistry.SetNote(9, "caf\xE9 \x80");  // e-acute and the euro sign in the ANSI code page
    EXPECT_EQ(Read(mRegistry, 9).note, "caf\xE9 \x80");
    mRegistry.SetNote(9, nullptr);
    EXPECT_EQ(Read(mRegistry, 9).note, "");
}

TEST_F(ProgressRegistryTest, DuplicateIdsReachTheFirstRecordAndUnregisterTogether)
{
    mRegistry.Register(3);
    mRegistry.Register(4);
    mRegistry.Register(3);
    EXPECT_EQ(mRegistry.Count(), 3u);

    mRegistry.SetBytes(3, 10, 20);
    mRegistry.SetNote(3, "first");
    Snapshot theSnap = Read(mRegistry, 3);
    EXPECT_EQ(theSnap.done, 10);
    EXPECT_EQ(theSnap.note, "first");

    mRegistry.Unregister(3);
    EXPECT_EQ(mRegistry.Count(), 1u);
    EXPECT_EQ(Read(mRegistry, 3).note, "Connecting...");
    EXPECT_EQ(Read(mRegistry, 4).note, "");
}

TEST_F(ProgressRegistryTest, WhenTheFirstDuplicateExpiresTheNextOneAnswers)
{
    mRegistry.Register(5);
    mRegistry.SetBytes(5, 111, 222);  // lands on the first record
    mTicks.Advance(30000);
    mRegistry.Register(5);
    mRegistry.Register(6);
    mTicks.Advance(30001);  // first record idle 60 001 ms, the others 30 001 ms

    mRegistry.Unregister(1234);
    EXPECT_EQ(mRegistry.Count(), 2u);
    Snapshot theSnap = Read(mRegistry, 5);
    EXPECT_EQ(theSnap.done, 0);
    EXPECT_EQ(theSnap.started, VARIANT_FALSE);
    EXPECT_EQ(theSnap.elapsed, 30001u);

    mRegistry.SetBytes(5, 1, 2);
    EXPECT_EQ(Read(mRegistry, 5).done, 1);
    mRegistry.Unregister(5);
    EXPECT_EQ(mRegistry.Count(), 1u);
}

TEST_F(ProgressRegistryTest, IdleExpiryCountsOnlyReadsAndByteUpdates)
{
    mRegistry.Register(1);  // polled
    mRegistry.Register(2);  // written with bytes
    mRegistry.Register(3);  // only notes and finishing: neither refreshes
    mRegistry.Register(4);  // idle exactly one minute at the sweep
    for (int i = 0; i < 30; ++i) {
        mTicks.Advance(5000);
        Read(mRegistry, 1);
        mRegistry.SetBytes(2, i, 100);
        mRegistry.SetNote(3, "still here");
        mRegistry.MarkFinished(3);
        if (i == 11) {
            mRegistry.Unregister(99);  // 60 000 ms after registration: nothing expires
            EXPECT_EQ(mRegistry.Count(), 4u);
        }
        if (i == 12)
            Read(mRegistry, 4);  // last access 65 000 ms after the start
    }
    // 150 000 ms in: 3 has been idle for 150 000 ms, 4 for 85 000 ms.
    mRegistry.Unregister(99);
    EXPECT_EQ(mRegistry.Count(), 2u);
    EXPECT_EQ(Read(mRegistry, 1).note, "");
    EXPECT_EQ(Read(mRegistry, 2).done, 29);
    EXPECT_EQ(Read(mRegistry, 3).note, "Connecting...");
    EXPECT_EQ(Read(mRegistry, 4).note, "Connecting...");
}

TEST_F(ProgressRegistryTest, ExpiryBoundaryIsStrictlyMoreThanOneMinute)
{
    mRegistry.Register(8);
    mTicks.Advance(60000);
    mRegistry.Unregister(0);
    EXPECT_EQ(mRegistry.Count(), 1u);
    mTicks.Advance(1);  // 60 001 ms since the last access
    mRegistry.Unregister(0);
    EXPECT_EQ(mRegistry.Count(), 0u);
}

TEST_F(ProgressRegistryTest, ElapsedAndExpiryHoldAcrossTheTickWrap)
{
    mTicks.Set(0xFFFFF000ull);  // 4096 ms before the 32-bit counter wraps
    mRegistry.Register(11);
    mTicks.Set(0x100000800ull);  // 2048 ms after the wrap
    EXPECT_EQ(Read(mRegistry, 11).elapsed, 6144u);
    mRegistry.Unregister(0);
    EXPECT_EQ(mRegistry.Count(), 1u);  // 6 144 ms idle, not four billion
    mTicks.Advance(60001);
    mRegistry.Unregister(0);
    EXPECT_EQ(mRegistry.Count(), 0u);
}

bool HasProgressIdForm(LONG inID)
{
    return inID >= 1 && (static_cast<DWORD>(inID) & 0x80008000u) == 0;
}

TEST(NewProgressIDTest, IdsArePositiveWithBits15And31Clear)
{
    std::set<LONG> theSeen;
    for (int i = 0; i < 5000; ++i) {
        const LONG theID = NewProgressID();
        ASSERT_TRUE(HasProgressIdForm(theID)) << theID;
        theSeen.insert(theID);
    }
    EXPECT_GT(theSeen.size(), 4990u);  // 30-bit values: repeats are rare chance
}

TEST(NewProgressIDTest, CombinesTwoGeneratorValuesHighWordFirst)
{
    unsigned int theState = 1;
    // The runtime's generator gives 41, 18467, 6334, 26500 from seed 1.
    EXPECT_EQ(NextProgressID(theState), 41 * 65536 + 18467);
    EXPECT_EQ(NextProgressID(theState), 6334 * 65536 + 26500);
}

TEST(NewProgressIDTest, ThreadsDoNotRepeatEachOthersIds)
{
    constexpr int kThreads = 4;
    std::vector<std::vector<LONG>> theIds(kThreads);
    std::vector<std::thread> theThreads;
    for (int t = 0; t < kThreads; ++t)
        theThreads.emplace_back([&theIds, t] {
            for (int i = 0; i < 4; ++i)
                theIds[t].push_back(NewProgressID());
        });
    for (auto& theThread : theThreads)
        theThread.join();
    for (int a = 0; a < kThreads; ++a)
        for (int b = a + 1; b < kThreads; ++b)
            EXPECT_NE(theIds[a], theIds[b]);
}

}  // namespace

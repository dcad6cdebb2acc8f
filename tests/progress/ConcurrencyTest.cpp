// The registry under concurrent uploads and progress pages: readers must always see a
// done/total pair, a started flag and a note that were written together.
#include "progress/ProgressRegistry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

/// Writers keep total == 3 * done + 7, so any mixed pair shows.
constexpr LONG TotalFor(LONG inDone)
{
    return inDone * 3 + 7;
}

TEST(ProgressConcurrencyTest, ProgressPageSeesAnUploadAdvance)
{
    const LONG theID = NewProgressID();
    UnregisterProgress(theID);
    std::atomic<bool> theRegistered{false};
    std::atomic<bool> theDone{false};
    constexpr LONG kChunks = 2000;

    std::thread theUpload([&] {
        RegisterProgress(theID);
        theRegistered = true;
        SetProgressNote(theID, "Getting upload size...");
        for (LONG i = 1; i <= kChunks; ++i) {
            SetProgressBytes(theID, i, TotalFor(i));
            if (i % 100 == 0)
                SetProgressNote(theID, ("Chunk " + std::to_string(i)).c_str());
        }
        MarkProgressFinished(theID);
        theDone = true;
    });

    while (!theRegistered)
        std::this_thread::yield();
    LONG theLastDone = 0;
    int theFailures = 0;
    for (bool theFinished = false; !theFinished;) {
        LONG theBytes = 0, theTotal = 0;
        VARIANT_BOOL theStarted = VARIANT_FALSE, theFinishedFlag = VARIANT_FALSE;
        std::string theNote;
        GetProgress(theID, &theBytes, &theTotal, nullptr, &theStarted, &theFinishedFlag, &theNote);
        if (theBytes < theLastDone || (theBytes > 0 && (theTotal != TotalFor(theBytes) || !theStarted)))
            ++theFailures;
        if (theNote != "" && theNote != "Getting upload size..." && theNote.rfind("Chunk ", 0) != 0)
            ++theFailures;
        theLastDone = theBytes;
        theFinished = theFinishedFlag == VARIANT_TRUE;
    }
    theUpload.join();
    EXPECT_EQ(theFailures, 0);
    EXPECT_EQ(theLastDone, kChunks);
    UnregisterProgress(theID);
}

TEST(ProgressConcurrencyTest, ManyThreadsRegisterUpdatePollAndUnregister)
{
    constexpr int kThreads = 32;
    // A few IDs are shared by every thread, so duplicates come and go under contention.
    const LONG kShared[3] = {NewProgressID(), NewProgressID(), NewProgressID()};
    std::atomic<bool> theStop{false};
    std::atomic<long> theInconsistent{0};
    std::atomic<long> theReads{0};

    auto theWorker = [&](int inIndex) {
        LONG theOwn = NewProgressID();
        long theLocalReads = 0;
        for (LONG theRound = 1; !theStop; ++theRound) {
            const LONG theID = theRound % 4 == 0 ? kShared[theRound % 3] : theOwn;
            RegisterProgress(theID);
            for (LONG i = 1; i <= 8; ++i) {
                SetProgressBytes(theID, i * theRound, TotalFor(i * theRound));
                if (i == 4)
                    SetProgressNote(theID, "half way");
                const LONG thePeer = kShared[(inIndex + i) % 3];
                LONG theDone = 0, theTotal = 0;
                VARIANT_BOOL theStarted = VARIANT_FALSE;
                std::string theNote;
                GetProgress(thePeer, &theDone, &theTotal, nullptr, &theStarted, nullptr, &theNote);
                ++theLocalReads;
                const bool thePairOk = theDone == 0 ? theTotal == 0 || theTotal == TotalFor(0)
                                                    : theTotal == TotalFor(theDone) && theStarted;
                const bool theNoteOk = theNote.empty() || theNote == "half way" || theNote == "Connecting...";
                if (!thePairOk || !theNoteOk)
                    ++theInconsistent;
            }
            MarkProgressFinished(theID);
            UnregisterProgress(theID);
            if (theRound % 16 == 0)
                theOwn = NewProgressID();
        }
        theReads += theLocalReads;
    };

    std::vector<std::thread> theThreads;
    for (int t = 0; t < kThreads; ++t)
        theThreads.emplace_back(theWorker, t);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    theStop = true;
    for (auto& theThread : theThreads)
        theThread.join();

    EXPECT_EQ(theInconsistent.load(), 0);
    EXPECT_GT(theReads.load(), 0);
    for (LONG theID : kShared)
        UnregisterProgress(theID);
    EXPECT_EQ(ProgressRegistry::Module().Count(), 0u);
}

}  // namespace

// The progress table against a plain model of its rules: a list in registration order,
// walked whole by every operation, with 32-bit tick differences. Random operations on
// a few shared IDs (so records of one ID pile up and expire in any order), with tick
// steps around the idle limit and across the 32-bit wrap, must give the same answers
// and the same record count after every step.
#include "progress/ProgressRegistry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/FakeTicks.h"
#include "common/ScratchMachine.h"

namespace {

/// The rules of the registry, as simply as they can be written.
class ModelRegistry {
public:
    void Register(LONG inID, DWORD inNow) { mRecords.push_back(Record{inID, 0, 0, false, false, inNow, inNow, ""}); }

    void Unregister(LONG inID, DWORD inNow)
    {
        std::vector<Record> theKept;
        for (const Record& theRecord : mRecords) {
            if (theRecord.id != inID && static_cast<DWORD>(inNow - theRecord.lastAccess) <= 60000)
                theKept.push_back(theRecord);
        }
        mRecords.swap(theKept);
    }

    void SetBytes(LONG inID, LONG inDone, LONG inTotal, DWORD inNow)
    {
        if (Record* theRecord = First(inID)) {
            theRecord->done = inDone;
            theRecord->total = inTotal;
            theRecord->started = true;
            theRecord->lastAccess = inNow;
        }
    }

    void SetNote(LONG inID, const std::string& inNote)
    {
        if (Record* theRecord = First(inID))
            theRecord->note = inNote;
    }

    void MarkFinished(LONG inID)
    {
        if (Record* theRecord = First(inID))
            theRecord->finished = true;
    }

    /// done, total, elapsed, started, finished and note as one line of text.
    std::string Get(LONG inID, DWORD inNow)
    {
        Record* theRecord = First(inID);
        if (theRecord == nullptr)
            return Describe(0, 0, 0, false, false, "Connecting...");
        theRecord->lastAccess = inNow;
        return Describe(theRecord->done, theRecord->total, inNow - theRecord->start, theRecord->started,
                        theRecord->finished, theRecord->note);
    }

    size_t Count() const { return mRecords.size(); }

    static std::string Describe(LONG inDone, LONG inTotal, DWORD inElapsed, bool inStarted, bool inFinished,
                                const std::string& inNote)
    {
        return std::to_string(inDone) + "/" + std::to_string(inTotal) + " after " + std::to_string(inElapsed) +
               (inStarted ? " started" : "") + (inFinished ? " finished" : "") + " [" + inNote + "]";
    }

private:
    struct Record {
        LONG id;
        LONG done, total;
        bool started, finished;
        DWORD start, lastAccess;
        std::string note;
    };

    Record* First(LONG inID)
    {
        for (Record& theRecord : mRecords) {
            if (theRecord.id == inID)
                return &theRecord;
        }
        return nullptr;
    }

    std::vector<Record> mRecords;
};

std::string Get(ProgressRegistry& inRegistry, LONG inID)
{
    LONG theDone = -1, theTotal = -1;
    DWORD theElapsed = 0xDEAD;
    VARIANT_BOOL theStarted = 1, theFinished = VARIANT_FALSE;
    std::string theNote;
    inRegistry.Get(inID, &theDone, &theTotal, &theElapsed, &theStarted, &theFinished, &theNote);
    return ModelRegistry::Describe(theDone, theTotal, theElapsed, theStarted == VARIANT_TRUE,
                                   theFinished == VARIANT_TRUE, theNote);
}

/// How far the clock moves before an operation: mostly a little, often right around
/// the idle limit (so records sit exactly on it), sometimes not at all.
ULONGLONG TickStep(std::mt19937& inRandom)
{
    switch (inRandom() % 8) {
    case 0:
        return 0;
    case 1:
        return 60000 - inRandom() % 3;
    case 2:
        return 60000;
    case 3:
        return 60001 + inRandom() % 2;
    case 4:
        return 30000;
    default:
        return inRandom() % 9000;
    }
}

struct RunShape {
    uint32_t seed;
    ULONGLONG startTick;
    int operations;
    LONG idPool;        // IDs 1..idPool, plus the odd one never registered
    unsigned tickEvery; // on average, operations per clock step
};

/// Runs inShape's random operations on both and stops at the first difference.
void RunAgainstModel(const RunShape& inShape)
{
    SCOPED_TRACE("seed " + std::to_string(inShape.seed) + ", pool " + std::to_string(inShape.idPool));
    ScratchMachine theMachine;
    FakeTicks theTicks(inShape.startTick);
    ULONGLONG theNow = inShape.startTick;
    ProgressRegistry theRegistry;
    ModelRegistry theModel;
    std::mt19937 theRandom(inShape.seed);
    const char* const kNotes[] = {"Getting upload size...", "Transferring data...", "Finishing...", ""};

    for (int theStep = 0; theStep < inShape.operations; ++theStep) {
        if (theRandom() % inShape.tickEvery == 0) {
            theNow += TickStep(theRandom);
            theTicks.Set(theNow);
        }
        const DWORD theTick = static_cast<DWORD>(theNow);
        const LONG theID = theRandom() % 50 == 0 ? 0x7FFF0000 : static_cast<LONG>(1 + theRandom() % inShape.idPool);
        const unsigned theOperation = theRandom() % 100;
        std::string theWhat;
        if (theOperation < 30) {
            theWhat = "register";
            theRegistry.Register(theID);
            theModel.Register(theID, theTick);
        } else if (theOperation < 42) {
            theWhat = "unregister";
            theRegistry.Unregister(theID);
            theModel.Unregister(theID, theTick);
        } else if (theOperation < 62) {
            theWhat = "set bytes";
            const LONG theDone = static_cast<LONG>(theRandom() % 100000);
            theRegistry.SetBytes(theID, theDone, theDone * 2 + 1);
            theModel.SetBytes(theID, theDone, theDone * 2 + 1, theTick);
        } else if (theOperation < 70) {
            theWhat = "note";
            const char* theNote = kNotes[theRandom() % 4];
            theRegistry.SetNote(theID, theNote);
            theModel.SetNote(theID, theNote);
        } else if (theOperation < 76) {
            theWhat = "finish";
            theRegistry.MarkFinished(theID);
            theModel.MarkFinished(theID);
        } else {
            theWhat = "get";
            ASSERT_EQ(Get(theRegistry, theID), theModel.Get(theID, theTick))
                << "step " << theStep << ", id " << theID << ", tick " << theTick;
        }
        ASSERT_EQ(theRegistry.Count(), theModel.Count())
            << "step " << theStep << " (" << theWhat << " " << theID << "), tick " << theTick;
    }
}

TEST(ProgressRegistryModelTest, FewSharedIdsAroundTheIdleLimit)
{
    for (uint32_t theSeed = 1; theSeed <= 12; ++theSeed)
        RunAgainstModel({theSeed, 5000, 4000, 6, 3});
}

TEST(ProgressRegistryModelTest, AcrossTheTickWrap)
{
    // A few minutes before the 32-bit counter wraps: every run crosses it.
    for (uint32_t theSeed = 100; theSeed <= 111; ++theSeed)
        RunAgainstModel({theSeed, 0x100000000ull - 400000 - theSeed * 7919, 4000, 8, 3});
}

TEST(ProgressRegistryModelTest, ManyIdsWhileTheIndexGrows)
{
    // A slow clock lets hundreds of distinct IDs pile up, so the ID index grows several
    // times under the operations, and then expire in large batches.
    for (uint32_t theSeed = 200; theSeed <= 203; ++theSeed)
        RunAgainstModel({theSeed, 0x100000000ull - 200000, 8000, 3000, 400});
}

}  // namespace

// Progress registry cost per operation as the number of live uploads grows: a chunk
// update (SetProgressBytes) and a poll (GetProgress with the figures and note) must
// not depend on how many other records are held.
#include "progress/ProgressRegistry.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

/// A registry holding inCount records with distinct IDs; returns the IDs.
std::vector<LONG> Fill(ProgressRegistry& inRegistry, int64_t inCount)
{
    std::vector<LONG> theIds;
    theIds.reserve(static_cast<size_t>(inCount));
    for (int64_t i = 0; i < inCount; ++i) {
        const LONG theID = static_cast<LONG>(1 + i * 7919);
        inRegistry.Register(theID);
        inRegistry.SetNote(theID, "Reading upload...");
        theIds.push_back(theID);
    }
    return theIds;
}

void BM_SetProgressBytes(benchmark::State& inState)
{
    ProgressRegistry theRegistry;
    const std::vector<LONG> theIds = Fill(theRegistry, inState.range(0));
    size_t theAt = 0;
    LONG theDone = 0;
    for (auto _ : inState) {
        theRegistry.SetBytes(theIds[theAt], ++theDone, 1 << 30);
        theAt = theAt + 1 == theIds.size() ? 0 : theAt + 1;
    }
}

void BM_GetProgress(benchmark::State& inState)
{
    ProgressRegistry theRegistry;
    const std::vector<LONG> theIds = Fill(theRegistry, inState.range(0));
    size_t theAt = 0;
    std::string theNote;
    for (auto _ : inState) {
        LONG theDone = 0, theTotal = 0;
        DWORD theElapsed = 0;
        VARIANT_BOOL theStarted = VARIANT_FALSE, theFinished = VARIANT_FALSE;
        theRegistry.Get(theIds[theAt], &theDone, &theTotal, &theElapsed, &theStarted, &theFinished, &theNote);
        benchmark::DoNotOptimize(theDone);
        theAt = theAt + 1 == theIds.size() ? 0 : theAt + 1;
    }
}

/// Unregister walks every record (idle expiry), so it grows with the count; measured
/// to show what a form pays when it is made.
void BM_RegisterUnregister(benchmark::State& inState)
{
    ProgressRegistry theRegistry;
    Fill(theRegistry, inState.range(0));
    for (auto _ : inState) {
        theRegistry.Register(-5);
        theRegistry.Unregister(-5);
    }
}

}  // namespace

BENCHMARK(BM_SetProgressBytes)->Arg(10)->Arg(1000)->Arg(10000);
BENCHMARK(BM_GetProgress)->Arg(10)->Arg(1000)->Arg(10000);
BENCHMARK(BM_RegisterUnregister)->Arg(10)->Arg(1000)->Arg(10000);

BENCHMARK_MAIN();

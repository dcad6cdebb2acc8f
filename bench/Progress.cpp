// Progress registry cost per operation as the number of live uploads grows: an upload
// made (Register + Unregister, which also sweeps idle records), a chunk update
// (SetProgressBytes) and a poll (GetProgress with the figures and note) must cost the
// same with ten records as with a million.
//
// Args: records held, records in use. A server holds about a minute of finished uploads
// and updates and polls only the few in flight, so 64 in use is the realistic case; with
// every record in use, each call reaches records no cache holds, and a million records
// then cost memory latency (not steps) on top.
#include "progress/ProgressRegistry.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

/// The clock stands still, so nothing expires while a registry is being measured.
ULONGLONG StillClock()
{
    return 1000000;
}

/// A registry holding inCount records with distinct IDs, and their IDs.
struct Filled {
    ProgressRegistry registry;
    std::vector<LONG> ids;
};

/// Filling a million records takes a while; each size is filled once per process.
Filled& RegistryOf(int64_t inCount)
{
    ferrolift::platform::SetTickCountSource(&StillClock);
    static std::map<int64_t, std::unique_ptr<Filled>> sFilled;
    std::unique_ptr<Filled>& theFilled = sFilled[inCount];
    if (theFilled)
        return *theFilled;
    theFilled = std::make_unique<Filled>();
    theFilled->ids.reserve(static_cast<size_t>(inCount));
    for (int64_t i = 0; i < inCount; ++i) {
        const LONG theID = static_cast<LONG>(1 + i * 7919);
        theFilled->registry.Register(theID);
        theFilled->registry.SetNote(theID, "Reading upload...");
        theFilled->ids.push_back(theID);
    }
    return *theFilled;
}

/// The IDs in use: inUsed of them, spread over the whole registry.
std::vector<LONG> InUse(const Filled& inFilled, int64_t inUsed)
{
    std::vector<LONG> theIds;
    const size_t theStep = inFilled.ids.size() / static_cast<size_t>(inUsed);
    for (size_t i = 0; i < static_cast<size_t>(inUsed); ++i)
        theIds.push_back(inFilled.ids[i * theStep]);
    return theIds;
}

void BM_SetProgressBytes(benchmark::State& inState)
{
    Filled& theFilled = RegistryOf(inState.range(0));
    const std::vector<LONG> theIds = InUse(theFilled, inState.range(1));
    size_t theAt = 0;
    LONG theDone = 0;
    for (auto _ : inState) {
        theFilled.registry.SetBytes(theIds[theAt], ++theDone, 1 << 30);
        theAt = theAt + 1 == theIds.size() ? 0 : theAt + 1;
    }
}

void BM_GetProgress(benchmark::State& inState)
{
    Filled& theFilled = RegistryOf(inState.range(0));
    const std::vector<LONG> theIds = InUse(theFilled, inState.range(1));
    size_t theAt = 0;
    std::string theNote;
    for (auto _ : inState) {
        LONG theDone = 0, theTotal = 0;
        DWORD theElapsed = 0;
        VARIANT_BOOL theStarted = VARIANT_FALSE, theFinished = VARIANT_FALSE;
        theFilled.registry.Get(theIds[theAt], &theDone, &theTotal, &theElapsed, &theStarted, &theFinished, &theNote);
        benchmark::DoNotOptimize(theDone);
        theAt = theAt + 1 == theIds.size() ? 0 : theAt + 1;
    }
}

/// What a form pays when it is made: a new record, then the sweep that removes the
/// form's ID and every idle record.
void BM_RegisterUnregister(benchmark::State& inState)
{
    Filled& theFilled = RegistryOf(inState.range(0));
    for (auto _ : inState) {
        theFilled.registry.Register(-5);
        theFilled.registry.Unregister(-5);
    }
    if (theFilled.registry.Count() != theFilled.ids.size())
        inState.SkipWithError("records were lost");
}

/// The longest single Register while a fresh registry fills up to inState.range(0)
/// records: the index doubles on the way, a few buckets per call, so the worst call
/// should not grow with the count.
void BM_RegisterWorstWhileFilling(benchmark::State& inState)
{
    ferrolift::platform::SetTickCountSource(&StillClock);
    double theWorst = 0;
    for (auto _ : inState) {
        ProgressRegistry theRegistry;
        for (int64_t i = 0; i < inState.range(0); ++i) {
            const auto theStart = std::chrono::steady_clock::now();
            theRegistry.Register(static_cast<LONG>(1 + i * 7919));
            const std::chrono::duration<double, std::micro> theTook = std::chrono::steady_clock::now() - theStart;
            theWorst = std::max(theWorst, theTook.count());
        }
    }
    inState.counters["worst_us"] = theWorst;
}

}  // namespace

BENCHMARK(BM_RegisterWorstWhileFilling)->Arg(10000)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetProgressBytes)->Args({10, 10})->Args({10000, 64})->Args({1000000, 64})->Args({10000, 10000})->Args({1000000, 1000000});
BENCHMARK(BM_GetProgress)->Args({10, 10})->Args({10000, 64})->Args({1000000, 64})->Args({10000, 10000})->Args({1000000, 1000000});
BENCHMARK(BM_RegisterUnregister)->Arg(10)->Arg(10000)->Arg(1000000);

BENCHMARK_MAIN();

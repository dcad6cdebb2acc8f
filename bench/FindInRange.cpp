// FindInRange, the splitter's inner loop, against glibc's memmem over the same 256 MiB of
// random bytes, searching for a 40-byte divider that does not occur.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/Utilities.h"

namespace {

constexpr size_t kBufferSize = 256u << 20;

const std::vector<char>& RandomBytes()
{
    static const std::vector<char> theBytes = [] {
        std::vector<char> theResult(kBufferSize);
        std::mt19937_64 theRandom(20261206);
        for (size_t i = 0; i + 8 <= theResult.size(); i += 8) {
            const uint64_t theValue = theRandom();
            std::memcpy(&theResult[i], &theValue, 8);
        }
        return theResult;
    }();
    return theBytes;
}

// A browser-style divider line start: CR LF, dashes, then letters and digits.
const std::string kDivider = "\r\n------WebKitFormBoundary7MA4YWxkTrZu0gW";

void BM_FindInRange(benchmark::State& inState)
{
    const std::vector<char>& theBytes = RandomBytes();
    for (auto _ : inState) {
        const char* theHit = FindInRange(theBytes.data(), kDivider.c_str(), theBytes.data() + theBytes.size());
        benchmark::DoNotOptimize(theHit);
    }
    inState.SetBytesProcessed(static_cast<int64_t>(inState.iterations()) * static_cast<int64_t>(kBufferSize));
}

void BM_Memmem(benchmark::State& inState)
{
    const std::vector<char>& theBytes = RandomBytes();
    for (auto _ : inState) {
        const void* theHit = memmem(theBytes.data(), theBytes.size(), kDivider.data(), kDivider.size());
        benchmark::DoNotOptimize(theHit);
    }
    inState.SetBytesProcessed(static_cast<int64_t>(inState.iterations()) * static_cast<int64_t>(kBufferSize));
}

BENCHMARK(BM_FindInRange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memmem)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

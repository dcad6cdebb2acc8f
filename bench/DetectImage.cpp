// DetectImage on a large progressive JPEG: the marker walk passes over every byte of the
// entropy-coded data, so this measures how fast it scans.
#include "decode/ImageInfo.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "common/TestFiles.h"

namespace {

/// About 20 MiB of progressive JPEG: random noise barely compresses.
const std::vector<unsigned char>& LargeProgressiveJpeg()
{
    static const std::vector<unsigned char> theBytes = [] {
        ferrolift::test::ScratchFolder theFolder;
        const std::string thePath = theFolder / "large.jpg";
        if (!ferrolift::test::RunCommand("convert -size 3400x3500 xc: -seed 3 +noise Random -quality 92 "
                                         "-interlace JPEG '" + thePath + "'"))
            std::fprintf(stderr, "convert failed: ImageMagick is needed to make the test image\n");
        return ferrolift::test::ReadFileBytes(thePath);
    }();
    return theBytes;
}

void BM_DetectImageProgressiveJpeg(benchmark::State& ioState)
{
    const std::vector<unsigned char>& theBytes = LargeProgressiveJpeg();
    if (theBytes.empty()) {
        ioState.SkipWithError("no test image");
        return;
    }
    ImageInfo theInfo;
    for (auto _ : ioState) {
        DetectImage(theInfo, theBytes.data(), static_cast<DWORD>(theBytes.size()));
        benchmark::DoNotOptimize(theInfo);
    }
    if (theInfo.type != ferJPEG)
        ioState.SkipWithError("the image was not recognised");
    ioState.SetBytesProcessed(static_cast<int64_t>(ioState.iterations()) * static_cast<int64_t>(theBytes.size()));
    ioState.counters["MiB"] = static_cast<double>(theBytes.size()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_DetectImageProgressiveJpeg)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

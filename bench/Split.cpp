// Splitting speed: a 256 MiB file part against a bare memmem scan for its divider, many
// small parts, many distinct names, and hostile bodies at growing sizes (the time per
// byte must stay flat).
#include "intake/MultipartParser.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

namespace {

const std::string kDivider = "--------------------------974326891563004217385915";

std::string RandomBytes(size_t inSize)
{
    std::string theBytes(inSize, '\0');
    std::mt19937_64 theRandom(42);
    for (size_t i = 0; i + 8 <= inSize; i += 8) {
        uint64_t theValue = theRandom();
        std::memcpy(&theBytes[i], &theValue, 8);
    }
    return theBytes;
}

const std::string& BigFileBody()
{
    static const std::string theBody = kDivider +
        "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"big.bin\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n" +
        RandomBytes(size_t{256} << 20) + "\r\n" + kDivider + "--\r\n";
    return theBody;
}

LONG SplitOnce(const std::string& inBody)
{
    FieldGroupList theGroups;
    MultipartParser theParser(theGroups, CP_UTF8);
    const BYTE* theData = reinterpret_cast<const BYTE*>(inBody.data());
    theParser.ParseMultipart(theData, theData + inBody.size() - 1);
    return theGroups.GroupCount();
}

void BM_SplitBigFile(benchmark::State& inState)
{
    const std::string& theBody = BigFileBody();
    for (auto _ : inState)
        benchmark::DoNotOptimize(SplitOnce(theBody));
    inState.SetBytesProcessed(static_cast<int64_t>(inState.iterations()) * static_cast<int64_t>(theBody.size()));
}
BENCHMARK(BM_SplitBigFile)->Unit(benchmark::kMillisecond);

void BM_MemmemBigFile(benchmark::State& inState)
{
    const std::string& theBody = BigFileBody();
    for (auto _ : inState) {
        // The same work at its barest: find the divider after the headers.
        const char* theStart = theBody.data() + 200;
        const void* theHit = ::memmem(theStart, theBody.size() - 200, kDivider.data(), kDivider.size());
        benchmark::DoNotOptimize(theHit);
    }
    inState.SetBytesProcessed(static_cast<int64_t>(inState.iterations()) * static_cast<int64_t>(theBody.size()));
}
BENCHMARK(BM_MemmemBigFile)->Unit(benchmark::kMillisecond);

std::string Part(const std::string& inName, const std::string& inFile, const std::string& inData)
{
    std::string thePart = kDivider + "\r\nContent-Disposition: form-data; name=\"" + inName + "\"";
    if (!inFile.empty())
        thePart += "; filename=\"" + inFile + "\"\r\nContent-Type: application/octet-stream";
    return thePart + "\r\n\r\n" + inData + "\r\n";
}

void BM_SmallParts(benchmark::State& inState)
{
    std::string theBody;
    for (int i = 0; i < 20000; ++i)
        theBody += Part("field" + std::to_string(i % 50), "", "value " + std::to_string(i));
    for (int i = 0; i < 200; ++i)
        theBody += Part("upload", "C:\\Users\\me\\photo" + std::to_string(i) + ".jpg", RandomBytes(512));
    theBody += kDivider + "--\r\n";
    for (auto _ : inState)
        benchmark::DoNotOptimize(SplitOnce(theBody));
    inState.SetItemsProcessed(static_cast<int64_t>(inState.iterations()) * 20200);
}
BENCHMARK(BM_SmallParts)->Unit(benchmark::kMillisecond);

void BM_DistinctNames(benchmark::State& inState)
{
    std::string theBody;
    for (int64_t i = 0; i < inState.range(0); ++i)
        theBody += Part("Name_" + std::to_string(i), "", "v");
    theBody += kDivider + "--\r\n";
    for (auto _ : inState)
        benchmark::DoNotOptimize(SplitOnce(theBody));
    inState.SetItemsProcessed(static_cast<int64_t>(inState.iterations()) * inState.range(0));
}
BENCHMARK(BM_DistinctNames)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_HeaderLinesWithoutEnd(benchmark::State& inState)
{
    // One part whose headers never end, with the names the walk looks at.
    std::string theBody = kDivider + "\r\n";
    size_t theSize = static_cast<size_t>(inState.range(0)) << 20;
    const std::string kLines[] = {"Content-Disposition: form-data\r\n", "Content-Type: text/plain\r\n", "X-Other: 1\r\n"};
    for (size_t i = 0; theBody.size() < theSize; ++i)
        theBody += kLines[i % 3];
    for (auto _ : inState)
        benchmark::DoNotOptimize(SplitOnce(theBody));
    inState.SetBytesProcessed(static_cast<int64_t>(inState.iterations()) * static_cast<int64_t>(theBody.size()));
}
BENCHMARK(BM_HeaderLinesWithoutEnd)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_NearMissDividers(benchmark::State& inState)
{
    // File data made of the divider's first 32 bytes over and over with one byte in the
    // middle changed: every copy passes the first-and-last-byte filter and fails late.
    std::string theBody = Part("f", "a.bin", "");
    theBody.resize(theBody.size() - 2);
    size_t theSize = static_cast<size_t>(inState.range(0)) << 20;
    std::string theMiss = kDivider.substr(0, 32);
    theMiss[24] = '#';
    while (theBody.size() < theSize)
        theBody += theMiss;
    theBody += "\r\n" + kDivider + "--\r\n";
    for (auto _ : inState)
        benchmark::DoNotOptimize(SplitOnce(theBody));
    inState.SetBytesProcessed(static_cast<int64_t>(inState.iterations()) * static_cast<int64_t>(theBody.size()));
}
BENCHMARK(BM_NearMissDividers)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// The whole intake of a 256 MiB upload through the read cache (chunked BinaryRead from a
// test page, cache writes, mapping, splitting) against a bare C baseline that writes the
// same body to a temporary file, maps it and memmem-scans it for the divider; and the
// heap the intake needs, which must not grow with the body (the body lives in the cache).
// And small bodies, as most form posts are, read into memory or through a read-cache
// file: uploads per second either way.
#include "common/TestPage.h"
#include "intake/BodyReader.h"
#include "intake/FieldGroupList.h"
#include "intake/Multipart.h"
#include "intake/MultipartParser.h"
#include "progress/ProgressRegistry.h"
#include "intake/ByteSource.h"
#include "support/Settings.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <random>
#include <sys/mman.h>
#include <unistd.h>

// Heap accounting: every malloc-family call of the process goes through these.
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);
extern "C" void* __libc_memalign(size_t, size_t);

namespace {

std::atomic<int64_t> gHeapNow{0};
std::atomic<int64_t> gHeapPeak{0};

void Grow(void* inBlock)
{
    if (inBlock == nullptr)
        return;
    int64_t theNow = gHeapNow.fetch_add(static_cast<int64_t>(malloc_usable_size(inBlock))) +
                     static_cast<int64_t>(malloc_usable_size(inBlock));
    int64_t thePeak = gHeapPeak.load();
    while (theNow > thePeak && !gHeapPeak.compare_exchange_weak(thePeak, theNow)) {
    }
}

void Shrink(void* inBlock)
{
    if (inBlock != nullptr)
        gHeapNow.fetch_sub(static_cast<int64_t>(malloc_usable_size(inBlock)));
}

}  // namespace

extern "C" {
void* malloc(size_t inSize)
{
    void* theBlock = __libc_malloc(inSize);
    Grow(theBlock);
    return theBlock;
}
void* calloc(size_t inCount, size_t inSize)
{
    void* theBlock = __libc_calloc(inCount, inSize);
    Grow(theBlock);
    return theBlock;
}
void* realloc(void* inBlock, size_t inSize)
{
    Shrink(inBlock);
    void* theBlock = __libc_realloc(inBlock, inSize);
    Grow(theBlock != nullptr ? theBlock : (inSize != 0 ? inBlock : nullptr));
    return theBlock;
}
void free(void* inBlock)
{
    Shrink(inBlock);
    __libc_free(inBlock);
}
void* memalign(size_t inAlign, size_t inSize)
{
    void* theBlock = __libc_memalign(inAlign, inSize);
    Grow(theBlock);
    return theBlock;
}
void* aligned_alloc(size_t inAlign, size_t inSize)
{
    return memalign(inAlign, inSize);
}
int posix_memalign(void** outBlock, size_t inAlign, size_t inSize)
{
    *outBlock = memalign(inAlign, inSize);
    return *outBlock != nullptr ? 0 : ENOMEM;
}
}

namespace {

const std::string kDivider = "------WebKitFormBoundarymyfS8DA5sLeKXopK";

std::string BigBody(size_t inMiB)
{
    std::string theBody = kDivider +
        "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"big.bin\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n";
    size_t theStart = theBody.size();
    theBody.resize(theStart + (inMiB << 20));
    std::mt19937_64 theRandom(7);
    for (size_t i = theStart; i + 8 <= theBody.size(); i += 8) {
        uint64_t theValue = theRandom();
        std::memcpy(&theBody[i], &theValue, 8);
    }
    return theBody + "\r\n" + kDivider + "--\r\n";
}

const std::string& Body(size_t inMiB)
{
    static const std::string the64 = BigBody(64);
    static const std::string the256 = BigBody(256);
    return inMiB == 64 ? the64 : the256;
}

void UsePrivateSettings()
{
    static const std::string thePath = [] {
        char theName[] = "/tmp/ferrolift-bench-XXXXXX";
        int theFile = ::mkstemp(theName);
        if (theFile >= 0)
            ::close(theFile);
        return std::string(theName);
    }();
    ::setenv("FERROLIFT_REGISTRY", thePath.c_str(), 1);
    ::setenv("FERROLIFT_EVENTLOG", (thePath + ".events").c_str(), 1);
}

void SetChunkSize(DWORD inChunk)
{
    UsePrivateSettings();
    HKEY theKey = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &theKey, nullptr) != 0)
        return;
    RegSetValueExA(theKey, "ReadChunkSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&inChunk), sizeof inChunk);
    RegCloseKey(theKey);
}

// Args: chunk size, body MiB.
void BM_IntakeThroughCache(benchmark::State& inState)
{
    const DWORD theChunk = static_cast<DWORD>(inState.range(0));
    const std::string& theBody = Body(static_cast<size_t>(inState.range(1)));
    SetChunkSize(theChunk);
    int64_t thePeakExtra = 0;
    for (auto _ : inState) {
        // Making the page copies the body: not part of the intake.
        inState.PauseTiming();
        auto thePage = std::make_unique<ferrolift::test::TestPage>(theBody);
        thePage->Request().RecordCalls(false);
        inState.ResumeTiming();
        Multipart theReader;
        theReader.SetMaxUploadSize(0x7FFFFFFF);
        int64_t theBefore = gHeapNow.load();
        gHeapPeak.store(theBefore);
        if (theReader.Initialize(nullptr, false) || theReader.GroupCount() != 1) {
            inState.SkipWithError(theReader.Errors().Describe());
            return;
        }
        thePeakExtra = std::max(thePeakExtra, gHeapPeak.load() - theBefore);
        inState.PauseTiming();
        thePage.reset();
        inState.ResumeTiming();
    }
    inState.SetBytesProcessed(static_cast<int64_t>(inState.iterations()) * static_cast<int64_t>(theBody.size()));
    inState.counters["peak_heap_KiB"] = static_cast<double>(thePeakExtra) / 1024.0;
}
BENCHMARK(BM_IntakeThroughCache)
    ->Args({2048, 64})
    ->Args({2048, 256})
    ->Args({65536, 256})
    ->Args({65536, 64})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same work in plain C: chunked writes to an unlinked temp file, map, memmem. With
// 4 MiB writes it is at its best: the file system keeps the file in large pages, which
// the mapping then covers with a few page-table entries.
void BM_CBaseline(benchmark::State& inState)
{
    const size_t theChunk = static_cast<size_t>(inState.range(0));
    const std::string& theBody = Body(256);
    for (auto _ : inState) {
        char theName[] = "/tmp/ferrolift-baseline-XXXXXX";
        int theFile = ::mkstemp(theName);
        ::unlink(theName);
        for (size_t theDone = 0; theDone < theBody.size();) {
            size_t theCount = std::min(theChunk, theBody.size() - theDone);
            if (::write(theFile, theBody.data() + theDone, theCount) != static_cast<ssize_t>(theCount))
                break;
            theDone += theCount;
        }
        void* theView = ::mmap(nullptr, theBody.size(), PROT_READ, MAP_SHARED, theFile, 0);
        const char* theData = static_cast<const char*>(theView);
        const void* theHit = ::memmem(theData + 200, theBody.size() - 200, kDivider.data(), kDivider.size());
        benchmark::DoNotOptimize(theHit);
        ::munmap(theView, theBody.size());
        ::close(theFile);
    }
    inState.SetBytesProcessed(static_cast<int64_t>(inState.iterations()) * static_cast<int64_t>(theBody.size()));
}
BENCHMARK(BM_CBaseline)->Arg(2048)->Arg(65536)->Arg(4 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

/// A small multipart body of about inSize bytes: one text field and one file.
std::string SmallBody(size_t inSize)
{
    std::string theBody = kDivider + "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello\r\n" + kDivider +
                          "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.txt\"\r\n"
                          "Content-Type: text/plain\r\n\r\n";
    const std::string theTail = "\r\n" + kDivider + "--\r\n";
    theBody.resize(inSize > theBody.size() + theTail.size() ? inSize - theTail.size() : theBody.size(), 'x');
    return theBody + theTail;
}

// Args: body bytes, read chunk size, 1 to read into memory or 0 for the read cache. One
// iteration is one upload's intake: every BinaryRead, the progress updates, storing the
// body (memory, or a temporary file made, written, mapped and deleted) and splitting it.
void BM_SmallBodies(benchmark::State& inState)
{
    const std::string theBody = SmallBody(static_cast<size_t>(inState.range(0)));
    SetChunkSize(static_cast<DWORD>(inState.range(1)));
    const DWORD theMemoryLimit = inState.range(2) != 0 ? 0xFFFFFFFF : 0;
    const LONG theID = NewProgressID();
    RegisterProgress(theID);
    for (auto _ : inState) {
        auto* theRequest = new ferrolift::test::TestRequest(theBody);
        theRequest->RecordCalls(false);
        std::unique_ptr<ByteSource> theStream;
        HRESULT hr = ReadBody(theRequest, theID, static_cast<LONG>(theBody.size()), theStream, theMemoryLimit);
        theRequest->Release();
        if (FAILED(hr) || !theStream || theStream->Size() != theBody.size()) {
            inState.SkipWithError("the body was not read");
            break;
        }
        FieldGroupList theGroups;
        MultipartParser theParser(theGroups, CP_ACP);
        const BYTE* theData = theStream->Data();
        theParser.ParseMultipart(theData, theData + theStream->Size() - 1);
        benchmark::DoNotOptimize(theGroups.GetGroup(1));
    }
    UnregisterProgress(theID);
    inState.SetItemsProcessed(static_cast<int64_t>(inState.iterations()));
    inState.SetBytesProcessed(static_cast<int64_t>(inState.iterations()) * static_cast<int64_t>(theBody.size()));
}
BENCHMARK(BM_SmallBodies)
    ->ArgNames({"bytes", "chunk", "memory"})
    ->ArgsProduct({{4096, 65536, 262144, 1048576}, {65536}, {0, 1}})
    ->Args({4096, 2048, 0})
    ->Args({4096, 2048, 1})
    ->Args({65536, 2048, 0})
    ->Args({65536, 2048, 1})
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

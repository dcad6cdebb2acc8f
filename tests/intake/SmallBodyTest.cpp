// Small bodies are read into memory instead of the read cache: the same bytes, requests,
// progress and failures as through the cache, for every way a request may deliver, and
// not a single file made for them. Blocks of memory that a request does not fill never
// show what an earlier request left behind.
#include "IntakeFixture.h"
#include "intake/BodyReader.h"
#include "intake/MemoryByteSource.h"

#include <asptlb.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

using ferrolift::test::TestPage;

constexpr DWORD kAlwaysCache = 0;
constexpr DWORD kAlwaysMemory = 0xFFFFFFFF;

std::string BodyOfSize(size_t inSize)
{
    std::string theBody = "--XYZ\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a.bin\"\r\n\r\n";
    const std::string theTail = "\r\n--XYZ--\r\n";
    for (size_t i = 0; theBody.size() + theTail.size() < inSize; ++i)
        theBody += static_cast<char>('a' + i % 26);
    return theBody + theTail;
}

/// Counts the files (not folders: test pages make their sites there) made in a folder
/// while it is alive. Delete-on-close files vanish at once, so looking at the folder
/// afterwards would show nothing.
class FileCreations {
public:
    explicit FileCreations(const std::string& inFolder)
        : mNotify(::inotify_init1(IN_NONBLOCK)), mWatch(::inotify_add_watch(mNotify, inFolder.c_str(), IN_CREATE))
    {
    }
    ~FileCreations() { ::close(mNotify); }
    FileCreations(const FileCreations&) = delete;
    FileCreations& operator=(const FileCreations&) = delete;

    bool Watching() const { return mNotify >= 0 && mWatch >= 0; }

    /// Creations since the last call.
    int Take()
    {
        int theCount = 0;
        alignas(inotify_event) char theEvents[4096];
        for (ssize_t theRead; (theRead = ::read(mNotify, theEvents, sizeof theEvents)) > 0;) {
            for (ssize_t theAt = 0; theAt < theRead;) {
                const auto* theEvent = reinterpret_cast<const inotify_event*>(theEvents + theAt);
                theCount += (theEvent->mask & IN_CREATE) != 0 && (theEvent->mask & IN_ISDIR) == 0 ? 1 : 0;
                theAt += static_cast<ssize_t>(sizeof(inotify_event) + theEvent->len);
            }
        }
        return theCount;
    }

private:
    int mNotify;
    int mWatch;
};

/// How a request hands out the body.
struct Delivery {
    const char* name;
    DWORD chunk;
    std::vector<long> limits;      // per call, as TestRequest::SetDeliveries
    size_t failAfter = SIZE_MAX;   // bytes after which BinaryRead fails
};

/// Everything a read leaves that the intake or a progress page can see.
struct Outcome {
    bool failed = false;
    bool hasBody = false;
    std::string bytes;
    std::vector<long> requested;
    std::vector<std::string> progress;   // at every BinaryRead, then at the end

    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& inOut, const Outcome& inOutcome)
{
    inOut << (inOutcome.failed ? "failed" : "succeeded") << ", " << (inOutcome.hasBody ? "" : "no ") << "body of "
          << inOutcome.bytes.size() << " bytes, " << inOutcome.requested.size() << " reads, progress";
    for (const std::string& theStep : inOutcome.progress)
        inOut << " " << theStep;
    return inOut;
}

class SmallBodyTest : public IntakeTest {
protected:
    void SetUp() override
    {
        IntakeTest::SetUp();
        // The first body of a process always tries the cache; get that behind us.
        Outcome theFirst = Read(BodyOfSize(100), Delivery{"warm-up", 2048, {}}, kAlwaysMemory);
        ASSERT_FALSE(theFirst.failed);
    }

    Outcome Read(const std::string& inBody, const Delivery& inHow, DWORD inMemoryLimit)
    {
        SetChunkSize(inHow.chunk);
        TestPage thePage(inBody);
        ferrolift::test::TestRequest& theRequest = thePage.Request();
        theRequest.SetDeliveries(inHow.limits);
        if (inHow.failAfter != SIZE_MAX)
            theRequest.FailAfter(inHow.failAfter, E_FAIL);
        const LONG theID = NewProgressID();
        RegisterProgress(theID);
        Outcome theOutcome;
        auto theSnapshot = [&theOutcome, theID] {
            Progress theNow = ReadProgress(theID);
            theOutcome.progress.push_back(std::to_string(theNow.done) + "/" + std::to_string(theNow.total));
        };
        theRequest.OnRead([&](long) { theSnapshot(); });
        std::unique_ptr<ByteSource> theBody;
        theOutcome.failed = FAILED(ReadBody(&theRequest, theID, static_cast<LONG>(inBody.size()), theBody,
                                            inMemoryLimit));
        theSnapshot();
        UnregisterProgress(theID);
        theOutcome.hasBody = theBody != nullptr;
        if (theBody)
            theOutcome.bytes.assign(reinterpret_cast<const char*>(theBody->Data()), theBody->Size());
        theOutcome.requested = theRequest.RequestedCounts();
        return theOutcome;
    }
};

TEST_F(SmallBodyTest, MemoryGivesWhatTheCacheGivesForEveryDelivery)
{
    const std::string theBody = BodyOfSize(5000);
    const Delivery theCases[] = {
        {"whole, default chunks", 0, {}},
        {"one byte at a time", 1, {}},
        {"one read", 65536, {}},
        {"short second read", 2048, {2048, 1000}},
        {"nothing in the first read", 2048, {0}},
        {"nothing at all", 2048, {0, 0, 0}},
        {"failure part way", 2048, {}, 3000},
        {"failure at once", 2048, {}, 0},
    };
    FileCreations theFiles(mState / "tmp");
    ASSERT_TRUE(theFiles.Watching());
    for (const Delivery& theCase : theCases) {
        SCOPED_TRACE(theCase.name);
        const Outcome theCached = Read(theBody, theCase, kAlwaysCache);
        EXPECT_EQ(theFiles.Take(), 1);
        const Outcome theInMemory = Read(theBody, theCase, kAlwaysMemory);
        EXPECT_EQ(theFiles.Take(), 0);
        EXPECT_EQ(theInMemory, theCached);
    }
    // The cases mean what they say.
    EXPECT_EQ(Read(theBody, theCases[0], kAlwaysMemory).bytes, theBody);
    EXPECT_EQ(Read(theBody, theCases[3], kAlwaysMemory).bytes.size(), 2048u + 1000u + 904u);
    EXPECT_TRUE(Read(theBody, theCases[5], kAlwaysMemory).failed);
}

TEST_F(SmallBodyTest, TheLimitDecidesAndUploadsStayTheSame)
{
    FileCreations theFiles(mState / "tmp");
    ASSERT_TRUE(theFiles.Watching());
    SetChunkSize(65536);
    for (size_t theSize : {size_t{200}, size_t{kInMemoryBodyLimit}, size_t{kInMemoryBodyLimit} + 1}) {
        SCOPED_TRACE(theSize);
        const std::string theBody = BodyOfSize(theSize);
        TestPage thePage(theBody);
        Multipart theReader;
        theReader.SetMaxUploadSize(0x7FFFFFFF);
        ASSERT_FALSE(theReader.Initialize(nullptr, false)) << theReader.Errors().Describe();
        EXPECT_EQ(theFiles.Take(), theSize > kInMemoryBodyLimit ? 1 : 0);
        EXPECT_EQ(theReader.Length(), static_cast<LONG>(theBody.size()));
        ASSERT_NE(theReader.Data(), nullptr);
        EXPECT_EQ(std::memcmp(theReader.Data(), theBody.data(), theBody.size()), 0);
        EXPECT_EQ(theReader.GroupCount(), 1);
        EXPECT_EQ(ReadProgress(theReader.GetProgressID()).note, "Finishing...");
    }
}

/// A request that hands out more than it is asked for, once.
class GenerousRequest final : public ferrolift::test::RequestWithoutCollections {
public:
    explicit GenerousRequest(std::string inBody) : mBody(std::move(inBody)) {}

    HRESULT STDMETHODCALLTYPE get_TotalBytes(long* outTotal) override
    {
        *outTotal = static_cast<long>(mBody.size());
        return S_OK;
    }
    /// The first call delivers the whole body and 10 bytes more; the others deliver what
    /// is left of the announced length.
    HRESULT STDMETHODCALLTYPE BinaryRead(VARIANT* inOutCount, VARIANT* outBytes) override
    {
        const size_t theSize = mFirst ? mBody.size() + 10 : 0;
        mFirst = false;
        SAFEARRAY* theArray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(theSize));
        void* theData = nullptr;
        SafeArrayAccessData(theArray, &theData);
        std::memset(theData, 'x', theSize);
        SafeArrayUnaccessData(theArray);
        V_VT(outBytes) = VT_ARRAY | VT_UI1;
        V_ARRAY(outBytes) = theArray;
        V_VT(inOutCount) = VT_I4;
        V_I4(inOutCount) = static_cast<LONG>(theSize);
        return S_OK;
    }

private:
    std::string mBody;
    bool mFirst = true;
};

TEST_F(SmallBodyTest, LongerDeliveryIsALengthMismatchAsWithTheCache)
{
    SetChunkSize(1000);
    for (DWORD theLimit : {kAlwaysCache, kAlwaysMemory}) {
        SCOPED_TRACE(theLimit == kAlwaysCache ? "cache" : "memory");
        auto* theRequest = new GenerousRequest(BodyOfSize(3000));
        std::unique_ptr<ByteSource> theBody;
        EXPECT_EQ(ReadBody(theRequest, NewProgressID(), 3000, theBody, theLimit), S_OK);
        theRequest->Release();
        ASSERT_TRUE(theBody);
        EXPECT_GT(theBody->Size(), 3000u);
    }
}

TEST(MemoryByteSourceZeroTest, AnOwnBlockNeverShowsWhatTheHeapHeld)
{
    // The same size freed just before comes straight back from the allocator.
    constexpr size_t kSize = 600;
    for (int theRound = 0; theRound < 3; ++theRound) {
        {
            auto theEarlier = std::make_unique<BYTE[]>(kSize);
            std::memset(theEarlier.get(), 0xA5, kSize);
            asm volatile("" : : "r"(theEarlier.get()) : "memory");  // the fill must happen
        }
        MemoryByteSource theSource;
        ASSERT_EQ(theSource.Allocate(kSize), kSize);
        EXPECT_EQ(std::count(theSource.Data(), theSource.Data() + kSize, 0), static_cast<long>(kSize));
    }
}

TEST_F(IntakeTest, MemoryFallbackShowsZerosWhereTheClientSentNothing)
{
    // Blocks of every size from the heap, as after a burst of large frees.
    ::mallopt(M_MMAP_THRESHOLD, 64 << 20);
    SetChunkSize(65536);
    UseTempFolder(mState / "missing");
    const size_t theSize = kInMemoryBodyLimit + 70000;
    // One request whose body is all 'S' comes and goes...
    {
        TestPage thePage(std::string(theSize, 'S'));
        Multipart theReader;
        theReader.SetMaxUploadSize(0x7FFFFFFF);
        theReader.Initialize(nullptr, false);
        ASSERT_EQ(theReader.Length(), static_cast<LONG>(theSize));
    }
    // ...then one whose client sends 1000 bytes of its second 64 KiB.
    TestPage thePage(BodyOfSize(theSize));
    thePage.Request().SetDeliveries({65536, 1000});
    Multipart theReader;
    theReader.SetMaxUploadSize(0x7FFFFFFF);
    theReader.Initialize(nullptr, false);
    ASSERT_EQ(theReader.Length(), static_cast<LONG>(theSize));
    const char* theHeld = reinterpret_cast<const char*>(theReader.Data());
    ASSERT_NE(theHeld, nullptr);
    const std::string theGap(theHeld + 65536, 65536 - 1000);
    EXPECT_EQ(theGap.find_first_not_of('\0'), std::string::npos);
}

}  // namespace

// The request intake end to end: a test page's BinaryRead, the read cache (or memory),
// the size rules, the progress it publishes, and the fields that come out.
#include "IntakeFixture.h"
#include "intake/BodyReader.h"

#include <asptlb.h>

namespace {

using ferrolift::test::TestPage;

/// A multipart body of exactly inSize bytes: a text field and a file padded to fit.
std::string BodyOfSize(size_t inSize)
{
    std::string theHead = "--XYZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n"
                          "--XYZ\r\nContent-Disposition: form-data; name=\"f\"; filename=\"C:\\dir\\a.txt\"\r\n"
                          "Content-Type: text/plain\r\n\r\n";
    std::string theTail = "\r\n--XYZ--\r\n";
    std::string theData;
    for (size_t i = 0; theHead.size() + theData.size() + theTail.size() < inSize; ++i)
        theData += static_cast<char>('a' + i % 26);
    return theHead + theData + theTail;
}

TEST_F(IntakeTest, ChunkedReadThroughTheCache)
{
    SetChunkSize(2048);
    std::string theBody = BodyOfSize(5000);
    TestPage thePage(theBody);
    Multipart theReader;
    const LONG theID = theReader.GetProgressID();
    std::vector<std::pair<LONG, LONG>> theSeen;
    std::vector<std::string> theNotes;
    int theCacheFilesDuringRead = -1;
    thePage.Request().OnRead([&](long) {
        Progress theNow = ReadProgress(theID);
        theSeen.emplace_back(theNow.done, theNow.total);
        theNotes.push_back(theNow.note);
        theCacheFilesDuringRead = CacheFiles();
    });

    ASSERT_FALSE(theReader.Initialize(nullptr, false)) << theReader.Errors().Describe();
    EXPECT_EQ(thePage.Request().RequestedCounts(), (std::vector<long>{2048, 2048, 904}));
    EXPECT_EQ(theSeen, (std::vector<std::pair<LONG, LONG>>{{0, 5000}, {2048, 5000}, {4096, 5000}}));
    EXPECT_EQ(theNotes, std::vector<std::string>(3, "Transferring data..."));
    // Delete-on-close: the cache is open but already gone from the folder.
    EXPECT_EQ(theCacheFilesDuringRead, 0);
    Progress theEnd = ReadProgress(theID);
    EXPECT_EQ(theEnd.done, 5000);
    EXPECT_EQ(theEnd.total, 5000);
    EXPECT_EQ(theEnd.note, "Finishing...");

    EXPECT_EQ(theReader.Length(), 5000);
    EXPECT_TRUE(theReader.IsMultipart());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(theReader.Data()), 5000), theBody);
    ASSERT_EQ(theReader.GroupCount(), 2);
    EXPECT_EQ(Value(theReader, 0, 0), "1");
    EXPECT_EQ(theReader.FindGroup("F"), 1);
    EXPECT_EQ(theReader.GetGroup(1)->Entry(0)->length, 5000 - static_cast<LONG>(theBody.find("abc")) - 11);

    // The intake runs once: asking again reads nothing more.
    EXPECT_FALSE(theReader.Initialize(nullptr, false));
    EXPECT_EQ(thePage.Request().RequestedCounts().size(), 3u);
    theReader.Clear();
    EXPECT_EQ(theReader.GroupCount(), 0);
    EXPECT_EQ(theReader.Data(), nullptr);
    EXPECT_EQ(ReadProgress(theID).finished, VARIANT_TRUE);
}

TEST_F(IntakeTest, ChunkSizeSettingDecidesTheRequests)
{
    std::string theBody = BodyOfSize(5000);
    const std::pair<DWORD, std::vector<long>> kCases[] = {
        {0xFFFFFFFF, {5000}}, {5000, {5000}}, {0, {2048, 2048, 904}}, {4999, {4999, 1}}};
    for (const auto& [theChunk, theCounts] : kCases) {
        SetChunkSize(theChunk);
        TestPage thePage(theBody);
        Multipart theReader;
        ASSERT_FALSE(theReader.Initialize(nullptr, false));
        EXPECT_EQ(thePage.Request().RequestedCounts(), theCounts) << "chunk " << theChunk;
        EXPECT_EQ(theReader.GroupCount(), 2);
    }
}

TEST_F(IntakeTest, OneByteAtATimeGivesTheSameFields)
{
    SetChunkSize(1);
    std::string theBody = ReadFile(std::string(FERROLIFT_TEST_DATA) + "/chromium.body");
    TestPage thePage(theBody);
    Multipart theReader;
    ASSERT_FALSE(theReader.Initialize(nullptr, false)) << theReader.Errors().Describe();
    EXPECT_EQ(thePage.Request().RequestedCounts().size(), theBody.size());
    EXPECT_EQ(theReader.GroupCount(), 5);
    EXPECT_EQ(theReader.GetGroup(theReader.FindGroup("photos"))->EntryCount(), 2);
}

TEST_F(IntakeTest, SizeLimit)
{
    std::string theBody = BodyOfSize(300);
    {
        TestPage thePage(theBody);
        Multipart theReader;
        theReader.SetMaxUploadSize(300);
        EXPECT_FALSE(theReader.Initialize(nullptr, false));
        EXPECT_EQ(theReader.GroupCount(), 2);
    }
    {
        TestPage thePage(theBody);
        Multipart theReader;
        theReader.SetMaxUploadSize(299);
        EXPECT_TRUE(theReader.Initialize(nullptr, false));
        EXPECT_STREQ(theReader.Errors().Describe(), "Upload size is greater than the maximum allowed.\n");
        EXPECT_TRUE(thePage.Request().RequestedCounts().empty());   // not read, not drained
        EXPECT_EQ(theReader.GroupCount(), 0);
        EXPECT_EQ(theReader.Length(), 300);
        EXPECT_TRUE(theReader.IsMultipart());
        Progress theEnd = ReadProgress(theReader.GetProgressID());
        EXPECT_EQ(theEnd.note, "Upload size is greater than the maximum allowed.\n");
        // Failed once, failed for good until cleared.
        EXPECT_TRUE(theReader.Initialize(nullptr, false));
    }
    {
        TestPage thePage("");
        Multipart theReader;
        theReader.SetMaxUploadSize(-1);   // even an empty body is over the limit
        EXPECT_TRUE(theReader.Initialize(nullptr, false));
    }
    {
        TestPage thePage("");
        Multipart theReader;
        EXPECT_FALSE(theReader.Initialize(nullptr, false));
        EXPECT_EQ(theReader.GroupCount(), 0);
        EXPECT_FALSE(theReader.IsMultipart());
        EXPECT_EQ(ReadProgress(theReader.GetProgressID()).note, "Finishing...");
    }
}

TEST_F(IntakeTest, ShortDeliveryIntoTheCacheIsALengthMismatch)
{
    SetChunkSize(2048);
    TestPage thePage(BodyOfSize(5000));
    thePage.Request().SetDeliveries({2048, 1000});
    Multipart theReader;
    EXPECT_TRUE(theReader.Initialize(nullptr, false));
    EXPECT_STREQ(theReader.Errors().Describe(), "Reported data length different from length read.\n");
    EXPECT_EQ(theReader.Length(), 0);
    EXPECT_FALSE(theReader.IsMultipart());
    EXPECT_EQ(thePage.Request().RequestedCounts().size(), 3u);   // no retry, no time limit
}

TEST_F(IntakeTest, FailingReadStopsTheUpload)
{
    SetChunkSize(2048);
    TestPage thePage(BodyOfSize(5000));
    thePage.Request().FailAfter(3000, E_FAIL);
    Multipart theReader;
    EXPECT_TRUE(theReader.Initialize(nullptr, false));
    EXPECT_STREQ(theReader.Errors().Describe(), "Upload stopped unexpectedly.\n");
    EXPECT_EQ(theReader.Data(), nullptr);
    EXPECT_EQ(theReader.GroupCount(), 0);
    EXPECT_EQ(CacheFiles(), 0);
}

TEST_F(IntakeTest, MemoryFallbackPlacesBytesAtTheEndOfEachWindow)
{
    SetChunkSize(2048);
    UseTempFolder(mState / "missing");
    // Above the in-memory limit: smaller bodies never try the cache.
    std::string theBody = BodyOfSize(kInMemoryBodyLimit + 5000);
    const LONG theSize = static_cast<LONG>(theBody.size());
    {
        // The second read delivers 1000 of 2048 bytes: they end where that window ends,
        // the gap stays zero, and no error is recorded.
        TestPage thePage(theBody);
        thePage.Request().SetDeliveries({2048, 1000});
        Multipart theReader;
        EXPECT_FALSE(theReader.Initialize(nullptr, false)) << theReader.Errors().Describe();
        EXPECT_EQ(theReader.Length(), theSize);
        std::string theHeld(reinterpret_cast<const char*>(theReader.Data()), theBody.size());
        EXPECT_EQ(theHeld.substr(0, 2048), theBody.substr(0, 2048));
        EXPECT_EQ(CacheFiles(), 0);
        EXPECT_EQ(theHeld.substr(3096, 1000), theBody.substr(2048, 1000));
    }
    {
        // A count that claims more than was asked never moves bytes outside the window.
        TestPage thePage(theBody);
        thePage.Request().ReportCountAs(VT_BSTR, 5000);
        Multipart theReader;
        EXPECT_FALSE(theReader.Initialize(nullptr, false));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(theReader.Data()), theBody.size()), theBody);
        EXPECT_EQ(theReader.GroupCount(), 2);
    }
}

// The cache-failure event is once per process, so each case runs in a fresh process
// (re-executed, not forked, so that nothing has tried a cache yet). The child names its
// files after its parent, since it runs the test body again with folders of its own.
std::string SharedPath(pid_t inParent, const char* inWhat)
{
    return "/tmp/ferrolift-intake-" + std::to_string(inParent) + "-" + inWhat;
}

void UploadTwiceInChild(bool inFirstHasCache)
{
    const pid_t theParent = ::getppid();
    ::setenv("FERROLIFT_EVENTLOG", SharedPath(theParent, "events.jsonl").c_str(), 1);
    const std::string theGood = SharedPath(theParent, "tmp");
    ::mkdir(theGood.c_str(), 0700);
    const std::string theMissing = SharedPath(theParent, "missing");
    std::string theBody = BodyOfSize(500);
    for (const std::string& theTemp : {inFirstHasCache ? theGood : theMissing, theMissing}) {
        ::setenv("TMPDIR", (theTemp + "/").c_str(), 1);
        Multipart theReader;
        ferrolift::test::TestPage thePage(theBody);
        if (theReader.Initialize(nullptr, false) || theReader.GroupCount() != 2)
            std::_Exit(10);
    }
    std::_Exit(0);
}

TEST_F(IntakeTest, FirstCacheFailureIsLoggedOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string theEvents = SharedPath(::getpid(), "events.jsonl");
    ::setenv("FERROLIFT_EVENTLOG", theEvents.c_str(), 1);
    EXPECT_EXIT(UploadTwiceInChild(false), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(EventsWith("Unable to create Binary Read Cache"), 1);
    EXPECT_EQ(EventsWith("0x80040003"), 1);   // the missing folder's code
    ::unlink(theEvents.c_str());

    // After a first upload that could make its cache, later failures stay silent.
    EXPECT_EXIT(UploadTwiceInChild(true), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(EventsWith("Unable to create Binary Read Cache"), 0);
    ::unlink(theEvents.c_str());
    ::rmdir(SharedPath(::getpid(), "tmp").c_str());
}

TEST_F(IntakeTest, NoPageMeansNoContext)
{
    Multipart theReader;
    EXPECT_TRUE(theReader.Initialize(nullptr, false));
    EXPECT_EQ(theReader.Errors().ResultCode(), static_cast<DWORD>(CONTEXT_E_NOCONTEXT));
    EXPECT_EQ(std::string(theReader.Errors().Describe()).rfind("Unable to get Object Context.\n", 0), 0u);
    WCHAR thePath[MAX_PATH];
    EXPECT_EQ(theReader.MapPath(u"/x", thePath), CONTEXT_E_NOCONTEXT);
    EXPECT_EQ(thePath[0], 0);
}

TEST_F(IntakeTest, ReadingFiles)
{
    std::string theBody = BodyOfSize(700);
    std::string theFile = mState / "saved.bin";
    std::ofstream(theFile, std::ios::binary) << theBody;
    std::u16string theWide = ferrolift::platform::Utf16FromUtf8(theFile);

    // A physical path needs no page; afterwards there is no server for MapPath.
    Multipart theReader;
    ASSERT_FALSE(theReader.Initialize(theWide.c_str(), true)) << theReader.Errors().Describe();
    EXPECT_EQ(theReader.Length(), 700);
    EXPECT_EQ(theReader.GroupCount(), 2);
    Progress theProgress = ReadProgress(theReader.GetProgressID());
    EXPECT_EQ(theProgress.done, 700);
    EXPECT_EQ(theProgress.note, "Finishing...");
    WCHAR theMapped[MAX_PATH];
    EXPECT_EQ(theReader.MapPath(u"/x", theMapped), CONTEXT_E_NOCONTEXT);

    // Clear marks the record finished, and a following read does not reset that.
    theReader.Clear();
    ASSERT_FALSE(theReader.Initialize(theWide.c_str(), true));
    EXPECT_EQ(ReadProgress(theReader.GetProgressID()).finished, VARIANT_TRUE);

    // A virtual path needs the page's server object.
    theReader.Clear();
    EXPECT_TRUE(theReader.Initialize(u"/saved.bin", false));
    // After Clear the record starts from a single space, which messages follow.
    std::string theText = theReader.Errors().Describe();
    EXPECT_EQ(theText.rfind(" Unable to get Object Context.\nA Windows error - ", 0), 0u) << theText;
    EXPECT_NE(theText.find("(0x8004e004) occurred.\n"), std::string::npos) << theText;
    {
        TestPage thePage;
        std::ofstream(thePage.Physical("up.bin"), std::ios::binary) << theBody;
        theReader.Clear();
        ASSERT_FALSE(theReader.Initialize(u"/up.bin", false)) << theReader.Errors().Describe();
        EXPECT_EQ(theReader.GroupCount(), 2);
        EXPECT_TRUE(thePage.Request().RequestedCounts().empty());
        ASSERT_EQ(theReader.MapPath(u"/a/b.txt", theMapped), S_OK);
        EXPECT_EQ(ferrolift::platform::Utf8FromUtf16(theMapped), thePage.Physical("a/b.txt"));
        theReader.Clear();
        EXPECT_TRUE(theReader.Initialize(u"/../../etc/passwd", false));
        EXPECT_EQ(std::string(theReader.Errors().Describe()).rfind(" Unable to resolve URL.\n", 0), 0u);
    }

    theReader.Clear();
    std::u16string theMissing = ferrolift::platform::Utf16FromUtf8(mState / "none.bin");
    EXPECT_TRUE(theReader.Initialize(theMissing.c_str(), true));
    EXPECT_STREQ(theReader.Errors().Describe(),
                 " Unable to read file.\nA Windows error occurred that indicates that a file could not be found "
                 "(0x00000002).\n");

    theReader.Clear();
    std::ofstream(mState / "empty.bin").flush();
    std::u16string theEmpty = ferrolift::platform::Utf16FromUtf8(mState / "empty.bin");
    EXPECT_TRUE(theReader.Initialize(theEmpty.c_str(), true));
    EXPECT_EQ(std::string(theReader.Errors().Describe()).rfind(" File is empty.\n", 0), 0u);
    EXPECT_EQ(theReader.Length(), 0);
}

TEST_F(IntakeTest, ProgressIDMoves)
{
    Multipart theOther;
    Multipart theReader;
    const LONG theOld = theReader.GetProgressID();
    SetProgressNote(theOther.GetProgressID(), "other");
    theReader.SetProgressID(theOther.GetProgressID());
    EXPECT_EQ(theReader.GetProgressID(), theOther.GetProgressID());
    EXPECT_EQ(ReadProgress(theOld).note, "Connecting...");                 // old record gone
    EXPECT_EQ(ReadProgress(theReader.GetProgressID()).note, "");           // a fresh record
    theReader.SetProgressID(-5);
    EXPECT_EQ(theReader.GetProgressID(), -5);
}

TEST_F(IntakeTest, UrlEncodedRequestIsNotMultipart)
{
    TestPage thePage("a=1&b=x+y&a=%41");
    Multipart theReader;
    ASSERT_FALSE(theReader.Initialize(nullptr, false));
    EXPECT_FALSE(theReader.IsMultipart());
    ASSERT_EQ(theReader.GroupCount(), 2);
    EXPECT_EQ(Value(theReader, 0, 1), "A");
    EXPECT_EQ(Value(theReader, 1, 0), "x y");
}

}  // namespace

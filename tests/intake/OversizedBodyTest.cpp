// Bodies and files larger than a form's 32-bit lengths can describe: refused with a clear
// error, never read in part or cut to fit. Sparse files and untouched anonymous memory
// stand in for gigabytes, so nothing large is ever written.
#include "IntakeFixture.h"

#include "intake/MultipartParser.h"
#include "platform/files/FilePath.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

using ferrolift::test::TestPage;

constexpr char kSmallBody[] = "--XYZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--XYZ--\r\n";

/// A file of inSize bytes that starts with inHead and is a hole after it.
void MakeSparseFile(const std::string& inPath, const std::string& inHead, off_t inSize)
{
    const int theFd = ::open(inPath.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(theFd, 0);
    ASSERT_EQ(::write(theFd, inHead.data(), inHead.size()), static_cast<ssize_t>(inHead.size()));
    ASSERT_EQ(::ftruncate(theFd, inSize), 0);
    ::close(theFd);
}

TEST_F(IntakeTest, RequestWhoseLengthHasNoThirtyTwoBitCountIsRefusedUnread)
{
    const std::string theDescription =
        "Upload size is greater than the maximum allowed. A form holds at most 2147483647 bytes.\n";
    // The page engine's way of saying so, and an engine whose count is wider than 32 bits.
    const std::pair<long, HRESULT> kAnswers[] = {{0, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)},
                                                 {0x80000000L, S_OK},
                                                 {0xA0000000L, S_OK}};
    for (const auto& [theTotal, theResult] : kAnswers) {
        TestPage thePage(kSmallBody);
        thePage.Request().SetTotalBytes(theTotal, theResult);
        Multipart theReader;
        theReader.SetMaxUploadSize(0x7FFFFFFF);
        EXPECT_TRUE(theReader.Initialize(nullptr, false)) << theTotal;
        EXPECT_EQ(theReader.Errors().Describe(), theDescription);
        EXPECT_TRUE(thePage.Request().RequestedCounts().empty());   // not a byte read
        EXPECT_EQ(theReader.GroupCount(), 0);
        EXPECT_EQ(theReader.Length(), 0);
        EXPECT_EQ(ReadProgress(theReader.GetProgressID()).note, theDescription);
    }
}

TEST_F(IntakeTest, RequestWithoutALengthIsRefusedRatherThanTakenAsEmpty)
{
    TestPage thePage(kSmallBody);
    thePage.Request().SetTotalBytes(0, E_UNEXPECTED);
    Multipart theReader;
    EXPECT_TRUE(theReader.Initialize(nullptr, false));
    const std::string theText = theReader.Errors().Describe();
    EXPECT_EQ(theText.rfind("Unable to get upload size.\n", 0), 0u) << theText;
    EXPECT_EQ(theReader.Errors().ResultCode(), static_cast<DWORD>(E_UNEXPECTED));
    EXPECT_TRUE(thePage.Request().RequestedCounts().empty());
}

TEST_F(IntakeTest, FilesBeyondTheFormsLengthAreRefusedNotWrapped)
{
    // 2 to 4 GiB: a length that turns negative in 32 bits.
    const std::string theBig = mState / "big.bin";
    MakeSparseFile(theBig, kSmallBody, off_t{3} << 30);
    const std::u16string theBigPath = ferrolift::platform::Utf16FromUtf8(theBig);
    Multipart theReader;
    EXPECT_TRUE(theReader.Initialize(theBigPath.c_str(), true));
    EXPECT_EQ(std::string(theReader.Errors().Describe()).rfind("File is larger than 2147483647 bytes, the most a "
                                                               "form can hold.\n",
                                                               0),
              0u)
        << theReader.Errors().Describe();
    EXPECT_EQ(theReader.Errors().ResultCode(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
    EXPECT_EQ(theReader.Length(), 0);
    EXPECT_EQ(theReader.GroupCount(), 0);
    EXPECT_EQ(theReader.Data(), nullptr);

    // 4 GiB and more: a size that wraps to its small remainder, here a whole valid body.
    const std::string theHuge = mState / "huge.bin";
    MakeSparseFile(theHuge, kSmallBody, (off_t{4} << 30) + static_cast<off_t>(sizeof kSmallBody - 1));
    const std::u16string theHugePath = ferrolift::platform::Utf16FromUtf8(theHuge);
    theReader.Clear();
    EXPECT_TRUE(theReader.Initialize(theHugePath.c_str(), true));
    EXPECT_EQ(std::string(theReader.Errors().Describe()).rfind(" File is too large.\n", 0), 0u)
        << theReader.Errors().Describe();
    EXPECT_EQ(theReader.Errors().ResultCode(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
    EXPECT_EQ(theReader.GroupCount(), 0);

    // The largest file a form can hold is still read.
    const std::string theFit = mState / "fit.bin";
    MakeSparseFile(theFit, kSmallBody, 0x7FFFFFFF);
    const std::u16string theFitPath = ferrolift::platform::Utf16FromUtf8(theFit);
    theReader.Clear();
    EXPECT_FALSE(theReader.Initialize(theFitPath.c_str(), true)) << theReader.Errors().Describe();
    EXPECT_EQ(theReader.Length(), 0x7FFFFFFF);
    EXPECT_EQ(theReader.GroupCount(), 1);
}

/// inSize bytes of untouched anonymous memory. Reading it maps the shared zero page (a
/// huge one where the system allows), so gigabytes cost neither memory nor much time.
class LazyBlock {
public:
    explicit LazyBlock(size_t inSize) : mSize(inSize)
    {
        void* theBlock = ::mmap(nullptr, inSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                                -1, 0);
        mData = theBlock == MAP_FAILED ? nullptr : static_cast<BYTE*>(theBlock);
        if (mData != nullptr)
            ::madvise(mData, inSize, MADV_HUGEPAGE);
    }
    ~LazyBlock()
    {
        if (mData != nullptr)
            ::munmap(mData, mSize);
    }
    LazyBlock(const LazyBlock&) = delete;
    LazyBlock& operator=(const LazyBlock&) = delete;

    BYTE* Data() const { return mData; }

private:
    size_t mSize;
    BYTE* mData;
};

/// Splits a body of a text field, a file field of inFieldSize zero bytes and one more
/// text field, laid out in lazy memory.
struct SplitResult {
    bool oversized = false;
    std::vector<std::string> names;
    LONG fileLength = -1;
};

SplitResult SplitWithFileOf(size_t inFieldSize)
{
    const std::string theHead = "--XYZ\r\nContent-Disposition: form-data; name=\"t\"\r\n\r\nhello\r\n"
                                "--XYZ\r\nContent-Disposition: form-data; name=\"f\"; filename=\"big.bin\"\r\n\r\n";
    const std::string theTail = "\r\n--XYZ\r\nContent-Disposition: form-data; name=\"after\"\r\n\r\nx\r\n--XYZ--\r\n";
    const size_t theSize = theHead.size() + inFieldSize + theTail.size();
    LazyBlock theBlock(theSize);
    SplitResult theResult;
    if (theBlock.Data() == nullptr)
        return theResult;
    std::memcpy(theBlock.Data(), theHead.data(), theHead.size());
    std::memcpy(theBlock.Data() + theHead.size() + inFieldSize, theTail.data(), theTail.size());
    FieldGroupList theGroups;
    MultipartParser theParser(theGroups, CP_UTF8);
    theParser.ParseMultipart(theBlock.Data(), theBlock.Data() + theSize - 1);
    theResult.oversized = theParser.FoundOversizedField();
    for (LONG i = 0; i < theGroups.GroupCount(); ++i)
        theResult.names.emplace_back(theGroups.GetGroup(i)->Name());
    if (theGroups.GroupCount() > 1)
        theResult.fileLength = theGroups.GetGroup(1)->Entry(0)->length;
    return theResult;
}

TEST(OversizedFieldTest, FieldLongerThanItsLengthCanSayStopsTheWalkInsteadOfBecomingEmpty)
{
    const SplitResult theSmall = SplitWithFileOf(5000);
    EXPECT_FALSE(theSmall.oversized);
    EXPECT_EQ(theSmall.names, (std::vector<std::string>{"t", "f", "after"}));
    EXPECT_EQ(theSmall.fileLength, 5000);
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "scanning 2 GiB under the thread checker takes minutes; no threads are involved";
#endif
    // The smallest field too long for a 32-bit length: the walk stops there, keeping
    // neither a cut nor an empty field, nor anything after it.
    const SplitResult theBig = SplitWithFileOf(size_t{0x80000000});
    EXPECT_TRUE(theBig.oversized);
    EXPECT_EQ(theBig.names, (std::vector<std::string>{"t"}));
}

}  // namespace

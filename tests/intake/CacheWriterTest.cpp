// The cache writer gathers chunks: mixed sizes across its buffer's edge must land in
// order, and a failing write must surface with the system's code.
#include <windows.h>

#include "common/FakeTicks.h"
#include "common/TestPage.h"
#include "intake/CacheWriter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>

using ferrolift::test::ScopedTempFolder;

namespace {

std::string ReadText(const std::string& inPath)
{
    std::ifstream theFile(inPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(theFile), {});
}

/// A new cache file to write, and the bytes the test gave the writer.
class CacheWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mFile = CreateFileA(mPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(mFile, INVALID_HANDLE_VALUE);
    }
    void TearDown() override { CloseFile(); }

    /// Appends inChunk and remembers it.
    void Append(CacheWriter& inWriter, const std::string& inChunk)
    {
        ASSERT_TRUE(inWriter.Append(inChunk.data(), static_cast<DWORD>(inChunk.size())));
        mExpected += inChunk;
    }

    /// Closes the file; it must hold exactly what was appended.
    void ExpectFileHoldsWhatWasAppended()
    {
        CloseFile();
        EXPECT_TRUE(ReadText(mPath) == mExpected);
    }

    ScopedTempFolder mFolder;
    const std::string mPath = mFolder / "cache";
    HANDLE mFile = INVALID_HANDLE_VALUE;
    std::string mExpected;

private:
    void CloseFile()
    {
        if (mFile != INVALID_HANDLE_VALUE)
            CloseHandle(std::exchange(mFile, INVALID_HANDLE_VALUE));
    }
};

TEST_F(CacheWriterTest, ChunksOfEverySizeLandInOrder)
{
    {
        CacheWriter theWriter(mFile, 65536);
        unsigned theSeed = 1;
        for (DWORD theSize : {1u, 2048u, 65535u, 70000u, 0u, 3u, 65536u, 65536u, 131072u, 100u}) {
            std::string theChunk(theSize, '\0');
            for (char& c : theChunk)
                c = static_cast<char>(theSeed = theSeed * 1103515245u + 12345u);
            Append(theWriter, theChunk);
        }
        ASSERT_TRUE(theWriter.Flush());
        ASSERT_TRUE(theWriter.Flush());   // nothing left: writes nothing more
    }
    ExpectFileHoldsWhatWasAppended();
}

TEST_F(CacheWriterTest, FailedWritesReportTheSystemCode)
{
    const std::string thePath = mFolder / "readonly";
    std::ofstream(thePath) << "x";
    HANDLE theFile = CreateFileA(thePath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(theFile, INVALID_HANDLE_VALUE);
    CacheWriter theWriter(theFile, 1u << 30);
    std::string theBig(4u << 20, 'b');
    SetLastError(0);
    EXPECT_FALSE(theWriter.Append(theBig.data(), static_cast<DWORD>(theBig.size())));   // straight through: fails at once
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(theWriter.Append("small", 5));               // gathered: fails when written
    SetLastError(0);
    EXPECT_FALSE(theWriter.Flush());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(theFile);
}

TEST_F(CacheWriterTest, BufferFollowsWhatArrivedNotWhatWasAnnounced)
{
    {
        FakeTicks theTicks;   // standing still: every block fills at once
        // A client may announce a gigabyte and send a trickle: memory follows the trickle.
        CacheWriter theWriter(mFile, 1u << 30);
        auto theFeed = [&](DWORD inChunk, DWORD inTotal) {
            for (DWORD theDone = 0; theDone < inTotal; theDone += inChunk)
                Append(theWriter, std::string(inChunk, static_cast<char>('a' + mExpected.size() / 65536 % 26)));
        };
        theFeed(2048, 2048);
        EXPECT_EQ(theWriter.Capacity(), 65536u);
        theFeed(2048, 1u << 20);
        EXPECT_LE(theWriter.Capacity(), 1u << 20);
        // Chunks the size of the first buffer still gather into ever larger blocks.
        theFeed(65536, 16u << 20);
        EXPECT_EQ(theWriter.Capacity(), 4u << 20);
        ASSERT_TRUE(theWriter.Flush());
    }
    ExpectFileHoldsWhatWasAppended();
}

TEST_F(CacheWriterTest, ASlowClientKeepsTheSmallestBuffer)
{
    {
        FakeTicks theTicks;
        CacheWriter theWriter(mFile, 64u << 20);
        auto theFeed = [&](DWORD inTotal, ULONGLONG inMsPerChunk) {
            for (DWORD theDone = 0; theDone < inTotal; theDone += 2048) {
                theTicks.Advance(inMsPerChunk);
                Append(theWriter, std::string(2048, static_cast<char>('a' + mExpected.size() / 65536 % 26)));
            }
        };
        // 2 KiB every 10 ms: a block of 64 KiB takes 320 ms.
        theFeed(1u << 20, 10);
        EXPECT_EQ(theWriter.Capacity(), 65536u);
        // Fast again: the buffer grows with what has arrived.
        theFeed(4u << 20, 0);
        EXPECT_EQ(theWriter.Capacity(), 4u << 20);
        // Slow once more: what has gathered is written, and the buffer is the smallest again
        // at once, not when the large one is full.
        theFeed(2048, 0);
        const auto theBeforeTheSlowChunk = static_cast<LONGLONG>(mExpected.size());
        theFeed(2048, 200);
        EXPECT_EQ(theWriter.Capacity(), 65536u);
        LARGE_INTEGER theSize{};
        ASSERT_TRUE(GetFileSizeEx(mFile, &theSize));
        EXPECT_EQ(theSize.QuadPart, theBeforeTheSlowChunk);
        theFeed(1u << 20, 10);
        EXPECT_EQ(theWriter.Capacity(), 65536u);
        ASSERT_TRUE(theWriter.Flush());
    }
    ExpectFileHoldsWhatWasAppended();
}

TEST_F(CacheWriterTest, BufferNeverExceedsWhatIsStillExpected)
{
    {
        CacheWriter theWriter(mFile, 300000);
        for (int i = 0; i < 150; ++i) {
            Append(theWriter, std::string(2000, static_cast<char>('0' + i % 10)));
            // 64 KiB, 64 KiB, 128 KiB, then the 37 856 bytes left fit the one it has.
            EXPECT_LE(theWriter.Capacity(), 131072u);
        }
        // More than announced still lands whole.
        Append(theWriter, "tail");
        ASSERT_TRUE(theWriter.Flush());
    }
    ExpectFileHoldsWhatWasAppended();
}

}  // namespace

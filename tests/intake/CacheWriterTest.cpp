// The cache writer gathers chunks: mixed sizes across its buffer's edge must land in
// order, and a failing write must surface with the system's code.
#include <windows.h>

#include "common/TestPage.h"
#include "intake/CacheWriter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using ferrolift::test::ScopedTempFolder;

namespace {

std::string ReadText(const std::string& inPath)
{
    std::ifstream theFile(inPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(theFile), {});
}

TEST(CacheWriterTest, ChunksOfEverySizeLandInOrder)
{
    ScopedTempFolder theFolder;
    const std::string thePath = theFolder / "cache";
    HANDLE theFile = CreateFileA(thePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(theFile, INVALID_HANDLE_VALUE);
    std::string theExpected;
    {
        CacheWriter theWriter(theFile, 65536);
        unsigned theSeed = 1;
        for (DWORD theSize : {1u, 2048u, 65535u, 70000u, 0u, 3u, 65536u, 65536u, 131072u, 100u}) {
            std::string theChunk(theSize, '\0');
            for (char& c : theChunk)
                c = static_cast<char>(theSeed = theSeed * 1103515245u + 12345u);
            ASSERT_TRUE(theWriter.Append(theChunk.data(), theSize));
            theExpected += theChunk;
        }
        ASSERT_TRUE(theWriter.Flush());
        ASSERT_TRUE(theWriter.Flush());   // nothing left: writes nothing more
    }
    CloseHandle(theFile);
    EXPECT_TRUE(ReadText(thePath) == theExpected);
}

TEST(CacheWriterTest, FailedWritesReportTheSystemCode)
{
    ScopedTempFolder theFolder;
    const std::string thePath = theFolder / "readonly";
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

}  // namespace

// WriteWholeFile, ReadWholeFile, VolumeRoot and SupportsStreams.
#include "support/FileUtilities.h"

#include "common/TestPage.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

using ferrolift::test::ScopedMount;
using ferrolift::test::ScopedTempFolder;
using ferrolift::test::Wide;

namespace {

std::string ReadText(const std::string& inPath)
{
    std::ifstream theFile(inPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(theFile), {});
}

void WriteText(const std::string& inPath, const std::string& inText)
{
    std::ofstream(inPath, std::ios::binary) << inText;
}

bool Write(const std::string& inPath, const std::string& inBytes, BOOL inOverwrite)
{
    return WriteWholeFile(Wide(inPath).c_str(), inBytes.data(), static_cast<DWORD>(inBytes.size()), inOverwrite);
}

std::u16string Root(const char16_t* inPath)
{
    WCHAR theRoot[260];
    VolumeRoot(inPath, theRoot);
    return theRoot;
}

class FileUtilitiesTest : public ::testing::Test {
protected:
    ScopedTempFolder mFolder;
};

TEST_F(FileUtilitiesTest, WriteThatFillsTheVolumeLeavesNoPartialFile)
{
    ScopedMount theSmall("tmpfs", "size=64k");
    if (!theSmall.Mounted())
        GTEST_SKIP() << theSmall.Failure();
    const std::string theBytes(1024 * 1024, 'x');
    const std::string theNew = theSmall.Path() + "/new.bin";
    EXPECT_FALSE(Write(theNew, theBytes, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_NE(::access(theNew.c_str(), F_OK), 0) << "a cut copy would pass for the upload";

    // A file that was there before is the caller's: it stays, whatever the write did.
    const std::string theOld = theSmall.Path() + "/old.bin";
    WriteText(theOld, "old");
    EXPECT_FALSE(Write(theOld, theBytes, TRUE));
    EXPECT_EQ(::access(theOld.c_str(), F_OK), 0);
}

TEST_F(FileUtilitiesTest, WriteCreatesOrReplacesExactly)
{
    const std::string thePath = mFolder / "a.txt";
    ASSERT_TRUE(Write(thePath, "0123456789", FALSE));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(ReadText(thePath), "0123456789");

    EXPECT_FALSE(Write(thePath, "new", FALSE));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_EQ(ReadText(thePath), "0123456789");

    ASSERT_TRUE(Write(thePath, "new", TRUE));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);   // not the 183 of the open
    EXPECT_EQ(ReadText(thePath), "new");

    ASSERT_TRUE(WriteWholeFile(Wide(thePath).c_str(), nullptr, 0, TRUE));
    EXPECT_EQ(ReadText(thePath), "");
    ASSERT_TRUE(WriteWholeFile(Wide(mFolder / "b.txt").c_str(), nullptr, 0, FALSE));
    EXPECT_EQ(GetFileAttributesA((mFolder / "b.txt").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
}

TEST_F(FileUtilitiesTest, WriteFailuresLeaveTheOpenError)
{
    EXPECT_FALSE(Write(mFolder / "none/a.txt", "x", TRUE));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(Write(mFolder.Path(), "x", TRUE));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    // Another writer holding the range: refused, file untouched.
    const std::string thePath = mFolder / "busy";
    WriteText(thePath, "first");
    HANDLE theOther = CreateFileA(thePath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(LockFile(theOther, 0, 0, 5, 0));
    EXPECT_FALSE(Write(thePath, "second", TRUE));
    EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
    EXPECT_EQ(ReadText(thePath), "first");
    CloseHandle(theOther);
}

TEST_F(FileUtilitiesTest, ConcurrentWritersNeverMix)
{
    const std::string thePath = mFolder / "contested";
    const std::string theLong(200000, 'L');
    const std::string theShort(1000, 's');
    for (int theRound = 0; theRound < 50; ++theRound) {
        std::atomic<int> theFailures{0};
        auto theWriter = [&](const std::string& inBytes) {
            if (!Write(thePath, inBytes, TRUE)) {
                EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
                ++theFailures;
            }
        };
        std::thread theFirst(theWriter, theLong);
        std::thread theSecond(theWriter, theShort);
        theFirst.join();
        theSecond.join();
        const std::string theResult = ReadText(thePath);
        ASSERT_TRUE(theResult == theLong || theResult == theShort) << "round " << theRound << ": mixed content";
        EXPECT_LE(theFailures.load(), 1);
    }
}

TEST_F(FileUtilitiesTest, ReadWholeFile)
{
    BYTE* theData = reinterpret_cast<BYTE*>(0x1);
    DWORD theLength = 99;
    EXPECT_FALSE(ReadWholeFile(Wide(mFolder / "missing").c_str(), &theData, &theLength));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(theData, nullptr);
    EXPECT_EQ(theLength, 0u);

    WriteText(mFolder / "f", std::string("a\0b", 3));
    ASSERT_TRUE(ReadWholeFile(Wide(mFolder / "f").c_str(), &theData, &theLength));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(theData), theLength), std::string("a\0b", 3));
    FreeWholeFile(theData);

    WriteText(mFolder / "empty", "");
    ASSERT_TRUE(ReadWholeFile(Wide(mFolder / "empty").c_str(), &theData, &theLength));
    EXPECT_EQ(theLength, 0u);
    FreeWholeFile(theData);

    // Streams read back the same way.
    ASSERT_TRUE(Write(mFolder / "f:AFP_AfpInfo", "AFP", TRUE));
    ASSERT_TRUE(ReadWholeFile(Wide(mFolder / "f:AFP_AfpInfo").c_str(), &theData, &theLength));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(theData), theLength), "AFP");
    FreeWholeFile(theData);
}

TEST(VolumeRootTest, RootsOfEveryPathForm)
{
    EXPECT_EQ(Root(u"C:\\uploads\\a.txt"), u"C:\\");
    EXPECT_EQ(Root(u""), u"\\");
    EXPECT_EQ(Root(u"\\\\server\\share\\dir\\file"), u"\\\\server\\share\\");
    EXPECT_EQ(Root(u"uploads\\a.txt"), u"uploads\\a.txt\\");
    EXPECT_EQ(Root(u"/srv/up/a.txt"), u"/srv/up/a.txt\\");
    const std::u16string theLong(300, u'x');
    EXPECT_EQ(Root(theLong.c_str()), std::u16string(244, u'x') + u"\\");
}

// The first failing storage query of the process is logged once; nothing else is.
TEST(SupportsStreamsTest, AnswersAndItsSingleEvent)
{
    ScopedTempFolder theState;
    setenv("FERROLIFT_REGISTRY", (theState / "registry.reg").c_str(), 1);
    setenv("FERROLIFT_EVENTLOG", (theState / "events.jsonl").c_str(), 1);
    auto theEvents = [&] {
        const std::string theLog = ReadText(theState / "events.jsonl");
        size_t theCount = 0;
        for (size_t thePos = 0; (thePos = theLog.find("Unable to determine whether storage supports NTFS streams", thePos)) !=
                                std::string::npos;
             ++thePos)
            ++theCount;
        return theCount;
    };

    EXPECT_TRUE(SupportsStreams(Wide(theState / "uploads/new.txt").c_str()));
    ScopedMount theRamfs("ramfs");
    if (theRamfs.Mounted()) {
        EXPECT_FALSE(SupportsStreams(Wide(theRamfs.Path() + "/a.txt").c_str()));
    }
    EXPECT_EQ(theEvents(), 0u);

    EXPECT_FALSE(SupportsStreams(u"uploads\\a.txt"));
    EXPECT_EQ(theEvents(), 1u);
    EXPECT_NE(ReadText(theState / "events.jsonl").find("(0x0000007b)"), std::string::npos);
    EXPECT_FALSE(SupportsStreams(u"D:\\uploads\\a.txt"));
    EXPECT_EQ(theEvents(), 1u);
    unsetenv("FERROLIFT_REGISTRY");
    unsetenv("FERROLIFT_EVENTLOG");
}

}  // namespace

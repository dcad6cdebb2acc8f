// Alternate data streams: extended attributes "user.DosStream.NAME:$DATA" whose value is
// the stream's bytes and one zero byte.
#include <windows.h>

#include "common/TestPage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <sys/xattr.h>

using ferrolift::test::ScopedTempFolder;
using ferrolift::test::Wide;

namespace {

constexpr const char* kResourceAttribute = "user.DosStream.AFP_Resource:$DATA";

std::string Attribute(const std::string& inFile, const char* inName)
{
    char theValue[70000];
    const ssize_t theSize = getxattr(inFile.c_str(), inName, theValue, sizeof theValue);
    return theSize < 0 ? std::string("<none>") : std::string(theValue, static_cast<size_t>(theSize));
}

HANDLE OpenStream(const std::string& inPath, DWORD inAccess, DWORD inDisposition)
{
    return CreateFileW(Wide(inPath).c_str(), inAccess, FILE_SHARE_READ, nullptr, inDisposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE inFile, const std::string& inBytes)
{
    DWORD theDone = 0;
    return WriteFile(inFile, inBytes.data(), static_cast<DWORD>(inBytes.size()), &theDone, nullptr) &&
           theDone == inBytes.size();
}

class StreamsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mFile = mFolder / "photo.jpg";
        std::ofstream(mFile) << "data fork";
    }

    ScopedTempFolder mFolder;
    std::string mFile;
};

TEST_F(StreamsTest, AStreamIsAnAttributeWithOneTrailingZero)
{
    HANDLE theStream = OpenStream(mFile + ":AFP_Resource", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(theStream, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(Attribute(mFile, kResourceAttribute), std::string(1, '\0'));   // created at once, empty
    ASSERT_TRUE(WriteAll(theStream, std::string("res\0fork", 8)));
    CloseHandle(theStream);
    EXPECT_EQ(Attribute(mFile, kResourceAttribute), std::string("res\0fork\0", 9));

    std::ifstream theData(mFile);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(theData), {}), "data fork");

    // What an administrator sees: "res\0fork\0" in hex.
    const std::string theCommand = "getfattr -d -m - -e hex '" + mFile + "' 2>/dev/null";
    FILE* thePipe = popen(theCommand.c_str(), "r");
    ASSERT_NE(thePipe, nullptr);
    char theLine[512];
    std::string theListing;
    while (fgets(theLine, sizeof theLine, thePipe))
        theListing += theLine;
    const int theStatus = pclose(thePipe);
    if (theStatus == 0) {
        EXPECT_NE(theListing.find("user.DosStream.AFP_Resource:$DATA=0x72657300666f726b00"), std::string::npos)
            << theListing;
    }
}

TEST_F(StreamsTest, NameForms)
{
    HANDLE theStream = OpenStream(mFile + ":AFP_AfpInfo:$DATA", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(theStream, INVALID_HANDLE_VALUE);
    WriteAll(theStream, "AFP");
    CloseHandle(theStream);
    EXPECT_EQ(Attribute(mFile, "user.DosStream.AFP_AfpInfo:$DATA"), std::string("AFP\0", 4));

    // "::$DATA" is the file's own data; backslashes separate as slashes do.
    std::string theWindowsStyle = mFile;
    theWindowsStyle[theWindowsStyle.rfind('/')] = '\\';
    HANDLE theMain = OpenStream(theWindowsStyle + "::$DATA", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(theMain, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(theMain, nullptr), 9u);
    CloseHandle(theMain);

    for (const char* theBad : {":a:b:c", ":a:$INDEX_ALLOCATION", ":"}) {
        EXPECT_EQ(OpenStream(mFile + theBad, GENERIC_READ, OPEN_ALWAYS), INVALID_HANDLE_VALUE) << theBad;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME) << theBad;
    }
    EXPECT_EQ(OpenStream(mFile + ":" + std::string(240, 's'), GENERIC_WRITE, OPEN_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(StreamsTest, DispositionsApplyToTheStream)
{
    const std::string thePath = mFile + ":AFP_Resource";
    EXPECT_EQ(OpenStream(thePath, GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenStream(thePath, GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    HANDLE theStream = OpenStream(thePath, GENERIC_WRITE, OPEN_ALWAYS);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    WriteAll(theStream, "0123456789");
    CloseHandle(theStream);

    EXPECT_EQ(OpenStream(thePath, GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    theStream = OpenStream(thePath, GENERIC_WRITE, OPEN_ALWAYS);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(theStream);
    EXPECT_EQ(Attribute(mFile, kResourceAttribute), std::string("0123456789\0", 11));
    theStream = OpenStream(thePath, GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(theStream);
    EXPECT_EQ(Attribute(mFile, kResourceAttribute), std::string(1, '\0'));

    // A stream of a missing file creates the file, as NTFS does; a missing folder does not.
    const std::string theNew = mFolder / "new.bin";
    theStream = OpenStream(theNew + ":AFP_AfpInfo", GENERIC_WRITE, OPEN_ALWAYS);
    ASSERT_NE(theStream, INVALID_HANDLE_VALUE);
    CloseHandle(theStream);
    struct stat theStat;
    EXPECT_EQ(stat(theNew.c_str(), &theStat), 0);
    EXPECT_EQ(theStat.st_size, 0);
    EXPECT_EQ(OpenStream(mFolder / "none/x:s", GENERIC_WRITE, OPEN_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(OpenStream(mFolder / "gone:s", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(StreamsTest, TheCallsOfAWholeFileWriteAndRead)
{
    HANDLE theStream = OpenStream(mFile + ":s", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    ASSERT_NE(theStream, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(WriteAll(theStream, "0123456789"));
    EXPECT_EQ(SetFilePointer(theStream, 0, nullptr, FILE_BEGIN), 0u);
    ASSERT_TRUE(LockFile(theStream, 0, 0, 3, 0));
    ASSERT_TRUE(WriteAll(theStream, "abc"));
    ASSERT_TRUE(SetEndOfFile(theStream));
    ASSERT_TRUE(UnlockFile(theStream, 0, 0, 3, 0));
    EXPECT_EQ(GetFileSize(theStream, nullptr), 3u);
    EXPECT_EQ(Attribute(mFile, "user.DosStream.s:$DATA"), std::string("abc\0", 4));

    char theBuffer[8] = {};
    DWORD theRead = 0;
    EXPECT_EQ(SetFilePointer(theStream, -2, nullptr, FILE_END), 1u);
    ASSERT_TRUE(ReadFile(theStream, theBuffer, sizeof theBuffer, &theRead, nullptr));
    EXPECT_EQ(std::string(theBuffer, theRead), "bc");
    ASSERT_TRUE(ReadFile(theStream, theBuffer, sizeof theBuffer, &theRead, nullptr));
    EXPECT_EQ(theRead, 0u);

    // Writing past the end fills the gap with zeros.
    EXPECT_EQ(SetFilePointer(theStream, 5, nullptr, FILE_BEGIN), 5u);
    ASSERT_TRUE(WriteAll(theStream, "z"));
    EXPECT_EQ(Attribute(mFile, "user.DosStream.s:$DATA"), std::string("abc\0\0z\0", 7));
    EXPECT_TRUE(FlushFileBuffers(theStream));
    CloseHandle(theStream);

    HANDLE theReader = OpenStream(mFile + ":s", GENERIC_READ, OPEN_EXISTING);
    EXPECT_FALSE(WriteAll(theReader, "x"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(CreateFileMappingA(theReader, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    CloseHandle(theReader);
}

TEST_F(StreamsTest, LocksOfAStreamConflictOnlyWithTheSameStream)
{
    HANDLE theFirst = OpenStream(mFile + ":AFP_Resource", GENERIC_WRITE, OPEN_ALWAYS);
    HANDLE theSecond = OpenStream(mFile + ":AFP_Resource", GENERIC_WRITE, OPEN_ALWAYS);
    HANDLE theOther = OpenStream(mFile + ":AFP_AfpInfo", GENERIC_WRITE, OPEN_ALWAYS);
    HANDLE theData = CreateFileA(mFile.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(LockFile(theFirst, 0, 0, 100, 0));
    EXPECT_FALSE(LockFile(theSecond, 0, 0, 100, 0));
    EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
    EXPECT_TRUE(LockFile(theOther, 0, 0, 100, 0));
    EXPECT_TRUE(LockFile(theData, 0, 0, 100, 0));
    for (HANDLE theHandle : {theFirst, theSecond, theOther, theData})
        CloseHandle(theHandle);
}

TEST_F(StreamsTest, AStreamTooBigForAnAttributeFailsInWriteFile)
{
    HANDLE theStream = OpenStream(mFile + ":AFP_Resource", GENERIC_WRITE, OPEN_ALWAYS);
    ASSERT_TRUE(WriteAll(theStream, "kept"));
    ASSERT_EQ(SetFilePointer(theStream, 0, nullptr, FILE_BEGIN), 0u);

    // More than any Linux attribute holds: E2BIG, whatever the volume.
    EXPECT_FALSE(WriteAll(theStream, std::string(70000, 'r')));
    EXPECT_EQ(GetLastError(), ERROR_FILE_TOO_LARGE);
    EXPECT_EQ(Attribute(mFile, kResourceAttribute), std::string("kept\0", 5));

    // More than one block: a default ext4 refuses it with ENOSPC; volumes with large
    // attribute support take it.
    if (!WriteAll(theStream, std::string(8000, 'r'))) {
        EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
        EXPECT_EQ(Attribute(mFile, kResourceAttribute), std::string("kept\0", 5));
    }
    CloseHandle(theStream);
}

TEST_F(StreamsTest, DeleteAndAttributesOfStreams)
{
    CloseHandle(OpenStream(mFile + ":s", GENERIC_WRITE, CREATE_NEW));
    EXPECT_EQ(GetFileAttributesA((mFile + ":s").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA((mFile + ":s").c_str()));
    EXPECT_EQ(Attribute(mFile, "user.DosStream.s:$DATA"), "<none>");
    EXPECT_FALSE(DeleteFileA((mFile + ":s").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA((mFile + ":s").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    // A stream of a folder is an attribute of the folder.
    HANDLE theFolderStream = OpenStream(mFolder.Path() + ":s", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(theFolderStream, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteAll(theFolderStream, "x"));
    CloseHandle(theFolderStream);
    EXPECT_EQ(Attribute(mFolder.Path(), "user.DosStream.s:$DATA"), std::string("x\0", 2));
}

}  // namespace

// Files: dispositions and their codes, handle calls, delete-on-close, locks, mappings,
// temporary names and folder calls.
#include <windows.h>

#include "common/TestPage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/stat.h>
#include <thread>

using ferrolift::test::ScopedTempFolder;
using ferrolift::test::Wide;

namespace {

void WriteText(const std::string& inPath, const std::string& inText)
{
    std::ofstream(inPath, std::ios::binary) << inText;
}

std::string ReadText(const std::string& inPath)
{
    std::ifstream theFile(inPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(theFile), {});
}

bool Exists(const std::string& inPath)
{
    struct stat theStat;
    return ::stat(inPath.c_str(), &theStat) == 0;
}

HANDLE Open(const std::string& inPath, DWORD inAccess, DWORD inDisposition, DWORD inFlags = FILE_ATTRIBUTE_NORMAL)
{
    return CreateFileA(inPath.c_str(), inAccess, FILE_SHARE_READ, nullptr, inDisposition, inFlags, nullptr);
}

class FilesTest : public ::testing::Test {
protected:
    ScopedTempFolder mFolder;
};

TEST_F(FilesTest, DispositionsLeaveTheWindowsCodes)
{
    const std::string thePath = mFolder / "a.txt";

    HANDLE theFile = Open(thePath, GENERIC_WRITE, OPEN_EXISTING);
    EXPECT_EQ(theFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(mFolder / "none/a.txt", GENERIC_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Open(thePath, GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    theFile = Open(thePath, GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(theFile, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(theFile));
    EXPECT_EQ(Open(thePath, GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

    WriteText(thePath, "0123456789");
    theFile = Open(thePath, GENERIC_READ, OPEN_ALWAYS);
    ASSERT_NE(theFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(theFile);
    EXPECT_EQ(ReadText(thePath), "0123456789");

    theFile = Open(thePath, GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(theFile);
    EXPECT_EQ(ReadText(thePath), "");

    theFile = Open(mFolder / "b.txt", GENERIC_WRITE, OPEN_ALWAYS);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(theFile);
    EXPECT_TRUE(Exists(mFolder / "b.txt"));

    WriteText(thePath, "abc");
    CloseHandle(Open(thePath, GENERIC_WRITE, TRUNCATE_EXISTING));
    EXPECT_EQ(ReadText(thePath), "");

    EXPECT_EQ(Open(thePath, GENERIC_WRITE, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FilesTest, BadNamesFoldersAndHandles)
{
    EXPECT_EQ(Open(mFolder / std::string(300, 'x'), GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(Open("", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    // A folder opens only with backup semantics, and never for writing.
    EXPECT_EQ(Open(mFolder.Path(), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Open(mFolder.Path(), GENERIC_WRITE, OPEN_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE theFolder = Open(mFolder.Path(), GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    EXPECT_NE(theFolder, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(theFolder));

    EXPECT_FALSE(CloseHandle(theFolder));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetFileSize(nullptr, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FilesTest, ClosingAHandleWhileAnotherThreadUsesIt)
{
    WriteText(mFolder / "shared", std::string(4096, 'x'));
    HANDLE theFile = Open(mFolder / "shared", GENERIC_READ, OPEN_EXISTING);
    std::atomic<bool> theStarted{false};
    std::thread theReader([&] {
        char theBuffer[64];
        DWORD theDone = 0;
        for (int i = 0; i < 100000; ++i) {
            theStarted = true;
            SetFilePointer(theFile, 0, nullptr, FILE_BEGIN);
            if (!ReadFile(theFile, theBuffer, sizeof theBuffer, &theDone, nullptr)) {
                EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
                return;
            }
        }
    });
    while (!theStarted)
        std::this_thread::yield();
    EXPECT_TRUE(CloseHandle(theFile));
    theReader.join();
}

TEST_F(FilesTest, WidePathsAreUtf8WithEitherSeparator)
{
    const std::u16string thePath = Wide(mFolder.Path()) + u"\\\u00e9t\u00e9-\u732b.txt";
    HANDLE theFile = CreateFileW(thePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(theFile, INVALID_HANDLE_VALUE);
    CloseHandle(theFile);
    EXPECT_TRUE(Exists(mFolder / "\xc3\xa9t\xc3\xa9-\xe7\x8c\xab.txt"));
}

TEST_F(FilesTest, ReadWritePointerEndAndSize)
{
    HANDLE theFile = Open(mFolder / "f.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(theFile, INVALID_HANDLE_VALUE);
    DWORD theDone = 0;
    ASSERT_TRUE(WriteFile(theFile, "hello world", 11, &theDone, nullptr));
    EXPECT_EQ(theDone, 11u);
    EXPECT_EQ(SetFilePointer(theFile, -5, nullptr, FILE_CURRENT), 6u);
    char theBuffer[16] = {};
    ASSERT_TRUE(ReadFile(theFile, theBuffer, sizeof theBuffer, &theDone, nullptr));
    EXPECT_EQ(std::string(theBuffer, theDone), "world");
    ASSERT_TRUE(ReadFile(theFile, theBuffer, sizeof theBuffer, &theDone, nullptr));
    EXPECT_EQ(theDone, 0u);   // end of file is a successful empty read

    EXPECT_EQ(SetFilePointer(theFile, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(theFile, 5, nullptr, FILE_BEGIN), 5u);
    ASSERT_TRUE(SetEndOfFile(theFile));
    DWORD theHigh = 7;
    EXPECT_EQ(GetFileSize(theFile, &theHigh), 5u);
    EXPECT_EQ(theHigh, 0u);

    // Past 4 GiB the high part carries the rest (a sparse file costs nothing).
    LONG theMoveHigh = 1;
    EXPECT_EQ(SetFilePointer(theFile, 16, &theMoveHigh, FILE_BEGIN), 16u);
    EXPECT_EQ(theMoveHigh, 1);
    ASSERT_TRUE(SetEndOfFile(theFile));
    LARGE_INTEGER theSize;
    ASSERT_TRUE(GetFileSizeEx(theFile, &theSize));
    EXPECT_EQ(theSize.QuadPart, (LONGLONG{1} << 32) + 16);
    EXPECT_TRUE(FlushFileBuffers(theFile));
    CloseHandle(theFile);

    HANDLE theReader = Open(mFolder / "f.bin", GENERIC_READ, OPEN_EXISTING);
    EXPECT_FALSE(WriteFile(theReader, "x", 1, &theDone, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(SetEndOfFile(theReader));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(theReader);
}

TEST_F(FilesTest, DeleteOnCloseRemovesTheNameAtOnce)
{
    const std::string thePath = mFolder / "cache.tmp";
    HANDLE theFile = Open(thePath, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
    ASSERT_NE(theFile, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(Exists(thePath));
    DWORD theDone = 0;
    EXPECT_TRUE(WriteFile(theFile, "still usable", 12, &theDone, nullptr));
    EXPECT_EQ(GetFileSize(theFile, nullptr), 12u);
    CloseHandle(theFile);
}

TEST_F(FilesTest, LocksBelongToOneHandleEvenInOneProcess)
{
    const std::string thePath = mFolder / "locked";
    WriteText(thePath, "0123456789");
    HANDLE theFirst = Open(thePath, GENERIC_WRITE, OPEN_EXISTING);
    HANDLE theSecond = Open(thePath, GENERIC_WRITE, OPEN_EXISTING);
    HANDLE theReader = Open(thePath, GENERIC_READ, OPEN_EXISTING);

    ASSERT_TRUE(LockFile(theFirst, 0, 0, 10, 0));
    EXPECT_FALSE(LockFile(theSecond, 5, 0, 1, 0));
    EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
    EXPECT_FALSE(LockFile(theReader, 0, 0, 1, 0));
    EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
    EXPECT_TRUE(LockFile(theSecond, 10, 0, 5, 0));   // beyond the first range
    EXPECT_TRUE(LockFile(theSecond, 0, 0, 0, 0));    // zero length locks nothing

    ASSERT_TRUE(UnlockFile(theFirst, 0, 0, 10, 0));
    EXPECT_TRUE(LockFile(theSecond, 0, 0, 10, 0));
    CloseHandle(theSecond);   // closing releases its locks
    EXPECT_TRUE(LockFile(theFirst, 0, 0, 10, 0));
    CloseHandle(theFirst);
    CloseHandle(theReader);
}

TEST_F(FilesTest, MappingsShowTheFileAndOutliveTheirHandles)
{
    std::string theContent(70000, 'a');
    theContent[65536] = 'b';
    WriteText(mFolder / "m.bin", theContent);
    HANDLE theFile = Open(mFolder / "m.bin", GENERIC_READ, OPEN_EXISTING);
    HANDLE theMapping = CreateFileMappingA(theFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(theMapping, nullptr);
    EXPECT_EQ(MapViewOfFile(theMapping, FILE_MAP_READ, 0, 100, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MAPPED_ALIGNMENT);
    EXPECT_EQ(MapViewOfFile(theMapping, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    const char* theView = static_cast<const char*>(MapViewOfFile(theMapping, FILE_MAP_READ, 0, 0, 0));
    const char* theTail = static_cast<const char*>(MapViewOfFile(theMapping, FILE_MAP_READ, 0, 65536, 1));
    CloseHandle(theMapping);
    CloseHandle(theFile);
    ASSERT_NE(theView, nullptr);
    ASSERT_NE(theTail, nullptr);
    EXPECT_EQ(std::string(theView, theContent.size()), theContent);
    EXPECT_EQ(*theTail, 'b');
    EXPECT_TRUE(UnmapViewOfFile(theView));
    EXPECT_TRUE(UnmapViewOfFile(theTail));
    EXPECT_FALSE(UnmapViewOfFile(theView));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
}

TEST_F(FilesTest, WritesFromAViewCarryTheBytesTheViewShows)
{
    // Large writes from a view are copied file to file: the source offset must follow the
    // view's own offset and the buffer's place in it, and the target's file pointer.
    std::string theContent(300000, '\0');
    for (size_t i = 0; i < theContent.size(); ++i)
        theContent[i] = static_cast<char>(i * 7 + i / 251);
    WriteText(mFolder / "source.bin", theContent);
    HANDLE theFile = Open(mFolder / "source.bin", GENERIC_READ, OPEN_EXISTING);
    HANDLE theMapping = CreateFileMappingA(theFile, nullptr, PAGE_WRITECOPY, 0, 0, nullptr);
    ASSERT_NE(theMapping, nullptr);
    const char* theView = static_cast<const char*>(MapViewOfFile(theMapping, FILE_MAP_READ, 0, 65536, 0));
    char* theCopy = static_cast<char*>(MapViewOfFile(theMapping, FILE_MAP_COPY, 0, 0, 0));
    CloseHandle(theMapping);
    CloseHandle(theFile);
    ASSERT_NE(theView, nullptr);
    ASSERT_NE(theCopy, nullptr);
    theCopy[100000] = 'X';   // a private page: its bytes are no longer the file's

    HANDLE theTarget = Open(mFolder / "target.bin", GENERIC_WRITE, CREATE_NEW);
    DWORD theDone = 0;
    ASSERT_TRUE(WriteFile(theTarget, "head", 4, &theDone, nullptr));
    ASSERT_TRUE(WriteFile(theTarget, theView + 1000, 150000, &theDone, nullptr));
    EXPECT_EQ(theDone, 150000u);
    ASSERT_TRUE(WriteFile(theTarget, theCopy + 90000, 20000, &theDone, nullptr));
    ASSERT_TRUE(WriteFile(theTarget, theCopy + 90000, 70000, &theDone, nullptr));
    CloseHandle(theTarget);
    std::string theExpected = "head" + theContent.substr(65536 + 1000, 150000) + theContent.substr(90000, 20000) +
                              theContent.substr(90000, 70000);
    theExpected[4 + 150000 + 10000] = 'X';
    theExpected[4 + 150000 + 20000 + 10000] = 'X';
    EXPECT_TRUE(ReadText(mFolder / "target.bin") == theExpected);
    UnmapViewOfFile(theView);
    UnmapViewOfFile(theCopy);
}

TEST_F(FilesTest, MappingRefusals)
{
    WriteText(mFolder / "empty", "");
    HANDLE theEmpty = Open(mFolder / "empty", GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(CreateFileMappingA(theEmpty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_INVALID);
    EXPECT_EQ(CreateFileMappingA(theEmpty, nullptr, PAGE_READWRITE, 0, 10, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);   // a read-only handle cannot grow
    CloseHandle(theEmpty);

    HANDLE theWriteOnly = Open(mFolder / "w", GENERIC_WRITE, CREATE_NEW);
    WriteFile(theWriteOnly, "abc", 3, nullptr, nullptr);
    EXPECT_EQ(CreateFileMappingA(theWriteOnly, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(theWriteOnly);
}

TEST_F(FilesTest, WritableMappingsGrowTheFile)
{
    HANDLE theFile = Open(mFolder / "rw", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    HANDLE theMapping = CreateFileMappingA(theFile, nullptr, PAGE_READWRITE, 0, 4, nullptr);
    ASSERT_NE(theMapping, nullptr);
    char* theView = static_cast<char*>(MapViewOfFile(theMapping, FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(theView, nullptr);
    memcpy(theView, "wxyz", 4);
    UnmapViewOfFile(theView);
    CloseHandle(theMapping);
    CloseHandle(theFile);
    EXPECT_EQ(ReadText(mFolder / "rw"), "wxyz");
}

TEST_F(FilesTest, TempPathFollowsTmpdirWithATrailingSeparator)
{
    const char* theSaved = getenv("TMPDIR");
    const std::string theRestore = theSaved ? theSaved : "";
    setenv("TMPDIR", mFolder.Path().c_str(), 1);
    char theBuffer[MAX_PATH];
    const DWORD theLength = GetTempPathA(MAX_PATH, theBuffer);
    EXPECT_EQ(std::string(theBuffer), mFolder.Path() + "/");
    EXPECT_EQ(theLength, mFolder.Path().size() + 1);
    EXPECT_EQ(GetTempPathA(3, theBuffer), theLength + 1);   // the size needed, terminator included
    WCHAR theWide[MAX_PATH];
    EXPECT_EQ(GetTempPathW(MAX_PATH, theWide), theLength);
    EXPECT_EQ(std::u16string(theWide), Wide(mFolder.Path() + "/"));
    unsetenv("TMPDIR");
    EXPECT_EQ(GetTempPathA(MAX_PATH, theBuffer), 5u);
    EXPECT_STREQ(theBuffer, "/tmp/");
    if (theSaved)
        setenv("TMPDIR", theRestore.c_str(), 1);
}

TEST_F(FilesTest, TempFileNamesAreCreatedExclusively)
{
    const std::string theFolder = mFolder.Path() + "/";
    std::set<std::string> theNames;
    for (int i = 0; i < 50; ++i) {
        char theName[MAX_PATH];
        const UINT theUnique = GetTempFileNameA(theFolder.c_str(), "ferrolift", 0, theName);
        ASSERT_NE(theUnique, 0u);
        char theExpected[MAX_PATH];
        snprintf(theExpected, sizeof theExpected, "%sfer%04X.TMP", theFolder.c_str(), theUnique);
        EXPECT_STREQ(theName, theExpected);
        EXPECT_TRUE(Exists(theName));
        theNames.insert(theName);
    }
    EXPECT_EQ(theNames.size(), 50u);

    char theName[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA(mFolder.Path().c_str(), "abc", 0x12AB, theName), 0x12ABu);
    EXPECT_EQ(std::string(theName), mFolder / "abc12AB.TMP");
    EXPECT_FALSE(Exists(theName));   // a given number only forms the name

    EXPECT_EQ(GetTempFileNameA((mFolder / "none").c_str(), "fer", 0, theName), 0u);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    WCHAR theWide[MAX_PATH];
    EXPECT_NE(GetTempFileNameW(Wide(mFolder.Path()).c_str(), u"fer", 0, theWide), 0u);
    EXPECT_TRUE(Exists(ferrolift::platform::Utf8FromUtf16(theWide)));
}

TEST_F(FilesTest, FolderCallsAndAttributes)
{
    const std::string theSub = mFolder / "sub";
    EXPECT_TRUE(CreateDirectoryA(theSub.c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryA(theSub.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA((mFolder / "x/y").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA(theSub.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

    WriteText(theSub + "/f", "x");
    EXPECT_EQ(GetFileAttributesW(Wide(theSub + "/f").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    chmod((theSub + "/f").c_str(), 0444);
    EXPECT_EQ(GetFileAttributesA((theSub + "/f").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(RemoveDirectoryA(theSub.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
    EXPECT_FALSE(DeleteFileA(theSub.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(DeleteFileW(Wide(theSub + "/f").c_str()));
    EXPECT_FALSE(DeleteFileA((theSub + "/f").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA((theSub + "/f").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(RemoveDirectoryW(Wide(theSub).c_str()));
}

}  // namespace

// MemoryByteSource and MappedFileStream: covering memory and mapped files, the five
// failure texts, handle ownership, and a mapped file that shrinks under its reader.
#include "intake/MappedFileStream.h"
#include "intake/MemoryByteSource.h"
#include "support/SException.h"
#include "support/SystemExceptions.h"

#include <eh.h>

#include "common/TestPage.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Faults must reach the translator, not the sanitizer's report; the translator throws
// from the signal handler on purpose.
extern "C" const char* __asan_default_options()
{
    return "handle_segv=0:handle_sigbus=0";
}
extern "C" const char* __tsan_default_options()
{
    return "report_signal_unsafe=0";
}

using ferrolift::test::ScopedTempFolder;
using ferrolift::test::Wide;

namespace {

void WriteText(const std::string& inPath, const std::string& inText)
{
    std::ofstream(inPath, std::ios::binary) << inText;
}

size_t OpenDescriptors()
{
    size_t theCount = 0;
    if (DIR* theDir = opendir("/proc/self/fd")) {
        while (readdir(theDir))
            ++theCount;
        closedir(theDir);
    }
    return theCount;
}

TEST(MemoryByteSourceTest, ReadsSeeksAndClamps)
{
    MemoryByteSource theSource;
    EXPECT_EQ(theSource.Data(), nullptr);
    EXPECT_EQ(theSource.Size(), 0u);
    EXPECT_EQ(theSource.ReadByte(), -1);

    BYTE theBytes[] = {0x00, 0xFF, 0x41};
    EXPECT_EQ(theSource.SetRange(theBytes, 3), 3u);
    EXPECT_EQ(theSource.Data(), theBytes);
    EXPECT_EQ(theSource.ReadByte(), 0x00);
    EXPECT_EQ(theSource.ReadByte(), 0xFF);   // a byte, not a negative char
    EXPECT_EQ(theSource.Tell(), 2u);
    EXPECT_EQ(theSource.ReadByte(), 0x41);
    EXPECT_EQ(theSource.ReadByte(), -1);
    EXPECT_EQ(theSource.ReadByte(), -1);
    EXPECT_EQ(theSource.Seek(1), theBytes + 1);
    EXPECT_EQ(theSource.Seek(0xFFFFFFFF), theBytes + 3);
    EXPECT_EQ(theSource.Tell(), 3u);

    ASSERT_EQ(theSource.Allocate(5), 5u);
    EXPECT_NE(theSource.Data(), theBytes);
    EXPECT_EQ(theSource.Size(), 5u);
    EXPECT_EQ(theSource.Tell(), 0u);
    theSource.Data()[4] = 7;
    theSource.Seek(4);
    EXPECT_EQ(theSource.ReadByte(), 7);
}

class MappedFileStreamTest : public ::testing::Test {
protected:
    ScopedTempFolder mFolder;
};

TEST_F(MappedFileStreamTest, MapsAWholeFile)
{
    WriteText(mFolder / "body.bin", "--XyZ\r\nfield");
    MappedFileStream theStream;
    EXPECT_EQ(theStream.ErrorText(), nullptr);
    ASSERT_EQ(theStream.Open(Wide(mFolder / "body.bin").c_str()), 0);
    EXPECT_EQ(theStream.ErrorText(), nullptr);
    ASSERT_EQ(theStream.Size(), 12u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(theStream.Data()), 12), "--XyZ\r\nfield");
    EXPECT_EQ(theStream.ReadByte(), '-');

    WriteText(mFolder / "other.bin", "abc");
    ASSERT_EQ(theStream.Open((mFolder / "other.bin").c_str()), 0);   // the 8-bit form
    EXPECT_EQ(theStream.Size(), 3u);
    EXPECT_EQ(theStream.ReadByte(), 'a');
}

TEST_F(MappedFileStreamTest, TheFailureTexts)
{
    MappedFileStream theStream;
    EXPECT_EQ(theStream.Open(Wide(mFolder / "missing").c_str()), 'U');
    EXPECT_STREQ(theStream.ErrorText(), "Unable to read file");

    EXPECT_EQ(theStream.OpenHandle(INVALID_HANDLE_VALUE), 'F');
    EXPECT_STREQ(theStream.ErrorText(), "File handle invalid");

    const size_t theOpenBefore = OpenDescriptors();
    WriteText(mFolder / "empty", "");
    EXPECT_EQ(theStream.Open(Wide(mFolder / "empty").c_str()), 'F');
    EXPECT_STREQ(theStream.ErrorText(), "File is empty");
    EXPECT_EQ(OpenDescriptors(), theOpenBefore);   // no handle left open

    // A handle that is no file has no size; the stream closes it all the same.
    HANDLE theMemory = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, nullptr);
    EXPECT_EQ(theStream.OpenHandle(theMemory), 'U');
    EXPECT_STREQ(theStream.ErrorText(), "Unable to get file size");
    EXPECT_FALSE(CloseHandle(theMemory));

    // A file opened without read access cannot be mapped for reading.
    WriteText(mFolder / "w", "abc");
    HANDLE theWriteOnly = CreateFileA((mFolder / "w").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(theStream.OpenHandle(theWriteOnly), 'U');
    EXPECT_STREQ(theStream.ErrorText(), "Unable to create file mapping");
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);   // the cause stays readable

    // Success clears the text.
    EXPECT_EQ(theStream.Open((mFolder / "w").c_str()), 0);
    EXPECT_EQ(theStream.ErrorText(), nullptr);
}

TEST_F(MappedFileStreamTest, AViewTheAddressSpaceCannotHold)
{
    // A sparse file of almost 4 GiB, mapped under an address-space limit, in a child.
    const std::string thePath = mFolder / "huge";
    WriteText(thePath, "x");
    ASSERT_EQ(truncate(thePath.c_str(), 0xFFFFFFF0), 0);
    const pid_t theChild = fork();
    ASSERT_GE(theChild, 0);
    if (theChild == 0) {
        long thePages = 0;
        std::ifstream("/proc/self/statm") >> thePages;
        const rlim_t theLimit = static_cast<rlim_t>(thePages) * sysconf(_SC_PAGESIZE) + (rlim_t{512} << 20);
        struct rlimit theRlimit = {theLimit, theLimit};
        setrlimit(RLIMIT_AS, &theRlimit);
        MappedFileStream theStream;
        theStream.Open(thePath.c_str());
        const char* theText = theStream.ErrorText();
        _exit(theText && strcmp(theText, "Unable to map view of file") == 0 ? 0 : 1);
    }
    int theStatus = 0;
    waitpid(theChild, &theStatus, 0);
    ASSERT_TRUE(WIFEXITED(theStatus));
    EXPECT_EQ(WEXITSTATUS(theStatus), 0);
}

TEST_F(MappedFileStreamTest, OwnsTheHandleItIsGiven)
{
    WriteText(mFolder / "f", "abc");
    HANDLE theFile = CreateFileA((mFolder / "f").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    {
        MappedFileStream theStream;
        ASSERT_EQ(theStream.OpenHandle(theFile), 0);
    }
    EXPECT_FALSE(CloseHandle(theFile));   // the stream closed it
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(MappedFileStreamTest, AFileThatShrinksUnderTheReaderRaisesASystemException)
{
    const std::string thePath = mFolder / "shrinks";
    WriteText(thePath, std::string(3 * 4096, 's'));
    MappedFileStream theStream;
    ASSERT_EQ(theStream.Open(thePath.c_str()), 0);
    ASSERT_EQ(truncate(thePath.c_str(), 0), 0);

    _se_translator_function thePrevious = _set_se_translator(TranslateSystemException);
    DWORD theCode = 0;
    try {
        theStream.Seek(2 * 4096 + 5);
        (void)theStream.ReadByte();
    } catch (const SException& theException) {
        theCode = theException.code;
    }
    _set_se_translator(thePrevious);
    EXPECT_EQ(theCode, static_cast<DWORD>(EXCEPTION_IN_PAGE_ERROR));
}

}  // namespace

// Last error, errno mapping and system message texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <fcntl.h>
#include <unistd.h>

#include "common/TempFolder.h"

namespace {

using ferrolift::platform::Win32ErrorFromErrno;
using ferrolift::platform::Win32ErrorFromErrnoForPath;

TEST(LastError, IsPerThread)
{
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD theOther = 1234;
    std::thread([&] {
        theOther = GetLastError();
        SetLastError(ERROR_DISK_FULL);
    }).join();
    EXPECT_EQ(theOther, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(ErrnoMapping, GivesTheWin32Codes)
{
    const std::pair<int, DWORD> kCases[] = {
        {0, 0},       {ENOENT, 2},        {EACCES, 5},   {EPERM, 5},    {EISDIR, 5},   {EEXIST, 80},
        {ENOSPC, 112}, {ENAMETOOLONG, 206}, {E2BIG, 223}, {ENOMEM, 8},   {EBADF, 6},    {EINVAL, 87},
        {EAGAIN, 33}, {EWOULDBLOCK, 33},  {EROFS, 19},   {EMFILE, 4},   {ENOTDIR, 3},  {EIO, 1117},
        {ENOTEMPTY, 145}, {EFBIG, 223},   {EILSEQ, 1113}, {ENOSYS, 120}, {EOPNOTSUPP, 50}, {-1, 31},
    };
    for (const auto& [theErrno, theCode] : kCases)
        EXPECT_EQ(Win32ErrorFromErrno(theErrno), theCode) << "errno " << theErrno;
}

TEST(ErrnoMapping, MissingFolderOnThePathGivesPathNotFound)
{
    const ferrolift::test::ScopedTempFolder theFolder("ferrolift-errors");
    const std::string& theBase = theFolder.Path();
    ASSERT_FALSE(theBase.empty());
    const std::string theFile = theBase + "/file";
    ASSERT_EQ(::close(::creat(theFile.c_str(), 0644)), 0);

    EXPECT_EQ(Win32ErrorFromErrnoForPath(ENOENT, (theBase + "/missing").c_str()), 2u);
    EXPECT_EQ(Win32ErrorFromErrnoForPath(ENOENT, (theBase + "/missing/").c_str()), 2u);
    EXPECT_EQ(Win32ErrorFromErrnoForPath(ENOENT, (theBase + "/nofolder/missing").c_str()), 3u);
    EXPECT_EQ(Win32ErrorFromErrnoForPath(ENOENT, (theFile + "/missing").c_str()), 3u);
    EXPECT_EQ(Win32ErrorFromErrnoForPath(ENOENT, "relative-missing"), 2u);
    EXPECT_EQ(Win32ErrorFromErrnoForPath(EACCES, (theBase + "/nofolder/x").c_str()), 5u);

    SetLastError(0);
    EXPECT_EQ(ferrolift::platform::SetLastErrorFromErrnoForPath(ENOENT, "open", (theBase + "/a/b").c_str()), 3u);
    EXPECT_EQ(GetLastError(), 3u);
}

// Formats as the component does: allocated buffer, system table, no inserts, language 0x400.
std::string SystemText(DWORD inCode, DWORD* outError = nullptr)
{
    LPSTR theText = nullptr;
    SetLastError(0);
    const DWORD theLength = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, inCode,
        0x400, reinterpret_cast<LPSTR>(&theText), 0, nullptr);
    if (outError != nullptr)
        *outError = GetLastError();
    std::string theResult = theLength ? std::string(theText, theLength) : std::string();
    LocalFree(theText);
    return theResult;
}

TEST(FormatMessageA, GivesTheSystemTexts)
{
    EXPECT_EQ(SystemText(2), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(SystemText(3), "The system cannot find the path specified.\r\n");
    EXPECT_EQ(SystemText(5), "Access is denied.\r\n");
    EXPECT_EQ(SystemText(32), "The process cannot access the file because it is being used by another process.\r\n");
    EXPECT_EQ(SystemText(33), "The process cannot access the file because another process has locked a portion of "
                              "the file.\r\n");
    EXPECT_EQ(SystemText(112), "There is not enough space on the disk.\r\n");
    EXPECT_EQ(SystemText(1009), "The configuration registry database is corrupt.\r\n");
    EXPECT_EQ(SystemText(0x80070005), "Access is denied.\r\n");
    EXPECT_EQ(SystemText(0x80004005), "Unspecified error\r\n");
    EXPECT_EQ(SystemText(0x80020005), "Type mismatch.\r\n");
    EXPECT_EQ(SystemText(0x8004E004), "There is no MTS object context\r\n");
}

TEST(FormatMessageA, EveryCodeThePlatformMapsHasAText)
{
    for (int theErrno = 0; theErrno < 140; ++theErrno) {
        const DWORD theCode = Win32ErrorFromErrno(theErrno);
        EXPECT_FALSE(SystemText(theCode).empty()) << "errno " << theErrno << " -> " << theCode;
    }
}

TEST(FormatMessageA, PinsTheResultForBadArguments)
{
    DWORD theError = 0;
    EXPECT_EQ(SystemText(0x80040005, &theError), "");
    EXPECT_EQ(theError, static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));

    LPSTR theText = nullptr;
    const DWORD kFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    EXPECT_EQ(FormatMessageA(kFlags, nullptr, 5, 0x407, reinterpret_cast<LPSTR>(&theText), 0, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 5, 0,
                             reinterpret_cast<LPSTR>(&theText), 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(FormatMessageA(kFlags, nullptr, 5, 0, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    char theBuffer[64];
    const DWORD kFixed = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    EXPECT_EQ(FormatMessageA(kFixed, nullptr, 5, 0, theBuffer, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(FormatMessageA(kFixed, nullptr, 5, 0, theBuffer, sizeof theBuffer, nullptr), 19u);
    EXPECT_STREQ(theBuffer, "Access is denied.\r\n");
}

}  // namespace

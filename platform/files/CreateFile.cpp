// CreateFile.cpp: CreateFileA/W, the dispositions on POSIX open(2).
#include "platform/files/Files.h"

#include "platform/errors/Errors.h"
#include "platform/files/DataStream.h"
#include "platform/files/DiskFile.h"
#include "platform/files/FilePath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ferrolift::platform;

namespace {

struct OpenRequest {
    bool read;
    bool write;
    DWORD disposition;
    DWORD flags;
};

HANDLE FailHandle(DWORD inCode)
{
    SetLastError(inCode);
    return INVALID_HANDLE_VALUE;
}

// O_NONBLOCK keeps a FIFO from stalling the open; it is cleared again right after.
int OpenOnce(const std::string& inFile, const OpenRequest& inRequest, int inExtraFlags)
{
    int theFlags = inRequest.write ? (inRequest.read ? O_RDWR : O_WRONLY) : O_RDONLY;
    theFlags |= O_CLOEXEC | O_NONBLOCK | inExtraFlags;
    const mode_t theMode = (inRequest.flags & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    return ::open(inFile.c_str(), theFlags, theMode);
}

// Opens with the disposition; outExisted tells OPEN_ALWAYS / CREATE_ALWAYS whether the
// file was there. A file that comes or goes between two tries makes another round.
int OpenWithDisposition(const std::string& inFile, const OpenRequest& inRequest, bool& outExisted)
{
    outExisted = false;
    switch (inRequest.disposition) {
    case CREATE_NEW:
        return OpenOnce(inFile, inRequest, O_CREAT | O_EXCL);
    case OPEN_EXISTING:
        outExisted = true;
        return OpenOnce(inFile, inRequest, 0);
    case TRUNCATE_EXISTING:
        outExisted = true;
        return OpenOnce(inFile, inRequest, O_TRUNC);
    default:
        break;
    }
    // A writer empties an existing file itself, and only when it holds something: ext4
    // takes any truncation as "rewriting a file" and flushes it to disk at close, which
    // for an empty temporary name made just before (the read cache) would write the whole
    // body to disk only to delete it.
    const bool theEmpties = inRequest.disposition == CREATE_ALWAYS;
    const int theExistingFlags = theEmpties && !inRequest.write ? O_TRUNC : 0;
    for (int theAttempt = 0; theAttempt < 8; ++theAttempt) {
        int theFd = OpenOnce(inFile, inRequest, O_CREAT | O_EXCL);
        if (theFd >= 0 || errno != EEXIST)
            return theFd;
        theFd = OpenOnce(inFile, inRequest, theExistingFlags);
        if (theFd >= 0 && theEmpties && inRequest.write) {
            struct stat theStat;
            if (::fstat(theFd, &theStat) != 0 || (theStat.st_size != 0 && ::ftruncate(theFd, 0) != 0)) {
                const int theError = errno;
                ::close(theFd);
                errno = theError;
                return -1;
            }
        }
        if (theFd >= 0 || errno != ENOENT) {
            outExisted = true;
            return theFd;
        }
    }
    errno = EEXIST;
    return -1;
}

HANDLE OpenDiskFile(const std::string& inFile, const OpenRequest& inRequest)
{
    bool theExisted = false;
    const int theFd = OpenWithDisposition(inFile, inRequest, theExisted);
    if (theFd < 0) {
        SetLastErrorFromErrnoForPath(errno, "open", inFile.c_str());
        return INVALID_HANDLE_VALUE;
    }
    auto theFile = std::make_shared<DiskFile>(theFd, inRequest.read, inRequest.write);
    struct stat theStat;
    if (::fstat(theFd, &theStat) != 0) {
        SetLastErrorFromErrno(errno, "fstat");
        return INVALID_HANDLE_VALUE;
    }
    if (S_ISDIR(theStat.st_mode) && (inRequest.flags & FILE_FLAG_BACKUP_SEMANTICS) == 0)
        return FailHandle(ERROR_ACCESS_DENIED);
    ::fcntl(theFd, F_SETFL, ::fcntl(theFd, F_GETFL) & ~O_NONBLOCK);
    // Unlinked at once rather than at close, so a crash never leaves the file behind.
    if ((inRequest.flags & FILE_FLAG_DELETE_ON_CLOSE) != 0 && ::unlink(inFile.c_str()) != 0) {
        SetLastErrorFromErrno(errno, "unlink");
        return INVALID_HANDLE_VALUE;
    }
    const bool theNoted =
        theExisted && (inRequest.disposition == OPEN_ALWAYS || inRequest.disposition == CREATE_ALWAYS);
    SetLastError(theNoted ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return InsertHandle(std::move(theFile));
}

HANDLE OpenParsed(const FilePath& inPath, DWORD inAccess, DWORD inDisposition, DWORD inFlags)
{
    if (inDisposition < CREATE_NEW || inDisposition > TRUNCATE_EXISTING)
        return FailHandle(ERROR_INVALID_PARAMETER);
    if (inPath.IsStream()) {
        auto theStream = DataStream::Open(inPath, inAccess, inDisposition, inFlags);
        if (!theStream)
            return INVALID_HANDLE_VALUE;
        const DWORD theNote = GetLastError();   // InsertHandle must not lose the 183
        HANDLE theHandle = InsertHandle(std::move(theStream));
        SetLastError(theNote);
        return theHandle;
    }
    OpenRequest theRequest;
    theRequest.read = (inAccess & (GENERIC_READ | GENERIC_ALL | 0x0001)) != 0;
    theRequest.write = (inAccess & (GENERIC_WRITE | GENERIC_ALL | 0x0002 | 0x0004)) != 0;
    theRequest.disposition = inDisposition;
    theRequest.flags = inFlags;
    return OpenDiskFile(inPath.file, theRequest);
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/)
{
    FilePath thePath;
    if (!ParseFilePath(lpFileName, thePath))
        return INVALID_HANDLE_VALUE;
    return OpenParsed(thePath, dwDesiredAccess, dwCreationDisposition, dwFlagsAndAttributes);
}

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/)
{
    FilePath thePath;
    if (!ParseFilePath(lpFileName, thePath))
        return INVALID_HANDLE_VALUE;
    return OpenParsed(thePath, dwDesiredAccess, dwCreationDisposition, dwFlagsAndAttributes);
}

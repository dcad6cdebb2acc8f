// DiskFile.cpp: file handle operations as direct POSIX calls.
#include "platform/files/DiskFile.h"

#include "platform/errors/Errors.h"
#include "platform/files/Files.h"
#include "platform/files/MappedViews.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ferrolift::platform {

namespace {

BOOL Fail(DWORD inCode)
{
    SetLastError(inCode);
    return FALSE;
}

BOOL FailErrno(const char* inCall)
{
    SetLastErrorFromErrno(errno, inCall);
    return FALSE;
}

/// Below this a write is cheaper than finding the file behind its buffer.
constexpr DWORD kKernelCopyMinimum = 65536;

/// Copies up to inCount bytes of inSource's file to inFd's position inside the kernel and
/// returns how many it copied. Whatever it leaves (another file system, a source file cut
/// short) the caller writes from memory, which then reports any real failure.
DWORD CopyFileBytes(const ViewSource& inSource, int inFd, DWORD inCount)
{
    loff_t theOffset = static_cast<loff_t>(inSource.offset);
    DWORD theDone = 0;
    while (theDone < inCount) {
        const ssize_t theCopied = ::copy_file_range(inSource.fd, &theOffset, inFd, nullptr, inCount - theDone, 0);
        if (theCopied < 0 && errno == EINTR)
            continue;
        if (theCopied <= 0)
            break;
        theDone += static_cast<DWORD>(theCopied);
    }
    return theDone;
}

}  // namespace

BOOL SetRangeLock(int inFd, uint64_t inOffset, uint64_t inLength, bool inLock, bool inExclusive)
{
    // A zero length would mean "to the end and beyond" to fcntl; Windows locks nothing.
    if (inLength == 0)
        return TRUE;
    if (inOffset > static_cast<uint64_t>(INT64_MAX) || inLength > static_cast<uint64_t>(INT64_MAX) - inOffset)
        return Fail(ERROR_INVALID_PARAMETER);
    struct flock theLock = {};
    theLock.l_type = !inLock ? F_UNLCK : inExclusive ? F_WRLCK : F_RDLCK;
    theLock.l_whence = SEEK_SET;
    theLock.l_start = static_cast<off_t>(inOffset);
    theLock.l_len = static_cast<off_t>(inLength);
    if (fcntl(inFd, F_OFD_SETLK, &theLock) == 0)
        return TRUE;
    if (errno == EAGAIN || errno == EACCES)
        return Fail(ERROR_LOCK_VIOLATION);
    return FailErrno("fcntl(F_OFD_SETLK)");
}

BOOL ComputeSeek(int64_t inDistance, DWORD inMethod, uint64_t inCurrent, uint64_t inSize, uint64_t* outPosition)
{
    int64_t theBase = 0;
    if (inMethod == FILE_CURRENT)
        theBase = static_cast<int64_t>(inCurrent);
    else if (inMethod == FILE_END)
        theBase = static_cast<int64_t>(inSize);
    else if (inMethod != FILE_BEGIN)
        return Fail(ERROR_INVALID_PARAMETER);
    int64_t theTarget = 0;
    if (__builtin_add_overflow(theBase, inDistance, &theTarget))
        return Fail(ERROR_INVALID_PARAMETER);
    if (theTarget < 0)
        return Fail(ERROR_NEGATIVE_SEEK);
    *outPosition = static_cast<uint64_t>(theTarget);
    return TRUE;
}

DiskFile::DiskFile(int inFd, bool inCanRead, bool inCanWrite) : mFd(inFd), mCanRead(inCanRead), mCanWrite(inCanWrite)
{
}

DiskFile::~DiskFile()
{
    if (mFd >= 0)
        ::close(mFd);
}

BOOL DiskFile::Read(void* outBuffer, DWORD inCount, DWORD* outDone)
{
    if (!mCanRead)
        return Fail(ERROR_ACCESS_DENIED);
    DWORD theDone = 0;
    while (theDone < inCount) {
        const ssize_t theRead = ::read(mFd, static_cast<char*>(outBuffer) + theDone, inCount - theDone);
        if (theRead < 0 && errno == EINTR)
            continue;
        if (theRead < 0) {
            *outDone = theDone;
            return FailErrno("read");
        }
        if (theRead == 0)
            break;
        theDone += static_cast<DWORD>(theRead);
    }
    *outDone = theDone;
    return TRUE;
}

BOOL DiskFile::Write(const void* inBuffer, DWORD inCount, DWORD* outDone)
{
    if (!mCanWrite)
        return Fail(ERROR_ACCESS_DENIED);
    DWORD theDone = 0;
    // Bytes of a mapped file (a field of the read cache being saved) need not pass
    // through user space a second time.
    if (inCount >= kKernelCopyMinimum) {
        if (ViewSource theSource = FileBehind(inBuffer, inCount))
            theDone = CopyFileBytes(theSource, mFd, inCount);
    }
    while (theDone < inCount) {
        const ssize_t theWritten = ::write(mFd, static_cast<const char*>(inBuffer) + theDone, inCount - theDone);
        if (theWritten < 0 && errno == EINTR)
            continue;
        if (theWritten < 0) {
            *outDone = theDone;
            return FailErrno("write");
        }
        theDone += static_cast<DWORD>(theWritten);
    }
    *outDone = theDone;
    return TRUE;
}

BOOL DiskFile::Seek(int64_t inDistance, DWORD inMethod, uint64_t* outPosition)
{
    const off_t theCurrent = ::lseek(mFd, 0, SEEK_CUR);
    if (theCurrent < 0)
        return FailErrno("lseek");
    uint64_t theSize = 0;
    if (inMethod == FILE_END && !Size(&theSize))
        return FALSE;
    uint64_t theTarget = 0;
    if (!ComputeSeek(inDistance, inMethod, static_cast<uint64_t>(theCurrent), theSize, &theTarget))
        return FALSE;
    if (::lseek(mFd, static_cast<off_t>(theTarget), SEEK_SET) < 0)
        return FailErrno("lseek");
    *outPosition = theTarget;
    return TRUE;
}

BOOL DiskFile::SetEnd()
{
    if (!mCanWrite)
        return Fail(ERROR_ACCESS_DENIED);
    const off_t theCurrent = ::lseek(mFd, 0, SEEK_CUR);
    if (theCurrent < 0)
        return FailErrno("lseek");
    if (::ftruncate(mFd, theCurrent) != 0)
        return FailErrno("ftruncate");
    return TRUE;
}

BOOL DiskFile::Size(uint64_t* outSize)
{
    struct stat theStat;
    if (::fstat(mFd, &theStat) != 0)
        return FailErrno("fstat");
    *outSize = static_cast<uint64_t>(theStat.st_size);
    return TRUE;
}

BOOL DiskFile::Flush()
{
    if (!mCanWrite)
        return Fail(ERROR_ACCESS_DENIED);
    if (::fsync(mFd) != 0)
        return FailErrno("fsync");
    return TRUE;
}

BOOL DiskFile::LockRange(uint64_t inOffset, uint64_t inLength, bool inLock)
{
    // fcntl grants a write lock only on a descriptor open for writing; a read-only handle
    // takes a read lock, which still stops any writer's lock on the range.
    return SetRangeLock(mFd, inOffset, inLength, inLock, mCanWrite);
}

}  // namespace ferrolift::platform

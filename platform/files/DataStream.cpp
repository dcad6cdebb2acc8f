// DataStream.cpp: alternate data streams over extended attributes.
#include "platform/files/DataStream.h"

#include "platform/errors/Errors.h"
#include "platform/files/Files.h"
#include "platform/files/DiskFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/limits.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace ferrolift::platform {

namespace {

// Stream locks live far above any real file offset, one 4 GiB window per stream name, so
// that two handles of the same stream conflict and handles of other streams do not.
constexpr uint64_t kStreamLockBase = uint64_t{1} << 62;
constexpr uint64_t kStreamWindow = uint64_t{1} << 32;
// The largest value Linux takes for one attribute (the stored value carries one more byte).
constexpr uint64_t kMaxStreamBytes = XATTR_SIZE_MAX - 1;

bool FailBool(DWORD inCode)
{
    SetLastError(inCode);
    return false;
}

uint64_t StreamLockWindow(const std::string& inAttribute)
{
    uint32_t theHash = 2166136261u;   // FNV-1a
    for (char c : inAttribute)
        theHash = (theHash ^ static_cast<unsigned char>(c)) * 16777619u;
    return kStreamLockBase + (static_cast<uint64_t>(theHash & 0x0FFFFFFF) * kStreamWindow);
}

// Reads the stream's bytes (the stored value without its trailing zero); a missing
// attribute is an empty stream.
bool LoadAttribute(int inFd, const std::string& inName, std::vector<BYTE>& outBytes)
{
    for (int theAttempt = 0; theAttempt < 8; ++theAttempt) {
        const ssize_t theSize = fgetxattr(inFd, inName.c_str(), nullptr, 0);
        if (theSize < 0 && errno == ENODATA) {
            outBytes.clear();
            return true;
        }
        if (theSize < 0)
            return FailBool(SetLastErrorFromErrno(errno, "fgetxattr"));
        outBytes.resize(static_cast<size_t>(theSize));
        const ssize_t theRead = fgetxattr(inFd, inName.c_str(), outBytes.data(), outBytes.size());
        if (theRead < 0 && errno == ERANGE)
            continue;   // it grew between the two calls
        if (theRead < 0 && errno == ENODATA) {
            outBytes.clear();
            return true;
        }
        if (theRead < 0)
            return FailBool(SetLastErrorFromErrno(errno, "fgetxattr"));
        outBytes.resize(static_cast<size_t>(theRead));
        if (!outBytes.empty() && outBytes.back() == 0)
            outBytes.pop_back();
        return true;
    }
    return FailBool(SetLastErrorFromErrno(ERANGE, "fgetxattr"));
}

bool StoreAttribute(int inFd, const std::string& inName, std::vector<BYTE>& inOutBytes, int inFlags)
{
    inOutBytes.push_back(0);
    const int theResult = fsetxattr(inFd, inName.c_str(), inOutBytes.data(), inOutBytes.size(), inFlags);
    const int theErrno = errno;
    inOutBytes.pop_back();
    if (theResult == 0)
        return true;
    if (theErrno == EEXIST)
        return FailBool(ERROR_FILE_EXISTS);
    return FailBool(SetLastErrorFromErrno(theErrno, "fsetxattr"));
}

// Opens the stream's file: for writing when the stream is written (so that its locks can
// be exclusive), read-only for a folder. Creates the file when inCreate and it is missing.
int OpenStreamFile(const std::string& inFile, bool inWrite, bool inCreate, bool& outWritable, bool& outCreated)
{
    outCreated = false;
    for (int theAttempt = 0; theAttempt < 8; ++theAttempt) {
        outWritable = inWrite;
        int theFd = ::open(inFile.c_str(), (inWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
        if (theFd < 0 && errno == EISDIR) {
            outWritable = false;
            theFd = ::open(inFile.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        }
        if (theFd >= 0 || errno != ENOENT || !inCreate)
            return theFd;
        theFd = ::open(inFile.c_str(), (inWrite ? O_RDWR : O_RDONLY) | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (theFd >= 0) {
            outCreated = true;
            return theFd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

// Applies the disposition to the stream of an open file. Sets the last error to what
// CreateFile leaves on success.
bool ApplyDisposition(int inFd, const std::string& inName, DWORD inDisposition)
{
    const bool theExists = fgetxattr(inFd, inName.c_str(), nullptr, 0) >= 0;
    if (!theExists && errno != ENODATA)
        return FailBool(SetLastErrorFromErrno(errno, "fgetxattr"));
    std::vector<BYTE> theEmpty;
    switch (inDisposition) {
    case CREATE_NEW:
        if (theExists)
            return FailBool(ERROR_FILE_EXISTS);
        if (!StoreAttribute(inFd, inName, theEmpty, XATTR_CREATE))
            return false;
        break;
    case CREATE_ALWAYS:
        if (!StoreAttribute(inFd, inName, theEmpty, 0))
            return false;
        break;
    case OPEN_EXISTING:
        if (!theExists)
            return FailBool(ERROR_FILE_NOT_FOUND);
        break;
    case OPEN_ALWAYS:
        if (!theExists && !StoreAttribute(inFd, inName, theEmpty, 0))
            return false;
        break;
    case TRUNCATE_EXISTING:
        if (!theExists)
            return FailBool(ERROR_FILE_NOT_FOUND);
        if (!StoreAttribute(inFd, inName, theEmpty, XATTR_REPLACE))
            return false;
        break;
    default:
        return FailBool(ERROR_INVALID_PARAMETER);
    }
    const bool theNoted = theExists && (inDisposition == CREATE_ALWAYS || inDisposition == OPEN_ALWAYS);
    SetLastError(theNoted ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return true;
}

}  // namespace

std::shared_ptr<DataStream> DataStream::Open(const FilePath& inPath, DWORD inAccess, DWORD inDisposition,
                                             DWORD inFlags)
{
    if (inDisposition < CREATE_NEW || inDisposition > TRUNCATE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const bool theRead = (inAccess & (GENERIC_READ | GENERIC_ALL | 0x0001)) != 0;
    const bool theWrite = (inAccess & (GENERIC_WRITE | GENERIC_ALL | 0x0002 | 0x0004)) != 0;
    const bool theCreates = inDisposition == CREATE_NEW || inDisposition == CREATE_ALWAYS || inDisposition == OPEN_ALWAYS;
    bool theFdWritable = false;
    bool theCreated = false;
    const int theFd = OpenStreamFile(inPath.file, theWrite, theCreates, theFdWritable, theCreated);
    if (theFd < 0) {
        SetLastErrorFromErrnoForPath(errno, "open", inPath.file.c_str());
        return nullptr;
    }
    auto theStream = std::make_shared<DataStream>(theFd, inPath.attribute, theRead, theWrite, theFdWritable);
    if (!ApplyDisposition(theFd, inPath.attribute, inDisposition)) {
        // A file made only to carry this stream goes again when the stream cannot be had.
        if (theCreated)
            ::unlink(inPath.file.c_str());
        return nullptr;
    }
    if ((inFlags & FILE_FLAG_DELETE_ON_CLOSE) != 0)
        fremovexattr(theFd, inPath.attribute.c_str());
    return theStream;
}

DataStream::DataStream(int inFd, std::string inAttribute, bool inCanRead, bool inCanWrite, bool inFdWritable)
    : mFd(inFd), mAttribute(std::move(inAttribute)), mCanRead(inCanRead), mCanWrite(inCanWrite),
      mFdWritable(inFdWritable)
{
}

DataStream::~DataStream()
{
    ::close(mFd);
}

bool DataStream::Load(std::vector<BYTE>& outBytes)
{
    return LoadAttribute(mFd, mAttribute, outBytes);
}

bool DataStream::Store(std::vector<BYTE>& inOutBytes, int inFlags)
{
    return StoreAttribute(mFd, mAttribute, inOutBytes, inFlags);
}

BOOL DataStream::Read(void* outBuffer, DWORD inCount, DWORD* outDone)
{
    *outDone = 0;
    if (!mCanRead)
        return FailBool(ERROR_ACCESS_DENIED);
    std::lock_guard theGuard(mLock);
    std::vector<BYTE> theBytes;
    if (!Load(theBytes))
        return FALSE;
    if (mPosition >= theBytes.size())
        return TRUE;
    const size_t theCount = std::min<uint64_t>(inCount, theBytes.size() - mPosition);
    std::copy_n(theBytes.begin() + static_cast<ptrdiff_t>(mPosition), theCount, static_cast<BYTE*>(outBuffer));
    mPosition += theCount;
    *outDone = static_cast<DWORD>(theCount);
    return TRUE;
}

BOOL DataStream::Write(const void* inBuffer, DWORD inCount, DWORD* outDone)
{
    *outDone = 0;
    if (!mCanWrite)
        return FailBool(ERROR_ACCESS_DENIED);
    std::lock_guard theGuard(mLock);
    if (mPosition + inCount > kMaxStreamBytes)   // no attribute can hold it: do not even build it
        return FailBool(SetLastErrorFromErrno(E2BIG, "fsetxattr"));
    std::vector<BYTE> theBytes;
    if (!Load(theBytes))
        return FALSE;
    if (theBytes.size() < mPosition + inCount)
        theBytes.resize(mPosition + inCount, 0);
    const BYTE* theSource = static_cast<const BYTE*>(inBuffer);
    std::copy_n(theSource, inCount, theBytes.begin() + static_cast<ptrdiff_t>(mPosition));
    if (!Store(theBytes, 0))
        return FALSE;
    mPosition += inCount;
    *outDone = inCount;
    return TRUE;
}

BOOL DataStream::Seek(int64_t inDistance, DWORD inMethod, uint64_t* outPosition)
{
    std::lock_guard theGuard(mLock);
    std::vector<BYTE> theBytes;
    if (inMethod == FILE_END && !Load(theBytes))
        return FALSE;
    uint64_t theTarget = 0;
    if (!ComputeSeek(inDistance, inMethod, mPosition, theBytes.size(), &theTarget))
        return FALSE;
    mPosition = theTarget;
    *outPosition = theTarget;
    return TRUE;
}

BOOL DataStream::SetEnd()
{
    if (!mCanWrite)
        return FailBool(ERROR_ACCESS_DENIED);
    std::lock_guard theGuard(mLock);
    if (mPosition > kMaxStreamBytes)
        return FailBool(SetLastErrorFromErrno(E2BIG, "fsetxattr"));
    std::vector<BYTE> theBytes;
    if (!Load(theBytes))
        return FALSE;
    theBytes.resize(mPosition, 0);
    return Store(theBytes, 0);
}

BOOL DataStream::Size(uint64_t* outSize)
{
    std::vector<BYTE> theBytes;
    if (!Load(theBytes))
        return FALSE;
    *outSize = theBytes.size();
    return TRUE;
}

BOOL DataStream::Flush()
{
    return TRUE;   // every change is already in the attribute
}

BOOL DataStream::LockRange(uint64_t inOffset, uint64_t inLength, bool inLock)
{
    if (inOffset >= kStreamWindow || inLength > kStreamWindow - inOffset)
        return FailBool(ERROR_INVALID_PARAMETER);
    return SetRangeLock(mFd, StreamLockWindow(mAttribute) + inOffset, inLength, inLock, mFdWritable);
}

}  // namespace ferrolift::platform

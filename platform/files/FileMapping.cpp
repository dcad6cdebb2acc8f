// FileMapping.cpp: mapping objects and views over mmap.
#include "platform/files/Files.h"

#include "platform/errors/Errors.h"
#include "platform/files/DiskFile.h"
#include "platform/files/MappedViews.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ferrolift::platform;

namespace {

constexpr uint64_t kAllocationGranularity = 65536;

/// A mapping object: its own descriptor (a duplicate of the file's, or anonymous memory),
/// its size and protection. Views keep working after its handle is closed: each holds it.
class FileMapping : public KernelObject {
public:
    FileMapping(int inFd, uint64_t inSize, DWORD inProtect) : mFd(inFd), mSize(inSize), mProtect(inProtect) {}
    ~FileMapping() override { ::close(mFd); }
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    int mFd;
    uint64_t mSize;
    DWORD mProtect;
};

HANDLE FailNull(DWORD inCode)
{
    SetLastError(inCode);
    return nullptr;
}

// The descriptor and size a mapping of inFile needs; 0 for the size means "the file's".
int MappingDescriptor(HANDLE inFile, DWORD inProtect, uint64_t& inOutSize)
{
    if (inFile == INVALID_HANDLE_VALUE) {
        if (inOutSize == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        const int theFd = memfd_create("ferrolift-mapping", MFD_CLOEXEC);
        if (theFd < 0 || ::ftruncate(theFd, static_cast<off_t>(inOutSize)) != 0) {
            SetLastErrorFromErrno(errno, theFd < 0 ? "memfd_create" : "ftruncate");
            if (theFd >= 0)
                ::close(theFd);
            return -1;
        }
        return theFd;
    }
    auto theObject = LookupKernelObject(inFile);
    if (!theObject)
        return -1;
    auto theFile = std::dynamic_pointer_cast<DiskFile>(theObject);
    if (!theFile) {
        SetLastError(ERROR_NOT_SUPPORTED);   // a stream, or no file at all
        return -1;
    }
    const bool theWrites = inProtect == PAGE_READWRITE;
    if (!theFile->CanRead() || (theWrites && !theFile->CanWrite())) {
        SetLastError(ERROR_ACCESS_DENIED);
        return -1;
    }
    uint64_t theFileSize = 0;
    if (!theFile->Size(&theFileSize))
        return -1;
    if (inOutSize == 0 && theFileSize == 0) {
        SetLastError(ERROR_FILE_INVALID);
        return -1;
    }
    if (inOutSize == 0)
        inOutSize = theFileSize;
    if (inOutSize > theFileSize && !theWrites) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    if (inOutSize > theFileSize && ::ftruncate(theFile->Descriptor(), static_cast<off_t>(inOutSize)) != 0) {
        SetLastErrorFromErrno(errno, "ftruncate");
        return -1;
    }
    const int theFd = ::fcntl(theFile->Descriptor(), F_DUPFD_CLOEXEC, 0);
    if (theFd < 0)
        SetLastErrorFromErrno(errno, "fcntl(F_DUPFD_CLOEXEC)");
    return theFd;
}

HANDLE CreateMapping(HANDLE hFile, DWORD flProtect, DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow)
{
    const DWORD theProtect = flProtect & 0xFF;   // section flags (SEC_*) are ignored
    if (theProtect != PAGE_READONLY && theProtect != PAGE_READWRITE && theProtect != PAGE_WRITECOPY)
        return FailNull(ERROR_INVALID_PARAMETER);
    uint64_t theSize = (static_cast<uint64_t>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
    if (theSize > static_cast<uint64_t>(INT64_MAX))
        return FailNull(ERROR_INVALID_PARAMETER);
    const int theFd = MappingDescriptor(hFile, theProtect, theSize);
    if (theFd < 0)
        return nullptr;
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(std::make_shared<FileMapping>(theFd, theSize, theProtect));
}

}  // namespace

HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES /*lpFileMappingAttributes*/, DWORD flProtect,
                                 DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR /*lpName*/)
{
    return CreateMapping(hFile, flProtect, dwMaximumSizeHigh, dwMaximumSizeLow);
}

HANDLE WINAPI CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES /*lpFileMappingAttributes*/, DWORD flProtect,
                                 DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCWSTR /*lpName*/)
{
    return CreateMapping(hFile, flProtect, dwMaximumSizeHigh, dwMaximumSizeLow);
}

LPVOID WINAPI MapViewOfFileEx(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                              DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap, LPVOID lpBaseAddress)
{
    auto theMapping = LookupHandle<FileMapping>(hFileMappingObject);
    if (!theMapping)
        return nullptr;
    const uint64_t theOffset = (static_cast<uint64_t>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
    if (theOffset % kAllocationGranularity != 0)
        return FailNull(ERROR_MAPPED_ALIGNMENT);
    if (theOffset >= theMapping->mSize || dwNumberOfBytesToMap > theMapping->mSize - theOffset)
        return FailNull(ERROR_ACCESS_DENIED);
    const size_t theLength = dwNumberOfBytesToMap != 0 ? dwNumberOfBytesToMap : theMapping->mSize - theOffset;
    const bool theCopy = (dwDesiredAccess & FILE_MAP_COPY) != 0 && dwDesiredAccess != FILE_MAP_ALL_ACCESS;
    const bool theWrite = (dwDesiredAccess & FILE_MAP_WRITE) != 0 || theCopy;
    if (theWrite && !theCopy && theMapping->mProtect != PAGE_READWRITE)
        return FailNull(ERROR_ACCESS_DENIED);
    int theFlags = theCopy || theMapping->mProtect == PAGE_WRITECOPY ? MAP_PRIVATE : MAP_SHARED;
    if (lpBaseAddress)
        theFlags |= MAP_FIXED_NOREPLACE;
    void* theView = ::mmap(lpBaseAddress, theLength, PROT_READ | (theWrite ? PROT_WRITE : 0), theFlags,
                           theMapping->mFd, static_cast<off_t>(theOffset));
    if (theView == MAP_FAILED)
        return FailNull(errno == EEXIST ? ERROR_INVALID_ADDRESS : SetLastErrorFromErrno(errno, "mmap"));
    if (lpBaseAddress && theView != lpBaseAddress) {   // kernels without NOREPLACE treat it as a hint
        ::munmap(theView, theLength);
        return FailNull(ERROR_INVALID_ADDRESS);
    }
    RecordView(theView, theLength, theMapping, theMapping->mFd, theOffset, (theFlags & MAP_SHARED) != 0 || !theWrite);
    return theView;
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                            DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap)
{
    return MapViewOfFileEx(hFileMappingObject, dwDesiredAccess, dwFileOffsetHigh, dwFileOffsetLow,
                           dwNumberOfBytesToMap, nullptr);
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress)
{
    size_t theLength = 0;
    if (!ForgetView(lpBaseAddress, theLength)) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    if (::munmap(const_cast<void*>(lpBaseAddress), theLength) != 0) {
        SetLastErrorFromErrno(errno, "munmap");
        return FALSE;
    }
    return TRUE;
}

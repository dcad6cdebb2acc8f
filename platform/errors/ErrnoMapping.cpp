// errno to Win32 error codes: the only place in the platform where this mapping lives.
#include "platform/errors/Errors.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace ferrolift::platform {

DWORD Win32ErrorFromErrno(int inErrno)
{
    switch (inErrno) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case E2BIG:
    case EFBIG:
    case EOVERFLOW: return ERROR_FILE_TOO_LARGE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EAGAIN:  // EWOULDBLOCK is the same value here: a lock that is held
    case EDEADLK: return ERROR_LOCK_VIOLATION;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EIO: return ERROR_IO_DEVICE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EBUSY: return ERROR_BUSY;
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EXDEV: return 17;  // ERROR_NOT_SAME_DEVICE
    case ELOOP: return 1921;  // ERROR_CANT_RESOLVE_FILENAME
    case ENXIO:
    case ENODEV: return ERROR_INVALID_DRIVE;
    case ESPIPE: return ERROR_SEEK;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ENOSYS: return ERROR_CALL_NOT_IMPLEMENTED;
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;  // ENOTSUP is the same value here
    case ENODATA: return ERROR_FILE_NOT_FOUND;  // a missing extended attribute: a missing stream
    case EFAULT: return 998;  // ERROR_NOACCESS
    case ERANGE: return ERROR_INSUFFICIENT_BUFFER;
    case EILSEQ: return ERROR_NO_UNICODE_TRANSLATION;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    case ETIMEDOUT: return ERROR_TIMEOUT;
    case EINTR:
    case ECANCELED: return ERROR_OPERATION_ABORTED;
    case ENOLCK:
    case ENOBUFS: return ERROR_NO_SYSTEM_RESOURCES;
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ECONNREFUSED: return ERROR_BAD_NETPATH;
    default: return ERROR_GEN_FAILURE;
    }
}

namespace {

// True when the folder holding inPath's last component is missing or is no folder.
bool ParentFolderMissing(const char* inPath)
{
    std::string thePath(inPath);
    while (thePath.size() > 1 && thePath.back() == '/')
        thePath.pop_back();
    const size_t theSlash = thePath.rfind('/');
    if (theSlash == std::string::npos)
        return false;  // relative to the working folder, which exists
    const std::string theParent = theSlash == 0 ? "/" : thePath.substr(0, theSlash);
    struct stat theInfo {};
    if (::stat(theParent.c_str(), &theInfo) != 0)
        return true;
    return !S_ISDIR(theInfo.st_mode);
}

void Trace(int inErrno, const char* inSystemCall, const char* inPath, DWORD inCode)
{
    if (std::getenv("FERROLIFT_TRACE") == nullptr)
        return;
    char theText[128];
    std::fprintf(stderr, "ferrolift: %s(%s) failed: %s (errno %d, Win32 %u)\n", inSystemCall,
                 inPath ? inPath : "", strerror_r(inErrno, theText, sizeof theText), inErrno,
                 static_cast<unsigned>(inCode));
}

}  // namespace

DWORD Win32ErrorFromErrnoForPath(int inErrno, const char* inPath)
{
    if (inErrno == ENOENT && inPath != nullptr && ParentFolderMissing(inPath))
        return ERROR_PATH_NOT_FOUND;
    return Win32ErrorFromErrno(inErrno);
}

DWORD SetLastErrorFromErrno(int inErrno, const char* inSystemCall)
{
    const DWORD theCode = Win32ErrorFromErrno(inErrno);
    Trace(inErrno, inSystemCall, nullptr, theCode);
    SetLastError(theCode);
    return theCode;
}

DWORD SetLastErrorFromErrnoForPath(int inErrno, const char* inSystemCall, const char* inPath)
{
    const DWORD theCode = Win32ErrorFromErrnoForPath(inErrno, inPath);
    Trace(inErrno, inSystemCall, inPath, theCode);
    SetLastError(theCode);
    return theCode;
}

}  // namespace ferrolift::platform

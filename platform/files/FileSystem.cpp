// FileSystem.cpp: names in folders: delete, attributes, create and remove folders.
#include "platform/files/Files.h"

#include "platform/errors/Errors.h"
#include "platform/files/FilePath.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace ferrolift::platform;

namespace {

BOOL FailErrno(const char* inCall, const std::string& inPath)
{
    SetLastErrorFromErrnoForPath(errno, inCall, inPath.c_str());
    return FALSE;
}

BOOL DeleteParsed(const FilePath& inPath)
{
    if (inPath.IsStream()) {
        if (::removexattr(inPath.file.c_str(), inPath.attribute.c_str()) == 0)
            return TRUE;
        if (errno == ENODATA) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        return FailErrno("removexattr", inPath.file);
    }
    if (::unlink(inPath.file.c_str()) != 0)
        return FailErrno("unlink", inPath.file);   // a folder gives EISDIR: 5, as on Windows
    return TRUE;
}

DWORD AttributesParsed(const FilePath& inPath)
{
    struct stat theStat;
    if (::stat(inPath.file.c_str(), &theStat) != 0) {
        SetLastErrorFromErrnoForPath(errno, "stat", inPath.file.c_str());
        return INVALID_FILE_ATTRIBUTES;
    }
    if (inPath.IsStream() && ::getxattr(inPath.file.c_str(), inPath.attribute.c_str(), nullptr, 0) < 0) {
        if (errno == ENODATA)
            SetLastError(ERROR_FILE_NOT_FOUND);
        else
            SetLastErrorFromErrno(errno, "getxattr");
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD theAttributes = 0;
    if (S_ISDIR(theStat.st_mode))
        theAttributes |= FILE_ATTRIBUTE_DIRECTORY;
    if ((theStat.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        theAttributes |= FILE_ATTRIBUTE_READONLY;
    return theAttributes != 0 ? theAttributes : FILE_ATTRIBUTE_NORMAL;
}

BOOL CreateDirectoryParsed(const FilePath& inPath)
{
    if (inPath.IsStream()) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    if (::mkdir(inPath.file.c_str(), 0777) == 0)
        return TRUE;
    if (errno == EEXIST) {
        SetLastError(ERROR_ALREADY_EXISTS);   // folders report 183, not the 80 of files
        return FALSE;
    }
    return FailErrno("mkdir", inPath.file);
}

BOOL RemoveDirectoryParsed(const FilePath& inPath)
{
    if (inPath.IsStream()) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    if (::rmdir(inPath.file.c_str()) != 0)
        return FailErrno("rmdir", inPath.file);
    return TRUE;
}

template <class Char, class Operation>
auto WithParsedPath(const Char* inPath, Operation inOperation, decltype(inOperation(FilePath{})) inFailure)
{
    FilePath thePath;
    if (!ParseFilePath(inPath, thePath))
        return inFailure;
    return inOperation(thePath);
}

}  // namespace

BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    return WithParsedPath(lpFileName, DeleteParsed, FALSE);
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName)
{
    return WithParsedPath(lpFileName, DeleteParsed, FALSE);
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName)
{
    return WithParsedPath(lpFileName, AttributesParsed, INVALID_FILE_ATTRIBUTES);
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName)
{
    return WithParsedPath(lpFileName, AttributesParsed, INVALID_FILE_ATTRIBUTES);
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/)
{
    return WithParsedPath(lpPathName, CreateDirectoryParsed, FALSE);
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/)
{
    return WithParsedPath(lpPathName, CreateDirectoryParsed, FALSE);
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName)
{
    return WithParsedPath(lpPathName, RemoveDirectoryParsed, FALSE);
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName)
{
    return WithParsedPath(lpPathName, RemoveDirectoryParsed, FALSE);
}

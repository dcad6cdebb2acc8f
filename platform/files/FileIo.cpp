// FileIo.cpp: the handle calls (read, write, pointer, end, size, flush, locks), which
// forward to the handle's own kind (DiskFile or DataStream).
#include "platform/files/Files.h"

#include "platform/errors/Errors.h"
#include "platform/files/FileHandle.h"

using namespace ferrolift::platform;

namespace {

BOOL Fail(DWORD inCode)
{
    SetLastError(inCode);
    return FALSE;
}

uint64_t Combine(DWORD inLow, DWORD inHigh)
{
    return (static_cast<uint64_t>(inHigh) << 32) | inLow;
}

// An OVERLAPPED on a synchronous handle means: move to its offset first.
BOOL SeekToOverlapped(FileHandle& inFile, LPOVERLAPPED inOverlapped)
{
    if (!inOverlapped)
        return TRUE;
    const uint64_t theOffset = Combine(inOverlapped->u.s.Offset, inOverlapped->u.s.OffsetHigh);
    if (theOffset > static_cast<uint64_t>(INT64_MAX))
        return Fail(ERROR_INVALID_PARAMETER);
    uint64_t thePosition = 0;
    return inFile.Seek(static_cast<int64_t>(theOffset), FILE_BEGIN, &thePosition);
}

void CompleteOverlapped(LPOVERLAPPED inOverlapped, DWORD inDone)
{
    if (!inOverlapped)
        return;
    inOverlapped->Internal = 0;
    inOverlapped->InternalHigh = inDone;
}

}  // namespace

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped)
{
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    auto theFile = LookupHandle<FileHandle>(hFile);
    if (!theFile)
        return FALSE;
    if (!lpBuffer && nNumberOfBytesToRead != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!SeekToOverlapped(*theFile, lpOverlapped))
        return FALSE;
    DWORD theDone = 0;
    const BOOL theResult = theFile->Read(lpBuffer, nNumberOfBytesToRead, &theDone);
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = theDone;
    CompleteOverlapped(lpOverlapped, theDone);
    return theResult;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped)
{
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    auto theFile = LookupHandle<FileHandle>(hFile);
    if (!theFile)
        return FALSE;
    if (!lpBuffer && nNumberOfBytesToWrite != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!SeekToOverlapped(*theFile, lpOverlapped))
        return FALSE;
    DWORD theDone = 0;
    const BOOL theResult = theFile->Write(lpBuffer, nNumberOfBytesToWrite, &theDone);
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = theDone;
    CompleteOverlapped(lpOverlapped, theDone);
    return theResult;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod)
{
    auto theFile = LookupHandle<FileHandle>(hFile);
    if (!theFile)
        return INVALID_SET_FILE_POINTER;
    int64_t theDistance = lDistanceToMove;
    if (lpDistanceToMoveHigh)
        theDistance = static_cast<int64_t>(Combine(static_cast<DWORD>(lDistanceToMove),
                                                   static_cast<DWORD>(*lpDistanceToMoveHigh)));
    uint64_t thePosition = 0;
    if (!theFile->Seek(theDistance, dwMoveMethod, &thePosition))
        return INVALID_SET_FILE_POINTER;
    if (!lpDistanceToMoveHigh && thePosition > 0xFFFFFFFFull) {
        SetLastError(ERROR_INVALID_PARAMETER);   // the position does not fit the result
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = static_cast<LONG>(thePosition >> 32);
    const DWORD theLow = static_cast<DWORD>(thePosition);
    if (theLow == INVALID_SET_FILE_POINTER)
        SetLastError(ERROR_SUCCESS);   // tells callers the value is a position, not a failure
    return theLow;
}

BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                             DWORD dwMoveMethod)
{
    auto theFile = LookupHandle<FileHandle>(hFile);
    if (!theFile)
        return FALSE;
    uint64_t thePosition = 0;
    if (!theFile->Seek(liDistanceToMove.QuadPart, dwMoveMethod, &thePosition))
        return FALSE;
    if (lpNewFilePointer)
        lpNewFilePointer->QuadPart = static_cast<LONGLONG>(thePosition);
    return TRUE;
}

BOOL WINAPI SetEndOfFile(HANDLE hFile)
{
    auto theFile = LookupHandle<FileHandle>(hFile);
    return theFile ? theFile->SetEnd() : FALSE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh)
{
    auto theFile = LookupHandle<FileHandle>(hFile);
    uint64_t theSize = 0;
    if (!theFile || !theFile->Size(&theSize))
        return INVALID_FILE_SIZE;
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(theSize >> 32);
    const DWORD theLow = static_cast<DWORD>(theSize);
    if (theLow == INVALID_FILE_SIZE)
        SetLastError(ERROR_SUCCESS);
    return theLow;
}

BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize)
{
    if (!lpFileSize)
        return Fail(ERROR_INVALID_PARAMETER);
    auto theFile = LookupHandle<FileHandle>(hFile);
    uint64_t theSize = 0;
    if (!theFile || !theFile->Size(&theSize))
        return FALSE;
    lpFileSize->QuadPart = static_cast<LONGLONG>(theSize);
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile)
{
    auto theFile = LookupHandle<FileHandle>(hFile);
    return theFile ? theFile->Flush() : FALSE;
}

BOOL WINAPI LockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh, DWORD nNumberOfBytesToLockLow,
                     DWORD nNumberOfBytesToLockHigh)
{
    auto theFile = LookupHandle<FileHandle>(hFile);
    if (!theFile)
        return FALSE;
    return theFile->LockRange(Combine(dwFileOffsetLow, dwFileOffsetHigh),
                              Combine(nNumberOfBytesToLockLow, nNumberOfBytesToLockHigh), true);
}

BOOL WINAPI UnlockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh, DWORD nNumberOfBytesToUnlockLow,
                       DWORD nNumberOfBytesToUnlockHigh)
{
    auto theFile = LookupHandle<FileHandle>(hFile);
    if (!theFile)
        return FALSE;
    return theFile->LockRange(Combine(dwFileOffsetLow, dwFileOffsetHigh),
                              Combine(nNumberOfBytesToUnlockLow, nNumberOfBytesToUnlockHigh), false);
}

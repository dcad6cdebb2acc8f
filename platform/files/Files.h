// Files.h: the kernel32 file subset: files, alternate data streams, locks, mappings,
// temporary names and volume information, with Win32 names, constants and error codes.
//
//   HANDLE theFile = CreateFileW(u"/srv/up/a.txt", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
//                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
//   if (theFile == INVALID_HANDLE_VALUE)
//       return GetLastError();            // 80 when it exists, 3 when a folder is missing
//   DWORD theDone = 0;
//   WriteFile(theFile, "abc", 3, &theDone, nullptr);
//   CloseHandle(theFile);
//
// How paths map. Wide paths are UTF-16 and become UTF-8 (a lone surrogate becomes U+FFFD);
// 8-bit ("A") paths are taken as the file system's own bytes, which are UTF-8 here.
// Backslashes and slashes both separate components. There are no drive letters: "C:\x"
// is the relative path "C:/x". A ':' in the last component names an alternate data
// stream: "file:NAME" or "file:NAME:$DATA" is the extended attribute
// "user.DosStream.NAME:$DATA" of file, whose value is the stream's bytes followed by one
// zero byte; "file::$DATA" is the file itself. Stream handles serve CreateFile (all
// dispositions), ReadFile, WriteFile, SetFilePointer(Ex), SetEndOfFile, GetFileSize(Ex),
// LockFile/UnlockFile, FlushFileBuffers and CloseHandle; every write is committed to the
// attribute at once, so a stream too large for the volume fails WriteFile (112 or 223).
//
// Locks are open-file-description locks: a second handle of the same file fails with
// ERROR_LOCK_VIOLATION (33) even in the same process. Like Windows they are advisory only
// for these calls' users; plain read and write are not blocked by them. Sharing modes are
// accepted and not enforced: concurrent writers of one file meet at LockFile instead.
#pragma once

#include "platform/types/WinTypes.h"
#include "platform/files/KernelObject.h"

#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define GENERIC_EXECUTE 0x20000000UL
#define GENERIC_ALL 0x10000000UL

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(0xFFFFFFFF))

#define FILE_FLAG_WRITE_THROUGH 0x80000000UL
#define FILE_FLAG_OVERLAPPED 0x40000000UL
#define FILE_FLAG_NO_BUFFERING 0x20000000UL
#define FILE_FLAG_RANDOM_ACCESS 0x10000000UL
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000UL
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000UL
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000UL

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER (static_cast<DWORD>(0xFFFFFFFF))

#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define PAGE_WRITECOPY 0x08
#define FILE_MAP_COPY 0x0001
#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F

// Volume flags reported by GetVolumeInformation.
#define FILE_CASE_SENSITIVE_SEARCH 0x00000001
#define FILE_CASE_PRESERVED_NAMES 0x00000002
#define FILE_UNICODE_ON_DISK 0x00000004
#define FILE_PERSISTENT_ACLS 0x00000008
#define FILE_NAMED_STREAMS 0x00040000
#define FILE_READ_ONLY_VOLUME 0x00080000

#ifndef ERROR_FILE_INVALID
#define ERROR_FILE_INVALID 1006L
#endif
#ifndef ERROR_MAPPED_ALIGNMENT
#define ERROR_MAPPED_ALIGNMENT 1132L
#endif
#ifndef ERROR_INVALID_ADDRESS
#define ERROR_INVALID_ADDRESS 487L
#endif
#ifndef ERROR_NOT_LOCKED
#define ERROR_NOT_LOCKED 158L
#endif

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    union {
        struct { DWORD Offset; DWORD OffsetHigh; } s;
        PVOID Pointer;
    } u;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

extern "C" {

/// Opens or creates a file or stream. Dispositions as on Windows: CREATE_NEW fails with 80
/// when the file exists; OPEN_EXISTING and TRUNCATE_EXISTING with 2 when it does not (3
/// when a folder on the path is missing); OPEN_ALWAYS and CREATE_ALWAYS leave 183
/// (ERROR_ALREADY_EXISTS) as the last error when it existed, else 0. A folder opens only
/// with FILE_FLAG_BACKUP_SEMANTICS (else 5). FILE_FLAG_DELETE_ON_CLOSE removes the name
/// at once after the open, so nothing is left behind even after a crash. Opening a
/// stream of a missing file with a creating disposition creates the file too.
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
/// As CreateFileA, for a UTF-16 path.
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);

/// Reads at the file pointer (or at the OVERLAPPED offset, synchronously). TRUE with 0
/// bytes at the end of the file.
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped);
/// Writes all bytes at the file pointer (or at the OVERLAPPED offset, synchronously).
/// A full disk fails with 112; a stream too big for one attribute with 112 or 223.
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped);
/// Moves the file pointer. Without lpDistanceToMoveHigh the distance is a signed 32-bit
/// value. Failure returns INVALID_SET_FILE_POINTER with the last error set (131 for a
/// position before the start); a success that returns that value sets the last error to 0.
DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod);
/// Moves the file pointer by a 64-bit distance; lpNewFilePointer may be null.
BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                             DWORD dwMoveMethod);
/// Cuts or extends the file to the file pointer.
BOOL WINAPI SetEndOfFile(HANDLE hFile);
/// The size's low part, the high part in *lpFileSizeHigh when given. Failure returns
/// INVALID_FILE_SIZE with the last error set; a success that returns that value sets 0.
DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
/// The 64-bit size.
BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize);
/// fsync (or nothing for a stream, which is always committed).
BOOL WINAPI FlushFileBuffers(HANDLE hFile);
/// Locks a byte range for this handle alone; another handle of the same file, in this
/// process or another, fails with 33. A zero-length range succeeds and locks nothing.
BOOL WINAPI LockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh, DWORD nNumberOfBytesToLockLow,
                     DWORD nNumberOfBytesToLockHigh);
/// Releases a range that LockFile locked on this handle.
BOOL WINAPI UnlockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh, DWORD nNumberOfBytesToUnlockLow,
                       DWORD nNumberOfBytesToUnlockHigh);

/// A mapping object over a file (hFile) or, with INVALID_HANDLE_VALUE, over anonymous
/// memory of the given size. Size 0 means the file's size; an empty file then fails with
/// 1006. PAGE_READWRITE extends a shorter file to the size. Names are accepted and not
/// shared between callers. A stream handle cannot be mapped (50).
HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES lpFileMappingAttributes, DWORD flProtect,
                                 DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName);
/// As CreateFileMappingA.
HANDLE WINAPI CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES lpFileMappingAttributes, DWORD flProtect,
                                 DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCWSTR lpName);
/// Maps a view (mmap). The offset must be a multiple of 65536 (else 1132); 0 bytes maps
/// to the end of the mapping. The view stays valid after the mapping handle is closed.
LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                            DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap);
/// As MapViewOfFile, at lpBaseAddress when given (487 when that address is taken).
LPVOID WINAPI MapViewOfFileEx(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                              DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap, LPVOID lpBaseAddress);
/// Unmaps a view by its base address (487 for an address that is no view).
BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress);

/// The folder for temporary files: TMPDIR when set, else /tmp, always with a trailing
/// '/'. Returns its length without the terminator, or the size needed including the
/// terminator when nBufferLength is too small.
DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer);
/// As GetTempPathA, in UTF-16 units.
DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);
/// "<path>/<first 3 chars of prefix><4 hex digits>.TMP" into a buffer of MAX_PATH. With
/// uUnique 0 a free number is chosen and the file is created exclusively (empty); else
/// the name is only formed. Returns the number used, 0 on failure.
UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName);
/// As GetTempFileNameA, in UTF-16.
UINT WINAPI GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR lpTempFileName);

/// Removes a file (5 for a folder), or a stream ("file:NAME") of it.
BOOL WINAPI DeleteFileA(LPCSTR lpFileName);
/// As DeleteFileA.
BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
/// FILE_ATTRIBUTE_DIRECTORY, _READONLY (no write permission bit), _NORMAL, or
/// INVALID_FILE_ATTRIBUTES with the last error set.
DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName);
/// As GetFileAttributesA.
DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);
/// Creates one folder (183 when it exists, 3 when its parent is missing).
BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
/// As CreateDirectoryA.
BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
/// Removes an empty folder (145 when not empty).
BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName);
/// As RemoveDirectoryA.
BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName);

/// Volume information for the storage that holds lpRootPathName. Any absolute path is
/// accepted (the nearest existing folder on it is asked); a relative path fails with 123.
/// The file system name is "NTFS" when the volume accepts user extended attributes (and
/// so alternate data streams), otherwise the real name ("vfat", ...). Volume name is
/// empty; serial number is from the device number; flags include FILE_NAMED_STREAMS on
/// "NTFS" volumes. Buffers too small fail with 122.
BOOL WINAPI GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                                  LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                                  LPDWORD lpFileSystemFlags, LPSTR lpFileSystemNameBuffer, DWORD nFileSystemNameSize);
/// As GetVolumeInformationA, in UTF-16.
BOOL WINAPI GetVolumeInformationW(LPCWSTR lpRootPathName, LPWSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                                  LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                                  LPDWORD lpFileSystemFlags, LPWSTR lpFileSystemNameBuffer, DWORD nFileSystemNameSize);
}

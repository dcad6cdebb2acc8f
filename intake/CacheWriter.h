// CacheWriter.h: appends request chunks to the read cache file in large writes.
//
//   CacheWriter theWriter(theFile);
//   if (!theWriter.Append(theBytes, theCount) || !theWriter.Flush())
//       return GetLastError();
//
// Chunks of the default 2048 bytes would each cost a system call; gathered, they cost
// one per 64 KiB. Chunks as large as the buffer go straight to the file.
#pragma once

#include <windows.h>

#include <memory>

class CacheWriter {
public:
    explicit CacheWriter(HANDLE inFile);
    CacheWriter(const CacheWriter&) = delete;
    CacheWriter& operator=(const CacheWriter&) = delete;

    /// Adds inLength bytes at the end of the file. False when a write failed, with the
    /// system's code in GetLastError; the failure may belong to bytes appended earlier.
    bool Append(const void* inData, DWORD inLength);

    /// Writes what is still gathered. False as for Append.
    bool Flush();

private:
    bool WriteAll(const void* inData, DWORD inLength);

    HANDLE mFile;
    std::unique_ptr<BYTE[]> mBuffer;
    DWORD mUsed = 0;
};

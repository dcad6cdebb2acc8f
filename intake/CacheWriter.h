// CacheWriter.h: appends request chunks to the read cache file in large writes.
//
//   CacheWriter theWriter(theFile, theBodyLength);
//   if (!theWriter.Append(theBytes, theCount) || !theWriter.Flush())
//       return GetLastError();
//
// Chunks of the default 2048 bytes would each cost a system call. Gathered into blocks of
// up to 4 MiB they cost one call a block, and the file system can keep such blocks in
// large pages, which the later mapping covers with a few page-table entries instead of
// one per 4 KiB: on virtual machines that is most of the cost of reading the mapping.
// The buffer is the only memory this takes, at most 4 MiB whatever the body's size.
#pragma once

#include <windows.h>

#include <memory>

class CacheWriter {
public:
    /// inTotal is the number of bytes expected, which bounds the buffer.
    CacheWriter(HANDLE inFile, DWORD inTotal);
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
    DWORD mCapacity = 0;
    DWORD mUsed = 0;
};

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
// The buffer grows with what has arrived, not with what the client announced: each block
// is as large as everything written before it (64 KiB at first, 4 MiB at most, never more
// than is still expected), so a thousand slow uploads in flight hold a fraction of their
// bodies in memory while a big one reaches 4 MiB blocks after its first 4 MiB. The blocks
// end on powers of two, so the 4 MiB ones stay aligned. A block that takes long to fill
// comes from a slow client, whose writes are rare anyway: the buffer goes back to 64 KiB
// (a grown one is written as it stands, without waiting to fill), so slow uploads in
// flight hold no more than that each, even those that were fast at first.
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

    /// The size of the buffer now (for tests: it follows what has arrived).
    DWORD Capacity() const { return mCapacity; }

private:
    void Reserve();
    bool WriteAll(const void* inData, DWORD inLength);

    HANDLE mFile;
    DWORD mTotal;
    DWORD mWritten = 0;   // bytes handed to the file
    std::unique_ptr<BYTE[]> mBuffer;
    DWORD mCapacity = 0;
    DWORD mUsed = 0;
    DWORD mFillStart = 0;   // tick of the first byte in the buffer
    bool mSlow = false;     // the last full block took long to fill
};

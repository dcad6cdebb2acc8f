// DiskFile.h: a file handle over a POSIX file descriptor (internal to the platform).
//
//   auto theFile = std::make_shared<DiskFile>(theFd, true, true);
//   HANDLE theHandle = InsertHandle(theFile);
#pragma once

#include "platform/files/FileHandle.h"

namespace ferrolift::platform {

/// A plain file (or, with backup semantics, a folder) open on one descriptor. Locks are
/// open-file-description locks, so they belong to this handle alone.
class DiskFile : public FileHandle {
public:
    /// Takes inFd over; inCanRead / inCanWrite are the access the handle was opened with.
    DiskFile(int inFd, bool inCanRead, bool inCanWrite);
    ~DiskFile() override;
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;

    BOOL Read(void* outBuffer, DWORD inCount, DWORD* outDone) override;
    BOOL Write(const void* inBuffer, DWORD inCount, DWORD* outDone) override;
    BOOL Seek(int64_t inDistance, DWORD inMethod, uint64_t* outPosition) override;
    BOOL SetEnd() override;
    BOOL Size(uint64_t* outSize) override;
    BOOL Flush() override;
    BOOL LockRange(uint64_t inOffset, uint64_t inLength, bool inLock) override;

    /// The descriptor, for mappings.
    int Descriptor() const { return mFd; }
    /// Whether the handle was opened for reading.
    bool CanRead() const { return mCanRead; }
    /// Whether the handle was opened for writing.
    bool CanWrite() const { return mCanWrite; }

private:
    int mFd;
    bool mCanRead;
    bool mCanWrite;
};

/// Sets an open-file-description lock on inFd: a write lock when inExclusive, else a
/// read lock; inLock false removes it. 33 when another description holds a conflicting
/// lock, 87 for a range beyond what the system can address. Shared with DataStream.
BOOL SetRangeLock(int inFd, uint64_t inOffset, uint64_t inLength, bool inLock, bool inExclusive);

/// The new file pointer for a Seek from inCurrent / inSize; FALSE with 131 or 87.
BOOL ComputeSeek(int64_t inDistance, DWORD inMethod, uint64_t inCurrent, uint64_t inSize, uint64_t* outPosition);

}  // namespace ferrolift::platform

// FileHandle.h: what a file handle can do, for a plain file (DiskFile) and for an
// alternate data stream (DataStream). The Win32 calls look the handle up and forward.
// Every operation returns FALSE with the last error set on failure.
//
//   auto theFile = LookupHandle<FileHandle>(hFile);
//   if (!theFile) return FALSE;                       // 6
//   return theFile->Write(theBytes, theCount, &theDone);
#pragma once

#include "platform/files/KernelObject.h"

#include <cstdint>

namespace ferrolift::platform {

/// A handle opened by CreateFile.
class FileHandle : public KernelObject {
public:
    /// Reads up to inCount bytes at the file pointer; 0 at the end.
    virtual BOOL Read(void* outBuffer, DWORD inCount, DWORD* outDone) = 0;
    /// Writes all inCount bytes at the file pointer.
    virtual BOOL Write(const void* inBuffer, DWORD inCount, DWORD* outDone) = 0;
    /// Moves the file pointer (inMethod FILE_BEGIN/CURRENT/END); 131 before the start.
    virtual BOOL Seek(int64_t inDistance, DWORD inMethod, uint64_t* outPosition) = 0;
    /// Makes the file end at the file pointer.
    virtual BOOL SetEnd() = 0;
    /// The size in bytes.
    virtual BOOL Size(uint64_t* outSize) = 0;
    /// Commits written data to the storage.
    virtual BOOL Flush() = 0;
    /// Locks (inLock) or unlocks a byte range for this handle; 33 when another holds it.
    virtual BOOL LockRange(uint64_t inOffset, uint64_t inLength, bool inLock) = 0;
};

}  // namespace ferrolift::platform

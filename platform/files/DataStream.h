// DataStream.h: a file handle over an alternate data stream, kept as the extended
// attribute "user.DosStream.NAME:$DATA" of its file (value: the bytes and one zero byte).
// Every change is written through to the attribute at once, so a stream too large for
// the volume fails in the Write or SetEnd that makes it so.
//
//   FilePath thePath;                                  // from ParseFilePath
//   auto theStream = DataStream::Open(thePath, GENERIC_WRITE, OPEN_ALWAYS, 0);
//   if (theStream) InsertHandle(theStream);            // else the last error says why
#pragma once

#include "platform/files/FileHandle.h"
#include "platform/files/FilePath.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ferrolift::platform {

/// One open stream. The file pointer is the handle's own; the bytes are re-read from the
/// attribute for every call, so several handles of one stream see each other's writes.
class DataStream : public FileHandle {
public:
    /// Opens the stream inPath names with a CreateFile disposition. The file is created
    /// when missing and the disposition creates. Null with the last error set on failure;
    /// on success the last error is 0, or 183 for OPEN_ALWAYS / CREATE_ALWAYS over an
    /// existing stream.
    static std::shared_ptr<DataStream> Open(const FilePath& inPath, DWORD inAccess, DWORD inDisposition,
                                            DWORD inFlags);

    DataStream(int inFd, std::string inAttribute, bool inCanRead, bool inCanWrite, bool inFdWritable);
    ~DataStream() override;
    DataStream(const DataStream&) = delete;
    DataStream& operator=(const DataStream&) = delete;

    BOOL Read(void* outBuffer, DWORD inCount, DWORD* outDone) override;
    BOOL Write(const void* inBuffer, DWORD inCount, DWORD* outDone) override;
    BOOL Seek(int64_t inDistance, DWORD inMethod, uint64_t* outPosition) override;
    BOOL SetEnd() override;
    BOOL Size(uint64_t* outSize) override;
    BOOL Flush() override;
    BOOL LockRange(uint64_t inOffset, uint64_t inLength, bool inLock) override;

private:
    bool Load(std::vector<BYTE>& outBytes);
    bool Store(std::vector<BYTE>& inOutBytes, int inFlags);

    int mFd;                  // the stream's file
    std::string mAttribute;
    bool mCanRead;
    bool mCanWrite;
    bool mFdWritable;
    uint64_t mPosition = 0;
    std::mutex mLock;         // guards mPosition and each read-modify-write
};

}  // namespace ferrolift::platform

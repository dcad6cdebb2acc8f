// MappedFileStream.h: a ByteSource over a read-only mapping of a whole file. Open and
// OpenHandle answer with the first character of the error text: 0 on success.
//
//   MappedFileStream theStream;
//   if (theStream.Open(OLESTR("/srv/up/body.bin")) != 0)
//       Report(theStream.ErrorText());      // e.g. "File is empty"
//   else
//       Split(theStream.Data(), theStream.Size());
#pragma once

#include "intake/MemoryByteSource.h"
#include "platform/common/UniqueHandle.h"

/// A file mapped read-only and covered as a byte source. It owns the file handle, the
/// mapping and the view from the moment OpenHandle receives the file handle.
class MappedFileStream : public MemoryByteSource {
public:
    MappedFileStream() = default;
    /// Closes, then frees as a MemoryByteSource.
    ~MappedFileStream() override;

    /// Opens the file at inPath (read, read sharing, existing) and maps it. Failure to
    /// open gives "Unable to read file".
    virtual char Open(LPCWSTR inPath);
    /// As Open, for an 8-bit path.
    virtual char Open(LPCSTR inPath);
    /// Takes inFile over (also on failure) and maps it whole. Failures: "File handle
    /// invalid", "Unable to get file size", "File is empty", "Unable to create file
    /// mapping", "Unable to map view of file".
    virtual char OpenHandle(HANDLE inFile);
    /// Unmaps the view and closes the mapping and the file. The covered range stays, so a
    /// closed stream must not be read again.
    virtual void Close();

    /// The error text, or null when there is none.
    const char* ErrorText() const;

private:
    char OpenedResult(HANDLE inFile);
    void SetError(const char* inText);

    char mErrorText[256] = {};
    UniqueHandle mFile;
    UniqueHandle mMapping;
    LPVOID mView = nullptr;
};

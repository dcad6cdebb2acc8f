// MappedFileStream.cpp: a whole file mapped read-only as a byte source.
#include "intake/MappedFileStream.h"

#include <cstring>

MappedFileStream::~MappedFileStream()
{
    Close();
}

char MappedFileStream::Open(LPCWSTR inPath)
{
    Close();
    mErrorText[0] = 0;
    HANDLE theFile = CreateFileW(inPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    return OpenedResult(theFile);
}

char MappedFileStream::Open(LPCSTR inPath)
{
    Close();
    mErrorText[0] = 0;
    HANDLE theFile = CreateFileA(inPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    return OpenedResult(theFile);
}

char MappedFileStream::OpenedResult(HANDLE inFile)
{
    if (inFile == INVALID_HANDLE_VALUE) {
        SetError("Unable to read file");
        return mErrorText[0];
    }
    return OpenHandle(inFile);
}

char MappedFileStream::OpenHandle(HANDLE inFile)
{
    Close();
    mErrorText[0] = 0;
    mFile = inFile;
    if (mFile == INVALID_HANDLE_VALUE) {
        mFile = nullptr;
        SetError("File handle invalid");
        return mErrorText[0];
    }
    DWORD theHigh = 0;
    const DWORD theSize = GetFileSize(mFile, &theHigh);
    if (theSize == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        SetError("Unable to get file size");
    } else if (theHigh != 0) {
        // The range is 32-bit: a larger file would be seen as its size modulo 4 GiB.
        SetLastError(ERROR_FILE_TOO_LARGE);
        SetError("File is too large");
    } else if (theSize == 0)
        SetError("File is empty");
    if (mErrorText[0] == 0) {
        mMapping = CreateFileMappingA(mFile, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (!mMapping)
            SetError("Unable to create file mapping");
    }
    if (mErrorText[0] == 0) {
        mView = MapViewOfFile(mMapping, FILE_MAP_READ, 0, 0, 0);
        if (!mView)
            SetError("Unable to map view of file");
    }
    if (mErrorText[0] == 0)
        SetRange(static_cast<BYTE*>(mView), theSize);
    else
        Close();
    return mErrorText[0];
}

void MappedFileStream::Close()
{
    // The last error of a failed open is what callers report; closing must not change it.
    const DWORD theError = GetLastError();
    if (mView)
        UnmapViewOfFile(mView);
    if (mMapping)
        CloseHandle(mMapping);
    if (mFile)
        CloseHandle(mFile);
    mView = nullptr;
    mMapping = nullptr;
    mFile = nullptr;
    SetLastError(theError);
}

const char* MappedFileStream::ErrorText() const
{
    return mErrorText[0] != 0 ? mErrorText : nullptr;
}

void MappedFileStream::SetError(const char* inText)
{
    strncpy(mErrorText, inText, sizeof mErrorText - 1);
    mErrorText[sizeof mErrorText - 1] = 0;
}

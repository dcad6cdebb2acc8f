#include "intake/CacheWriter.h"

#include <cstring>
#include <new>

namespace {

constexpr DWORD kBufferSize = 65536;

}  // namespace

CacheWriter::CacheWriter(HANDLE inFile) : mFile(inFile), mBuffer(new (std::nothrow) BYTE[kBufferSize])
{
    // Without the buffer every chunk is written as it comes, which is slower but right.
}

bool CacheWriter::Append(const void* inData, DWORD inLength)
{
    if (inLength == 0)
        return true;
    if (!mBuffer || (mUsed == 0 && inLength >= kBufferSize))
        return WriteAll(inData, inLength);
    const BYTE* theBytes = static_cast<const BYTE*>(inData);
    while (inLength != 0) {
        const DWORD theTake = inLength < kBufferSize - mUsed ? inLength : kBufferSize - mUsed;
        std::memcpy(mBuffer.get() + mUsed, theBytes, theTake);
        mUsed += theTake;
        theBytes += theTake;
        inLength -= theTake;
        if (mUsed == kBufferSize && !Flush())
            return false;
    }
    return true;
}

bool CacheWriter::Flush()
{
    const DWORD theCount = mUsed;
    mUsed = 0;
    return WriteAll(mBuffer.get(), theCount);
}

bool CacheWriter::WriteAll(const void* inData, DWORD inLength)
{
    if (inLength == 0)
        return true;
    DWORD theDone = 0;
    if (!WriteFile(mFile, inData, inLength, &theDone, nullptr))
        return false;
    if (theDone != inLength) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

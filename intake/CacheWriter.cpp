#include "intake/CacheWriter.h"

#include <cstring>
#include <new>

namespace {

constexpr DWORD kLargestBuffer = 4u << 20;
constexpr DWORD kSmallestBuffer = 65536;
// A client that needs longer than this for a block sends under 640 KiB/s.
constexpr DWORD kSlowFillMs = 100;

}  // namespace

CacheWriter::CacheWriter(HANDLE inFile, DWORD inTotal) : mFile(inFile), mTotal(inTotal) {}

void CacheWriter::Reserve()
{
    DWORD theWanted = mWritten < kSmallestBuffer || mSlow ? kSmallestBuffer
                      : mWritten < kLargestBuffer             ? mWritten
                                                              : kLargestBuffer;
    const DWORD theLeft = mTotal > mWritten ? mTotal - mWritten : 0;
    if (theLeft != 0 && theLeft < theWanted)
        theWanted = theLeft;
    // The one we have is large enough, unless a slow client is left with a grown one.
    const bool theShrink = mSlow && mCapacity > kSmallestBuffer;
    if (theWanted == mCapacity || (theWanted < mCapacity && !theShrink))
        return;
    mBuffer.reset();
    mCapacity = 0;
    // Short of memory, a smaller buffer or none: every chunk is then written as it comes,
    // which is slower but right.
    for (DWORD theSize = theWanted; theSize != 0 && !mBuffer; theSize /= 4) {
        mBuffer.reset(new (std::nothrow) BYTE[theSize]);
        mCapacity = mBuffer ? theSize : 0;
        if (theSize <= kSmallestBuffer)
            break;
    }
}

bool CacheWriter::Append(const void* inData, DWORD inLength)
{
    const BYTE* theBytes = static_cast<const BYTE*>(inData);
    // A grown block still filling after kSlowFillMs is written as it stands, so a client
    // that grew the buffer and then slowed down does not keep it. The smallest one keeps
    // gathering: a slow client fills it in seconds, and writes that rarely.
    if (mUsed != 0 && mCapacity > kSmallestBuffer && GetTickCount() - mFillStart > kSlowFillMs) {
        mSlow = true;
        if (!Flush())
            return false;
    }
    while (inLength != 0) {
        if (mUsed == 0) {
            Reserve();
            // A chunk as large as the largest block gains nothing from a copy.
            if (!mBuffer || inLength >= kLargestBuffer)
                return WriteAll(theBytes, inLength);
            mFillStart = GetTickCount();
        }
        const DWORD theTake = inLength < mCapacity - mUsed ? inLength : mCapacity - mUsed;
        std::memcpy(mBuffer.get() + mUsed, theBytes, theTake);
        mUsed += theTake;
        theBytes += theTake;
        inLength -= theTake;
        if (mUsed == mCapacity) {
            mSlow = GetTickCount() - mFillStart > kSlowFillMs;
            if (!Flush())
                return false;
        }
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
    mWritten += inLength;
    return true;
}

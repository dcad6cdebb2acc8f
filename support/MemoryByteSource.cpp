// MemoryByteSource.cpp: the byte reader over one block of memory.
#include "support/MemoryByteSource.h"

#include <new>

MemoryByteSource::~MemoryByteSource() = default;

BYTE* MemoryByteSource::Seek(ULONG inPos)
{
    mCurrent = mStart + (inPos < mSize ? inPos : mSize);
    return mCurrent;
}

ULONG MemoryByteSource::Tell()
{
    return static_cast<ULONG>(mCurrent - mStart);
}

int MemoryByteSource::ReadByte()
{
    if (mCurrent >= mStart + mSize)
        return -1;
    return *mCurrent++;
}

ULONG MemoryByteSource::Size()
{
    return mSize;
}

ULONG MemoryByteSource::SetRange(BYTE* inData, ULONG inSize)
{
    mStart = inData;
    mCurrent = inData;
    mSize = inSize;
    return inSize;
}

ULONG MemoryByteSource::Allocate(ULONG inSize)
{
    std::unique_ptr<BYTE[]> theBuffer(new (std::nothrow) BYTE[inSize]);
    if (!theBuffer)
        return 0;
    mBuffer = std::move(theBuffer);
    return SetRange(mBuffer.get(), inSize);
}

BYTE* MemoryByteSource::Data()
{
    return mStart;
}

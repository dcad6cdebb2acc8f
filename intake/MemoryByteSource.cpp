// MemoryByteSource.cpp: the byte reader over one block of memory.
#include "intake/MemoryByteSource.h"

#include <cstdlib>

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
    // Zeroed: a block that is not filled completely (a client that sent less than it
    // announced) must never show a page what an earlier request left in the heap.
    // calloc gets fresh pages from the system without touching them, so a large block
    // costs no more than it did unzeroed.
    std::unique_ptr<BYTE, FreeBlock> theBuffer(static_cast<BYTE*>(std::calloc(inSize != 0 ? inSize : 1, 1)));
    if (!theBuffer)
        return 0;
    mBuffer = std::move(theBuffer);
    return SetRange(mBuffer.get(), inSize);
}

BYTE* MemoryByteSource::Data()
{
    return mStart;
}

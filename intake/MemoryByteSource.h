// MemoryByteSource.h: a ByteSource over memory, either the caller's (SetRange) or its own
// (Allocate, zeroed). A new one covers nothing.
//
//   MemoryByteSource theSource;
//   if (theSource.Allocate(theLength) == 0)
//       return E_OUTOFMEMORY;
//   memcpy(theSource.Data(), theBytes, theLength);
//   int theFirst = theSource.ReadByte();
#pragma once

#include "intake/ByteSource.h"

#include <cstdlib>
#include <memory>

/// A ByteSource over one block of memory.
class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource() = default;
    MemoryByteSource(const MemoryByteSource&) = delete;
    MemoryByteSource& operator=(const MemoryByteSource&) = delete;
    /// Frees the owned buffer, if any.
    ~MemoryByteSource() override;

    BYTE* Seek(ULONG inPos) override;
    ULONG Tell() override;
    int ReadByte() override;
    ULONG Size() override;
    ULONG SetRange(BYTE* inData, ULONG inSize) override;
    ULONG Allocate(ULONG inSize) override;
    BYTE* Data() override;

private:
    struct FreeBlock {
        void operator()(BYTE* inBlock) const { std::free(inBlock); }
    };

    BYTE* mStart = nullptr;
    BYTE* mCurrent = nullptr;
    ULONG mSize = 0;
    std::unique_ptr<BYTE, FreeBlock> mBuffer;   // null while the memory is the caller's
};

// ByteSource.h: an abstract reader over a block of bytes, with a current position.
// The request body is held in one; MemoryByteSource covers memory, MappedFileStream a
// mapped file.
//
//   ByteSource* theSource = ...;
//   theSource->Seek(0);
//   for (int c = theSource->ReadByte(); c != -1; c = theSource->ReadByte())
//       Consume(static_cast<BYTE>(c));
#pragma once

#include <windows.h>

/// A byte reader owned by whoever creates it. The virtual slots keep this order.
class ByteSource {
public:
    /// Frees what the source owns.
    virtual ~ByteSource() {}
    /// Sets the position to inPos (clamped to Size) and returns the pointer to it.
    virtual BYTE* Seek(ULONG inPos) = 0;
    /// The current offset from the start.
    virtual ULONG Tell() = 0;
    /// The byte at the position (0..255), advancing by one; -1 at the end.
    virtual int ReadByte() = 0;
    /// The number of bytes covered.
    virtual ULONG Size() = 0;
    /// Covers inSize bytes at inData (which stay the caller's), positioned at the start.
    /// Returns inSize.
    virtual ULONG SetRange(BYTE* inData, ULONG inSize) = 0;
    /// Covers a new owned buffer of inSize bytes; returns inSize, or 0 when the memory
    /// cannot be had (the range is then unchanged).
    virtual ULONG Allocate(ULONG inSize) = 0;
    /// The first byte covered (null when nothing is).
    virtual BYTE* Data() = 0;
};

// MacBinary.h: recognising a MacBinary stream (a 128-byte header, the data fork, the
// resource fork) in a field's bytes and locating its forks, in place.
//
//   if (IsMacBinary(theEntry.contentType, theBytes, theLength)) {
//       MacBinaryView theView(theBytes, theLength);
//       const BYTE* theData = theView.DataFork();             // DataForkLength(theView) bytes
//       const BYTE* theResource = FindResourceFork(theView);  // ResourceForkLength(theView) bytes
//   }
#pragma once

#include <windows.h>

/// Size of the MacBinary header; the data fork starts right after it.
constexpr LONG kMacBinaryHeaderLength = 128;

/// A (start, length) view over a field's bytes that answers the MacBinary questions. It
/// owns nothing: the bytes must outlive it. Accessors past the header need at least
/// kMacBinaryHeaderLength bytes.
class MacBinaryView {
public:
    MacBinaryView(const BYTE* inStart, LONG inLength) : mStart(inStart), mLength(inLength) {}

    /// Start of the field's bytes.
    const BYTE* Start() const { return mStart; }
    /// Length of the field's bytes.
    LONG Length() const { return mLength; }
    /// The four file type characters (header offset 65).
    const BYTE* FileType() const { return mStart + 65; }
    /// The four file creator characters (header offset 69).
    const BYTE* FileCreator() const { return mStart + 69; }
    /// High byte of the Finder flags (header offset 73).
    BYTE FinderFlagsHigh() const { return mStart[73]; }
    /// Low byte of the Finder flags (header offset 101).
    BYTE FinderFlagsLow() const { return mStart[101]; }
    /// Start of the data fork (offset 128).
    const BYTE* DataFork() const { return mStart + kMacBinaryHeaderLength; }

private:
    const BYTE* mStart;
    LONG mLength;
};

/// True when the field is a MacBinary stream: its content type (null or empty: none) is
/// exactly "application/x-macbinary" or absent, it has at least 128 bytes, both fork
/// lengths are non-negative, and the resource fork is found and ends inside the bytes.
bool IsMacBinary(const WCHAR* inContentType, const BYTE* inStart, LONG inLength);

/// The data fork length (big-endian, offset 83) as a signed number.
LONG DataForkLength(const MacBinaryView& inView);

/// The resource fork length (big-endian, offset 87) as a signed number.
LONG ResourceForkLength(const MacBinaryView& inView);

/// The start of the resource fork: at the data fork's end padded to 128 bytes, else the
/// first of up to 255 more positions after the data fork that holds a resource fork
/// header; nullptr when none does.
const BYTE* FindResourceFork(const MacBinaryView& inView);

/// True when the 16 bytes at inPosition are a resource fork header consistent with a
/// fork of inForkLength bytes.
bool IsResourceForkHeader(const BYTE* inPosition, DWORD inForkLength);

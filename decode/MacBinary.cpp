#include "decode/MacBinary.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr WCHAR kMacBinaryType[] = OLESTR("application/x-macbinary");
constexpr uint64_t kForkHeaderLength = 16;
constexpr uint32_t kBlock = 128;

uint32_t ReadBigEndian32(const BYTE* inBytes)
{
    return (uint32_t(inBytes[0]) << 24) | (uint32_t(inBytes[1]) << 16) | (uint32_t(inBytes[2]) << 8) |
           uint32_t(inBytes[3]);
}

bool SameText(const WCHAR* inLeft, const WCHAR* inRight)
{
    while (*inLeft != 0 && *inLeft == *inRight) {
        ++inLeft;
        ++inRight;
    }
    return *inLeft == *inRight;
}

} // namespace

LONG DataForkLength(const MacBinaryView& inView)
{
    return static_cast<LONG>(ReadBigEndian32(inView.Start() + 83));
}

LONG ResourceForkLength(const MacBinaryView& inView)
{
    return static_cast<LONG>(ReadBigEndian32(inView.Start() + 87));
}

bool IsResourceForkHeader(const BYTE* inPosition, DWORD inForkLength)
{
    const uint32_t theDataOffset = ReadBigEndian32(inPosition);
    const uint32_t theMapOffset = ReadBigEndian32(inPosition + 4);
    const uint32_t theDataLength = ReadBigEndian32(inPosition + 8);
    const uint32_t theMapLength = ReadBigEndian32(inPosition + 12);
    if (inForkLength < kForkHeaderLength || theDataOffset < kForkHeaderLength || theMapOffset < kForkHeaderLength)
        return false;
    // The header's sums are 32-bit, as the format defines them.
    if (theDataOffset <= theMapOffset)
        return uint32_t(theDataOffset + theDataLength) <= theMapOffset &&
               uint32_t(theMapOffset + theMapLength) == inForkLength;
    return uint32_t(theMapOffset + theMapLength) <= theDataOffset &&
           uint32_t(theDataOffset + theDataLength) == inForkLength;
}

const BYTE* FindResourceFork(const MacBinaryView& inView)
{
    const uint64_t theData = static_cast<uint32_t>(DataForkLength(inView));
    const uint32_t theFork = static_cast<uint32_t>(ResourceForkLength(inView));
    const uint64_t theLength = static_cast<uint32_t>(inView.Length());
    if (kBlock + theData > theLength)
        return nullptr;
    const uint64_t thePad = theData % kBlock == 0 ? 0 : kBlock - theData % kBlock;
    const uint64_t theForkStart = kBlock + theData;
    auto theHolds = [&](uint64_t inOffset) {
        return inOffset + kForkHeaderLength <= theLength && IsResourceForkHeader(inView.Start() + inOffset, theFork);
    };
    if (theHolds(theForkStart + thePad))
        return inView.Start() + theForkStart + thePad;
    // Some senders leave out the filler: look a little around where the fork should be.
    const uint64_t theLimit = std::min(thePad + kBlock, theLength - theForkStart);
    for (uint64_t k = 0; k < theLimit; ++k) {
        if (theHolds(theForkStart + k))
            return inView.Start() + theForkStart + k;
    }
    return nullptr;
}

bool IsMacBinary(const WCHAR* inContentType, const BYTE* inStart, LONG inLength)
{
    if (inContentType != nullptr && inContentType[0] != 0 && !SameText(inContentType, kMacBinaryType))
        return false;
    if (inStart == nullptr || inLength < kMacBinaryHeaderLength)
        return false;
    const MacBinaryView theView(inStart, inLength);
    if (DataForkLength(theView) < 0 || ResourceForkLength(theView) < 0)
        return false;
    const BYTE* theFork = FindResourceFork(theView);
    if (theFork == nullptr)
        return false;
    const uint64_t theForkOffset = static_cast<uint64_t>(theFork - inStart);
    return theForkOffset + static_cast<uint64_t>(ResourceForkLength(theView)) <= static_cast<uint64_t>(inLength);
}

#include "decode/ImageInfo.h"

#include <cstdint>
#include <cstring>

#include "decode/JpegReader.h"

namespace {

constexpr BYTE kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

uint32_t LittleEndian16(const BYTE* inBytes)
{
    return uint32_t(inBytes[0]) | (uint32_t(inBytes[1]) << 8);
}

uint32_t LittleEndian32(const BYTE* inBytes)
{
    return LittleEndian16(inBytes) | (LittleEndian16(inBytes + 2) << 16);
}

uint32_t BigEndian32(const BYTE* inBytes)
{
    return (uint32_t(inBytes[0]) << 24) | (uint32_t(inBytes[1]) << 16) | (uint32_t(inBytes[2]) << 8) |
           uint32_t(inBytes[3]);
}

ferImageType JpegType(LONG inComponents)
{
    switch (inComponents) {
    case 1: return ferJPEGgray;
    case 3: return ferJPEG;
    case 4: return ferJPEGcmyk;
    default: return ferUnknown;
    }
}

} // namespace

bool IsGIF(const BYTE* inStart, DWORD inLength, LONG& outWidth, LONG& outHeight)
{
    if (inStart == nullptr || inLength < 14 || std::memcmp(inStart, "GIF8", 4) != 0)
        return false;
    const uint32_t theWidth = LittleEndian16(inStart + 6);
    const uint32_t theHeight = LittleEndian16(inStart + 8);
    if (theWidth == 0 || theHeight == 0)
        return false;
    outWidth = static_cast<LONG>(theWidth);
    outHeight = static_cast<LONG>(theHeight);
    return true;
}

bool IsPNG(const BYTE* inStart, DWORD inLength, LONG& outWidth, LONG& outHeight)
{
    if (inStart == nullptr || inLength < 24 || std::memcmp(inStart, kPngSignature, sizeof kPngSignature) != 0)
        return false;
    // The first chunk must be the image header; its fields are taken as they stand.
    outWidth = static_cast<LONG>(BigEndian32(inStart + 16));
    outHeight = static_cast<LONG>(BigEndian32(inStart + 20));
    return true;
}

bool IsBMP(const BYTE* inStart, DWORD inLength, LONG& outWidth, LONG& outHeight)
{
    if (inStart == nullptr || inLength < 26 || inStart[0] != 'B' || inStart[1] != 'M')
        return false;
    LONG theWidth = 0;
    LONG theHeight = 0;
    if (LittleEndian32(inStart + 14) == 12) {
        // The old core header has 16-bit dimensions.
        theWidth = static_cast<int16_t>(LittleEndian16(inStart + 18));
        theHeight = static_cast<int16_t>(LittleEndian16(inStart + 20));
    } else {
        theWidth = static_cast<LONG>(LittleEndian32(inStart + 18));
        theHeight = static_cast<LONG>(LittleEndian32(inStart + 22));
    }
    if (theWidth < 1 || theHeight < 1)
        return false;
    outWidth = theWidth;
    outHeight = theHeight;
    return true;
}

void DetectImage(ImageInfo& outInfo, const BYTE* inStart, DWORD inLength)
{
    outInfo.computed = true;
    outInfo.type = ferUnknown;
    outInfo.width = 0;
    outInfo.height = 0;
    if (IsGIF(inStart, inLength, outInfo.width, outInfo.height)) {
        outInfo.type = ferGIF;
        return;
    }
    if (IsPNG(inStart, inLength, outInfo.width, outInfo.height)) {
        outInfo.type = ferPNG;
        return;
    }
    if (IsBMP(inStart, inLength, outInfo.width, outInfo.height)) {
        outInfo.type = ferBMP;
        return;
    }
    JpegMemoryReader theReader;
    if (theReader.Parse(inStart, inLength))
        outInfo.type = JpegType(theReader.Components());
    // A damaged JPEG still tells the size its frame header gave.
    outInfo.width = theReader.Width();
    outInfo.height = theReader.Height();
}

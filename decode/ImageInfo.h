// ImageInfo.h: kind and pixel size of GIF, PNG, BMP and JPEG images, read from their
// headers (JPEG: its marker walk) without decoding or allocating.
//
//   ImageInfo theInfo;
//   DetectImage(theInfo, theBytes, theLength);
//   // theInfo.type == ferJPEG, theInfo.width == 640, theInfo.height == 480
#pragma once

#include <windows.h>

#include "support/Interfaces.h"

/// The image facts of one field, computed once.
struct ImageInfo {
    bool computed = false;
    ferImageType type = ferUnknown;
    LONG width = 0;
    LONG height = 0;
};

/// Fills outInfo from the bytes: GIF, PNG, BMP by header, else JPEG by its marker walk.
/// A JPEG that fails after its frame header keeps that size with type ferUnknown.
void DetectImage(ImageInfo& outInfo, const BYTE* inStart, DWORD inLength);

/// GIF: "GIF8" and non-zero 16-bit little-endian width and height at offsets 6 and 8.
/// The outputs are written only when the result is true.
bool IsGIF(const BYTE* inStart, DWORD inLength, LONG& outWidth, LONG& outHeight);

/// PNG: the signature and the 32-bit big-endian width and height at offsets 16 and 20.
bool IsPNG(const BYTE* inStart, DWORD inLength, LONG& outWidth, LONG& outHeight);

/// BMP: "BM" and positive width and height (16-bit for the 12-byte core header, else
/// 32-bit); a top-down bitmap (negative height) is not recognised.
bool IsBMP(const BYTE* inStart, DWORD inLength, LONG& outWidth, LONG& outHeight);

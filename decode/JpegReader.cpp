#include "decode/JpegReader.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kMarkerPrefix = 0xFF;

const char* ProcessName(int inMarker)
{
    switch (inMarker) {
    case 0xC0: return "JPEG Process: Baseline";
    case 0xC1: return "JPEG Process: Extended sequential";
    case 0xC2: return "JPEG Process: Progressive";
    case 0xC3: return "JPEG Process: Lossless";
    case 0xC5: return "JPEG Process: Differential sequential";
    case 0xC6: return "JPEG Process: Differential progressive";
    case 0xC7: return "JPEG Process: Differential lossless";
    case 0xC9: return "JPEG Process: Extended sequential, arithmetic coding";
    case 0xCA: return "JPEG Process: Progressive, arithmetic coding";
    case 0xCB: return "JPEG Process: Lossless, arithmetic coding";
    case 0xCD: return "JPEG Process: Differential sequential, arithmetic coding";
    case 0xCE: return "JPEG Process: Differential progressive, arithmetic coding";
    case 0xCF: return "JPEG Process: Differential lossless, arithmetic coding";
    default: return "JPEG Process: Unknown";
    }
}

bool IsFrameMarker(int inMarker)
{
    // C4 (tables), C8 (reserved) and CC (arithmetic conditioning) are not frames.
    return inMarker >= 0xC0 && inMarker <= 0xCF && inMarker != 0xC4 && inMarker != 0xC8 && inMarker != 0xCC;
}

} // namespace

void JpegReader::SetTrace(bool inOn) { mTrace = inOn; }
const char* JpegReader::ErrorText() const { return mErrorText; }
LONG JpegReader::Width() const { return mWidth; }
LONG JpegReader::Height() const { return mHeight; }
LONG JpegReader::Components() const { return mComponents; }

void JpegReader::SetErrorText(const char* inMessage)
{
    std::snprintf(mErrorText, sizeof mErrorText, "%s", inMessage);
}

void JpegReader::Fail(const char* inMessage)
{
    SetErrorText(inMessage);
    throw Failure{};
}

void JpegReader::Trace(const char* inText)
{
    if (!mTrace)
        return;
    std::fprintf(stderr, "%s\n", inText);
}

void JpegReader::TraceFormat(const char* inFormat, ...)
{
    if (!mTrace)
        return;
    char theLine[300];
    va_list theArguments;
    va_start(theArguments, inFormat);
    std::vsnprintf(theLine, sizeof theLine, inFormat, theArguments);
    va_end(theArguments);
    Trace(theLine);
}

int JpegReader::Walk()
{
    Seek(0);
    if (ReadByte() != kMarkerPrefix || ReadByte() != 0xD8) {
        SetErrorText("JPEG header missing");
        return 1;
    }
    bool theInScan = false;
    for (;;) {
        const int theMarker = NextMarker(theInScan);
        theInScan = false;
        if (IsFrameMarker(theMarker)) {
            ReadFrame(theMarker);
            continue;
        }
        if (theMarker >= 0xD0 && theMarker <= 0xD7) {
            Trace("Restart");
            theInScan = true;
            continue;
        }
        switch (theMarker) {
        case 0x01: Trace("Warning - Temporary Reserved Marker Used"); break;
        case 0xC4: SkipSegment("DHT"); break;
        case 0xD8: SkipSegment("Start of Image"); break;
        case 0xD9: Trace("End of Image"); return 0;
        case 0xDA: ReadScan(); theInScan = true; break;
        case 0xDB: SkipSegment("DQT"); break;
        case 0xEC: TextSegment("Application 12"); break;
        case 0xED: SkipSegment("Application 13"); break;
        case 0xFE: TextSegment("Comment"); break;
        default: SkipSegment("Unknown"); break;
        }
    }
}

int JpegReader::NextMarker(bool inScan, DWORD* outSkipped)
{
    for (;;) {
        ScanFor(kMarkerPrefix, outSkipped);
        int theByte = ReadBytes(1);
        while (theByte == kMarkerPrefix)
            theByte = ReadBytes(1);
        // Inside entropy-coded data FF 00 stands for a data byte FF, not a marker.
        if (theByte == 0x00 && inScan)
            continue;
        return theByte;
    }
}

void JpegReader::SkipSegment(const char* inName)
{
    const DWORD theLength = Read16();
    if (theLength < 2)
        Fail("Bad JPEG marker length");
    Trace(inName);
    TraceFormat("Length = %ld", static_cast<long>(theLength));
    ReadBytes(theLength - 2);
}

void JpegReader::TextSegment(const char* inName)
{
    const DWORD theLength = Read16();
    if (theLength < 2)
        Fail("Bad JPEG marker length");
    char theText[256] = {};
    const DWORD theCount = theLength - 2;
    const DWORD theKept = theCount < 255 ? theCount : 255;
    for (DWORD i = 0; i < theKept; ++i)
        theText[i] = static_cast<char>(ReadBytes(1));
    ReadBytes(theCount - theKept);
    Trace(inName);
    Trace(theText);
}

void JpegReader::ReadFrame(int inMarker)
{
    const DWORD theLength = Read16();
    const int thePrecision = ReadBytes(1);
    const LONG theHeight = static_cast<LONG>(Read16());
    const LONG theWidth = static_cast<LONG>(Read16());
    const LONG theComponents = ReadBytes(1);
    // A header cut short keeps the earlier frame's values whole: no mix of two frames.
    mHeight = theHeight;
    mWidth = theWidth;
    mComponents = theComponents;
    Trace("Start of Frame");
    TraceFormat("JPEG image: %ld by %ld, %ld components, %ld bits per sample", static_cast<long>(mWidth),
                static_cast<long>(mHeight), static_cast<long>(mComponents), static_cast<long>(thePrecision));
    Trace(ProcessName(inMarker));
    if (theLength != 8 + 3 * static_cast<DWORD>(mComponents))
        Fail("Bad SOF marker length");
    ReadBytes(3 * static_cast<DWORD>(mComponents));
}

void JpegReader::ReadScan()
{
    const DWORD theLength = Read16();
    const int theComponents = ReadBytes(1);
    Trace("Start of Scan");
    if (theLength != 6 + 2 * static_cast<DWORD>(theComponents))
        Fail("Bad SOS marker length");
    TraceFormat("Length = %ld, Components = %ld", static_cast<long>(theLength), static_cast<long>(theComponents));
    ReadBytes(theLength - 3);
}

DWORD JpegReader::Read16()
{
    const DWORD theHigh = static_cast<DWORD>(ReadBytes(1));
    return (theHigh << 8) | static_cast<DWORD>(ReadBytes(1));
}

int JpegReader::ReadBytes(DWORD inCount)
{
    int theByte = 0;
    for (DWORD i = 0; i < inCount; ++i) {
        theByte = ReadByte();
        if (theByte < 0)
            Fail("JPEG file too short");
    }
    return theByte;
}

void JpegReader::ScanFor(BYTE inValue, DWORD* outCount)
{
    DWORD theCount = 0;
    for (;;) {
        const int theByte = ReadByte();
        if (theByte < 0)
            Fail("JPEG file too short");
        ++theCount;
        if (theByte == inValue)
            break;
    }
    if (outCount != nullptr)
        *outCount = theCount;
}

bool JpegMemoryReader::Parse(const BYTE* inStart, DWORD inLength)
{
    ClearErrorText();
    mStart = inStart;
    mPosition = inStart;
    mLength = inLength;
    bool theComplete = false;
    if (inStart == nullptr || inLength == 0) {
        SetErrorText("No JPEG provided");
    } else {
        try {
            theComplete = Walk() == 0;
        } catch (const Failure&) {
            theComplete = false;
        }
    }
    mStart = nullptr;
    mPosition = nullptr;
    mLength = 0;
    return theComplete;
}

// The memory source passes over runs of bytes directly rather than one call per byte:
// scan data is most of a JPEG, and memchr finds its markers at memory speed.
int JpegMemoryReader::ReadBytes(DWORD inCount)
{
    if (inCount == 0)
        return 0;
    const DWORD theLeft = static_cast<DWORD>(mStart + mLength - mPosition);
    if (inCount > theLeft) {
        mPosition = mStart + mLength;
        Fail("JPEG file too short");
    }
    mPosition += inCount;
    return mPosition[-1];
}

void JpegMemoryReader::ScanFor(BYTE inValue, DWORD* outCount)
{
    const size_t theLeft = static_cast<size_t>(mStart + mLength - mPosition);
    const void* theFound = std::memchr(mPosition, inValue, theLeft);
    if (theFound == nullptr) {
        mPosition = mStart + mLength;
        Fail("JPEG file too short");
    }
    const BYTE* theNext = static_cast<const BYTE*>(theFound) + 1;
    if (outCount != nullptr)
        *outCount = static_cast<DWORD>(theNext - mPosition);
    mPosition = theNext;
}

LONG JpegMemoryReader::Seek(LONG inPosition)
{
    if (inPosition < 0 || static_cast<DWORD>(inPosition) > mLength)
        Fail("Unable to move pointer");
    mPosition = mStart + inPosition;
    return inPosition;
}

int JpegMemoryReader::ReadByte()
{
    if (mPosition >= mStart + mLength)
        return -1;
    return *mPosition++;
}

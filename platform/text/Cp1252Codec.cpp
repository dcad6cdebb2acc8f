#include "platform/text/Cp1252Codec.h"

#include <array>

#include "platform/types/WinError.h"

namespace ferrolift::platform {
namespace {

// Characters of bytes 0x80-0x9F; the others equal their byte value.
constexpr std::array<WCHAR, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::array<WCHAR, 256> MakeTable()
{
    std::array<WCHAR, 256> theTable{};
    for (int b = 0; b < 256; ++b)
        theTable[b] = static_cast<WCHAR>(b);
    for (int b = 0; b < 32; ++b)
        theTable[0x80 + b] = kHighControls[b];
    return theTable;
}

constexpr std::array<WCHAR, 256> kTable = MakeTable();

/// The 1252 byte of inUnit, or -1 when the code page has no such character.
int ByteFor(WCHAR inUnit)
{
    if (inUnit < 0x80 || (inUnit >= 0xA0 && inUnit <= 0xFF))
        return inUnit;
    for (int b = 0; b < 32; ++b) {
        if (kHighControls[b] == inUnit)
            return 0x80 + b;
    }
    return -1;
}

} // namespace

DWORD DecodeCp1252(const BYTE* inText, size_t inLength, OutputSink<WCHAR>& outSink)
{
    for (size_t i = 0; i < inLength; ++i) {
        if (!outSink.Put(kTable[inText[i]]))
            return ERROR_INSUFFICIENT_BUFFER;
    }
    return 0;
}

DWORD EncodeCp1252(const WCHAR* inText, size_t inLength, char inDefault, BOOL* outUsedDefault,
                   OutputSink<char>& outSink)
{
    for (size_t i = 0; i < inLength; ++i) {
        int theByte = ByteFor(inText[i]);
        if (theByte < 0) {
            theByte = static_cast<unsigned char>(inDefault);
            if (outUsedDefault != nullptr)
                *outUsedDefault = TRUE;
            // A surrogate pair is one character and gets one default character.
            if (inText[i] >= 0xD800 && inText[i] <= 0xDBFF && i + 1 < inLength && inText[i + 1] >= 0xDC00 &&
                inText[i + 1] <= 0xDFFF)
                ++i;
        }
        if (!outSink.Put(static_cast<char>(theByte)))
            return ERROR_INSUFFICIENT_BUFFER;
    }
    return 0;
}

} // namespace ferrolift::platform

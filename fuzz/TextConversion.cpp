// Code page conversion of request bytes (file names, field names, content types). The
// first byte picks the code page; the rest is converted both ways. Checked: the size a
// call announces is the size it writes; a buffer one unit short fails cleanly without
// writing past it; strict decoding agrees with lenient decoding whenever it succeeds;
// text that decodes and encodes without a default character decodes again to the same
// units; UTF-8 agrees with a plain decoder.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "FuzzCheck.h"

namespace {

constexpr UINT kCodePages[] = {CP_UTF8, 1252, 932, 936, 949, 950, 1251, 1253, 437, 850, 10000, 28591, 20127};

std::u16string Decode(UINT inCodePage, DWORD inFlags, const std::vector<char>& inBytes, bool& outOk)
{
    const int theLength = static_cast<int>(inBytes.size());
    outOk = false;
    const int theNeeded = MultiByteToWideChar(inCodePage, inFlags, inBytes.data(), theLength, nullptr, 0);
    if (theNeeded <= 0)
        return {};
    // Exact-size buffers: a write past the announced size is caught.
    std::vector<WCHAR> theUnits(static_cast<size_t>(theNeeded));
    Check(MultiByteToWideChar(inCodePage, inFlags, inBytes.data(), theLength, theUnits.data(), theNeeded) == theNeeded,
          "decoded size as announced");
    if (theNeeded > 1) {
        std::vector<WCHAR> theShort(static_cast<size_t>(theNeeded - 1));
        SetLastError(0);
        Check(MultiByteToWideChar(inCodePage, inFlags, inBytes.data(), theLength, theShort.data(), theNeeded - 1) == 0 &&
                  GetLastError() == ERROR_INSUFFICIENT_BUFFER,
              "short decode buffer refused");
    }
    outOk = true;
    return std::u16string(theUnits.begin(), theUnits.end());
}

std::vector<char> Encode(UINT inCodePage, const std::u16string& inUnits, bool& outUsedDefault)
{
    const bool theUnicode = inCodePage == CP_UTF8;
    BOOL theUsed = FALSE;
    BOOL* theUsedOut = theUnicode ? nullptr : &theUsed;
    const int theLength = static_cast<int>(inUnits.size());
    const int theNeeded =
        WideCharToMultiByte(inCodePage, 0, inUnits.data(), theLength, nullptr, 0, nullptr, theUsedOut);
    Check(theNeeded > 0, "encoding succeeds");
    std::vector<char> theBytes(static_cast<size_t>(theNeeded));
    Check(WideCharToMultiByte(inCodePage, 0, inUnits.data(), theLength, theBytes.data(), theNeeded, nullptr,
                              theUsedOut) == theNeeded,
          "encoded size as announced");
    if (theNeeded > 1) {
        std::vector<char> theShort(static_cast<size_t>(theNeeded - 1));
        SetLastError(0);
        Check(WideCharToMultiByte(inCodePage, 0, inUnits.data(), theLength, theShort.data(), theNeeded - 1, nullptr,
                                  nullptr) == 0 &&
                  GetLastError() == ERROR_INSUFFICIENT_BUFFER,
              "short encode buffer refused");
    }
    outUsedDefault = theUsed != FALSE;
    return theBytes;
}

/// Plain UTF-8 to UTF-16 for well-formed input; false on anything ill-formed.
bool ReferenceUtf8(const std::vector<char>& inBytes, std::u16string& outUnits)
{
    for (size_t i = 0; i < inBytes.size();) {
        const unsigned char b0 = static_cast<unsigned char>(inBytes[i]);
        size_t theLength = b0 < 0x80 ? 1 : b0 >= 0xC2 && b0 <= 0xDF ? 2 : b0 >= 0xE0 && b0 <= 0xEF ? 3
                         : b0 >= 0xF0 && b0 <= 0xF4 ? 4 : 0;
        if (theLength == 0 || inBytes.size() - i < theLength)
            return false;
        char32_t theCode = theLength == 1 ? b0 : b0 & (0x7F >> theLength);
        for (size_t k = 1; k < theLength; ++k) {
            const unsigned char b = static_cast<unsigned char>(inBytes[i + k]);
            if ((b & 0xC0) != 0x80)
                return false;
            theCode = theCode << 6 | (b & 0x3F);
        }
        static const char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (theCode < kMinimum[theLength] || theCode > 0x10FFFF || (theCode >= 0xD800 && theCode <= 0xDFFF))
            return false;
        if (theCode < 0x10000) {
            outUnits += static_cast<char16_t>(theCode);
        } else {
            outUnits += static_cast<char16_t>(0xD800 + ((theCode - 0x10000) >> 10));
            outUnits += static_cast<char16_t>(0xDC00 + ((theCode - 0x10000) & 0x3FF));
        }
        i += theLength;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    if (inSize < 2 || inSize > 4096)
        return 0;
    const UINT theCodePage = kCodePages[inData[0] % (sizeof kCodePages / sizeof kCodePages[0])];
    const std::vector<char> theBytes(inData + 1, inData + inSize);

    bool theOk = false;
    const std::u16string theUnits = Decode(theCodePage, 0, theBytes, theOk);
    Check(theOk, "lenient decoding succeeds");
    bool theStrictOk = false;
    const std::u16string theStrict = Decode(theCodePage, MB_ERR_INVALID_CHARS, theBytes, theStrictOk);
    if (theStrictOk)
        Check(theStrict == theUnits, "strict and lenient agree");
    else
        Check(GetLastError() == ERROR_NO_UNICODE_TRANSLATION, "strict failure names invalid characters");

    if (theCodePage == CP_UTF8) {
        std::u16string theExpected;
        const bool theValid = ReferenceUtf8(theBytes, theExpected);
        Check(theValid == theStrictOk, "strict UTF-8 accepts exactly well-formed input");
        if (theValid)
            Check(theUnits == theExpected, "UTF-8 decodes like the plain decoder");
    }

    bool theUsedDefault = false;
    const std::vector<char> theEncoded = Encode(theCodePage, theUnits, theUsedDefault);
    if (!theUsedDefault) {
        const std::u16string theAgain = Decode(theCodePage, 0, theEncoded, theOk);
        Check(theOk && theAgain == theUnits, "decoded text encodes and decodes to itself");
    }

    // The bytes as UTF-16 units, lone surrogates and all, must encode without a fault.
    std::u16string theWide;
    for (size_t i = 0; i + 1 < theBytes.size(); i += 2)
        theWide += static_cast<char16_t>(static_cast<unsigned char>(theBytes[i]) |
                                         static_cast<unsigned char>(theBytes[i + 1]) << 8);
    if (!theWide.empty())
        Encode(theCodePage, theWide, theUsedDefault);
    return 0;
}

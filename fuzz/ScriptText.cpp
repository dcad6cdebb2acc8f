// Text between the wire and the script engine. Request names and values arrive as any
// bytes, go to the engine through Utf8ToScript and come back through ScriptToUtf8;
// pages can also build any string themselves. Checked against a plain decoder:
// - Utf8ToScript keeps valid UTF-8 and turns each bad byte into one U+FFFD (an encoded
//   surrogate as a whole into one), and its result is the engine's form exactly;
// - ScriptToUtf8 of anything is valid UTF-8, and of valid UTF-8 gives it back;
// - UTF-16 units, lone surrogates too, survive the trip through the engine's form.
// (Texts long enough to be converted in pieces are left to the unit tests: inputs that
// large would slow every run down a hundredfold.)
#include "host/ScriptText.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>
#include "FuzzCheck.h"

namespace {

using namespace ferrolift::host;

/// Length of the sequence at inPos if it is well formed apart from perhaps being a
/// surrogate, else 0; outCode receives its value.
size_t Sequence(std::string_view inText, size_t inPos, char32_t& outCode)
{
    const auto At = [&](size_t i) { return static_cast<unsigned char>(inText[inPos + i]); };
    const size_t theLeft = inText.size() - inPos;
    const unsigned char b0 = At(0);
    if (b0 < 0x80) {
        outCode = b0;
        return 1;
    }
    // Second-byte ranges rule out overlong forms and values above U+10FFFF.
    unsigned char theLow = 0x80, theHigh = 0xBF;
    size_t theLength = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        theLength = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        theLength = 3;
        theLow = b0 == 0xE0 ? 0xA0 : 0x80;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        theLength = 4;
        theLow = b0 == 0xF0 ? 0x90 : 0x80;
        theHigh = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (theLeft < theLength || At(1) < theLow || At(1) > theHigh)
        return 0;
    char32_t theCode = b0 & (theLength == 2 ? 0x1F : theLength == 3 ? 0x0F : 0x07);
    for (size_t i = 1; i < theLength; ++i) {
        if ((At(i) & 0xC0) != 0x80)
            return 0;
        theCode = theCode << 6 | (At(i) & 0x3F);
    }
    outCode = theCode;
    return theLength;
}

bool IsSurrogate(char32_t inCode)
{
    return inCode >= 0xD800 && inCode <= 0xDFFF;
}

/// The code points the wire bytes stand for, with the replacements described above.
std::u32string WireCodes(std::string_view inBytes)
{
    std::u32string theCodes;
    for (size_t thePos = 0; thePos < inBytes.size();) {
        char32_t theCode = 0;
        const size_t theLength = Sequence(inBytes, thePos, theCode);
        theCodes += theLength == 0 || IsSurrogate(theCode) ? U'\xFFFD' : theCode;
        thePos += theLength == 0 ? 1 : theLength;
    }
    return theCodes;
}

bool IsValidUtf8(std::string_view inBytes)
{
    for (size_t thePos = 0; thePos < inBytes.size();) {
        char32_t theCode = 0;
        const size_t theLength = Sequence(inBytes, thePos, theCode);
        if (theLength == 0 || IsSurrogate(theCode))
            return false;
        thePos += theLength;
    }
    return true;
}

/// The engine's form of code points: each UTF-16 unit as its own 1 to 3 byte sequence.
std::string EngineForm(const std::u32string& inCodes)
{
    std::u16string theUnits;
    for (const char32_t theCode : inCodes) {
        if (theCode < 0x10000) {
            theUnits += static_cast<char16_t>(theCode);
        } else {
            theUnits += static_cast<char16_t>(0xD800 + ((theCode - 0x10000) >> 10));
            theUnits += static_cast<char16_t>(0xDC00 + ((theCode - 0x10000) & 0x3FF));
        }
    }
    std::string theText;
    for (const char16_t theUnit : theUnits) {
        if (theUnit < 0x80) {
            theText += static_cast<char>(theUnit);
        } else if (theUnit < 0x800) {
            theText += static_cast<char>(0xC0 | theUnit >> 6);
            theText += static_cast<char>(0x80 | (theUnit & 0x3F));
        } else {
            theText += static_cast<char>(0xE0 | theUnit >> 12);
            theText += static_cast<char>(0x80 | (theUnit >> 6 & 0x3F));
            theText += static_cast<char>(0x80 | (theUnit & 0x3F));
        }
    }
    return theText;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    if (inSize > 8192)
        return 0;
    const std::string theBytes(reinterpret_cast<const char*>(inData), inSize);

    // Wire bytes into the engine and back.
    const std::string theScript = Utf8ToScript(theBytes);
    Check(theScript == EngineForm(WireCodes(theBytes)), "wire bytes to the engine's form");
    Check(Utf16ToScript(ScriptToUtf16(theScript)) == theScript, "engine form through UTF-16");
    const std::string theBack = ScriptToUtf8(theScript);
    Check(IsValidUtf8(theBack), "back on the wire is valid UTF-8");
    if (IsValidUtf8(theBytes))
        Check(theBack == theBytes, "valid UTF-8 comes back unchanged");

    // The bytes as a string a page made: whatever it holds, the wire gets valid UTF-8.
    Check(IsValidUtf8(ScriptToUtf8(theBytes)), "any engine string to valid UTF-8");

    // The bytes as UTF-16 units (little-endian pairs).
    std::u16string theUnits;
    for (size_t i = 0; i + 1 < theBytes.size() && theUnits.size() < 4096; i += 2)
        theUnits += static_cast<char16_t>(static_cast<unsigned char>(theBytes[i]) |
                                          static_cast<unsigned char>(theBytes[i + 1]) << 8);
    Check(ScriptToUtf16(Utf16ToScript(theUnits)) == theUnits, "UTF-16 units through the engine's form");
    return 0;
}

#include "host/ScriptText.h"

#include <algorithm>

#include <windows.h>

namespace ferrolift::host {

namespace {

// The engine's form: every UTF-16 unit, a lone surrogate too, as its own sequence.
void AppendUnit(std::string& inOut, char16_t inUnit)
{
    if (inUnit < 0x80) {
        inOut += static_cast<char>(inUnit);
    } else if (inUnit < 0x800) {
        inOut += static_cast<char>(0xC0 | (inUnit >> 6));
        inOut += static_cast<char>(0x80 | (inUnit & 0x3F));
    } else {
        inOut += static_cast<char>(0xE0 | (inUnit >> 12));
        inOut += static_cast<char>(0x80 | ((inUnit >> 6) & 0x3F));
        inOut += static_cast<char>(0x80 | (inUnit & 0x3F));
    }
}

// Decodes one sequence at inOutPos leniently (surrogates allowed, overlongs refused);
// an invalid byte yields U+FFFD and advances by one.
char32_t DecodeOne(std::string_view inText, std::size_t& inOutPos)
{
    unsigned char theLead = static_cast<unsigned char>(inText[inOutPos]);
    if (theLead < 0x80) {
        ++inOutPos;
        return theLead;
    }
    int theCount = theLead >= 0xC2 && theLead < 0xE0 ? 1 : theLead >= 0xE0 && theLead < 0xF0 ? 2
                 : theLead >= 0xF0 && theLead < 0xF5 ? 3 : -1;
    if (theCount < 0 || inOutPos + theCount >= inText.size()) {
        ++inOutPos;
        return 0xFFFD;
    }
    char32_t theCode = theLead & (0x3F >> theCount);
    for (int i = 1; i <= theCount; ++i) {
        unsigned char c = static_cast<unsigned char>(inText[inOutPos + i]);
        if ((c & 0xC0) != 0x80) {
            ++inOutPos;
            return 0xFFFD;
        }
        theCode = (theCode << 6) | (c & 0x3F);
    }
    static const char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (theCode < kMinimum[theCount] || theCode > 0x10FFFF) {
        ++inOutPos;
        return 0xFFFD;
    }
    inOutPos += theCount + 1;
    return theCode;
}

// Calls inEmit with the UTF-16 units of inCode: one, or a surrogate pair.
template <typename Emit>
void ForEachUnit(char32_t inCode, Emit inEmit)
{
    if (inCode < 0x10000) {
        inEmit(static_cast<char16_t>(inCode));
        return;
    }
    inEmit(static_cast<char16_t>(0xD800 | ((inCode - 0x10000) >> 10)));
    inEmit(static_cast<char16_t>(0xDC00 | ((inCode - 0x10000) & 0x3FF)));
}

bool IsHighSurrogate(char16_t inUnit)
{
    return inUnit >= 0xD800 && inUnit < 0xDC00;
}

// The platform converter counts in int, so long texts go to it in pieces; one unit
// makes at most three bytes.
constexpr std::size_t kPieceUnits = 1 << 16;

// Appends inCount units as standard UTF-8: pairs joined, a lone surrogate as U+FFFD.
void AppendUtf8(std::string& inOut, const char16_t* inUnits, std::size_t inCount)
{
    const std::size_t theStart = inOut.size();
    inOut.resize(theStart + inCount * 3);
    const int theWritten = WideCharToMultiByte(CP_UTF8, 0, inUnits, static_cast<int>(inCount),
                                               inOut.data() + theStart, static_cast<int>(inCount * 3), nullptr,
                                               nullptr);
    inOut.resize(theStart + static_cast<std::size_t>(theWritten));
}

}  // namespace

std::string Utf16ToScript(std::u16string_view inText)
{
    std::string theResult;
    theResult.reserve(inText.size());
    for (char16_t theUnit : inText)
        AppendUnit(theResult, theUnit);
    return theResult;
}

std::u16string ScriptToUtf16(std::string_view inText)
{
    std::u16string theResult;
    theResult.reserve(inText.size());
    for (std::size_t thePos = 0; thePos < inText.size();)
        ForEachUnit(DecodeOne(inText, thePos), [&](char16_t inUnit) { theResult += inUnit; });
    return theResult;
}

std::string ScriptToUtf8(std::string_view inText)
{
    const std::u16string theUnits = ScriptToUtf16(inText);
    std::string theResult;
    theResult.reserve(theUnits.size());
    for (std::size_t thePos = 0; thePos < theUnits.size();) {
        std::size_t theCount = std::min(theUnits.size() - thePos, kPieceUnits);
        if (thePos + theCount < theUnits.size() && IsHighSurrogate(theUnits[thePos + theCount - 1]))
            --theCount;   // keep the pair together in the next piece
        AppendUtf8(theResult, theUnits.data() + thePos, theCount);
        thePos += theCount;
    }
    return theResult;
}

std::string Utf8ToScript(std::string_view inBytes)
{
    std::string theResult;
    theResult.reserve(inBytes.size());
    for (std::size_t thePos = 0; thePos < inBytes.size();) {
        char32_t theCode = DecodeOne(inBytes, thePos);
        if (theCode >= 0xD800 && theCode < 0xE000)
            theCode = 0xFFFD;   // surrogates are not UTF-8
        ForEachUnit(theCode, [&](char16_t inUnit) { AppendUnit(theResult, inUnit); });
    }
    return theResult;
}

}  // namespace ferrolift::host

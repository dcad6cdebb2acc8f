#include "ScriptText.h"

namespace ferrolift::host {

namespace {

void AppendUtf8(std::string& inOut, char32_t inCode)
{
    if (inCode < 0x80) {
        inOut += static_cast<char>(inCode);
    } else if (inCode < 0x800) {
        inOut += static_cast<char>(0xC0 | (inCode >> 6));
        inOut += static_cast<char>(0x80 | (inCode & 0x3F));
    } else if (inCode < 0x10000) {
        inOut += static_cast<char>(0xE0 | (inCode >> 12));
        inOut += static_cast<char>(0x80 | ((inCode >> 6) & 0x3F));
        inOut += static_cast<char>(0x80 | (inCode & 0x3F));
    } else {
        inOut += static_cast<char>(0xF0 | (inCode >> 18));
        inOut += static_cast<char>(0x80 | ((inCode >> 12) & 0x3F));
        inOut += static_cast<char>(0x80 | ((inCode >> 6) & 0x3F));
        inOut += static_cast<char>(0x80 | (inCode & 0x3F));
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

}  // namespace

std::string Utf16ToScript(std::u16string_view inText)
{
    std::string theResult;
    theResult.reserve(inText.size());
    for (char16_t theUnit : inText)
        AppendUtf8(theResult, theUnit);
    return theResult;
}

std::u16string ScriptToUtf16(std::string_view inText)
{
    std::u16string theResult;
    theResult.reserve(inText.size());
    for (std::size_t thePos = 0; thePos < inText.size();) {
        char32_t theCode = DecodeOne(inText, thePos);
        if (theCode >= 0x10000) {
            theCode -= 0x10000;
            theResult += static_cast<char16_t>(0xD800 | (theCode >> 10));
            theResult += static_cast<char16_t>(0xDC00 | (theCode & 0x3FF));
        } else {
            theResult += static_cast<char16_t>(theCode);
        }
    }
    return theResult;
}

std::string ScriptToUtf8(std::string_view inText)
{
    std::u16string theUnits = ScriptToUtf16(inText);
    std::string theResult;
    theResult.reserve(theUnits.size());
    for (std::size_t i = 0; i < theUnits.size(); ++i) {
        char32_t theCode = theUnits[i];
        if (theCode >= 0xD800 && theCode < 0xDC00 && i + 1 < theUnits.size() && theUnits[i + 1] >= 0xDC00 &&
            theUnits[i + 1] < 0xE000) {
            theCode = 0x10000 + ((theCode - 0xD800) << 10) + (theUnits[++i] - 0xDC00);
        } else if (theCode >= 0xD800 && theCode < 0xE000) {
            theCode = 0xFFFD;
        }
        AppendUtf8(theResult, theCode);
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
        if (theCode >= 0x10000) {
            theCode -= 0x10000;
            AppendUtf8(theResult, 0xD800 | (theCode >> 10));
            AppendUtf8(theResult, 0xDC00 | (theCode & 0x3FF));
        } else {
            AppendUtf8(theResult, theCode);
        }
    }
    return theResult;
}

}  // namespace ferrolift::host

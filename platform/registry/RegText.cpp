// UTF conversions and name folding for the registry.
#include "platform/registry/RegText.h"

#include "platform/text/Utf8Codec.h"

namespace ferrolift::platform::reg {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one sequence at inText[ioPos]; advances past it (one byte when invalid).
char32_t DecodeUtf8(std::string_view inText, size_t& ioPos)
{
    const auto theLead = static_cast<unsigned char>(inText[ioPos++]);
    if (theLead < 0x80)
        return theLead;
    int theMore = 0;
    char32_t theCode = 0;
    char32_t theMinimum = 0;
    if ((theLead & 0xE0) == 0xC0) {
        theMore = 1, theCode = theLead & 0x1F, theMinimum = 0x80;
    } else if ((theLead & 0xF0) == 0xE0) {
        theMore = 2, theCode = theLead & 0x0F, theMinimum = 0x800;
    } else if ((theLead & 0xF8) == 0xF0) {
        theMore = 3, theCode = theLead & 0x07, theMinimum = 0x10000;
    } else {
        return kReplacement;
    }
    size_t thePos = ioPos;
    for (int i = 0; i < theMore; ++i, ++thePos) {
        if (thePos >= inText.size() || (static_cast<unsigned char>(inText[thePos]) & 0xC0) != 0x80)
            return kReplacement;
        theCode = (theCode << 6) | (static_cast<unsigned char>(inText[thePos]) & 0x3F);
    }
    if (theCode < theMinimum || theCode > 0x10FFFF || (theCode >= 0xD800 && theCode <= 0xDFFF))
        return kReplacement;
    ioPos = thePos;
    return theCode;
}

bool IsHigh(char16_t inUnit) { return inUnit >= 0xD800 && inUnit <= 0xDBFF; }
bool IsLow(char16_t inUnit) { return inUnit >= 0xDC00 && inUnit <= 0xDFFF; }

}  // namespace

std::u16string Utf8ToUtf16(std::string_view inText)
{
    std::u16string theResult;
    theResult.reserve(inText.size());
    for (size_t thePos = 0; thePos < inText.size();) {
        const char32_t theCode = DecodeUtf8(inText, thePos);
        if (theCode < 0x10000) {
            theResult += static_cast<char16_t>(theCode);
        } else {
            theResult += static_cast<char16_t>(0xD800 + ((theCode - 0x10000) >> 10));
            theResult += static_cast<char16_t>(0xDC00 + ((theCode - 0x10000) & 0x3FF));
        }
    }
    return theResult;
}

std::string Utf16ToUtf8(std::u16string_view inText)
{
    return Utf8String(inText);
}

bool IsWellFormedUtf16(std::u16string_view inText)
{
    for (size_t i = 0; i < inText.size(); ++i) {
        if (IsHigh(inText[i]) && i + 1 < inText.size() && IsLow(inText[i + 1]))
            ++i;
        else if (IsHigh(inText[i]) || IsLow(inText[i]))
            return false;
    }
    return true;
}

std::string FoldName(std::string_view inName)
{
    std::string theResult(inName);
    for (char& theChar : theResult)
        if (theChar >= 'a' && theChar <= 'z')
            theChar = static_cast<char>(theChar - 'a' + 'A');
    return theResult;
}

}  // namespace ferrolift::platform::reg

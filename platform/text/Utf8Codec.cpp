#include "platform/text/Utf8Codec.h"

#include "platform/types/WinError.h"

namespace ferrolift::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

/// What a lead byte announces: the number of continuation bytes and the range allowed
/// for the first of them (which excludes overlong forms, surrogates and values past
/// U+10FFFF); 0 continuations for a byte that cannot start a sequence.
struct LeadRule {
    int continuations;
    BYTE low;
    BYTE high;
};

LeadRule RuleFor(BYTE inLead)
{
    if (inLead >= 0xC2 && inLead <= 0xDF) return {1, 0x80, 0xBF};
    if (inLead == 0xE0) return {2, 0xA0, 0xBF};
    if (inLead == 0xED) return {2, 0x80, 0x9F};
    if (inLead >= 0xE1 && inLead <= 0xEF) return {2, 0x80, 0xBF};
    if (inLead == 0xF0) return {3, 0x90, 0xBF};
    if (inLead >= 0xF1 && inLead <= 0xF3) return {3, 0x80, 0xBF};
    if (inLead == 0xF4) return {3, 0x80, 0x8F};
    return {0, 0, 0};
}

bool PutCodePoint(char32_t inCode, OutputSink<WCHAR>& outSink)
{
    if (inCode < 0x10000)
        return outSink.Put(static_cast<WCHAR>(inCode));
    const char32_t theOffset = inCode - 0x10000;
    return outSink.Put(static_cast<WCHAR>(0xD800 + (theOffset >> 10))) &&
           outSink.Put(static_cast<WCHAR>(0xDC00 + (theOffset & 0x3FF)));
}

/// Reads one sequence starting at inText[ioPos]; returns the code point or kReplacement
/// for an invalid subsequence (outValid false), leaving ioPos after what it consumed.
char32_t ReadSequence(const BYTE* inText, size_t inLength, size_t& ioPos, bool& outValid)
{
    const BYTE theLead = inText[ioPos++];
    outValid = true;
    if (theLead < 0x80)
        return theLead;
    const LeadRule theRule = RuleFor(theLead);
    outValid = false;
    if (theRule.continuations == 0)
        return kReplacement;
    char32_t theCode = theLead & (0x3F >> theRule.continuations);
    for (int k = 0; k < theRule.continuations; ++k) {
        if (ioPos >= inLength)
            return kReplacement;
        const BYTE theByte = inText[ioPos];
        const BYTE theLow = k == 0 ? theRule.low : 0x80;
        const BYTE theHigh = k == 0 ? theRule.high : 0xBF;
        if (theByte < theLow || theByte > theHigh)
            return kReplacement;
        theCode = (theCode << 6) | (theByte & 0x3F);
        ++ioPos;
    }
    outValid = true;
    return theCode;
}

} // namespace

DWORD DecodeUtf8(const BYTE* inText, size_t inLength, bool inStrict, OutputSink<WCHAR>& outSink)
{
    size_t thePos = 0;
    while (thePos < inLength) {
        // ASCII runs are the common case: no sequence decoding for them.
        if (inText[thePos] < 0x80) {
            if (!outSink.Put(inText[thePos++]))
                return ERROR_INSUFFICIENT_BUFFER;
            continue;
        }
        bool theValid = false;
        const char32_t theCode = ReadSequence(inText, inLength, thePos, theValid);
        if (!theValid && inStrict)
            return ERROR_NO_UNICODE_TRANSLATION;
        if (!PutCodePoint(theCode, outSink))
            return ERROR_INSUFFICIENT_BUFFER;
    }
    return 0;
}

namespace {

bool PutUtf8(char32_t inCode, OutputSink<char>& outSink)
{
    if (inCode < 0x80)
        return outSink.Put(static_cast<char>(inCode));
    if (inCode < 0x800)
        return outSink.Put(static_cast<char>(0xC0 | (inCode >> 6))) &&
               outSink.Put(static_cast<char>(0x80 | (inCode & 0x3F)));
    if (inCode < 0x10000)
        return outSink.Put(static_cast<char>(0xE0 | (inCode >> 12))) &&
               outSink.Put(static_cast<char>(0x80 | ((inCode >> 6) & 0x3F))) &&
               outSink.Put(static_cast<char>(0x80 | (inCode & 0x3F)));
    return outSink.Put(static_cast<char>(0xF0 | (inCode >> 18))) &&
           outSink.Put(static_cast<char>(0x80 | ((inCode >> 12) & 0x3F))) &&
           outSink.Put(static_cast<char>(0x80 | ((inCode >> 6) & 0x3F))) &&
           outSink.Put(static_cast<char>(0x80 | (inCode & 0x3F)));
}

bool IsHighSurrogate(WCHAR inUnit) { return inUnit >= 0xD800 && inUnit <= 0xDBFF; }
bool IsLowSurrogate(WCHAR inUnit) { return inUnit >= 0xDC00 && inUnit <= 0xDFFF; }

} // namespace

DWORD EncodeUtf8(const WCHAR* inText, size_t inLength, bool inStrict, OutputSink<char>& outSink)
{
    for (size_t i = 0; i < inLength; ++i) {
        char32_t theCode = inText[i];
        if (IsHighSurrogate(inText[i]) && i + 1 < inLength && IsLowSurrogate(inText[i + 1])) {
            theCode = 0x10000 + ((theCode - 0xD800) << 10) + (inText[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(inText[i]) || IsLowSurrogate(inText[i])) {
            if (inStrict)
                return ERROR_NO_UNICODE_TRANSLATION;
            theCode = kReplacement;
        }
        if (!PutUtf8(theCode, outSink))
            return ERROR_INSUFFICIENT_BUFFER;
    }
    return 0;
}

std::string Utf8String(std::u16string_view inText)
{
    // Counted first, then written: the encoder writes into a buffer of known size.
    OutputSink<char> theCounter(nullptr, 0);
    EncodeUtf8(inText.data(), inText.size(), false, theCounter);
    std::string theResult(theCounter.Count(), '\0');
    OutputSink<char> theSink(theResult.data(), theResult.size());
    EncodeUtf8(inText.data(), inText.size(), false, theSink);
    return theResult;
}

} // namespace ferrolift::platform

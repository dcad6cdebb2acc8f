#include "platform/text/CodePages.h"

#include <climits>
#include <cstring>

#include "platform/text/CodePageTable.h"
#include "platform/text/Cp1252Codec.h"
#include "platform/text/IconvCodec.h"
#include "platform/text/Utf8Codec.h"
#include "platform/errors/Errors.h"
#include "platform/types/WinError.h"

using namespace ferrolift::platform;

namespace {

constexpr DWORD kMultiByteFlags = MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
constexpr DWORD kWideCharFlags = WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_COMPOSITECHECK |
                                 WC_NO_BEST_FIT_CHARS;

int Fail(DWORD inError)
{
    SetLastError(inError);
    return 0;
}

/// The code page entry that iconv or a hand codec can convert, or nullptr.
const CodePageEntry* UsableCodePage(UINT inCodePage)
{
    const CodePageEntry* theEntry = FindCodePage(ResolveCodePage(inCodePage));
    if (theEntry == nullptr)
        return nullptr;
    if (theEntry->iconvName != nullptr && !IconvSupports(*theEntry))
        return nullptr;
    return theEntry;
}

/// Flags the decoding direction accepts for a code page: UTF-8 takes only the
/// invalid-characters check, the stateful pages nothing at all.
bool MultiByteFlagsValid(UINT inNumber, DWORD inFlags)
{
    if (inNumber == CP_UTF8)
        return (inFlags & ~DWORD(MB_ERR_INVALID_CHARS)) == 0;
    if (inNumber == CP_UTF7 || inNumber == 50220 || inNumber == 54936)
        return inFlags == 0;
    if ((inFlags & ~kMultiByteFlags) != 0)
        return false;
    return (inFlags & (MB_PRECOMPOSED | MB_COMPOSITE)) != (MB_PRECOMPOSED | MB_COMPOSITE);
}

bool WideCharFlagsValid(UINT inNumber, DWORD inFlags)
{
    if (inNumber == CP_UTF8)
        return (inFlags & ~DWORD(WC_ERR_INVALID_CHARS)) == 0;
    if (inNumber == CP_UTF7 || inNumber == 50220 || inNumber == 54936)
        return inFlags == 0;
    return (inFlags & ~kWideCharFlags) == 0;
}

DWORD Decode(const CodePageEntry& inEntry, const BYTE* inText, size_t inLength, DWORD inFlags,
             OutputSink<WCHAR>& outSink)
{
    const bool theStrict = (inFlags & MB_ERR_INVALID_CHARS) != 0;
    if (inEntry.number == CP_UTF8)
        return DecodeUtf8(inText, inLength, theStrict, outSink);
    if (inEntry.number == 1252)
        return DecodeCp1252(inText, inLength, outSink);
    return DecodeIconv(inEntry, inText, inLength, theStrict, outSink);
}

/// The default character of a WideCharToMultiByte call: the caller's (its first
/// character, two bytes when that is a lead byte) or "?".
size_t DefaultCharacter(const CodePageEntry& inEntry, LPCCH inDefaultChar, char (&outChar)[2])
{
    outChar[0] = '?';
    if (inDefaultChar == nullptr || inDefaultChar[0] == '\0')
        return 1;
    outChar[0] = inDefaultChar[0];
    if (IsLeadByte(inEntry, static_cast<BYTE>(inDefaultChar[0])) && inDefaultChar[1] != '\0') {
        outChar[1] = inDefaultChar[1];
        return 2;
    }
    return 1;
}

DWORD Encode(const CodePageEntry& inEntry, const WCHAR* inText, size_t inLength, DWORD inFlags,
             LPCCH inDefaultChar, BOOL* outUsedDefault, OutputSink<char>& outSink)
{
    if (inEntry.number == CP_UTF8)
        return EncodeUtf8(inText, inLength, (inFlags & WC_ERR_INVALID_CHARS) != 0, outSink);
    char theDefault[2] = {};
    const size_t theDefaultLength = DefaultCharacter(inEntry, inDefaultChar, theDefault);
    if (inEntry.number == 1252)
        return EncodeCp1252(inText, inLength, theDefault[0], outUsedDefault, outSink);
    return EncodeIconv(inEntry, inText, inLength, theDefault, theDefaultLength, outUsedDefault, outSink);
}

size_t WideLength(LPCWCH inText)
{
    size_t theLength = 0;
    while (inText[theLength] != 0)
        ++theLength;
    return theLength;
}

} // namespace

extern "C" {

int WINAPI MultiByteToWideChar(UINT inCodePage, DWORD inFlags, LPCCH inText, int inCount, LPWSTR outText,
                               int outSize)
{
    // Only -1 means "up to the terminator"; any other negative count is a caller's error
    // and must not start a scan that may run past the caller's bytes.
    if (inText == nullptr || inCount == 0 || inCount < -1 || outSize < 0 || (outText == nullptr && outSize != 0) ||
        static_cast<const void*>(inText) == static_cast<const void*>(outText))
        return Fail(ERROR_INVALID_PARAMETER);
    const CodePageEntry* theEntry = UsableCodePage(inCodePage);
    if (theEntry == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!MultiByteFlagsValid(theEntry->number, inFlags))
        return Fail(ERROR_INVALID_FLAGS);
    const size_t theLength = inCount == -1 ? std::strlen(inText) + 1 : static_cast<size_t>(inCount);
    OutputSink<WCHAR> theSink(outSize == 0 ? nullptr : outText, static_cast<size_t>(outSize));
    const DWORD theError = Decode(*theEntry, reinterpret_cast<const BYTE*>(inText), theLength, inFlags, theSink);
    if (theError != 0)
        return Fail(theError);
    if (theSink.Count() > INT_MAX)
        return Fail(ERROR_INVALID_PARAMETER);
    return static_cast<int>(theSink.Count());
}

int WINAPI WideCharToMultiByte(UINT inCodePage, DWORD inFlags, LPCWCH inText, int inCount, LPSTR outText,
                               int outSize, LPCCH inDefaultChar, LPBOOL outUsedDefault)
{
    // As above: only -1 means "up to the terminator".
    if (inText == nullptr || inCount == 0 || inCount < -1 || outSize < 0 || (outText == nullptr && outSize != 0) ||
        static_cast<const void*>(inText) == static_cast<const void*>(outText))
        return Fail(ERROR_INVALID_PARAMETER);
    const CodePageEntry* theEntry = UsableCodePage(inCodePage);
    if (theEntry == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    const bool theUnicode = theEntry->number == CP_UTF8 || theEntry->number == CP_UTF7;
    if (theUnicode && (inDefaultChar != nullptr || outUsedDefault != nullptr))
        return Fail(ERROR_INVALID_PARAMETER);
    if (!WideCharFlagsValid(theEntry->number, inFlags))
        return Fail(ERROR_INVALID_FLAGS);
    if (outUsedDefault != nullptr)
        *outUsedDefault = FALSE;
    const size_t theLength = inCount == -1 ? WideLength(inText) + 1 : static_cast<size_t>(inCount);
    OutputSink<char> theSink(outSize == 0 ? nullptr : outText, static_cast<size_t>(outSize));
    const DWORD theError = Encode(*theEntry, inText, theLength, inFlags, inDefaultChar, outUsedDefault, theSink);
    if (theError != 0)
        return Fail(theError);
    if (theSink.Count() > INT_MAX)
        return Fail(ERROR_INVALID_PARAMETER);
    return static_cast<int>(theSink.Count());
}

BOOL WINAPI IsValidCodePage(UINT inCodePage)
{
    // The symbolic numbers name no code page of their own.
    if (inCodePage == CP_ACP || inCodePage == CP_OEMCP || inCodePage == CP_MACCP || inCodePage == CP_THREAD_ACP)
        return FALSE;
    return UsableCodePage(inCodePage) != nullptr ? TRUE : FALSE;
}

BOOL WINAPI IsDBCSLeadByteEx(UINT inCodePage, BYTE inByte)
{
    const CodePageEntry* theEntry = UsableCodePage(inCodePage);
    if (theEntry == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return IsLeadByte(*theEntry, inByte) ? TRUE : FALSE;
}

BOOL WINAPI IsDBCSLeadByte(BYTE inByte)
{
    return IsDBCSLeadByteEx(CP_ACP, inByte);
}

BOOL WINAPI GetCPInfo(UINT inCodePage, LPCPINFO outInfo)
{
    const CodePageEntry* theEntry = UsableCodePage(inCodePage);
    if (theEntry == nullptr || outInfo == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memset(outInfo, 0, sizeof *outInfo);
    outInfo->MaxCharSize = theEntry->maxCharSize;
    outInfo->DefaultChar[0] = '?';
    std::memcpy(outInfo->LeadByte, theEntry->leadRanges, sizeof outInfo->LeadByte);
    return TRUE;
}

} // extern "C"

#include "intake/MultipartParser.h"

#include "support/Utilities.h"

#include <cstring>

namespace {

constexpr char kDisposition[] = "Content-Disposition:";
constexpr char kContentType[] = "Content-Type:";

/// True when the inLength bytes at inText equal the ASCII inPattern, ignoring letter case.
/// The patterns are plain ASCII, so a double-byte character never matches them.
bool StartsWithNoCase(const BYTE* inText, size_t inTextLength, const char* inPattern, size_t inLength)
{
    if (inTextLength < inLength)
        return false;
    for (size_t i = 0; i < inLength; ++i) {
        BYTE a = inText[i];
        BYTE b = static_cast<BYTE>(inPattern[i]);
        if (a >= 'A' && a <= 'Z')
            a = static_cast<BYTE>(a + ('a' - 'A'));
        if (b >= 'A' && b <= 'Z')
            b = static_cast<BYTE>(b + ('a' - 'A'));
        if (a != b)
            return false;
    }
    return true;
}

/// The bounded search of the whole walk: the byte at inLast never belongs to a match.
const BYTE* Find(const BYTE* inStart, const char* inPattern, const BYTE* inLast)
{
    return FindInRange(inStart, inPattern, inLast);
}

}  // namespace

MultipartParser::MultipartParser(FieldGroupList& inOutGroups, UINT inCodePage)
    : mGroups(inOutGroups), mCodePage(inCodePage)
{
}

const BYTE* MultipartParser::KeySearch::Find(const BYTE* inStart, const BYTE* inBound)
{
    // The first match at or after mFrom is also the first at or after any later start
    // up to it; "none" from mFrom stays none for every later start.
    bool theKnown = mFrom != nullptr && mBound == inBound && mFrom <= inStart && (mFound == nullptr || mFound >= inStart);
    if (theKnown)
        return mFound;
    mFrom = inStart;
    mBound = inBound;
    mFound = ::Find(inStart, mKey, inBound);
    return mFound;
}

void MultipartParser::ExtractValue(const BYTE* inStart, const BYTE* inLast, KeySearch& inOutKey, char* outValue)
{
    outValue[0] = 0;
    const BYTE* theKey = inOutKey.Find(inStart, inLast);
    if (theKey == nullptr)
        return;
    const BYTE* theValue = theKey + ::strlen(inOutKey.mKey);
    if (theValue <= inLast && *theValue == '"')
        ++theValue;
    // The value ends at CR or a quote; no escapes. Only its first 259 bytes are kept, so
    // the scan need not look further (which keeps repeated headers cheap).
    size_t theLength = 0;
    while (theLength < kValueBuffer - 1 && theValue + theLength <= inLast) {
        BYTE theByte = theValue[theLength];
        if (theByte == '\r' || theByte == '"')
            break;
        ++theLength;
    }
    ::memcpy(outValue, theValue, theLength);
    outValue[theLength] = 0;
}

void MultipartParser::ParseMultipart(const BYTE* inStart, const BYTE* inLast)
{
    const BYTE* theDash = Find(inStart, "--", inLast);
    if (theDash == nullptr)
        return;
    const BYTE* theLineEnd = Find(theDash, "\r\n", inLast);
    if (theLineEnd == nullptr)
        return;
    size_t theDividerLength = static_cast<size_t>(theLineEnd - theDash);
    // Long dividers are compared on their first 32 bytes only: enough to be unique.
    char theDivider[kMaxDivider + 1];
    size_t theCopied = theDividerLength < kMaxDivider ? theDividerLength : kMaxDivider;
    ::memcpy(theDivider, theDash, theCopied);
    theDivider[theCopied] = 0;

    const BYTE* thePart = theDash;
    while (thePart != nullptr)
        thePart = ParsePart(thePart, inLast, theDivider, theDividerLength);
}

const BYTE* MultipartParser::ParsePart(const BYTE* inPart, const BYTE* inLast, const char* inDivider,
                                       size_t inDividerLength)
{
    if (::memcmp(inPart, inDivider, ::strlen(inDivider)) != 0)
        return nullptr;
    // The closing divider continues with "--" instead of CR LF and so ends the walk here.
    if (static_cast<size_t>(inLast - inPart) < inDividerLength + 2)
        return nullptr;
    if (inPart[inDividerLength] != '\r' || inPart[inDividerLength + 1] != '\n')
        return nullptr;

    char theName[kValueBuffer] = "";
    char theFileName[kValueBuffer] = "";
    char theContentType[kValueBuffer] = "";
    bool hasDisposition = false;
    const BYTE* theLine = inPart + inDividerLength + 2;
    for (;;) {
        const BYTE* theLineEnd = Find(theLine, "\r\n", inLast);
        if (theLineEnd == nullptr || theLineEnd == theLine)
            break;
        size_t theLineLength = static_cast<size_t>(theLineEnd - theLine);
        if (StartsWithNoCase(theLine, theLineLength, kDisposition, sizeof(kDisposition) - 1)) {
            const BYTE* theHeadersEnd = mHeadersEnd.Find(theLine, inLast);
            if (theHeadersEnd != nullptr) {
                ExtractValue(theLine, theHeadersEnd, mNameKey, theName);
                ExtractValue(theLine, theHeadersEnd, mFileNameKey, theFileName);
                hasDisposition = true;
            }
        } else if (StartsWithNoCase(theLine, theLineLength, kContentType, sizeof(kContentType) - 1)) {
            const BYTE* theHeadersEnd = mHeadersEnd.Find(theLine, inLast);
            if (theHeadersEnd != nullptr)
                ExtractValue(theLine, theHeadersEnd, mTypeKey, theContentType);
        }
        theLine = theLineEnd + 2;
    }

    if (inLast - theLine < 2)
        return nullptr;
    const BYTE* theData = theLine + 2;
    const BYTE* theNext = Find(theData, inDivider, inLast);
    if (theNext == nullptr)
        return nullptr;
    // The CR LF before the next divider belongs to the divider, not to the data.
    const ptrdiff_t theSize = theNext - theData - 2;
    if (theSize > static_cast<ptrdiff_t>(kMaxFieldLength)) {
        mOversized = true;
        return nullptr;
    }
    const LONG theLength = theSize > 0 ? static_cast<LONG>(theSize) : 0;
    if (hasDisposition)
        mGroups.AddItem(theName, theFileName, theContentType, theData, theLength, mCodePage);
    return theNext;
}

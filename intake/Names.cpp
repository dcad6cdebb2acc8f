#include "intake/Names.h"

#include <initializer_list>

#include "platform/common/HexDigit.h"
#include "support/Assertions.h"

namespace {

/// The unit value of a byte: bytes are taken as unsigned, so 0xE9 gives U+00E9.
WCHAR UnitOf(char inByte)
{
    return static_cast<WCHAR>(static_cast<unsigned char>(inByte));
}

bool IsDecimalDigit(char inByte)
{
    return inByte >= '0' && inByte <= '9';
}

/// The private-use unit a Macintosh file service stores for inUnit, inUnit itself when
/// it needs none, or 0 for a colon, which is dropped.
WCHAR MacUnit(WCHAR inUnit)
{
    if (inUnit >= 0x0001 && inUnit <= 0x001F)
        return static_cast<WCHAR>(inUnit + 0xF000);
    switch (inUnit) {
    case u'"': return 0xF020;
    case u'*': return 0xF021;
    case u'/': return 0xF022;
    case u'<': return 0xF023;
    case u'>': return 0xF024;
    case u'?': return 0xF025;
    case u'\\': return 0xF026;
    case u'|': return 0xF027;
    case 0x00F0: return 0xF02A;
    case u':': return 0;
    default: return inUnit;
    }
}

/// inUnit, or 0 for a control unit or a character Windows forbids in file names.
WCHAR WindowsUnit(WCHAR inUnit)
{
    if (inUnit < 0x0020)
        return 0;
    switch (inUnit) {
    case u'"': case u'*': case u'/': case u':': case u'<': case u'>': case u'?': case u'\\': case u'|':
        return 0;
    default:
        return inUnit;
    }
}

/// Lower-case letters, digits, '-' and '.' as they are (capitals lowered); '_' for the rest.
WCHAR URLUnit(WCHAR inUnit)
{
    if ((inUnit >= u'a' && inUnit <= u'z') || (inUnit >= u'0' && inUnit <= u'9') || inUnit == u'-' || inUnit == u'.')
        return inUnit;
    if (inUnit >= u'A' && inUnit <= u'Z')
        return static_cast<WCHAR>(inUnit - u'A' + u'a');
    return u'_';
}

/// The checks every decoder makes of its buffers; false when there is nothing to do.
bool CanDecode(const char* inText, const WCHAR* outText, int inMaxLen)
{
    FER_ASSERT(inText != nullptr);
    FER_ASSERT(outText != nullptr || inMaxLen == 0);
    return inText != nullptr && outText != nullptr && inMaxLen >= 1;
}

/// Copies inName into outName (kNameBufferLength units) through inMap, which returns 0
/// for a unit to drop; terminates and returns the units written.
int CopyMapped(const WCHAR* inName, WCHAR* outName, WCHAR (*inMap)(WCHAR))
{
    int theCount = 0;
    for (const WCHAR* theUnit = inName; theUnit != nullptr && *theUnit != 0 && theCount < kNameBufferLength - 1;
         ++theUnit) {
        const WCHAR theMapped = inMap(*theUnit);
        if (theMapped != 0)
            outName[theCount++] = theMapped;
    }
    outName[theCount] = 0;
    return theCount;
}

/// Terminates every non-null output, so a caller that broke the contract still gets
/// valid (empty) strings.
void ClearNames(WCHAR* outRawPath, WCHAR* outSafeName, WCHAR* outURLSafeName)
{
    for (WCHAR* theName : {outRawPath, outSafeName, outURLSafeName}) {
        if (theName != nullptr)
            theName[0] = 0;
    }
}

} // namespace

void SplitClientPath(const char* inPath, UINT inCodePage, WCHAR* outRawPath, WCHAR* outSafeName,
                     WCHAR* outURLSafeName)
{
    FER_ASSERT(inPath != nullptr);
    FER_ASSERT(outRawPath != nullptr && outSafeName != nullptr && outURLSafeName != nullptr);
    ClearNames(outRawPath, outSafeName, outURLSafeName);
    if (inPath == nullptr || outRawPath == nullptr || outSafeName == nullptr || outURLSafeName == nullptr)
        return;
    if (inPath[0] == '\0')
        return;
    // Browsers send names escaped in different ways; the first decoding that works wins.
    if (!DecodePercentEscapes(inPath, outRawPath, kNameBufferLength) &&
        !DecodeCharacterReferences(inPath, outRawPath, kNameBufferLength) &&
        !DecodeCodePage(inPath, outRawPath, kNameBufferLength, inCodePage))
        WidenBytes(inPath, outRawPath, kNameBufferLength);
    if (IsBareMacName(outRawPath))
        MacSafeName(outRawPath, outSafeName);
    else
        WindowsSafeName(LastPathComponent(outRawPath), outSafeName);
    URLSafeName(LastPathComponent(outRawPath), outURLSafeName);
}

bool DecodePercentEscapes(const char* inText, WCHAR* outText, int inMaxLen)
{
    if (!CanDecode(inText, outText, inMaxLen))
        return false;
    bool theSeen = false;
    int theCount = 0;
    const char* theByte = inText;
    while (*theByte != '\0' && theCount < inMaxLen - 1) {
        if (*theByte != '%') {
            outText[theCount++] = UnitOf(*theByte++);
            continue;
        }
        theSeen = true;
        const int theHigh = HexDigitValue(theByte[1]);
        // theByte[2] exists whenever theByte[1] is a digit (not the terminator).
        const int theLow = theHigh < 0 ? -1 : HexDigitValue(theByte[2]);
        if (theLow < 0) {
            outText[theCount] = 0;
            return false;
        }
        outText[theCount++] = static_cast<WCHAR>(theHigh * 16 + theLow);
        theByte += 3;
    }
    outText[theCount] = 0;
    return theSeen;
}

bool DecodeCharacterReferences(const char* inText, WCHAR* outText, int inMaxLen)
{
    if (!CanDecode(inText, outText, inMaxLen))
        return false;
    bool theDecoded = false;
    int theCount = 0;
    const char* theByte = inText;
    while (*theByte != '\0' && theCount < inMaxLen - 1) {
        if (theByte[0] == '&' && theByte[1] == '#') {
            const char* theDigit = theByte + 2;
            unsigned long theValue = 0;
            while (IsDecimalDigit(*theDigit) && theValue <= 65535)
                theValue = theValue * 10 + static_cast<unsigned long>(*theDigit++ - '0');
            if (*theDigit == ';' && theValue >= 1 && theValue <= 65535) {
                outText[theCount++] = static_cast<WCHAR>(theValue);
                theByte = theDigit + 1;
                theDecoded = true;
                continue;
            }
        }
        // Not a reference: the '&' (and anything after it) is ordinary text.
        outText[theCount++] = UnitOf(*theByte++);
    }
    outText[theCount] = 0;
    return theDecoded;
}

bool DecodeCodePage(const char* inText, WCHAR* outText, int inMaxLen, UINT inCodePage)
{
    // With no room the platform call would only count, which is no decoding at all.
    if (!CanDecode(inText, outText, inMaxLen))
        return false;
    // UTF-8 refuses the composition flags that the other code pages take.
    const DWORD theFlags = inCodePage == CP_UTF8 ? 0 : MB_PRECOMPOSED | MB_USEGLYPHCHARS;
    return MultiByteToWideChar(inCodePage, theFlags, inText, -1, outText, inMaxLen) > 0;
}

void WidenBytes(const char* inText, WCHAR* outText, int inMaxLen)
{
    if (!CanDecode(inText, outText, inMaxLen))
        return;
    int theCount = 0;
    while (inText[theCount] != '\0' && theCount < inMaxLen - 1) {
        outText[theCount] = UnitOf(inText[theCount]);
        ++theCount;
    }
    outText[theCount] = 0;
}

bool IsBareMacName(const WCHAR* inText)
{
    FER_ASSERT(inText != nullptr);
    if (inText == nullptr || inText[0] == u'\\')
        return false;
    for (const WCHAR* theUnit = inText; *theUnit != 0; ++theUnit) {
        if (*theUnit == u':')
            return false;
    }
    return true;
}

const WCHAR* LastPathComponent(const WCHAR* inPath)
{
    FER_ASSERT(inPath != nullptr);
    if (inPath == nullptr)
        return OLESTR("");
    const WCHAR* theStart = inPath;
    for (const WCHAR* theUnit = inPath; *theUnit != 0; ++theUnit) {
        if (*theUnit == u'\\')
            theStart = theUnit + 1;
    }
    return theStart;
}

const WCHAR* PathExtension(const WCHAR* inPath)
{
    FER_ASSERT(inPath != nullptr);
    if (inPath == nullptr)
        return OLESTR("");
    const WCHAR* thePeriod = nullptr;
    const WCHAR* theUnit = inPath;
    for (; *theUnit != 0; ++theUnit) {
        if (*theUnit == u'.')
            thePeriod = theUnit;
        else if (*theUnit == u'\\')
            thePeriod = nullptr;
    }
    return thePeriod != nullptr ? thePeriod + 1 : theUnit;
}

WCHAR* MacSafeName(const WCHAR* inName, WCHAR* outName)
{
    FER_ASSERT(inName != nullptr && outName != nullptr);
    if (outName == nullptr)
        return outName;
    const int theCount = CopyMapped(inName, outName, MacUnit);
    // A trailing space or period would vanish on the file system; only the last unit counts.
    if (theCount > 0 && outName[theCount - 1] == u' ')
        outName[theCount - 1] = 0xF028;
    else if (theCount > 0 && outName[theCount - 1] == u'.')
        outName[theCount - 1] = 0xF029;
    return outName;
}

WCHAR* WindowsSafeName(const WCHAR* inName, WCHAR* outName)
{
    FER_ASSERT(inName != nullptr && outName != nullptr);
    if (outName == nullptr)
        return outName;
    int theCount = CopyMapped(inName, outName, WindowsUnit);
    while (theCount > 0 && (outName[theCount - 1] == u' ' || outName[theCount - 1] == u'.'))
        --theCount;
    outName[theCount] = 0;
    return outName;
}

WCHAR* URLSafeName(const WCHAR* inName, WCHAR* outName)
{
    FER_ASSERT(inName != nullptr && outName != nullptr);
    if (outName == nullptr)
        return outName;
    CopyMapped(inName, outName, URLUnit);
    return outName;
}

void URLDecodeInPlace(char* inText)
{
    FER_ASSERT(inText != nullptr);
    if (inText == nullptr)
        return;
    const char* theRead = inText;
    char* theWrite = inText;
    while (*theRead != '\0') {
        if (*theRead == '+') {
            *theWrite++ = ' ';
            ++theRead;
        } else if (*theRead != '%') {
            *theWrite++ = *theRead++;
        } else if (const int theHigh = HexDigitValue(theRead[1]); theHigh < 0) {
            ++theRead;   // drop the '%', go on at the non-digit (or the end)
        } else if (const int theLow = HexDigitValue(theRead[2]); theLow < 0) {
            theRead += 2;   // drop '%' and its one digit
        } else {
            *theWrite++ = static_cast<char>(theHigh * 16 + theLow);
            theRead += 3;
        }
    }
    *theWrite = '\0';
}

bool HasWideCharacters(const WCHAR* inText)
{
    FER_ASSERT(inText != nullptr);
    if (inText == nullptr)
        return false;
    for (const WCHAR* theUnit = inText; *theUnit != 0; ++theUnit) {
        if (*theUnit >= 256)
            return true;
    }
    return false;
}

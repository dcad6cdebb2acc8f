// FilePath.cpp: path conversion and the stream-name rule.
#include "platform/files/FilePath.h"

#include "platform/errors/Errors.h"
#include "platform/text/Utf8Codec.h"

#include <cstring>
#include <strings.h>
#include <sys/stat.h>

namespace ferrolift::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr const char* kStreamPrefix = "user.DosStream.";
constexpr const char* kStreamSuffix = ":$DATA";
// Linux attribute names hold at most 255 bytes.
constexpr size_t kMaxAttributeName = 255;

// Decodes one UTF-8 sequence at inText[ioPos], rejecting overlong forms and surrogates.
char32_t DecodeUtf8(const std::string& inText, size_t& ioPos)
{
    const unsigned char theLead = static_cast<unsigned char>(inText[ioPos++]);
    if (theLead < 0x80)
        return theLead;
    int theMore = theLead >= 0xF0 && theLead <= 0xF4 ? 3 : theLead >= 0xE0 ? 2 : theLead >= 0xC2 ? 1 : -1;
    if (theLead >= 0xF5 || theMore < 0)
        return kReplacement;
    char32_t theCode = theLead & (0x3F >> theMore);
    for (int i = 0; i < theMore; ++i) {
        if (ioPos >= inText.size() || (static_cast<unsigned char>(inText[ioPos]) & 0xC0) != 0x80)
            return kReplacement;
        theCode = (theCode << 6) | (static_cast<unsigned char>(inText[ioPos++]) & 0x3F);
    }
    const char32_t theMinimum = theMore == 1 ? 0x80 : theMore == 2 ? 0x800 : 0x10000;
    if (theCode < theMinimum || theCode > 0x10FFFF || (theCode >= 0xD800 && theCode <= 0xDFFF))
        return kReplacement;
    return theCode;
}

bool Fail(DWORD inCode)
{
    SetLastError(inCode);
    return false;
}

// Splits "NAME" or "NAME:$DATA" (the part after the first ':') into the attribute name.
bool StreamAttribute(const std::string& inSpec, std::string& outAttribute)
{
    if (inSpec.empty())
        return Fail(ERROR_INVALID_NAME);   // "file:" names nothing
    std::string theName = inSpec;
    const size_t theColon = inSpec.find(':');
    if (theColon != std::string::npos) {
        if (strcasecmp(inSpec.c_str() + theColon, kStreamSuffix) != 0)
            return Fail(ERROR_INVALID_NAME);
        theName = inSpec.substr(0, theColon);
    }
    if (theName.empty()) {
        outAttribute.clear();   // "file::$DATA" is the file's own data
        return true;
    }
    outAttribute = std::string(kStreamPrefix) + theName + kStreamSuffix;
    if (outAttribute.size() > kMaxAttributeName)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    return true;
}

}  // namespace

std::string Utf8FromUtf16(LPCWSTR inText)
{
    return inText ? Utf8String(std::u16string_view(inText)) : std::string();
}

std::u16string Utf16FromUtf8(const std::string& inText)
{
    std::u16string theResult;
    for (size_t thePos = 0; thePos < inText.size();) {
        const char32_t theCode = DecodeUtf8(inText, thePos);
        if (theCode >= 0x10000) {
            theResult += static_cast<char16_t>(0xD800 + ((theCode - 0x10000) >> 10));
            theResult += static_cast<char16_t>(0xDC00 + ((theCode - 0x10000) & 0x3FF));
        } else {
            theResult += static_cast<char16_t>(theCode);
        }
    }
    return theResult;
}

DWORD CopyOutWithSize(const std::string& inText, LPSTR outBuffer, DWORD inCapacity)
{
    if (!outBuffer || inText.size() + 1 > inCapacity)
        return static_cast<DWORD>(inText.size() + 1);
    memcpy(outBuffer, inText.c_str(), inText.size() + 1);
    return static_cast<DWORD>(inText.size());
}

DWORD CopyOutWithSize(const std::string& inText, LPWSTR outBuffer, DWORD inCapacity)
{
    const std::u16string theWide = Utf16FromUtf8(inText);
    if (!outBuffer || theWide.size() + 1 > inCapacity)
        return static_cast<DWORD>(theWide.size() + 1);
    memcpy(outBuffer, theWide.c_str(), (theWide.size() + 1) * sizeof(WCHAR));
    return static_cast<DWORD>(theWide.size());
}

bool ParseFilePath(LPCSTR inPath, FilePath& outPath)
{
    outPath = FilePath{};
    if (!inPath || !*inPath)
        return Fail(ERROR_PATH_NOT_FOUND);
    std::string thePath(inPath);
    for (char& c : thePath) {
        if (c == '\\')
            c = '/';
    }
    const size_t theSlash = thePath.rfind('/');
    const size_t theLastStart = theSlash == std::string::npos ? 0 : theSlash + 1;
    const size_t theColon = thePath.find(':', theLastStart);
    if (theColon == std::string::npos) {
        outPath.file = std::move(thePath);
        return true;
    }
    if (theColon == theLastStart)
        return Fail(ERROR_INVALID_NAME);   // no file name before the stream name
    if (!StreamAttribute(thePath.substr(theColon + 1), outPath.attribute))
        return false;
    outPath.file = thePath.substr(0, theColon);
    return true;
}

bool ParseFilePath(LPCWSTR inPath, FilePath& outPath)
{
    if (!inPath) {
        outPath = FilePath{};
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    const std::string theUtf8 = Utf8FromUtf16(inPath);
    return ParseFilePath(theUtf8.c_str(), outPath);
}

}  // namespace ferrolift::platform

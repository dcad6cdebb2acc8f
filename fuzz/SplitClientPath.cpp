// Client file names from arbitrary filename bytes: every output stays within its buffer,
// is terminated, and keeps the rules of its kind.
#include "intake/Names.h"

#include <cstdlib>
#include <string>

namespace {

// Explicit pages only: the system page would read the registry on every run.
constexpr UINT kCodePages[] = {1252, CP_UTF8, 932, 936, 1251, 10000, 12345};

size_t CheckedLength(const WCHAR* inText)
{
    size_t theLength = 0;
    while (theLength < kNameBufferLength && inText[theLength] != 0)
        ++theLength;
    if (theLength == kNameBufferLength)
        std::abort();
    return theLength;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    if (inSize < 1)
        return 0;
    const UINT theCodePage = kCodePages[inData[0] % (sizeof kCodePages / sizeof kCodePages[0])];
    std::string thePath(reinterpret_cast<const char*>(inData + 1), inSize - 1);
    thePath.resize(std::char_traits<char>::length(thePath.c_str()));
    WCHAR theRaw[kNameBufferLength];
    WCHAR theSafe[kNameBufferLength];
    WCHAR theURL[kNameBufferLength];
    SplitClientPath(thePath.c_str(), theCodePage, theRaw, theSafe, theURL);
    CheckedLength(theRaw);
    CheckedLength(theSafe);
    const size_t theURLLength = CheckedLength(theURL);
    if (theURLLength != CheckedLength(LastPathComponent(theRaw)))
        std::abort();
    for (size_t i = 0; i < theURLLength; ++i) {
        const WCHAR theUnit = theURL[i];
        if (!((theUnit >= u'a' && theUnit <= u'z') || (theUnit >= u'0' && theUnit <= u'9') || theUnit == u'-' ||
              theUnit == u'.' || theUnit == u'_'))
            std::abort();
    }
    std::string theDecoded = thePath;
    URLDecodeInPlace(theDecoded.data());
    if (std::char_traits<char>::length(theDecoded.c_str()) > thePath.size())
        std::abort();
    return 0;
}

#include "intake/UrlEncodedParser.h"

#include "intake/Names.h"

#include <cstring>
#include <new>

std::unique_ptr<char[]> ParseURLEncoded(const BYTE* inBody, DWORD inSize, FieldGroupList& inOutGroups,
                                        UINT inCodePage)
{
    std::unique_ptr<char[]> theCopy(new (std::nothrow) char[static_cast<size_t>(inSize) + 2]);
    if (!theCopy)
        return nullptr;
    if (inSize != 0)
        ::memcpy(theCopy.get(), inBody, inSize);
    theCopy[inSize] = '&';
    theCopy[static_cast<size_t>(inSize) + 1] = 0;

    char* theName = theCopy.get();
    for (;;) {
        // The name runs to the next "=", across any "&" on the way: "a&b=1" names "a&b".
        char* theEquals = ::strchr(theName, '=');
        if (theEquals == nullptr)
            break;
        *theEquals = 0;
        char* theValue = theEquals + 1;
        char* theNext = ::strchr(theValue, '&');
        if (theNext != nullptr)
            *theNext++ = 0;
        URLDecodeInPlace(theName);
        URLDecodeInPlace(theValue);
        inOutGroups.AddItem(theName, "", "", reinterpret_cast<const BYTE*>(theValue),
                            static_cast<LONG>(::strlen(theValue)), inCodePage);
        if (theNext == nullptr || *theNext == 0)
            break;
        theName = theNext;
    }
    return theCopy;
}

// GUID text: the braced registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include "platform/com/Com.h"

#include "platform/automation/OleAuto.h"

namespace {

constexpr int kGuidChars = 38;

int HexValue(OLECHAR inCh)
{
    if (inCh >= u'0' && inCh <= u'9')
        return inCh - u'0';
    if (inCh >= u'a' && inCh <= u'f')
        return inCh - u'a' + 10;
    if (inCh >= u'A' && inCh <= u'F')
        return inCh - u'A' + 10;
    return -1;
}

// Reads inDigits hex digits at inText; false on any other character.
bool ReadHex(const OLECHAR* inText, int inDigits, uint32_t& outValue)
{
    outValue = 0;
    for (int i = 0; i < inDigits; ++i) {
        const int theDigit = HexValue(inText[i]);
        if (theDigit < 0)
            return false;
        outValue = outValue << 4 | static_cast<uint32_t>(theDigit);
    }
    return true;
}

// Parses exactly the braced form (38 characters, then the end of the text).
bool ParseBracedGuid(const OLECHAR* inText, GUID& outGuid)
{
    for (int i = 0; i < kGuidChars; ++i)
        if (inText[i] == 0)
            return false;
    if (inText[0] != u'{' || inText[9] != u'-' || inText[14] != u'-' || inText[19] != u'-' ||
        inText[24] != u'-' || inText[37] != u'}' || inText[kGuidChars] != 0)
        return false;
    uint32_t theValue = 0;
    if (!ReadHex(inText + 1, 8, outGuid.Data1))
        return false;
    if (!ReadHex(inText + 10, 4, theValue))
        return false;
    outGuid.Data2 = static_cast<uint16_t>(theValue);
    if (!ReadHex(inText + 15, 4, theValue))
        return false;
    outGuid.Data3 = static_cast<uint16_t>(theValue);
    static const int kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(inText + kByteAt[i], 2, theValue))
            return false;
        outGuid.Data4[i] = static_cast<uint8_t>(theValue);
    }
    return true;
}

void PutHex(OLECHAR*& ioOut, uint32_t inValue, int inDigits)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (int i = inDigits - 1; i >= 0; --i)
        *ioOut++ = static_cast<OLECHAR>(kHex[(inValue >> (i * 4)) & 0xF]);
}

}  // namespace

extern "C" {

int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    if (!lpsz || cchMax < kGuidChars + 1)
        return 0;
    OLECHAR* theOut = lpsz;
    *theOut++ = u'{';
    PutHex(theOut, rguid.Data1, 8);
    *theOut++ = u'-';
    PutHex(theOut, rguid.Data2, 4);
    *theOut++ = u'-';
    PutHex(theOut, rguid.Data3, 4);
    *theOut++ = u'-';
    for (int i = 0; i < 8; ++i) {
        if (i == 2)
            *theOut++ = u'-';
        PutHex(theOut, rguid.Data4[i], 2);
    }
    *theOut++ = u'}';
    *theOut = 0;
    return kGuidChars + 1;
}

HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid)
{
    if (!pclsid)
        return E_INVALIDARG;
    *pclsid = IID_NULL;
    if (!lpsz || *lpsz == 0)
        return S_OK;
    if (*lpsz != u'{') {
        // Not braced: the text may be a ProgID.
        const HRESULT hr = CLSIDFromProgID(lpsz, pclsid);
        return SUCCEEDED(hr) ? hr : CO_E_CLASSSTRING;
    }
    GUID theGuid{};
    if (!ParseBracedGuid(lpsz, theGuid))
        return CO_E_CLASSSTRING;
    *pclsid = theGuid;
    return S_OK;
}

HRESULT WINAPI IIDFromString(LPCOLESTR lpsz, LPIID lpiid)
{
    if (!lpiid)
        return E_INVALIDARG;
    *lpiid = IID_NULL;
    if (!lpsz)
        return S_OK;
    GUID theGuid{};
    if (!ParseBracedGuid(lpsz, theGuid))
        return CO_E_CLASSSTRING;
    *lpiid = theGuid;
    return S_OK;
}

}  // extern "C"

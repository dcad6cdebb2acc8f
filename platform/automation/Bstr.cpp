// Automation strings. A BSTR points just past a 4-byte prefix that holds the length in
// bytes; two zero bytes follow the text (three for an odd byte length, so the text
// is always terminated as UTF-16 too). The null BSTR is the empty string.
#include "platform/automation/OleAuto.h"

#include <cstdlib>
#include <cstring>

namespace {

// Byte lengths are kept in 32 bits and stay below 2 GiB, as on Windows.
constexpr size_t kMaxByteLength = 0x7FFFFFF0u;
constexpr size_t kPrefix = sizeof(DWORD);
constexpr size_t kTerminator = sizeof(OLECHAR) + 1;

// Allocates a string of inBytes bytes; copies inBytes bytes from inData when given,
// else leaves the text zeroed.
BSTR AllocBytes(const void* inData, size_t inBytes)
{
    if (inBytes > kMaxByteLength)
        return nullptr;
    auto* theBlock = static_cast<unsigned char*>(std::malloc(kPrefix + inBytes + kTerminator));
    if (!theBlock)
        return nullptr;
    const DWORD theLen = static_cast<DWORD>(inBytes);
    std::memcpy(theBlock, &theLen, kPrefix);
    unsigned char* theText = theBlock + kPrefix;
    if (inData)
        std::memcpy(theText, inData, inBytes);
    else
        std::memset(theText, 0, inBytes);
    std::memset(theText + inBytes, 0, kTerminator);
    return reinterpret_cast<BSTR>(theText);
}

unsigned char* BlockOf(BSTR inBstr)
{
    return reinterpret_cast<unsigned char*>(inBstr) - kPrefix;
}

size_t UnitsOf(const OLECHAR* inText)
{
    size_t theLen = 0;
    while (inText[theLen])
        ++theLen;
    return theLen;
}

}  // namespace

extern "C" {

BSTR WINAPI SysAllocString(const OLECHAR* psz)
{
    if (!psz)
        return nullptr;
    return AllocBytes(psz, UnitsOf(psz) * sizeof(OLECHAR));
}

BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui)
{
    return AllocBytes(strIn, static_cast<size_t>(ui) * sizeof(OLECHAR));
}

BSTR WINAPI SysAllocStringByteLen(LPCSTR psz, UINT len)
{
    return AllocBytes(psz, len);
}

INT WINAPI SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len)
{
    if (!pbstr)
        return FALSE;
    // The new text may be part of the old string, so copy before freeing.
    BSTR theNew = SysAllocStringLen(psz, len);
    if (!theNew)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = theNew;
    return TRUE;
}

INT WINAPI SysReAllocString(BSTR* pbstr, const OLECHAR* psz)
{
    if (!pbstr)
        return FALSE;
    if (!psz) {
        SysFreeString(*pbstr);
        *pbstr = nullptr;
        return TRUE;
    }
    return SysReAllocStringLen(pbstr, psz, static_cast<UINT>(UnitsOf(psz)));
}

void WINAPI SysFreeString(BSTR bstrString)
{
    if (bstrString)
        std::free(BlockOf(bstrString));
}

UINT WINAPI SysStringByteLen(BSTR bstr)
{
    if (!bstr)
        return 0;
    DWORD theLen = 0;
    std::memcpy(&theLen, BlockOf(bstr), kPrefix);
    return theLen;
}

UINT WINAPI SysStringLen(BSTR pbstr)
{
    return SysStringByteLen(pbstr) / sizeof(OLECHAR);
}

}  // extern "C"

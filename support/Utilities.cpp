// Utilities.cpp: bounded copies, byte search, and byte-range / automation conversions.
#include "support/Utilities.h"

#include <cstddef>
#include <cstring>

#include "support/Assertions.h"
#include "support/ByteScan.h"
#include "support/EventLogWriter.h"
#include "platform/common/ReturnIfFailed.h"
#include "platform/common/UniqueSafeArray.h"

namespace {

template <class TChar>
size_t TextLength(const TChar* inText)
{
    size_t theLength = 0;
    while (inText[theLength] != 0)
        ++theLength;
    return theLength;
}

template <class TChar>
void BoundedCopy(TChar* outDest, const TChar* inSource, size_t inArraySize)
{
    if (outDest == nullptr || inArraySize == 0)
        return;
    size_t len = inSource != nullptr ? TextLength(inSource) : 0;
    FER_ASSERT(len < inArraySize);
    if (len >= inArraySize)
        len = inArraySize - 1;
    if (len > 0)
        std::memmove(outDest, inSource, len * sizeof(TChar));
    outDest[len] = 0;
}

template <class TChar>
void ReplaceAll(TChar* inOutText, TChar inFind, TChar inReplace)
{
    if (inOutText == nullptr)
        return;
    for (TChar* p = inOutText; *p != 0; ++p) {
        if (*p == inFind)
            *p = inReplace;
    }
}

// The array held by inVar, directly or through one reference; null when there is none.
SAFEARRAY* ArrayOf(VARIANT* inVar)
{
    SAFEARRAY** theArrayH = nullptr;
    if (inVar != nullptr && (V_VT(inVar) & VT_ARRAY) != 0)
        theArrayH = (V_VT(inVar) & VT_BYREF) != 0 ? V_ARRAYREF(inVar) : &V_ARRAY(inVar);
    FER_ASSERT((theArrayH) && (*theArrayH));
    return theArrayH != nullptr ? *theArrayH : nullptr;
}

}  // namespace

void CopyString(char* outDest, const char* inSource, size_t inArraySize)
{
    BoundedCopy(outDest, inSource, inArraySize);
}

void CopyWideString(WCHAR* outDest, const WCHAR* inSource, size_t inArraySize)
{
    BoundedCopy(outDest, inSource, inArraySize);
}

void AppendWideString(WCHAR* inOutDest, const WCHAR* inSource, size_t inArraySize)
{
    if (inOutDest == nullptr || inArraySize == 0)
        return;
    size_t len1 = TextLength(inOutDest);
    size_t len2 = inSource != nullptr ? TextLength(inSource) : 0;
    FER_ASSERT(len1 + len2 < inArraySize);
    if (len1 >= inArraySize) {
        // Not even the present text fits: terminate it at the end of the array.
        inOutDest[inArraySize - 1] = 0;
        return;
    }
    if (len1 + len2 >= inArraySize)
        len2 = inArraySize - len1 - 1;
    if (len2 > 0)
        std::memmove(inOutDest + len1, inSource, len2 * sizeof(WCHAR));
    inOutDest[len1 + len2] = 0;
}

void ReplaceChar(char* inOutText, char inFind, char inReplace)
{
    ReplaceAll(inOutText, inFind, inReplace);
}

void ReplaceChar(WCHAR* inOutText, WCHAR inFind, WCHAR inReplace)
{
    ReplaceAll(inOutText, inFind, inReplace);
}

const char* FindInRange(const char* ptr, const char* inPattern, const char* maxptr)
{
    FER_ASSERT(ptr);
    FER_ASSERT(inPattern);
    FER_ASSERT(maxptr);
    if (maxptr != nullptr)
        FER_ASSERT(maxptr >= ptr);
    if (ptr == nullptr || inPattern == nullptr || maxptr == nullptr || maxptr < ptr)
        return nullptr;
    const size_t theLength = std::strlen(inPattern);
    if (theLength == 0)
        return ptr;
    if (static_cast<size_t>(maxptr - ptr) < theLength)
        return nullptr;
    return ScanBytes(ptr, static_cast<size_t>(maxptr - ptr), inPattern, theLength);
}

const BYTE* FindInRange(const BYTE* inStart, const char* inPattern, const BYTE* inEnd)
{
    return reinterpret_cast<const BYTE*>(
        FindInRange(reinterpret_cast<const char*>(inStart), inPattern, reinterpret_cast<const char*>(inEnd)));
}

BSTR MultiByteToBSTR(UINT inCodePage, const char* inBytes, int inLength)
{
    if (inBytes == nullptr)
        return SysAllocStringLen(nullptr, 0);
    // The system code page is read once for both calls.
    if (inCodePage == CP_ACP || inCodePage == CP_THREAD_ACP)
        inCodePage = GetACP();
    int theCount = MultiByteToWideChar(inCodePage, 0, inBytes, inLength, nullptr, 0);
    // With length -1 the count includes the terminator, which a BSTR keeps outside.
    if (inLength == -1 && theCount > 0)
        --theCount;
    if (theCount < 1)
        return SysAllocStringLen(nullptr, 0);
    BSTR theText = SysAllocStringLen(nullptr, static_cast<UINT>(theCount));
    if (theText == nullptr)
        return SysAllocStringLen(nullptr, 0);
    const int theInputLength = inLength == -1 ? static_cast<int>(std::strlen(inBytes)) : inLength;
    const int theWritten = MultiByteToWideChar(inCodePage, 0, inBytes, theInputLength, theText, theCount);
    theText[theWritten > 0 ? theWritten : 0] = 0;
    return theText;
}

HRESULT PtrToVARIANT(const void* inPtr, DWORD inLen, VARIANT* inVar)
{
    FER_ASSERT(inVar);
    FER_ASSERT((inPtr != NULL) || (inLen == 0));
    if (inVar == nullptr || (inPtr == nullptr && inLen != 0))
        return E_POINTER;
    VariantInit(inVar);
    SAFEARRAYBOUND theBound = {inLen, 0};
    UniqueSafeArray theArray(SafeArrayCreate(VT_UI1, 1, &theBound));
    if (!theArray)
        return E_OUTOFMEMORY;
    if (inLen > 0) {
        void* theData = nullptr;
        RETURN_IF_FAILED(SafeArrayAccessData(theArray.get(), &theData));
        if (theData == nullptr) {
            LogEvent("SafeArrayAccessData in PtrToVARIANT failed without error", EVENTLOG_WARNING_TYPE);
            SafeArrayUnaccessData(theArray.get());
            return E_POINTER;
        }
        std::memcpy(theData, inPtr, inLen);
        SafeArrayUnaccessData(theArray.get());
    }
    V_VT(inVar) = VT_ARRAY | VT_UI1;
    V_ARRAY(inVar) = theArray.detach();
    return S_OK;
}

HRESULT AccessVARIANT(VARIANT* inVar, void** outData, LONG* outLength)
{
    if (outData == nullptr || outLength == nullptr)
        return E_POINTER;
    *outData = nullptr;
    *outLength = 0;
    SAFEARRAY* theArray = ArrayOf(inVar);
    if (theArray == nullptr || SafeArrayGetDim(theArray) != 1)
        return E_INVALIDARG;
    LONG theLower = 0;
    LONG theUpper = 0;
    RETURN_IF_FAILED(SafeArrayGetLBound(theArray, 1, &theLower));
    RETURN_IF_FAILED(SafeArrayGetUBound(theArray, 1, &theUpper));
    const LONG outLen = theUpper - theLower + 1;
    FER_ASSERT(outLen >= 0);
    *outLength = outLen >= 0 ? outLen : 0;
    RETURN_IF_FAILED(SafeArrayAccessData(theArray, outData));
    if (*outData == nullptr) {
        LogEvent("SafeArrayAccessData in AccessVARIANT failed without error", EVENTLOG_WARNING_TYPE);
        SafeArrayUnaccessData(theArray);
        return E_POINTER;
    }
    return S_OK;
}

HRESULT UnaccessVARIANT(VARIANT* inVar)
{
    SAFEARRAY* theArray = ArrayOf(inVar);
    if (theArray != nullptr)
        SafeArrayUnaccessData(theArray);
    return 0;
}

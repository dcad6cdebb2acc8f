// Utilities.h: bounded string copies, byte search, and conversions between byte ranges
// and automation strings and byte arrays.
//
//   WCHAR theName[MAX_PATH];
//   CopyWideString(theName, inPath, MAX_PATH);          // cut and asserted when too long
//   const char* theHit = FindInRange(theBody, "--divider", theBody + theLen);
//   VARIANT theBytes;
//   PtrToVARIANT(theData, theLen, &theBytes);           // VT_ARRAY | VT_UI1, lower bound 0
#pragma once

#include <cstddef>

#include <windows.h>
#include <oleauto.h>

/// Copies inSource into outDest[inArraySize], cutting to inArraySize - 1 characters (and
/// asserting "len < inArraySize") when it does not fit; always terminates.
void CopyString(char* outDest, const char* inSource, size_t inArraySize);

/// CopyString for UTF-16 strings.
void CopyWideString(WCHAR* outDest, const WCHAR* inSource, size_t inArraySize);

/// Appends inSource to the string in inOutDest[inArraySize], cutting (and asserting
/// "len1 + len2 < inArraySize") when the result does not fit; always terminates.
void AppendWideString(WCHAR* inOutDest, const WCHAR* inSource, size_t inArraySize);

/// Replaces every inFind by inReplace, in place, up to the terminating zero.
void ReplaceChar(char* inOutText, char inFind, char inReplace);
void ReplaceChar(WCHAR* inOutText, WCHAR inFind, WCHAR inReplace);

/// The first position p >= inStart at which the zero-terminated inPattern occurs with
/// p + its length <= inEnd, or null. The searched bytes may hold zeros. An empty pattern
/// gives inStart.
const char* FindInRange(const char* inStart, const char* inPattern, const char* inEnd);
const BYTE* FindInRange(const BYTE* inStart, const char* inPattern, const BYTE* inEnd);

/// The 0-based position of a script's 1-based number. The smallest number has no
/// predecessor in 32 bits; it names nothing, like every other number below 1.
inline LONG ZeroBasedPosition(LONG inNumber)
{
    return inNumber > 0 ? inNumber - 1 : -1;
}

/// A new automation string converted from inBytes in inCodePage; inLength -1 means up
/// to the terminating zero. Null or unconvertible input gives an empty string.
BSTR MultiByteToBSTR(UINT inCodePage, const char* inBytes, int inLength);

/// Fills outVar with a new one-dimensional VT_UI1 array (lower bound 0) holding a copy of
/// inLen bytes at inPtr; zero bytes give an empty array, not an empty variant.
HRESULT PtrToVARIANT(const void* inPtr, DWORD inLen, VARIANT* outVar);

/// Locks the one-dimensional array held by inVar (directly or through VT_BYREF) and
/// gives its data and element count. E_INVALIDARG for another number of dimensions or
/// when inVar holds no array. The array stays locked until UnaccessVARIANT.
HRESULT AccessVARIANT(VARIANT* inVar, void** outData, LONG* outLen);

/// Unlocks the array that AccessVARIANT locked. Returns 0.
HRESULT UnaccessVARIANT(VARIANT* inVar);

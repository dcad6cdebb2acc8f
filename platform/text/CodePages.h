// CodePages.h: conversion between Windows code pages and UTF-16.
//
//   WCHAR theWide[260];
//   int theCount = MultiByteToWideChar(CP_UTF8, 0, "caf\xC3\xA9", -1, theWide, 260);
//   // theCount == 5 (four characters and the terminator); theWide == u"café"
//   int theNeeded = WideCharToMultiByte(1252, 0, theWide, -1, nullptr, 0, nullptr, nullptr);
//
// Code pages are Windows numbers. 65001 (UTF-8) and 1252 are converted by hand; the
// others go through iconv. CP_ACP is the `ACP` value of
// HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage (1252 when absent or unusable),
// CP_OEMCP its `OEMCP` value (437 when absent).
//
// Notes on behaviour that differs in detail from Windows:
// - WideCharToMultiByte never maps best-fit: every character the code page lacks becomes
//   the default character, as with WC_NO_BEST_FIT_CHARS.
// - MB_COMPOSITE and MB_USEGLYPHCHARS are accepted and have no effect; output is always
//   precomposed where the code page's converter composes.
#pragma once

#include "platform/types/WinTypes.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_SYMBOL 42
#define CP_UTF7 65000
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400

#define MAX_LEADBYTES 12
#define MAX_DEFAULTCHAR 2

typedef const CHAR* LPCCH;
typedef const WCHAR* LPCWCH;

/// Size and lead-byte ranges of a code page (GetCPInfo).
typedef struct _cpinfo {
    UINT MaxCharSize;
    BYTE DefaultChar[MAX_DEFAULTCHAR];
    BYTE LeadByte[MAX_LEADBYTES];
} CPINFO, *LPCPINFO;

extern "C" {

/// Converts inCount bytes (-1: up to and including the terminator) of code page
/// inCodePage into UTF-16. With outSize 0 returns the units needed and writes nothing.
/// Returns the units written, or 0 with GetLastError: ERROR_INVALID_PARAMETER (bad
/// arguments, a count below -1, unknown code page), ERROR_INVALID_FLAGS, ERROR_INSUFFICIENT_BUFFER,
/// ERROR_NO_UNICODE_TRANSLATION (invalid input with MB_ERR_INVALID_CHARS). Without that
/// flag invalid UTF-8 becomes U+FFFD, one per maximal invalid subsequence.
int WINAPI MultiByteToWideChar(UINT inCodePage, DWORD inFlags, LPCCH inText, int inCount, LPWSTR outText,
                               int outSize);

/// Converts inCount UTF-16 units (-1: up to and including the terminator) into code page
/// inCodePage. Characters the code page lacks become inDefaultChar (or the code page's
/// own default, "?") and set *outUsedDefault. For UTF-8 and UTF-7 both default-character
/// arguments must be null. Size protocol and errors as MultiByteToWideChar.
int WINAPI WideCharToMultiByte(UINT inCodePage, DWORD inFlags, LPCWCH inText, int inCount, LPSTR outText,
                               int outSize, LPCCH inDefaultChar, LPBOOL outUsedDefault);

/// TRUE when inCodePage names a code page this platform converts.
BOOL WINAPI IsValidCodePage(UINT inCodePage);

/// TRUE when inByte starts a two-byte character in code page inCodePage (932, 936, 949,
/// 950, 1361 have lead bytes; the others none).
BOOL WINAPI IsDBCSLeadByteEx(UINT inCodePage, BYTE inByte);

/// IsDBCSLeadByteEx for the system ANSI code page.
BOOL WINAPI IsDBCSLeadByte(BYTE inByte);

/// Fills the size, default character and lead-byte ranges of a code page.
BOOL WINAPI GetCPInfo(UINT inCodePage, LPCPINFO outInfo);

/// The system ANSI code page (registry value `ACP`, default 1252).
UINT WINAPI GetACP(void);

/// The system OEM code page (registry value `OEMCP`, default 437).
UINT WINAPI GetOEMCP(void);
}

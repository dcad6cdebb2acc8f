// Names.h: client file names and text: the raw path, Windows-safe and URL-safe names
// made from a part's `filename` bytes, and the small path and text routines that fields
// and saving use. Pure functions over caller buffers: nothing allocates or keeps state.
//
//   WCHAR theRaw[kNameBufferLength], theSafe[kNameBufferLength], theURL[kNameBufferLength];
//   SplitClientPath("C:\\Docs\\My Report?.TXT", CP_ACP, theRaw, theSafe, theURL);
//   // theRaw "C:\\Docs\\My Report?.TXT", theSafe "My Report.TXT", theURL "my_report_.txt"
//   const WCHAR* theExt = PathExtension(theSafe);   // "TXT"
#pragma once

#include <windows.h>

/// Capacity of every name buffer, terminator included (at most 259 characters).
constexpr int kNameBufferLength = MAX_PATH;

/// Decodes the `filename` bytes inPath into the raw client path, then derives the
/// Windows-safe (or, for a bare Macintosh name, Mac-mapped) file name and the URL-safe
/// name. Each output holds kNameBufferLength units. inCodePage 0 is the system ANSI page.
void SplitClientPath(const char* inPath, UINT inCodePage, WCHAR* outRawPath, WCHAR* outSafeName,
                     WCHAR* outURLSafeName);

/// Decodes %XX escapes one unit per byte (no code page). True when at least one escape
/// was seen and none was malformed; a malformed one stops the output where it stands.
bool DecodePercentEscapes(const char* inText, WCHAR* outText, int inMaxLen);

/// Decodes decimal references &#NNN; (1..65535). True when at least one was decoded.
bool DecodeCharacterReferences(const char* inText, WCHAR* outText, int inMaxLen);

/// Converts the zero-terminated inText through code page inCodePage. True when the
/// conversion produced at least one unit; false when the code page is unknown or the
/// text with its terminator does not fit in inMaxLen units.
bool DecodeCodePage(const char* inText, WCHAR* outText, int inMaxLen, UINT inCodePage);

/// Copies bytes into units of the same value, at most inMaxLen - 1, and terminates.
void WidenBytes(const char* inText, WCHAR* outText, int inMaxLen);

/// True when inText neither begins with a backslash nor contains a colon: the bare file
/// name a Macintosh browser sends.
bool IsBareMacName(const WCHAR* inText);

/// The position in inPath just after its last backslash (inPath itself when none).
const WCHAR* LastPathComponent(const WCHAR* inPath);

/// The position in inPath where the extension of its last component begins (after the
/// last period); the terminator when there is none.
const WCHAR* PathExtension(const WCHAR* inPath);

/// Maps units a Macintosh file service cannot store into its private-use range and drops
/// colons. outName holds kNameBufferLength units. Returns outName.
WCHAR* MacSafeName(const WCHAR* inName, WCHAR* outName);

/// Drops the characters Windows forbids in file names and control units, then trailing
/// spaces and periods. outName holds kNameBufferLength units. Returns outName.
WCHAR* WindowsSafeName(const WCHAR* inName, WCHAR* outName);

/// Lower-case letters, digits, '-' and '.'; every other unit becomes '_'. One output unit
/// per input unit. outName holds kNameBufferLength units. Returns outName.
WCHAR* URLSafeName(const WCHAR* inName, WCHAR* outName);

/// Decodes an application/x-www-form-urlencoded name or value over itself: '+' is a
/// space, %XX a byte; a malformed escape drops what was consumed of it.
void URLDecodeInPlace(char* inText);

/// True when any unit of inText is U+0100 or above.
bool HasWideCharacters(const WCHAR* inText);

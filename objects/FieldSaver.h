// FieldSaver.h: writing uploaded bytes to disk: the physical-path rule shared by the
// form's and the field's Save, and the unpacking of a MacBinary field into its data
// fork, resource fork stream and Finder information stream.
//
//   WCHAR theTarget[MAX_PATH];
//   if (!DecodePhysicalPath(inPath, theForm->CodePage(), theTarget))
//       return Fail(GetLastError());                     // 206: does not fit
//   MacBinaryView theView(theEntry->data, theEntry->length);
//   bool theOk = SaveMacBinary(theView, theTarget, theOverwrite, theStreams);
//   DWORD theError = GetLastError();                     // left by the last step that ran
#pragma once

#include <string>
#include <windows.h>

#include "decode/MacBinary.h"

/// Size of the Finder information record kept in the ":AFP_AfpInfo" stream.
constexpr DWORD kAfpInfoLength = 60;

/// inText (inLength units, -1: up to its terminator; null: empty) converted to the system
/// ANSI code page.
std::string AnsiFromWide(const WCHAR* inText, int inLength = -1);

/// Turns a physical path given by a script into the target outTarget[MAX_PATH]: taken
/// unchanged when it holds a character above U+00FF, else its ANSI bytes are decoded in
/// inCodePage. False (with GetLastError 206 or 3) when the path is empty, does not fit
/// or cannot be decoded; outTarget is then empty.
bool DecodePhysicalPath(const WCHAR* inPath, UINT inCodePage, WCHAR* outTarget);

/// Builds the 60-byte Finder information record for the MacBinary header in inView into
/// inOutRecord: the type, creator and flag bytes are always set; the rest only when
/// inFresh (otherwise the earlier record's bytes stay).
void FillAfpInfo(const MacBinaryView& inView, bool inFresh, BYTE* inOutRecord);

/// Writes the data fork of inView as the file inTarget (marked as visitor data) and, when inStreams is set and
/// the storage keeps streams, the resource fork to ":AFP_Resource" and the Finder
/// information to ":AFP_AfpInfo" (merged into an existing record). True when the data
/// fork was written; GetLastError is what the last step left.
bool SaveMacBinary(const MacBinaryView& inView, LPCWSTR inTarget, BOOL inOverwrite, BOOL inStreams);

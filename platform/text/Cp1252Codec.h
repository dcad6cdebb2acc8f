// Cp1252Codec.h: code page 1252 (Western European) by table, the default ANSI code page.
//
//   OutputSink<WCHAR> theSink(theBuffer, 260);
//   DecodeCp1252(theBytes, theLength, theSink);   // 0x80 -> U+20AC
#pragma once

#include "platform/text/OutputSink.h"
#include "platform/types/WinTypes.h"

namespace ferrolift::platform {

/// Decodes 1252 bytes; every byte has a character (the five unassigned ones map to the
/// C1 controls of the same value). Returns 0 or ERROR_INSUFFICIENT_BUFFER.
DWORD DecodeCp1252(const BYTE* inText, size_t inLength, OutputSink<WCHAR>& outSink);

/// Encodes UTF-16 as 1252; characters outside it become inDefault and set
/// *outUsedDefault (when given). Returns 0 or ERROR_INSUFFICIENT_BUFFER.
DWORD EncodeCp1252(const WCHAR* inText, size_t inLength, char inDefault, BOOL* outUsedDefault,
                   OutputSink<char>& outSink);

} // namespace ferrolift::platform

// Utf8Codec.h: UTF-8 <-> UTF-16 by hand, with the replacement rules of the Win32 calls.
//
//   OutputSink<WCHAR> theSink(theBuffer, 260);
//   DWORD theError = DecodeUtf8(theBytes, theLength, false, theSink);   // 0 on success
#pragma once

#include "platform/text/OutputSink.h"
#include "platform/types/WinTypes.h"

#include <string>
#include <string_view>

namespace ferrolift::platform {

/// Decodes UTF-8 into UTF-16. Each maximal invalid subsequence becomes one U+FFFD, or,
/// with inStrict, ends the call with ERROR_NO_UNICODE_TRANSLATION. Returns 0,
/// ERROR_NO_UNICODE_TRANSLATION or ERROR_INSUFFICIENT_BUFFER.
DWORD DecodeUtf8(const BYTE* inText, size_t inLength, bool inStrict, OutputSink<WCHAR>& outSink);

/// Encodes UTF-16 as UTF-8. A lone surrogate becomes U+FFFD, or, with inStrict, ends the
/// call with ERROR_NO_UNICODE_TRANSLATION. Returns 0 or one of those errors.
DWORD EncodeUtf8(const WCHAR* inText, size_t inLength, bool inStrict, OutputSink<char>& outSink);

/// inText as UTF-8, a lone surrogate as U+FFFD: what file names and registry strings use.
std::string Utf8String(std::u16string_view inText);

} // namespace ferrolift::platform

// IconvCodec.h: conversion of the code pages that are not done by hand, through iconv.
// Descriptors are opened once per thread and code page (an iconv_t is not thread-safe)
// and closed when the thread ends.
//
//   OutputSink<WCHAR> theSink(theBuffer, 260);
//   DWORD theError = DecodeIconv(*FindCodePage(932), theBytes, theLength, false, theSink);
#pragma once

#include "platform/text/CodePageTable.h"
#include "platform/text/OutputSink.h"

namespace ferrolift::platform {

/// True when iconv can convert inEntry in both directions on this system.
bool IconvSupports(const CodePageEntry& inEntry);

/// Decodes bytes of inEntry's code page into UTF-16. A byte that starts no character
/// becomes U+00XX in a single-byte page and U+30FB in a multi-byte page, or, with
/// inStrict, ends the call with ERROR_NO_UNICODE_TRANSLATION. Returns 0 or a Win32 error.
DWORD DecodeIconv(const CodePageEntry& inEntry, const BYTE* inText, size_t inLength, bool inStrict,
                  OutputSink<WCHAR>& outSink);

/// Encodes UTF-16 into inEntry's code page; characters it lacks become inDefault (one or
/// two bytes, length inDefaultLength) and set *outUsedDefault when given.
DWORD EncodeIconv(const CodePageEntry& inEntry, const WCHAR* inText, size_t inLength, const char* inDefault,
                  size_t inDefaultLength, BOOL* outUsedDefault, OutputSink<char>& outSink);

} // namespace ferrolift::platform

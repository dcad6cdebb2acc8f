// UrlEncodedParser.h: reads a body as name=value pairs joined by "&" (the fallback for a
// body in which the multipart walk found nothing).
//
//   std::unique_ptr<char[]> theCopy = ParseURLEncoded(theBody, theSize, theGroups, CP_UTF8);
//   // entries point into theCopy: keep it as long as theGroups
#pragma once

#include "intake/FieldGroupList.h"

#include <memory>

/// Decodes a private copy of the inSize bytes at inBody ("&" and a zero appended) and
/// adds one entry per "=" found. The copy is read as zero-terminated text, so a zero byte
/// ends the reading and a decoded %00 cuts a value. Returns the copy, which the entries
/// point into, or null when it cannot be allocated (then nothing is added).
std::unique_ptr<char[]> ParseURLEncoded(const BYTE* inBody, DWORD inSize, FieldGroupList& inOutGroups,
                                        UINT inCodePage);

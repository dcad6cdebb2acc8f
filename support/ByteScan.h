// ByteScan.h: finding a short byte pattern in a large buffer at memory speed.
//
//   const char* theHit = ScanBytes(theBody, theLength, "\r\n--divider", 11);
#pragma once

#include <cstddef>

/// The first position of the inPatternLength bytes at inPattern within the inLength bytes
/// at inText, or null. Both may hold zeros; an empty pattern matches at inText. Time is
/// linear in inLength times the pattern length at worst, and about one memory pass on
/// ordinary data.
const char* ScanBytes(const char* inText, size_t inLength, const char* inPattern, size_t inPatternLength);

// CodePageTable.h: the Windows code pages this platform knows, with their iconv names
// and, for double-byte pages, their lead-byte ranges.
//
//   const CodePageEntry* theEntry = FindCodePage(932);   // "CP932", lead bytes 81-9F, E0-FC
#pragma once

#include "platform/types/WinTypes.h"

namespace ferrolift::platform {

/// One known code page. leadRanges holds pairs (first, last), ended by a 0 pair.
struct CodePageEntry {
    UINT number;
    const char* iconvName;   // nullptr for the pages converted by hand
    BYTE maxCharSize;
    BYTE leadRanges[12];
};

/// The entry of code page inNumber (already resolved, not CP_ACP), or nullptr.
const CodePageEntry* FindCodePage(UINT inNumber);

/// Replaces the symbolic code pages (CP_ACP, CP_OEMCP, CP_MACCP, CP_THREAD_ACP) by the
/// numbers they stand for; others pass unchanged.
UINT ResolveCodePage(UINT inCodePage);

/// True when inByte falls in one of inEntry's lead-byte ranges.
bool IsLeadByte(const CodePageEntry& inEntry, BYTE inByte);

} // namespace ferrolift::platform

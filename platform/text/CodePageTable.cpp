#include "platform/text/CodePageTable.h"

#include "platform/text/CodePages.h"

#include <algorithm>
#include <iterator>

namespace ferrolift::platform {
namespace {

constexpr CodePageEntry kCodePages[] = {
    {37, "IBM037", 1, {}},
    {437, "IBM437", 1, {}},
    {500, "IBM500", 1, {}},
    {737, "CP737", 1, {}},
    {775, "IBM775", 1, {}},
    {850, "IBM850", 1, {}},
    {852, "IBM852", 1, {}},
    {855, "IBM855", 1, {}},
    {857, "IBM857", 1, {}},
    {858, "IBM858", 1, {}},
    {860, "IBM860", 1, {}},
    {861, "IBM861", 1, {}},
    {862, "IBM862", 1, {}},
    {863, "IBM863", 1, {}},
    {864, "IBM864", 1, {}},
    {865, "IBM865", 1, {}},
    {866, "IBM866", 1, {}},
    {869, "IBM869", 1, {}},
    {874, "CP874", 1, {}},
    {875, "IBM875", 1, {}},
    {932, "CP932", 2, {0x81, 0x9F, 0xE0, 0xFC}},
    {936, "CP936", 2, {0x81, 0xFE}},
    {949, "CP949", 2, {0x81, 0xFE}},
    {950, "CP950", 2, {0x81, 0xFE}},
    {1026, "IBM1026", 1, {}},
    {1047, "IBM1047", 1, {}},
    {1140, "IBM1140", 1, {}},
    {1141, "IBM1141", 1, {}},
    {1142, "IBM1142", 1, {}},
    {1143, "IBM1143", 1, {}},
    {1144, "IBM1144", 1, {}},
    {1145, "IBM1145", 1, {}},
    {1146, "IBM1146", 1, {}},
    {1147, "IBM1147", 1, {}},
    {1148, "IBM1148", 1, {}},
    {1149, "IBM1149", 1, {}},
    {1250, "CP1250", 1, {}},
    {1251, "CP1251", 1, {}},
    {1252, nullptr, 1, {}},
    {1253, "CP1253", 1, {}},
    {1254, "CP1254", 1, {}},
    {1255, "CP1255", 1, {}},
    {1256, "CP1256", 1, {}},
    {1257, "CP1257", 1, {}},
    {1258, "CP1258", 1, {}},
    {1361, "JOHAB", 2, {0x84, 0xD3, 0xD8, 0xDE, 0xE0, 0xF9}},
    {10000, "MACINTOSH", 1, {}},
    {10007, "MAC-CYRILLIC", 1, {}},
    {10017, "MACUKRAINIAN", 1, {}},
    {10029, "MAC-CENTRALEUROPE", 1, {}},
    {10079, "MAC-IS", 1, {}},
    {20127, "US-ASCII", 1, {}},
    {20866, "KOI8-R", 1, {}},
    {20932, "EUC-JP", 3, {}},
    {21866, "KOI8-U", 1, {}},
    {28591, "ISO-8859-1", 1, {}},
    {28592, "ISO-8859-2", 1, {}},
    {28593, "ISO-8859-3", 1, {}},
    {28594, "ISO-8859-4", 1, {}},
    {28595, "ISO-8859-5", 1, {}},
    {28596, "ISO-8859-6", 1, {}},
    {28597, "ISO-8859-7", 1, {}},
    {28598, "ISO-8859-8", 1, {}},
    {28599, "ISO-8859-9", 1, {}},
    {28603, "ISO-8859-13", 1, {}},
    {28605, "ISO-8859-15", 1, {}},
    {38598, "ISO-8859-8", 1, {}},
    {50220, "ISO-2022-JP", 5, {}},
    {51932, "EUC-JP", 3, {}},
    {51936, "EUC-CN", 2, {}},
    {51949, "EUC-KR", 2, {}},
    {54936, "GB18030", 4, {}},
    {CP_UTF7, "UTF-7", 5, {}},
    {CP_UTF8, nullptr, 4, {}},
};

constexpr bool AscendingNumbers()
{
    for (size_t i = 1; i < std::size(kCodePages); ++i) {
        if (kCodePages[i - 1].number >= kCodePages[i].number)
            return false;
    }
    return true;
}
static_assert(AscendingNumbers(), "FindCodePage searches the table by halves");

} // namespace

const CodePageEntry* FindCodePage(UINT inNumber)
{
    // The table is in ascending order; names are looked up on every conversion call.
    auto theEntry = std::lower_bound(std::begin(kCodePages), std::end(kCodePages), inNumber,
        [](const CodePageEntry& inEntry, UINT inWanted) { return inEntry.number < inWanted; });
    if (theEntry == std::end(kCodePages) || theEntry->number != inNumber)
        return nullptr;
    return theEntry;
}

UINT ResolveCodePage(UINT inCodePage)
{
    switch (inCodePage) {
    case CP_ACP:
    case CP_THREAD_ACP:
        return GetACP();
    case CP_OEMCP:
        return GetOEMCP();
    case CP_MACCP:
        return 10000;
    default:
        return inCodePage;
    }
}

bool IsLeadByte(const CodePageEntry& inEntry, BYTE inByte)
{
    for (size_t i = 0; i + 1 < sizeof inEntry.leadRanges && inEntry.leadRanges[i] != 0; i += 2) {
        if (inByte >= inEntry.leadRanges[i] && inByte <= inEntry.leadRanges[i + 1])
            return true;
    }
    return false;
}

} // namespace ferrolift::platform

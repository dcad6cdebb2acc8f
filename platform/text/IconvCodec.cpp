#include "IconvCodec.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <vector>

#include "../types/WinError.h"

namespace ferrolift::platform {
namespace {

const char* const kWideName = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

/// The iconv descriptors one thread has opened, by code page and direction. A code page
/// iconv refuses is remembered too, so asking again costs no new open.
class DescriptorCache {
public:
    DescriptorCache() = default;
    DescriptorCache(const DescriptorCache&) = delete;
    DescriptorCache& operator=(const DescriptorCache&) = delete;
    ~DescriptorCache()
    {
        for (const Slot& theSlot : mSlots) {
            if (theSlot.descriptor != kNoDescriptor)
                iconv_close(theSlot.descriptor);
        }
    }

    /// The descriptor for inEntry towards UTF-16 (inToWide) or from it, reset to its
    /// initial shift state; kNoDescriptor when iconv cannot convert that page.
    iconv_t Get(const CodePageEntry& inEntry, bool inToWide)
    {
        for (const Slot& theSlot : mSlots) {
            if (theSlot.number == inEntry.number && theSlot.toWide == inToWide)
                return Reset(theSlot.descriptor);
        }
        const iconv_t theDescriptor = inToWide ? iconv_open(kWideName, inEntry.iconvName)
                                               : iconv_open(inEntry.iconvName, kWideName);
        mSlots.push_back({inEntry.number, inToWide, theDescriptor});
        return theDescriptor;
    }

private:
    struct Slot {
        UINT number;
        bool toWide;
        iconv_t descriptor;
    };

    static iconv_t Reset(iconv_t inDescriptor)
    {
        if (inDescriptor != kNoDescriptor)
            iconv(inDescriptor, nullptr, nullptr, nullptr, nullptr);
        return inDescriptor;
    }

    std::vector<Slot> mSlots;
};

thread_local DescriptorCache tDescriptors;

constexpr size_t kChunkUnits = 512;

bool IsHighSurrogate(WCHAR inUnit) { return inUnit >= 0xD800 && inUnit <= 0xDBFF; }
bool IsLowSurrogate(WCHAR inUnit) { return inUnit >= 0xDC00 && inUnit <= 0xDFFF; }

} // namespace

bool IconvSupports(const CodePageEntry& inEntry)
{
    if (inEntry.iconvName == nullptr)
        return false;
    return tDescriptors.Get(inEntry, true) != kNoDescriptor && tDescriptors.Get(inEntry, false) != kNoDescriptor;
}

DWORD DecodeIconv(const CodePageEntry& inEntry, const BYTE* inText, size_t inLength, bool inStrict,
                  OutputSink<WCHAR>& outSink)
{
    const iconv_t theDescriptor = inEntry.iconvName ? tDescriptors.Get(inEntry, true) : kNoDescriptor;
    if (theDescriptor == kNoDescriptor)
        return ERROR_INVALID_PARAMETER;
    char* theIn = reinterpret_cast<char*>(const_cast<BYTE*>(inText));
    size_t theInLeft = inLength;
    WCHAR theChunk[kChunkUnits];
    while (theInLeft > 0) {
        char* theOut = reinterpret_cast<char*>(theChunk);
        size_t theOutLeft = sizeof theChunk;
        const size_t theResult = iconv(theDescriptor, &theIn, &theInLeft, &theOut, &theOutLeft);
        const int theError = errno;
        const size_t theProduced = (sizeof theChunk - theOutLeft) / sizeof(WCHAR);
        if (!outSink.PutAll(theChunk, theProduced))
            return ERROR_INSUFFICIENT_BUFFER;
        if (theResult != static_cast<size_t>(-1))
            break;
        if (theError == E2BIG && theProduced > 0)
            continue;
        if (theError != EILSEQ && theError != EINVAL)
            return ERROR_NO_UNICODE_TRANSLATION;
        // A byte that starts no character (or a sequence cut off at the end).
        if (inStrict)
            return ERROR_NO_UNICODE_TRANSLATION;
        const BYTE theBad = static_cast<BYTE>(*theIn);
        ++theIn;
        --theInLeft;
        const WCHAR theStandIn = inEntry.maxCharSize == 1 ? static_cast<WCHAR>(theBad) : WCHAR(0x30FB);
        if (!outSink.Put(theStandIn))
            return ERROR_INSUFFICIENT_BUFFER;
    }
    return 0;
}

namespace {

/// Writes the sequence that returns a stateful encoding (UTF-7, ISO-2022-JP) to its
/// initial state; nothing for the others.
bool FlushShiftState(iconv_t inDescriptor, OutputSink<char>& outSink)
{
    char theTail[16];
    char* theOut = theTail;
    size_t theOutLeft = sizeof theTail;
    iconv(inDescriptor, nullptr, nullptr, &theOut, &theOutLeft);
    return outSink.PutAll(theTail, sizeof theTail - theOutLeft);
}

} // namespace

DWORD EncodeIconv(const CodePageEntry& inEntry, const WCHAR* inText, size_t inLength, const char* inDefault,
                  size_t inDefaultLength, BOOL* outUsedDefault, OutputSink<char>& outSink)
{
    const iconv_t theDescriptor = inEntry.iconvName ? tDescriptors.Get(inEntry, false) : kNoDescriptor;
    if (theDescriptor == kNoDescriptor)
        return ERROR_INVALID_PARAMETER;
    const WCHAR* theUnit = inText;
    const WCHAR* const theEnd = inText + inLength;
    char theChunk[kChunkUnits * 4];
    while (theUnit < theEnd) {
        char* theIn = reinterpret_cast<char*>(const_cast<WCHAR*>(theUnit));
        size_t theInLeft = static_cast<size_t>(theEnd - theUnit) * sizeof(WCHAR);
        char* theOut = theChunk;
        size_t theOutLeft = sizeof theChunk;
        const size_t theResult = iconv(theDescriptor, &theIn, &theInLeft, &theOut, &theOutLeft);
        const int theError = errno;
        theUnit = reinterpret_cast<const WCHAR*>(theIn);
        const size_t theProduced = sizeof theChunk - theOutLeft;
        if (!outSink.PutAll(theChunk, theProduced))
            return ERROR_INSUFFICIENT_BUFFER;
        if (theResult != static_cast<size_t>(-1))
            break;
        if (theError == E2BIG && theProduced > 0)
            continue;
        if (theError != EILSEQ && theError != EINVAL)
            return ERROR_NO_UNICODE_TRANSLATION;
        // A character the code page lacks: one default character for it, a pair included.
        const bool thePair = IsHighSurrogate(theUnit[0]) && theUnit + 1 < theEnd && IsLowSurrogate(theUnit[1]);
        theUnit += thePair ? 2 : 1;
        if (outUsedDefault != nullptr)
            *outUsedDefault = TRUE;
        if (!FlushShiftState(theDescriptor, outSink) || !outSink.PutAll(inDefault, inDefaultLength))
            return ERROR_INSUFFICIENT_BUFFER;
    }
    return FlushShiftState(theDescriptor, outSink) ? 0 : ERROR_INSUFFICIENT_BUFFER;
}

} // namespace ferrolift::platform

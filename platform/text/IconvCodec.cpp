#include "platform/text/IconvCodec.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <vector>

#include "platform/types/WinError.h"

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

/// Runs inDescriptor over the inLeft bytes at inInput through outChunk into outSink.
/// Where iconv meets input it cannot convert, inSkipBad steps over it (advancing inInput
/// and inLeft) and returns 0 to go on or the error that ends the call. Returns 0 or an
/// error code.
template <typename Unit, size_t Size, typename SkipBad>
DWORD ConvertAll(iconv_t inDescriptor, char*& inInput, size_t& inLeft, Unit (&outChunk)[Size],
                 OutputSink<Unit>& outSink, SkipBad inSkipBad)
{
    while (inLeft > 0) {
        char* theOut = reinterpret_cast<char*>(outChunk);
        size_t theOutLeft = sizeof outChunk;
        const size_t theResult = iconv(inDescriptor, &inInput, &inLeft, &theOut, &theOutLeft);
        const int theError = errno;
        const size_t theProduced = (sizeof outChunk - theOutLeft) / sizeof(Unit);
        if (!outSink.PutAll(outChunk, theProduced))
            return ERROR_INSUFFICIENT_BUFFER;
        if (theResult != static_cast<size_t>(-1))
            return 0;
        if (theError == E2BIG && theProduced > 0)
            continue;
        if (theError != EILSEQ && theError != EINVAL)
            return ERROR_NO_UNICODE_TRANSLATION;
        if (const DWORD theSkipError = inSkipBad(); theSkipError != 0)
            return theSkipError;
    }
    return 0;
}

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
    // A byte that starts no character (or a sequence cut off at the end).
    return ConvertAll(theDescriptor, theIn, theInLeft, theChunk, outSink, [&]() -> DWORD {
        if (inStrict)
            return ERROR_NO_UNICODE_TRANSLATION;
        const BYTE theBad = static_cast<BYTE>(*theIn);
        ++theIn;
        --theInLeft;
        const WCHAR theStandIn = inEntry.maxCharSize == 1 ? static_cast<WCHAR>(theBad) : WCHAR(0x30FB);
        return outSink.Put(theStandIn) ? 0 : ERROR_INSUFFICIENT_BUFFER;
    });
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
    char* theIn = reinterpret_cast<char*>(const_cast<WCHAR*>(inText));
    size_t theInLeft = inLength * sizeof(WCHAR);
    char theChunk[kChunkUnits * 4];
    // A character the code page lacks: one default character for it, a pair included.
    const DWORD theError = ConvertAll(theDescriptor, theIn, theInLeft, theChunk, outSink, [&]() -> DWORD {
        const WCHAR* theUnit = reinterpret_cast<const WCHAR*>(theIn);
        const size_t theUnits = IsHighSurrogate(theUnit[0]) && theInLeft >= 2 * sizeof(WCHAR) &&
                                IsLowSurrogate(theUnit[1]) ? 2 : 1;
        theIn += theUnits * sizeof(WCHAR);
        theInLeft -= theUnits * sizeof(WCHAR);
        if (outUsedDefault != nullptr)
            *outUsedDefault = TRUE;
        if (!FlushShiftState(theDescriptor, outSink) || !outSink.PutAll(inDefault, inDefaultLength))
            return ERROR_INSUFFICIENT_BUFFER;
        return 0;
    });
    if (theError != 0)
        return theError;
    return FlushShiftState(theDescriptor, outSink) ? 0 : ERROR_INSUFFICIENT_BUFFER;
}

} // namespace ferrolift::platform

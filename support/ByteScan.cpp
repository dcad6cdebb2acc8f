// ByteScan.cpp: the splitter's search. Wide loops compare the pattern's first and last
// bytes at 16 or 32 starts at once, and only starts where both agree get a full compare.
// On file data that filter passes about one start in 65536, where a first-byte search
// (memchr) stops every 256 bytes of random data.
#include "support/ByteScan.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

/// Candidate starts inFrom .. inLast (inclusive), one first-byte hit at a time.
const char* ScanNarrow(const char* inFrom, const char* inLast, const char* inPattern, size_t inPatternLength)
{
    const char* p = inFrom;
    while (p <= inLast) {
        p = static_cast<const char*>(std::memchr(p, inPattern[0], static_cast<size_t>(inLast - p) + 1));
        if (p == nullptr)
            return nullptr;
        if (std::memcmp(p + 1, inPattern + 1, inPatternLength - 1) == 0)
            return p;
        ++p;
    }
    return nullptr;
}

#if defined(__x86_64__)

/// The starts flagged in inMask (bit k: start inBase + k) whose middle bytes match too.
inline const char* Confirm(unsigned inMask, const char* inBase, const char* inPattern, size_t inPatternLength)
{
    for (; inMask != 0; inMask &= inMask - 1) {
        const char* theStart = inBase + __builtin_ctz(inMask);
        if (std::memcmp(theStart + 1, inPattern + 1, inPatternLength - 2) == 0)
            return theStart;
    }
    return nullptr;
}

const char* ScanSse2(const char* inText, size_t inLength, const char* inPattern, size_t inPatternLength)
{
    const size_t theSpan = inPatternLength - 1;
    const __m128i theFirst = _mm_set1_epi8(inPattern[0]);
    const __m128i theLast = _mm_set1_epi8(inPattern[theSpan]);
    size_t i = 0;
    for (; i + theSpan + 16 <= inLength; i += 16) {
        const __m128i theHeads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inText + i));
        const __m128i theTails = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inText + i + theSpan));
        const unsigned theMask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(theHeads, theFirst), _mm_cmpeq_epi8(theTails, theLast))));
        if (theMask != 0) {
            if (const char* theHit = Confirm(theMask, inText + i, inPattern, inPatternLength))
                return theHit;
        }
    }
    if (inLength - i < inPatternLength)
        return nullptr;
    return ScanNarrow(inText + i, inText + inLength - inPatternLength, inPattern, inPatternLength);
}

[[gnu::target("avx2")]] const char* ScanAvx2(const char* inText, size_t inLength, const char* inPattern,
                                             size_t inPatternLength)
{
    const size_t theSpan = inPatternLength - 1;
    const __m256i theFirst = _mm256_set1_epi8(inPattern[0]);
    const __m256i theLast = _mm256_set1_epi8(inPattern[theSpan]);
    size_t i = 0;
    // Two blocks a step: one branch per 64 starts keeps the loop at memory speed.
    for (; i + theSpan + 64 <= inLength; i += 64) {
        const char* theBase = inText + i;
        const __m256i theMatch0 = _mm256_and_si256(
            _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(theBase)), theFirst),
            _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(theBase + theSpan)), theLast));
        const __m256i theMatch1 = _mm256_and_si256(
            _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(theBase + 32)), theFirst),
            _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(theBase + 32 + theSpan)), theLast));
        if (_mm256_testz_si256(_mm256_or_si256(theMatch0, theMatch1), _mm256_set1_epi8(-1)))
            continue;
        const unsigned theMask0 = static_cast<unsigned>(_mm256_movemask_epi8(theMatch0));
        if (const char* theHit = Confirm(theMask0, theBase, inPattern, inPatternLength))
            return theHit;
        const unsigned theMask1 = static_cast<unsigned>(_mm256_movemask_epi8(theMatch1));
        if (const char* theHit = Confirm(theMask1, theBase + 32, inPattern, inPatternLength))
            return theHit;
    }
    return ScanSse2(inText + i, inLength - i, inPattern, inPatternLength);
}

bool HasAvx2()
{
    static const bool kHas = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return kHas;
}

#endif

}  // namespace

const char* ScanBytes(const char* inText, size_t inLength, const char* inPattern, size_t inPatternLength)
{
    if (inPatternLength == 0)
        return inText;
    if (inLength < inPatternLength)
        return nullptr;
    if (inPatternLength == 1)
        return static_cast<const char*>(std::memchr(inText, inPattern[0], inLength));
#if defined(__x86_64__)
    return HasAvx2() ? ScanAvx2(inText, inLength, inPattern, inPatternLength)
                     : ScanSse2(inText, inLength, inPattern, inPatternLength);
#else
    return ScanNarrow(inText, inText + inLength - inPatternLength, inPattern, inPatternLength);
#endif
}

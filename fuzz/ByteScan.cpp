// The wide search against a plain one: the first byte of the input sets the pattern's
// length, the pattern is taken from the input's end, and both searches must agree.
#include "support/ByteScan.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    if (inSize < 2)
        return 0;
    const size_t thePatternLength = 1 + inData[0] % 40;
    if (inSize - 1 < thePatternLength)
        return 0;
    // Copies of exactly the right size, so that any read past either is caught.
    const std::vector<char> thePattern(inData + inSize - thePatternLength, inData + inSize);
    const std::vector<char> theText(inData + 1, inData + inSize - thePatternLength);
    const char* theFound = ScanBytes(theText.data(), theText.size(), thePattern.data(), thePattern.size());
    const char* theExpected = nullptr;
    for (size_t i = 0; i + thePatternLength <= theText.size() && theExpected == nullptr; ++i)
        if (std::memcmp(theText.data() + i, thePattern.data(), thePatternLength) == 0)
            theExpected = theText.data() + i;
    if (theFound != theExpected)
        std::abort();
    return 0;
}

// MacBinary recognition over arbitrary bytes: the fork search stays inside the bytes and
// a stream it accepts has both forks inside them.
#include "decode/MacBinary.h"
#include "decode/MacFileTypes.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    const LONG theLength = static_cast<LONG>(inSize);
    const bool theIsMac = IsMacBinary(nullptr, inData, theLength);
    if (inSize < 128)
        return theIsMac ? (std::abort(), 0) : 0;
    const MacBinaryView theView(inData, theLength);
    const BYTE* theFork = FindResourceFork(theView);
    if (theFork != nullptr && (theFork < inData + 128 || theFork + 16 > inData + inSize))
        std::abort();
    if (theIsMac) {
        const size_t theData = static_cast<size_t>(DataForkLength(theView));
        const size_t theResource = static_cast<size_t>(ResourceForkLength(theView));
        if (theFork == nullptr || 128 + theData > inSize ||
            static_cast<size_t>(theFork - inData) + theResource > inSize)
            std::abort();
    }
    char theExtension[kMacExtensionLength];
    std::memset(theExtension, 'x', sizeof theExtension);
    LookupBuiltInMacType(theView.FileType(), theView.FileCreator(), theExtension);
    if (std::memchr(theExtension, 0, sizeof theExtension) == nullptr)
        std::abort();
    return 0;
}

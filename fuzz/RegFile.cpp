// Feeds arbitrary bytes to the registry file reader; whatever it accepts must write back
// to a text that reads again to the same text.
#include "platform/registry/RegFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    using namespace ferrolift::platform::reg;
    Tree theTree;
    const ParseResult theResult = ParseRegFile(std::string_view(reinterpret_cast<const char*>(inData), inSize), theTree);
    if (!theResult.ok)
        return 0;
    const std::string theText = WriteRegFile(theTree);
    Tree theAgain;
    if (!ParseRegFile(theText, theAgain).ok || WriteRegFile(theAgain) != theText)
        std::abort();
    return 0;
}

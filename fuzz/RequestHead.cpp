// Request heads from arbitrary bytes: the parser stays inside its input, answers only
// the statuses it documents, and a complete head is never found in a shorter prefix.
#include "host/RequestHead.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using ferrolift::host::RequestHead;

namespace {

void Check(bool inCondition)
{
    if (!inCondition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    std::string_view theBytes(reinterpret_cast<const char*>(inData), inSize);
    RequestHead theHead;
    std::size_t theUsed = 0;
    RequestHead::Result theResult = theHead.Parse(theBytes, theUsed);
    if (theResult == RequestHead::Result::Error) {
        int theStatus = theHead.ErrorStatus();
        Check(theStatus == 400 || theStatus == 411 || theStatus == 414 || theStatus == 417 || theStatus == 431 ||
              theStatus == 501 || theStatus == 505);
        return 0;
    }
    if (theResult == RequestHead::Result::Incomplete) {
        Check(inSize <= RequestHead::kMaxHeadBytes + RequestHead::kMaxRequestLine);
        return 0;
    }
    Check(theUsed > 0 && theUsed <= inSize);
    Check(theHead.ContentLength() >= 0);
    Check(theHead.Version() == 10 || theHead.Version() == 11);
    Check(!theHead.Path().empty() && theHead.Path().front() == '/');
    Check(theHead.Path().find('\0') == std::string::npos);
    for (char c : theHead.Target())
        Check(static_cast<unsigned char>(c) > ' ' && c != 0x7f);
    for (const auto& theField : theHead.Fields()) {
        for (char c : theField.second)
            Check(c != '\r' && c != '\n' && c != '\0');
    }
    Check(theHead.Fields().size() <= RequestHead::kMaxFields);
    // Any shorter prefix is still waiting for its end (or already broken).
    RequestHead thePrefix;
    std::size_t thePrefixUsed = 0;
    Check(thePrefix.Parse(theBytes.substr(0, theUsed - 1), thePrefixUsed) != RequestHead::Result::Complete);
    return 0;
}

#include "host/WebText.h"

namespace ferrolift::host {

std::string HtmlEscape(std::string_view inText)
{
    std::string theResult;
    theResult.reserve(inText.size());
    for (char c : inText) {
        switch (c) {
        case '&': theResult += "&amp;"; break;
        case '<': theResult += "&lt;"; break;
        case '>': theResult += "&gt;"; break;
        case '"': theResult += "&quot;"; break;
        default: theResult += c; break;
        }
    }
    return theResult;
}

int HexDigitValue(char inDigit)
{
    if (inDigit >= '0' && inDigit <= '9')
        return inDigit - '0';
    if (inDigit >= 'a' && inDigit <= 'f')
        return inDigit - 'a' + 10;
    if (inDigit >= 'A' && inDigit <= 'F')
        return inDigit - 'A' + 10;
    return -1;
}

}  // namespace ferrolift::host

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

}  // namespace ferrolift::host

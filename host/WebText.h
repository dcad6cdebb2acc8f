// WebText.h: the small text rules of the web that several parts of the engine need:
// escaping for HTML and the hex digits of URL escapes.
//
//   theBody += "<a href=\"" + ferrolift::host::HtmlEscape(theUrl) + "\">";
//   int theHigh = ferrolift::host::HexDigitValue('F');   // 15; -1 for a non-digit
#pragma once

#include <string>
#include <string_view>

namespace ferrolift::host {

/// inText with &, <, > and " replaced by entities: safe inside an element or a
/// double-quoted attribute.
std::string HtmlEscape(std::string_view inText);

/// The value of one hex digit (either case), or -1.
int HexDigitValue(char inDigit);

}  // namespace ferrolift::host

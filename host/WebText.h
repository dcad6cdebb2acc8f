// WebText.h: the small text rules of the web that several parts of the engine need:
// escaping for HTML.
//
//   theBody += "<a href=\"" + ferrolift::host::HtmlEscape(theUrl) + "\">";
#pragma once

#include <string>
#include <string_view>

namespace ferrolift::host {

/// inText with &, <, > and " replaced by entities: safe inside an element or a
/// double-quoted attribute.
std::string HtmlEscape(std::string_view inText);

}  // namespace ferrolift::host

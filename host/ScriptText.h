// ScriptText.h: text conversions between the script engine's strings (CESU-8: every
// UTF-16 unit encoded on its own, as the engine stores them), UTF-16 automation strings
// and the UTF-8 of HTTP.
//
//   std::u16string theWide = ferrolift::host::ScriptToUtf16(duk_get_string(ctx, -1));
//   std::string theBytes = ferrolift::host::ScriptToUtf8(theScriptText);   // for the wire
#pragma once

#include <string>
#include <string_view>

namespace ferrolift::host {

/// UTF-16 units to the engine's CESU-8 form (lone surrogates kept).
std::string Utf16ToScript(std::u16string_view inText);

/// The engine's string (CESU-8, or UTF-8 with 4-byte sequences) to UTF-16.
std::u16string ScriptToUtf16(std::string_view inText);

/// The engine's string to standard UTF-8: surrogate pairs joined, lone ones as U+FFFD.
std::string ScriptToUtf8(std::string_view inText);

/// Bytes from the wire taken as UTF-8 to the engine's form; invalid bytes become U+FFFD.
std::string Utf8ToScript(std::string_view inBytes);

}  // namespace ferrolift::host

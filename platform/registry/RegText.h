// RegText.h: text helpers of the registry: UTF-8 <-> UTF-16 (invalid sequences become
// U+FFFD) and the ASCII case folding that orders and matches key and value names.
//
//   std::u16string theWide = ferrolift::platform::reg::Utf8ToUtf16("Caf\xc3\xa9");  // 4 units
//   bool theSame = ferrolift::platform::reg::FoldName("Software") == ferrolift::platform::reg::FoldName("SOFTWARE");
#pragma once

#include <string>
#include <string_view>

namespace ferrolift::platform::reg {

/// UTF-8 to UTF-16; each invalid or truncated sequence gives one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view inText);
/// UTF-16 to UTF-8; an unpaired surrogate gives U+FFFD.
std::string Utf16ToUtf8(std::u16string_view inText);
/// True when inText has no unpaired surrogate.
bool IsWellFormedUtf16(std::u16string_view inText);
/// The name with ASCII letters upper-cased: the key under which names compare and sort.
std::string FoldName(std::string_view inName);

}  // namespace ferrolift::platform::reg

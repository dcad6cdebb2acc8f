// RegFile.h: reading and writing the registry export format.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Tallowmere\Ferrolift\4.0]
//   "LogErrors"=dword:00000001
//   "ModulePath"="/usr/lib/libferrolift.so"
//   @="default value"
//   "Bytes"=hex:01,02,ff
//   "Multi"=hex(7):61,00,00,00,00,00
//
//   ferrolift::platform::reg::Tree theTree;
//   ParseResult theResult = ParseRegFile(theText, theTree);
//   if (!theResult.ok) std::printf("line %zu: %s\n", theResult.line, theResult.message.c_str());
//   std::string theOut = WriteRegFile(theTree);
//
// Reading accepts UTF-8 (with or without a byte-order mark) and UTF-16LE with its mark,
// LF or CRLF line ends, ';' comment lines, "[-KEY]" and "name"=- deletions, and hex data
// continued over lines with a trailing backslash. It runs in time linear in the input
// (times the logarithm of the number of sibling keys) and rejects anything else with the
// line number and what was expected.
#pragma once

#include "platform/registry/RegTree.h"

#include <string>
#include <string_view>

namespace ferrolift::platform::reg {

/// The first line of every file.
inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

/// The outcome of ParseRegFile: ok, or the 1-based line of the first problem and what
/// was wrong there.
struct ParseResult {
    bool ok = true;
    size_t line = 0;
    std::string message;
};

/// Parses inText into outTree (added to what it holds). Empty or blank text is an empty
/// registry. On failure outTree holds what was read before the bad line.
ParseResult ParseRegFile(std::string_view inText, Tree& outTree);

/// The text of inTree: header, then every key in depth-first name order (a root only when
/// it has values), LF line ends, strings as UTF-8.
std::string WriteRegFile(const Tree& inTree);

/// Splits "HKEY_LOCAL_MACHINE\A\B" (HKEY_CLASSES_ROOT becomes
/// HKEY_LOCAL_MACHINE\SOFTWARE\Classes; the short forms HKLM, HKCU, HKCR, HKU are taken
/// when inAllowShortRoots) into a root and subkey names; false for an unknown root or an
/// empty name on the path.
bool SplitKeyPath(std::string_view inPath, bool inAllowShortRoots, RootId& outRoot, std::vector<std::string>& outNames);

}  // namespace ferrolift::platform::reg

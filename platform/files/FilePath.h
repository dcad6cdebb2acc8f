// FilePath.h: how Win32 path strings become POSIX paths here (internal to the platform).
// UTF-16 becomes UTF-8, '\' becomes '/', and a ':' in the last component splits off the
// name of an alternate data stream.
//
//   ferrolift::platform::FilePath thePath;
//   if (!ferrolift::platform::ParseFilePath(u"up\\a.txt:AFP_Resource", thePath))
//       return FALSE;                          // last error set (123, 206, 3)
//   // thePath.file == "up/a.txt", thePath.attribute == "user.DosStream.AFP_Resource:$DATA"
#pragma once

#include "platform/types/WinTypes.h"

#include <string>

namespace ferrolift::platform {

/// A parsed Win32 path: the file's POSIX path and, for a stream, its attribute name.
struct FilePath {
    std::string file;
    std::string attribute;   // empty: the file itself

    bool IsStream() const { return !attribute.empty(); }
};

/// UTF-16 (zero-terminated) to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8FromUtf16(LPCWSTR inText);

/// UTF-8 to UTF-16; an invalid sequence becomes U+FFFD.
std::u16string Utf16FromUtf8(const std::string& inText);

/// Copies inText and its terminator into outBuffer of inCapacity units. Returns the
/// length without the terminator, or, when it does not fit, the capacity needed
/// including the terminator (nothing copied). The Win32 size protocol of GetTempPath.
DWORD CopyOutWithSize(const std::string& inText, LPSTR outBuffer, DWORD inCapacity);
/// As CopyOutWithSize, converting to UTF-16 first.
DWORD CopyOutWithSize(const std::string& inText, LPWSTR outBuffer, DWORD inCapacity);

/// Converts separators to '/', and splits off a stream name ("file:NAME",
/// "file:NAME:$DATA"; "file::$DATA" is the file). False with the last error set when the
/// path is null or empty (3), names a stream badly (123) or a stream name is too long
/// for an attribute name (206).
bool ParseFilePath(LPCSTR inPath, FilePath& outPath);
/// As ParseFilePath, for a UTF-16 path.
bool ParseFilePath(LPCWSTR inPath, FilePath& outPath);

}  // namespace ferrolift::platform

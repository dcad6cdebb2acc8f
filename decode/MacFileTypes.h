// MacFileTypes.h: file-type extensions for Macintosh type and creator codes, from the
// host's Macintosh file service settings, else a built-in table, else the type itself.
//
//   char theExtension[kMacExtensionLength];
//   MacTypeToExtension(theView.FileType(), theView.FileCreator(), theExtension);
//   // type "TEXT", creator "ttxt": "TXT"; type "QRST", unknown creator: "QRST"
#pragma once

#include <windows.h>

/// Size of an extension buffer, terminator included.
constexpr int kMacExtensionLength = 16;

/// Fills outExtension (kMacExtensionLength bytes) with the extension for the four-byte
/// codes inType and inCreator: the registry mapping, else the table, else the type
/// characters up to a zero byte. Returns outExtension.
char* MacTypeToExtension(const BYTE* inType, const BYTE* inCreator, char* outExtension);

/// Looks the codes up in the Macintosh file service's Type_Creators and Extensions keys
/// (HKEY_LOCAL_MACHINE). ERROR_SUCCESS with the extension (cut to 15 characters), or
/// the registry's code (ERROR_NO_MORE_ITEMS when nothing matches).
LONG LookupMacFileExtension(const BYTE* inType, const BYTE* inCreator, char* outExtension);

/// Looks the codes up in the built-in table, first matching row first ("----" matches
/// any code). False, with an empty output, when no row matches.
bool LookupBuiltInMacType(const BYTE* inType, const BYTE* inCreator, char* outExtension);

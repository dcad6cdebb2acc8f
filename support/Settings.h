// Settings.h: the component's registry settings under HKEY_LOCAL_MACHINE
// "SOFTWARE\Tallowmere\Ferrolift\4.0", read anew at each use.
//
//   DWORD theLogErrors = 0;                        // the default
//   ReadSettingDword("LogErrors", &theLogErrors);  // keeps 0 when absent
//   DWORD theChunk = RefreshReadChunkSize();       // 2048 until a value is set
#pragma once

#include <windows.h>

/// The settings key under HKEY_LOCAL_MACHINE.
inline constexpr const char* kSettingsKey = "SOFTWARE\\Tallowmere\\Ferrolift\\4.0";

/// The read chunk size before any value has been read.
inline constexpr DWORD kDefaultReadChunkSize = 2048;

/// Reads the named value of the settings key into *inOutValue: its bytes, up to 4, as a
/// little-endian number, whatever its registry type. On any failure (key or value
/// missing, value over 4 bytes) returns false and leaves *inOutValue unchanged.
bool ReadSettingDword(const char* inName, DWORD* inOutValue);

/// Writes the module's full path as "ModulePath" (REG_SZ). Returns 0 or a system error.
DWORD WriteModulePath();

/// Reads "ModulePath" from the settings key of inServer (null or empty: this machine)
/// into outBuffer of inSize bytes. Returns 0 or a system error.
DWORD ReadModulePath(const char* inServer, char* outBuffer, DWORD inSize);

/// Reads "ReadChunkSize" into the process-wide value, which keeps its last value when the
/// setting is absent, and returns that value.
DWORD RefreshReadChunkSize();

/// The process-wide read chunk size as last read (2048 before any read).
DWORD CurrentReadChunkSize();

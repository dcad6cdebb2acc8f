// EventLogWriter.h: entries in the Application event log under the source "Ferrolift"
// (category 1, event 0x1000, one insertion string), and self-registration of the source.
//
//   LogEvent("Unable to create Binary Read Cache", EVENTLOG_ERROR_TYPE);
#pragma once

#include <windows.h>

/// The component's event source name.
inline constexpr const char* kEventSourceName = "Ferrolift";

/// The key under HKEY_LOCAL_MACHINE that holds event sources of the Application log.
inline constexpr const char* kEventSourceKeyPrefix = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

/// Writes one entry of inType (1 error, 2 warning, 4 information) with inText, CR and LF
/// replaced by spaces. Returns 0 or a system error code; callers may ignore it.
DWORD LogEvent(const char* inText, WORD inType);

/// Registers inSource (1..64 characters) on inServer (null or empty: this machine) when
/// it is missing, with ModulePath as message file. Returns 0 or a system error code.
DWORD EnsureEventSource(const char* inServer, const char* inSource);

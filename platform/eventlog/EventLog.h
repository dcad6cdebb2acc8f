// EventLog.h: the application event log. Every entry goes to syslog (ident = the source,
// severity from the type) and is appended as one JSON line to the event-log file, named by
// FERROLIFT_EVENTLOG (read at every call), by default "eventlog.jsonl" beside the
// registry file:
//   {"time":"2026-12-06T01:02:03.456Z","source":"Ferrolift","type":1,"category":1,
//    "eventId":4096,"strings":["text"]}
// Each line is written with one append, so threads and processes never interleave.
//
//   HANDLE theSource = RegisterEventSourceA(nullptr, "Ferrolift");
//   LPCSTR theStrings[] = {"Something failed"};
//   ReportEventA(theSource, EVENTLOG_ERROR_TYPE, 1, 0x1000, nullptr, 1, 0, theStrings, nullptr);
//   DeregisterEventSource(theSource);
#pragma once

#include "platform/types/WinTypes.h"

#include <string>

typedef PVOID PSID;

#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
#define EVENTLOG_AUDIT_SUCCESS 0x0008
#define EVENTLOG_AUDIT_FAILURE 0x0010

#ifndef RPC_S_SERVER_UNAVAILABLE
#define RPC_S_SERVER_UNAVAILABLE 1722L
#endif

extern "C" {

/// A handle naming the source on the local machine (null or "" server, or the host's own
/// name). Null with ERROR_INVALID_PARAMETER (87) for a null or empty source, with
/// RPC_S_SERVER_UNAVAILABLE (1722) for another machine.
HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName);

/// Writes one entry: the type (EVENTLOG_*), category, event id and wNumStrings strings.
/// The user SID and raw data are accepted and not recorded. FALSE with
/// ERROR_INVALID_HANDLE (6) for a handle not from RegisterEventSourceA,
/// ERROR_INVALID_PARAMETER (87) for strings missing or a type not among the EVENTLOG_*
/// values, or the mapped errno when the file cannot be written (syslog still gets it).
BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID lpUserSid,
                         WORD wNumStrings, DWORD dwDataSize, LPCSTR* lpStrings, LPVOID lpRawData);

/// Closes a source handle. FALSE with ERROR_INVALID_HANDLE (6) for anything else.
BOOL WINAPI DeregisterEventSource(HANDLE hEventLog);

}  // extern "C"

namespace ferrolift::platform {

/// The event-log file in use now: FERROLIFT_EVENTLOG; else, for a root process without
/// FERROLIFT_REGISTRY, /var/log/ferrolift/eventlog.jsonl; else eventlog.jsonl beside the
/// registry file.
std::string EventLogFilePath();

}  // namespace ferrolift::platform

// The event log: syslog plus one JSON line per entry in the event-log file.
#include "platform/eventlog/EventLog.h"

#include "platform/errors/Errors.h"
#include "platform/registry/StatePaths.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <syslog.h>
#include <unistd.h>
#include <unordered_map>

namespace {

struct EventSource {
    std::string name;
};

struct SourceTable {
    std::mutex mutex;
    std::unordered_map<const void*, std::unique_ptr<EventSource>> sources;
};

SourceTable& Sources()
{
    static SourceTable theTable;
    return theTable;
}

bool FindSource(HANDLE inHandle, std::string& outName)
{
    std::lock_guard theGuard(Sources().mutex);
    const auto theIt = Sources().sources.find(inHandle);
    if (theIt == Sources().sources.end())
        return false;
    outName = theIt->second->name;
    return true;
}

bool IsKnownType(WORD inType)
{
    return inType == EVENTLOG_SUCCESS || inType == EVENTLOG_ERROR_TYPE || inType == EVENTLOG_WARNING_TYPE ||
           inType == EVENTLOG_INFORMATION_TYPE || inType == EVENTLOG_AUDIT_SUCCESS || inType == EVENTLOG_AUDIT_FAILURE;
}

int SyslogSeverity(WORD inType)
{
    switch (inType) {
    case EVENTLOG_ERROR_TYPE: return LOG_ERR;
    case EVENTLOG_WARNING_TYPE:
    case EVENTLOG_AUDIT_FAILURE: return LOG_WARNING;
    default: return LOG_INFO;
    }
}

// Length of the valid UTF-8 sequence at inText[inPos], or 0.
size_t Utf8Length(std::string_view inText, size_t inPos)
{
    const auto theLead = static_cast<unsigned char>(inText[inPos]);
    const size_t theLength = theLead >= 0xF0 && theLead <= 0xF4 ? 4 : theLead >= 0xE0 ? 3 : theLead >= 0xC2 ? 2 : 0;
    if (theLength == 0 || theLead >= 0xF5 || inPos + theLength > inText.size())
        return 0;
    for (size_t i = 1; i < theLength; ++i)
        if ((static_cast<unsigned char>(inText[inPos + i]) & 0xC0) != 0x80)
            return 0;
    return theLength;
}

// A JSON string. Bytes that are not UTF-8 are taken as Latin-1, so any text gives valid JSON.
void AppendJsonString(std::string& outLine, std::string_view inText)
{
    char theEscape[8];
    outLine += '"';
    for (size_t i = 0; i < inText.size(); ++i) {
        const auto theByte = static_cast<unsigned char>(inText[i]);
        if (theByte == '"' || theByte == '\\') {
            outLine += '\\';
            outLine += static_cast<char>(theByte);
        } else if (theByte >= 0x20 && theByte < 0x80) {
            outLine += static_cast<char>(theByte);
        } else if (const size_t theLength = theByte >= 0x80 ? Utf8Length(inText, i) : 0) {
            outLine.append(inText.substr(i, theLength));
            i += theLength - 1;
        } else {
            std::snprintf(theEscape, sizeof theEscape, "\\u%04x", theByte);
            outLine += theEscape;
        }
    }
    outLine += '"';
}

std::string IsoTimeNow()
{
    timespec theNow {};
    ::clock_gettime(CLOCK_REALTIME, &theNow);
    tm theParts {};
    ::gmtime_r(&theNow.tv_sec, &theParts);
    char theText[96];
    std::snprintf(theText, sizeof theText, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", theParts.tm_year + 1900,
                  theParts.tm_mon + 1, theParts.tm_mday, theParts.tm_hour, theParts.tm_min, theParts.tm_sec,
                  theNow.tv_nsec / 1000000L);
    return theText;
}

std::string JsonLine(const std::string& inSource, WORD inType, WORD inCategory, DWORD inEventId, WORD inCount,
                     LPCSTR* inStrings)
{
    std::string theLine = "{\"time\":\"" + IsoTimeNow() + "\",\"source\":";
    AppendJsonString(theLine, inSource);
    theLine += ",\"type\":" + std::to_string(inType) + ",\"category\":" + std::to_string(inCategory) +
               ",\"eventId\":" + std::to_string(inEventId) + ",\"strings\":[";
    for (WORD i = 0; i < inCount; ++i) {
        if (i > 0)
            theLine += ',';
        AppendJsonString(theLine, inStrings[i]);
    }
    theLine += "]}\n";
    return theLine;
}

void SendToSyslog(const std::string& inSource, WORD inType, WORD inCount, LPCSTR* inStrings)
{
    std::string theText;
    for (WORD i = 0; i < inCount; ++i) {
        if (i > 0)
            theText += ' ';
        theText += inStrings[i];
    }
    // openlog keeps the ident pointer and is process-wide: hold it only for this entry.
    static std::mutex theSyslogMutex;
    std::lock_guard theGuard(theSyslogMutex);
    ::openlog(inSource.c_str(), LOG_PID, LOG_USER);
    ::syslog(SyslogSeverity(inType), "%s", theText.c_str());
    ::closelog();
}

// One write with O_APPEND: concurrent writers never interleave within a line.
DWORD AppendLine(const std::string& inLine)
{
    const std::string thePath = ferrolift::platform::EventLogFilePath();
    int theFd = ::open(thePath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (theFd < 0 && errno == ENOENT && ferrolift::platform::MakeParentFolders(thePath))
        theFd = ::open(thePath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (theFd < 0)
        return ferrolift::platform::SetLastErrorFromErrnoForPath(errno, "open", thePath.c_str());
    ssize_t theWritten = 0;
    do {
        theWritten = ::write(theFd, inLine.data(), inLine.size());
    } while (theWritten < 0 && errno == EINTR);
    const int theError = theWritten < 0 ? errno : ENOSPC;
    ::close(theFd);
    if (theWritten == static_cast<ssize_t>(inLine.size()))
        return ERROR_SUCCESS;
    return ferrolift::platform::SetLastErrorFromErrno(theError, "write");
}

}  // namespace

extern "C" HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName)
{
    if (lpSourceName == nullptr || *lpSourceName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (lpUNCServerName != nullptr && *lpUNCServerName != '\0') {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    auto theSource = std::make_unique<EventSource>(EventSource {lpSourceName});
    HANDLE theHandle = theSource.get();
    std::lock_guard theGuard(Sources().mutex);
    Sources().sources.emplace(theSource.get(), std::move(theSource));
    return theHandle;
}

extern "C" BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID,
                                    WORD wNumStrings, DWORD, LPCSTR* lpStrings, LPVOID)
{
    std::string theSource;
    if (!FindSource(hEventLog, theSource)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool theStringsOk = wNumStrings == 0 || lpStrings != nullptr;
    for (WORD i = 0; theStringsOk && i < wNumStrings; ++i)
        theStringsOk = lpStrings[i] != nullptr;
    if (!theStringsOk || !IsKnownType(wType)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SendToSyslog(theSource, wType, wNumStrings, lpStrings);
    return AppendLine(JsonLine(theSource, wType, wCategory, dwEventID, wNumStrings, lpStrings)) == ERROR_SUCCESS;
}

extern "C" BOOL WINAPI DeregisterEventSource(HANDLE hEventLog)
{
    std::lock_guard theGuard(Sources().mutex);
    if (Sources().sources.erase(hEventLog) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

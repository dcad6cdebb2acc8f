// StaticReply.h: the answers the event loop gives by itself, without a page: a site file
// (with Last-Modified / If-Modified-Since, HEAD and one byte range), a visitor's upload
// as a download that no browser renders, and short status pages (404, 503, ...).
//
//   ferrolift::host::StaticReply theReply;
//   if (ferrolift::host::StaticReply::ForFile(theHead, "/srv/site/a.css", false, true, theReply))
//       theConnection.QueueOutput(std::move(theReply.head), std::move(theReply.file),
//                                 theReply.offset, theReply.length);
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "host/UniqueFd.h"

namespace ferrolift::host {

class RequestHead;

/// One reply: the head, then length bytes of file from offset (when file is open).
struct StaticReply {
    int status = 200;
    std::string head;
    UniqueFd file;
    off_t offset = 0;
    std::int64_t length = 0;
    std::int64_t bodyBytes = 0;   // for the access log

    /// A regular file. inVisitorData: served as an attachment whatever its name.
    /// False when the file cannot be opened (the caller answers 404).
    static bool ForFile(const RequestHead& inRequest, const std::string& inPhysical, bool inVisitorData,
                        bool inKeepAlive, StaticReply& outReply);
    /// A short HTML page for a status; inExtraHeaders are full lines ("Retry-After: 1\r\n").
    static StaticReply ForStatus(int inStatus, std::string_view inText, bool inKeepAlive, bool inHeadOnly,
                                 std::string_view inExtraHeaders = {});

    /// The MIME type the site's files get by their extension.
    static const char* MimeType(std::string_view inPath);
    /// "filename=...; filename*=UTF-8''..." for a Content-Disposition of inName.
    static std::string DispositionName(std::string_view inName);
    /// The current time as an HTTP date, cached per second.
    static std::string Now();
};

}  // namespace ferrolift::host

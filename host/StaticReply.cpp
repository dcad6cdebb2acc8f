#include "host/StaticReply.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "host/RequestHead.h"

namespace ferrolift::host {

namespace {

std::string HttpDate(std::time_t inTime)
{
    std::tm theTime{};
    gmtime_r(&inTime, &theTime);
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char theText[40];
    std::snprintf(theText, sizeof theText, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[theTime.tm_wday % 7],
                  theTime.tm_mday, kMonths[theTime.tm_mon % 12], theTime.tm_year + 1900, theTime.tm_hour,
                  theTime.tm_min, theTime.tm_sec);
    return theText;
}

// An HTTP date (the preferred form only, as every current client sends); -1 otherwise.
std::time_t ParseHttpDate(const std::string& inText)
{
    std::tm theTime{};
    const char* theEnd = strptime(inText.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &theTime);
    if (theEnd == nullptr || *theEnd != '\0')
        return -1;
    return timegm(&theTime);
}

// The one range "bytes=A-B", "bytes=A-" or "bytes=-N" of a file of inSize bytes.
// 0: no usable range (serve it all), 1: range set, -1: unsatisfiable.
int ParseRange(const std::string& inValue, std::int64_t inSize, std::int64_t& outFirst, std::int64_t& outLast)
{
    if (inValue.compare(0, 6, "bytes=") != 0 || inValue.find(',') != std::string::npos)
        return 0;
    std::string theSpec = inValue.substr(6);
    std::size_t theDash = theSpec.find('-');
    if (theDash == std::string::npos || theSpec.find_first_not_of("0123456789-") != std::string::npos ||
        theSpec.size() > 40 || theSpec.find('-', theDash + 1) != std::string::npos)
        return 0;
    std::string theFirst = theSpec.substr(0, theDash);
    std::string theLast = theSpec.substr(theDash + 1);
    if (theFirst.size() > 18 || theLast.size() > 18 || (theFirst.empty() && theLast.empty()))
        return 0;
    if (theFirst.empty()) {   // the last N bytes
        std::int64_t theCount = std::stoll(theLast);
        if (theCount == 0 || inSize == 0)
            return -1;
        outFirst = theCount >= inSize ? 0 : inSize - theCount;
        outLast = inSize - 1;
        return 1;
    }
    outFirst = std::stoll(theFirst);
    outLast = theLast.empty() ? inSize - 1 : std::stoll(theLast);
    if (!theLast.empty() && outLast < outFirst)
        return 0;   // not a valid range: ignored
    if (outFirst >= inSize)
        return -1;
    if (outLast >= inSize)
        outLast = inSize - 1;
    return 1;
}

const char* ConnectionLine(const RequestHead& inRequest, bool inKeepAlive)
{
    if (!inKeepAlive)
        return "Connection: close\r\n";
    return inRequest.Version() == 10 ? "Connection: keep-alive\r\n" : "";
}

}  // namespace

std::string StaticReply::Now()
{
    thread_local std::time_t tSecond = 0;
    thread_local std::string tText;
    std::time_t theNow = std::time(nullptr);
    if (theNow != tSecond) {
        tSecond = theNow;
        tText = HttpDate(theNow);
    }
    return tText;
}

const char* StaticReply::MimeType(std::string_view inPath)
{
    static const struct {
        const char* extension;
        const char* type;
    } kTypes[] = {
        {"html", "text/html"}, {"htm", "text/html"}, {"css", "text/css"}, {"js", "text/javascript"},
        {"mjs", "text/javascript"}, {"json", "application/json"}, {"txt", "text/plain"}, {"xml", "text/xml"},
        {"csv", "text/csv"}, {"svg", "image/svg+xml"}, {"png", "image/png"}, {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"}, {"gif", "image/gif"}, {"webp", "image/webp"}, {"ico", "image/x-icon"},
        {"bmp", "image/bmp"}, {"pdf", "application/pdf"}, {"zip", "application/zip"},
        {"wasm", "application/wasm"}, {"woff", "font/woff"}, {"woff2", "font/woff2"}, {"mp4", "video/mp4"},
        {"mp3", "audio/mpeg"}, {"wav", "audio/wav"},
    };
    std::size_t theDot = inPath.find_last_of("./");
    if (theDot == std::string_view::npos || inPath[theDot] != '.')
        return "application/octet-stream";
    std::string_view theExtension = inPath.substr(theDot + 1);
    for (const auto& theType : kTypes) {
        std::string_view theKnown = theType.extension;
        if (theKnown.size() == theExtension.size() &&
            strncasecmp(theKnown.data(), theExtension.data(), theKnown.size()) == 0)
            return theType.type;
    }
    return "application/octet-stream";
}

std::string StaticReply::DispositionName(std::string_view inName)
{
    // The plain form for old clients: printable ASCII without quote, backslash or
    // separators; the starred form carries the real name, percent-encoded.
    std::string thePlain;
    std::string theEncoded;
    for (char c : inName) {
        auto theByte = static_cast<unsigned char>(c);
        bool theSafePlain = theByte >= 0x20 && theByte < 0x7f && c != '"' && c != '\\' && c != ';' && c != '%';
        thePlain += theSafePlain ? c : '_';
        bool theAttrChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos;
        if (theAttrChar) {
            theEncoded += c;
        } else {
            char theEscape[4];
            std::snprintf(theEscape, sizeof theEscape, "%%%02X", theByte);
            theEncoded += theEscape;
        }
    }
    if (thePlain.empty())
        thePlain = "download";
    return "filename=\"" + thePlain + "\"; filename*=UTF-8''" + theEncoded;
}

bool StaticReply::ForFile(const RequestHead& inRequest, const std::string& inPhysical, bool inVisitorData,
                          bool inKeepAlive, StaticReply& outReply)
{
    UniqueFd theFile(::open(inPhysical.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat theStat {};
    if (!theFile || ::fstat(theFile.Get(), &theStat) != 0 || !S_ISREG(theStat.st_mode))
        return false;
    std::int64_t theSize = theStat.st_size;
    std::string theModified = HttpDate(theStat.st_mtime);
    bool theHeadOnly = inRequest.Method() == "HEAD";

    std::string theHead;
    theHead.reserve(320);
    const std::string* theSince = inRequest.Field("If-Modified-Since");
    std::int64_t theFirst = 0;
    std::int64_t theLast = theSize - 1;
    int theRange = 0;
    if (theSince != nullptr && ParseHttpDate(*theSince) >= theStat.st_mtime) {
        outReply.status = 304;
    } else {
        const std::string* theRangeField = inRequest.Field("Range");
        if (theRangeField != nullptr && inRequest.Field("If-Range") == nullptr)
            theRange = ParseRange(*theRangeField, theSize, theFirst, theLast);
        outReply.status = theRange == 1 ? 206 : theRange < 0 ? 416 : 200;
    }
    if (outReply.status == 416) {
        outReply = ForStatus(416, "Range Not Satisfiable", inKeepAlive, theHeadOnly,
                             "Content-Range: bytes */" + std::to_string(theSize) + "\r\n");
        return true;
    }
    theHead += outReply.status == 304 ? "HTTP/1.1 304 Not Modified\r\n"
             : outReply.status == 206 ? "HTTP/1.1 206 Partial Content\r\n"
                                      : "HTTP/1.1 200 OK\r\n";
    theHead += "Date: " + Now() + "\r\nLast-Modified: " + theModified + "\r\n";
    if (inVisitorData) {
        std::string_view theName(inPhysical);
        theName.remove_prefix(theName.find_last_of('/') + 1);
        theHead += "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; ";
        theHead += DispositionName(theName);
        theHead += "\r\nContent-Security-Policy: sandbox\r\n";
    } else {
        theHead += "Content-Type: ";
        theHead += MimeType(inPhysical);
        theHead += "\r\n";
    }
    theHead += "X-Content-Type-Options: nosniff\r\nAccept-Ranges: bytes\r\n";
    std::int64_t theLength = outReply.status == 304 ? 0 : theLast - theFirst + 1;
    if (outReply.status == 206)
        theHead += "Content-Range: bytes " + std::to_string(theFirst) + "-" + std::to_string(theLast) + "/" +
                   std::to_string(theSize) + "\r\n";
    if (outReply.status != 304)
        theHead += "Content-Length: " + std::to_string(theLength) + "\r\n";
    theHead += ConnectionLine(inRequest, inKeepAlive);
    theHead += "\r\n";
    outReply.head = std::move(theHead);
    outReply.bodyBytes = theHeadOnly ? 0 : theLength;
    if (!theHeadOnly && theLength > 0) {
        outReply.file = std::move(theFile);
        outReply.offset = static_cast<off_t>(theFirst);
        outReply.length = theLength;
    }
    return true;
}

StaticReply StaticReply::ForStatus(int inStatus, std::string_view inText, bool inKeepAlive, bool inHeadOnly,
                                   std::string_view inExtraHeaders)
{
    std::string theTitle = std::to_string(inStatus) + " " + std::string(inText);
    std::string theBody = "<!DOCTYPE html><html><head><title>" + theTitle + "</title></head><body><h1>" +
                          theTitle + "</h1></body></html>\n";
    StaticReply theReply;
    theReply.status = inStatus;
    theReply.head = "HTTP/1.1 " + theTitle + "\r\nDate: " + Now() +
                    "\r\nContent-Type: text/html; charset=utf-8\r\nX-Content-Type-Options: nosniff\r\n";
    theReply.head += inExtraHeaders;
    theReply.head += "Content-Length: " + std::to_string(theBody.size()) + "\r\n";
    // Said either way: an HTTP/1.0 client keeps the connection only when told so.
    theReply.head += inKeepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    theReply.head += "\r\n";
    if (!inHeadOnly) {
        theReply.head += theBody;
        theReply.bodyBytes = static_cast<std::int64_t>(theBody.size());
    }
    return theReply;
}

}  // namespace ferrolift::host

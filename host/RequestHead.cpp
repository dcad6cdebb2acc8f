#include "host/RequestHead.h"

#include <strings.h>

#include "host/WebText.h"

namespace ferrolift::host {

namespace {

bool IsTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
    case '-': case '.': case '^': case '_': case '`': case '|': case '~':
        return true;
    default:
        return false;
    }
}

bool IsToken(std::string_view inText)
{
    if (inText.empty())
        return false;
    for (char c : inText) {
        if (!IsTokenChar(c))
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view inText)
{
    while (!inText.empty() && (inText.front() == ' ' || inText.front() == '\t'))
        inText.remove_prefix(1);
    while (!inText.empty() && (inText.back() == ' ' || inText.back() == '\t'))
        inText.remove_suffix(1);
    return inText;
}

// Percent-decodes a path; false on a broken escape or an encoded NUL, which no file
// name can hold and which would cut the path short further down.
bool DecodePath(std::string_view inText, std::string& outPath)
{
    outPath.clear();
    outPath.reserve(inText.size());
    for (std::size_t i = 0; i < inText.size(); ++i) {
        char c = inText[i];
        if (c != '%') {
            outPath += c;
            continue;
        }
        if (i + 2 >= inText.size())
            return false;
        int theHigh = HexDigitValue(inText[i + 1]);
        int theLow = HexDigitValue(inText[i + 2]);
        if (theHigh < 0 || theLow < 0 || (theHigh == 0 && theLow == 0))
            return false;
        outPath += static_cast<char>(theHigh * 16 + theLow);
        i += 2;
    }
    return true;
}

// True when the comma-separated list inValue holds inToken (case-insensitive).
bool HasToken(std::string_view inValue, std::string_view inToken)
{
    while (!inValue.empty()) {
        std::size_t theComma = inValue.find(',');
        std::string_view theItem = Trim(inValue.substr(0, theComma));
        if (theItem.size() == inToken.size() && strncasecmp(theItem.data(), inToken.data(), inToken.size()) == 0)
            return true;
        if (theComma == std::string_view::npos)
            break;
        inValue.remove_prefix(theComma + 1);
    }
    return false;
}

bool SameName(std::string_view inLeft, std::string_view inRight)
{
    return inLeft.size() == inRight.size() && strncasecmp(inLeft.data(), inRight.data(), inLeft.size()) == 0;
}

}  // namespace

RequestHead::Result RequestHead::Fail(int inStatus, const char* inText)
{
    mErrorStatus = inStatus;
    mErrorText = inText;
    return Result::Error;
}

const std::string* RequestHead::Field(std::string_view inName) const
{
    for (const auto& theField : mFields) {
        if (SameName(theField.first, inName))
            return &theField.second;
    }
    return nullptr;
}

RequestHead::Result RequestHead::Parse(std::string_view inBytes, std::size_t& outUsed)
{
    *this = RequestHead();
    // Empty lines before a request are tolerated (some clients send one after a body).
    std::size_t theStart = 0;
    while (theStart < inBytes.size() && (inBytes[theStart] == '\r' || inBytes[theStart] == '\n')) {
        if (++theStart > 8)
            return Fail(400, "Bad Request");
    }
    std::size_t thePos = theStart;
    bool theFirst = true;
    for (;;) {
        std::size_t theEnd = inBytes.find('\n', thePos);
        std::size_t theLimit = theFirst ? kMaxRequestLine : kMaxHeadBytes;
        if (theEnd == std::string_view::npos) {
            if (inBytes.size() - theStart > theLimit)
                return theFirst ? Fail(414, "URI Too Long") : Fail(431, "Request Header Fields Too Large");
            return Result::Incomplete;
        }
        if (theEnd - theStart > theLimit)
            return theFirst ? Fail(414, "URI Too Long") : Fail(431, "Request Header Fields Too Large");
        std::string_view theLine = inBytes.substr(thePos, theEnd - thePos);
        if (!theLine.empty() && theLine.back() == '\r')
            theLine.remove_suffix(1);
        if (theLine.find('\r') != std::string_view::npos)
            return Fail(400, "Bad Request");
        thePos = theEnd + 1;
        if (theFirst) {
            if (!ParseRequestLine(theLine))
                return Result::Error;
            theFirst = false;
            continue;
        }
        if (theLine.empty())
            break;
        if (mFields.size() >= kMaxFields)
            return Fail(431, "Request Header Fields Too Large");
        if (!ParseField(theLine))
            return Result::Error;
    }
    if (!ApplyFields())
        return Result::Error;
    outUsed = thePos;
    return Result::Complete;
}

bool RequestHead::ParseRequestLine(std::string_view inLine)
{
    std::size_t theFirstSpace = inLine.find(' ');
    std::size_t theLastSpace = inLine.rfind(' ');
    if (theFirstSpace == std::string_view::npos || theLastSpace == theFirstSpace) {
        Fail(400, "Bad Request");
        return false;
    }
    std::string_view theMethod = inLine.substr(0, theFirstSpace);
    std::string_view theTarget = inLine.substr(theFirstSpace + 1, theLastSpace - theFirstSpace - 1);
    std::string_view theVersion = inLine.substr(theLastSpace + 1);
    if (!IsToken(theMethod) || theTarget.empty()) {
        Fail(400, "Bad Request");
        return false;
    }
    if (theVersion == "HTTP/1.1") {
        mVersion = 11;
    } else if (theVersion == "HTTP/1.0") {
        mVersion = 10;
    } else if (theVersion.size() == 8 && theVersion.substr(0, 5) == "HTTP/" && theVersion[6] == '.' &&
               theVersion[5] >= '0' && theVersion[5] <= '9' && theVersion[7] >= '0' && theVersion[7] <= '9') {
        Fail(505, "HTTP Version Not Supported");
        return false;
    } else {
        Fail(400, "Bad Request");
        return false;
    }
    mMethod.assign(theMethod);
    return ParseTarget(theTarget);
}

bool RequestHead::ParseTarget(std::string_view inTarget)
{
    for (char c : inTarget) {
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) {
            Fail(400, "Bad Request");
            return false;
        }
    }
    mTarget.assign(inTarget);
    // The absolute form ("http://host/path") is accepted as a proxy-style client sends it.
    std::string_view theRest = inTarget;
    if (theRest.substr(0, 7) == "http://" || theRest.substr(0, 8) == "https://") {
        std::size_t theSlash = theRest.find('/', theRest.find("//") + 2);
        theRest = theSlash == std::string_view::npos ? std::string_view("/") : theRest.substr(theSlash);
    }
    if (theRest == "*" && mMethod == "OPTIONS")
        theRest = "/";
    if (theRest.empty() || theRest.front() != '/') {
        Fail(400, "Bad Request");
        return false;
    }
    std::size_t theHash = theRest.find('#');
    if (theHash != std::string_view::npos)
        theRest = theRest.substr(0, theHash);
    std::size_t theQuestion = theRest.find('?');
    if (theQuestion != std::string_view::npos)
        mQuery.assign(theRest.substr(theQuestion + 1));
    if (!DecodePath(theRest.substr(0, theQuestion), mPath)) {
        Fail(400, "Bad Request");
        return false;
    }
    return true;
}

bool RequestHead::ParseField(std::string_view inLine)
{
    // A folded continuation line was a way to smuggle headers past proxies; refused.
    if (inLine.front() == ' ' || inLine.front() == '\t') {
        Fail(400, "Bad Request");
        return false;
    }
    std::size_t theColon = inLine.find(':');
    if (theColon == std::string_view::npos || !IsToken(inLine.substr(0, theColon))) {
        Fail(400, "Bad Request");
        return false;
    }
    std::string_view theValue = Trim(inLine.substr(theColon + 1));
    for (char c : theValue) {
        if ((static_cast<unsigned char>(c) < ' ' && c != '\t') || c == 0x7f) {
            Fail(400, "Bad Request");
            return false;
        }
    }
    mFields.emplace_back(std::string(inLine.substr(0, theColon)), std::string(theValue));
    return true;
}

bool RequestHead::ApplyFields()
{
    bool theHasLength = false;
    bool theHasEncoding = false;
    int theHosts = 0;
    mKeepAlive = mVersion >= 11;
    for (const auto& [theName, theValue] : mFields) {
        if (SameName(theName, "Content-Length")) {
            // One plain number only: duplicates and lists are how bodies get smuggled.
            if (theHasLength || theValue.empty() || theValue.size() > 18 ||
                theValue.find_first_not_of("0123456789") != std::string::npos) {
                Fail(400, "Bad Request");
                return false;
            }
            theHasLength = true;
            mContentLength = std::stoll(theValue);
        } else if (SameName(theName, "Transfer-Encoding")) {
            theHasEncoding = true;
            if (!HasToken(theValue, "chunked")) {
                Fail(501, "Not Implemented");
                return false;
            }
        } else if (SameName(theName, "Connection")) {
            if (HasToken(theValue, "close"))
                mKeepAlive = false;
            else if (HasToken(theValue, "keep-alive"))
                mKeepAlive = true;
        } else if (SameName(theName, "Expect")) {
            if (!SameName(theValue, "100-continue")) {
                Fail(417, "Expectation Failed");
                return false;
            }
            mExpectsContinue = mVersion >= 11;
        } else if (SameName(theName, "Host")) {
            ++theHosts;
        }
    }
    if (theHasLength && theHasEncoding) {
        Fail(400, "Bad Request");
        return false;
    }
    if (theHasEncoding) {
        // Pages learn the body's size before reading it (TotalBytes, the upload's progress
        // and its size limit), so a body of unknown length is refused up front.
        Fail(411, "Length Required");
        return false;
    }
    if (theHosts > 1 || (mVersion >= 11 && theHosts == 0)) {
        Fail(400, "Bad Request");
        return false;
    }
    return true;
}

}  // namespace ferrolift::host

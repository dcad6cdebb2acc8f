// RequestHead.h: the request line and header fields of one HTTP/1.x request, parsed from
// the bytes a client sent, with the limits a public server needs. The parser never reads
// past the buffer it is given and never allocates more than the head's own size.
//
//   ferrolift::host::RequestHead theHead;
//   std::size_t theUsed = 0;
//   switch (theHead.Parse(theBytes, theUsed)) {
//   case RequestHead::Result::Incomplete: ... read more ...
//   case RequestHead::Result::Error: ... answer theHead.ErrorStatus() and close ...
//   case RequestHead::Result::Complete: ... theBytes.substr(theUsed) starts the body ...
//   }
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ferrolift::host {

/// One parsed request head.
class RequestHead {
public:
    enum class Result { Incomplete, Complete, Error };

    /// The request line alone may be this long (else 414).
    static constexpr std::size_t kMaxRequestLine = 8 * 1024;
    /// The whole head may be this long (else 431).
    static constexpr std::size_t kMaxHeadBytes = 16 * 1024;
    /// And hold this many header fields (else 431).
    static constexpr std::size_t kMaxFields = 100;

    /// Parses the head at the start of inBytes. Complete: outUsed is the head's length.
    /// Incomplete: the end has not arrived and no limit is broken yet. Error: see
    /// ErrorStatus and ErrorText.
    Result Parse(std::string_view inBytes, std::size_t& outUsed);

    const std::string& Method() const { return mMethod; }
    /// The request target as sent ("/a%20b?x=1").
    const std::string& Target() const { return mTarget; }
    /// The target's path, percent-decoded ("/a b").
    const std::string& Path() const { return mPath; }
    /// The raw query string, without "?".
    const std::string& Query() const { return mQuery; }
    /// 10 for HTTP/1.0, 11 for HTTP/1.1.
    int Version() const { return mVersion; }
    /// "1.0" or "1.1".
    const char* VersionText() const { return mVersion == 10 ? "1.0" : "1.1"; }
    /// Header fields in the order sent, names as sent.
    const std::vector<std::pair<std::string, std::string>>& Fields() const { return mFields; }
    /// The first field named inName (case-insensitive), or null.
    const std::string* Field(std::string_view inName) const;

    /// Body length from Content-Length; 0 without one.
    std::int64_t ContentLength() const { return mContentLength; }
    /// Whether the client allows the connection to carry another request.
    bool KeepAlive() const { return mKeepAlive; }
    /// Whether the client waits for "100 Continue" before sending its body.
    bool ExpectsContinue() const { return mExpectsContinue; }

    int ErrorStatus() const { return mErrorStatus; }
    const char* ErrorText() const { return mErrorText; }

private:
    Result Fail(int inStatus, const char* inText);
    bool ParseRequestLine(std::string_view inLine);
    bool ParseTarget(std::string_view inTarget);
    bool ParseField(std::string_view inLine);
    bool ApplyFields();

    std::string mMethod;
    std::string mTarget;
    std::string mPath;
    std::string mQuery;
    int mVersion = 11;
    std::vector<std::pair<std::string, std::string>> mFields;
    std::int64_t mContentLength = 0;
    bool mKeepAlive = true;
    bool mExpectsContinue = false;
    int mErrorStatus = 0;
    const char* mErrorText = "";
};

}  // namespace ferrolift::host

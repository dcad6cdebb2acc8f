// HttpExchange.h: one HTTP request and its response on a client connection, for the
// worker thread that runs a page: the body pulled on demand (BinaryRead or Form, never
// both), the response buffered and sent with a length in one write, or, once a page
// flushes, chunked (HTTP/1.1) or delimited by closing the connection (HTTP/1.0).
//
//   ferrolift::host::HttpExchange theExchange(theConnection, theHead, 30000);
//   std::string theChunk;
//   theExchange.ReadBody(2048, theChunk);        // false: client went away
//   theExchange.Write("<p>done</p>");
//   theExchange.Finish();
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "host/ValueCollection.h"

namespace ferrolift::host {

class TrustedProxy;

class Connection;
class RequestHead;

/// Request and response of one exchange. Reading is thread-safe (the component may read
/// the body from another thread than the page's); the response side is the page's.
class HttpExchange {
public:
    /// How the body has been consumed; each excludes the other, as pages expect.
    enum class BodyUse { None, Binary, Form };

    /// Bodies that Request.Form parses in memory are limited to this.
    static constexpr std::int64_t kMaxFormBytes = 4 * 1024 * 1024;
    /// An unread body up to this size is read and dropped to keep the connection.
    static constexpr std::int64_t kMaxDrainBytes = 1024 * 1024;
    /// Small body reads are served from a buffer filled in pulls of up to this size.
    static constexpr std::size_t kReadAheadBytes = 64 * 1024;
    /// The buffered response is sent once it grows past this.
    static constexpr std::size_t kAutoFlushBytes = 256 * 1024;

    /// inConnection and inHead must outlive the exchange; inTimeoutMs bounds every wait
    /// for the client (a stalled body, a client that does not take the response).
    /// inProxies (may be null) names the proxies whose forwarding headers tell the client.
    HttpExchange(Connection& inConnection, const RequestHead& inHead, int inTimeoutMs,
                 const TrustedProxy* inProxies = nullptr);
    HttpExchange(const HttpExchange&) = delete;
    HttpExchange& operator=(const HttpExchange&) = delete;

    // --- request -----------------------------------------------------------------
    const std::string& Method() const { return mMethod; }
    const std::string& Path() const { return mPath; }           // decoded URL path
    const std::string& QueryText() const { return mQueryText; } // raw query string
    /// Body length from Content-Length (0 when absent or chunked).
    std::int64_t TotalBytes() const { return mTotalBytes; }
    std::int64_t BytesRead() const;
    const ValueCollection& Query() const { return mQuery; }
    /// Built at first use: most pages never read them.
    const ValueCollection& ServerVariables() const;
    /// Adds a server variable that only the page runner knows (PATH_TRANSLATED, ...),
    /// before the page runs.
    void AddServerVariable(std::string_view inName, std::string inValue);
    /// A request header, or empty.
    std::string Header(const char* inName) const;

    /// Reads up to inCount bytes of the body (fewer only at its end) into outBytes.
    /// Fails with an explanation when the body was taken by Form, or when the client
    /// disconnects or times out before the body is complete.
    bool BinaryRead(std::int64_t inCount, std::string& outBytes, std::string& outError);
    /// The same into a caller's buffer of at least Clamp(inCount) bytes; outRead tells
    /// how many bytes arrived (also on failure).
    bool BinaryRead(std::int64_t inCount, char* outBuffer, std::int64_t& outRead, std::string& outError);
    /// How many bytes a BinaryRead of inCount would deliver: no more than is left.
    std::int64_t Clamp(std::int64_t inCount) const;
    /// The URL-encoded form of the body, parsed on first use; fails after BinaryRead or
    /// when the body is too large.
    bool Form(const ValueCollection*& outForm, std::string& outError);
    /// Marks the exchange finished: later BinaryRead calls fail (objects that scripts
    /// kept may outlive the page).
    void Detach();

    // --- response ----------------------------------------------------------------
    void Write(std::string_view inBytes);
    void Clear() { mBuffer.clear(); }
    /// Sends headers and what is buffered; the rest of the response is chunked.
    void Flush();
    /// Sends what is left; drains or gives up an unread body. Only the first call acts.
    void Finish();
    bool HeadersSent() const { return mHeadersSent; }
    /// After Finish: whether the connection may carry the client's next request (the
    /// response was framed, the body fully read, nothing failed).
    bool KeepAlive() const { return mKeepAlive && !mWriteFailed; }

    void SetStatus(int inCode, std::string inText) { mStatus = inCode; mStatusText = std::move(inText); }
    int Status() const { return mStatus; }
    const std::string& StatusText() const { return mStatusText; }
    void SetContentType(std::string inType) { mContentType = std::move(inType); }
    const std::string& ContentType() const { return mContentType; }
    void SetCharset(std::string inCharset) { mCharset = std::move(inCharset); }
    const std::string& Charset() const { return mCharset; }
    void AddHeader(std::string inName, std::string inValue);
    /// Bytes of response body sent so far (for the access log).
    std::int64_t BytesSent() const { return mBytesSent; }

private:
    void ParseRequest();
    void BuildServerVariables() const;
    void AcceptBody();
    bool ReadLocked(std::int64_t inWanted, char* outBuffer, std::int64_t& outRead, std::string& outError);
    std::string HeadText(bool inChunked, std::size_t inLength);
    void Send(std::string_view inHead, std::string_view inBody, bool inLastChunk);
    bool DrainBody();

    Connection& mConnection;
    const RequestHead& mHead;
    const int mTimeoutMs;
    const TrustedProxy* mProxies;
    std::string mMethod;
    std::string mPath;
    std::string mQueryText;
    std::int64_t mTotalBytes = 0;
    ValueCollection mQuery;
    mutable std::once_flag mVariablesBuilt;
    mutable ValueCollection mServerVariables;
    std::vector<std::pair<std::string, std::string>> mAddedVariables;   // by the page runner, listed last

    mutable std::mutex mReadLock;   // guards the fields below it
    std::int64_t mBytesRead = 0;
    BodyUse mBodyUse = BodyUse::None;
    bool mReadFailed = false;
    bool mDetached = false;
    bool mFormParsed = false;
    bool mContinueSent = false;
    std::unique_ptr<char[]> mAhead; // body bytes pulled but not yet delivered
    std::size_t mAheadSize = 0;
    std::size_t mAheadPos = 0;
    std::size_t mAheadEnd = 0;
    ValueCollection mForm;

    int mStatus = 200;
    std::string mStatusText = "OK";
    std::string mContentType = "text/html";
    std::string mCharset = "utf-8";
    std::vector<std::pair<std::string, std::string>> mHeaders;
    std::string mBuffer;
    bool mHeadersSent = false;
    bool mChunked = false;
    bool mFinished = false;
    bool mKeepAlive = true;
    bool mWriteFailed = false;
    std::int64_t mBytesSent = 0;
};

}  // namespace ferrolift::host

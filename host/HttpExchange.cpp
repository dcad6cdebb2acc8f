#include "host/HttpExchange.h"

#include <strings.h>
#include <sys/uio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/Connection.h"
#include "host/RequestHead.h"
#include "host/StaticReply.h"
#include "host/TrustedProxy.h"

namespace ferrolift::host {

namespace {

// A header name as a server variable: "Content-Type" becomes "HTTP_CONTENT_TYPE".
std::string VariableName(const char* inHeader)
{
    std::string theName = "HTTP_";
    for (const char* p = inHeader; *p != '\0'; ++p)
        theName += *p == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    return theName;
}

// Header values must not smuggle further lines into the response.
std::string SingleLine(std::string_view inText)
{
    std::string theResult(inText);
    std::replace_if(theResult.begin(), theResult.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return theResult;
}

}  // namespace

HttpExchange::HttpExchange(Connection& inConnection, const RequestHead& inHead, int inTimeoutMs,
                           const TrustedProxy* inProxies)
    : mConnection(inConnection), mHead(inHead), mTimeoutMs(inTimeoutMs), mProxies(inProxies)
{
    ParseRequest();
}

void HttpExchange::ParseRequest()
{
    mMethod = mHead.Method();
    mPath = mHead.Path();
    mQueryText = mHead.Query();
    mTotalBytes = mHead.ContentLength();
    mQuery.ParseUrlEncoded(mQueryText);
    mKeepAlive = mHead.KeepAlive();
}

const ValueCollection& HttpExchange::ServerVariables() const
{
    std::call_once(mVariablesBuilt, [this] { BuildServerVariables(); });
    return mServerVariables;
}

void HttpExchange::AddServerVariable(std::string_view inName, std::string inValue)
{
    mAddedVariables.emplace_back(inName, std::move(inValue));
}

void HttpExchange::BuildServerVariables() const
{
    std::string theAllHttp;
    for (const auto& [theHeader, theValue] : mHead.Fields()) {
        std::string theName = VariableName(theHeader.c_str());
        mServerVariables.Add(theName, theValue);
        theAllHttp += theName + ":" + theValue + "\n";
    }
    std::string theHost = Header("Host");
    mServerVariables.Add("ALL_HTTP", theAllHttp);
    mServerVariables.Add("REQUEST_METHOD", mMethod);
    mServerVariables.Add("QUERY_STRING", mQueryText);
    mServerVariables.Add("URL", mPath);
    mServerVariables.Add("PATH_INFO", mPath);
    mServerVariables.Add("SCRIPT_NAME", mPath);
    mServerVariables.Add("CONTENT_LENGTH", std::to_string(mTotalBytes));
    mServerVariables.Add("CONTENT_TYPE", Header("Content-Type"));
    // Forwarding headers count only from a listed proxy: anyone else could send them.
    TrustedProxy::Client theClient{mConnection.RemoteAddress(), "http", false};
    if (mProxies != nullptr && !mProxies->Empty()) {
        std::vector<TrustedProxy::Header> theHeaders;
        for (const auto& [theHeader, theValue] : mHead.Fields())
            theHeaders.push_back({theHeader, theValue});
        theClient = mProxies->Resolve(mConnection.RemoteAddress(), false, theHeaders);
    }
    const bool theSecure = theClient.scheme == "https";
    mServerVariables.Add("REMOTE_ADDR", theClient.address);
    mServerVariables.Add("REMOTE_HOST", theClient.address);
    mServerVariables.Add("REMOTE_PORT", std::to_string(mConnection.RemotePort()));
    mServerVariables.Add("SERVER_PORT", std::to_string(mConnection.LocalPort()));
    mServerVariables.Add("SERVER_NAME", theHost.substr(0, theHost.find(':')));
    mServerVariables.Add("SERVER_PROTOCOL", std::string("HTTP/") + mHead.VersionText());
    mServerVariables.Add("SERVER_SOFTWARE", "Ferrolift/4.1");
    mServerVariables.Add("HTTPS", theSecure ? "on" : "off");
    mServerVariables.Add("SERVER_PORT_SECURE", theSecure ? "1" : "0");
    for (const auto& [theName, theValue] : mAddedVariables)
        mServerVariables.Add(theName, theValue);
}

std::string HttpExchange::Header(const char* inName) const
{
    const std::string* theValue = mHead.Field(inName);
    return theValue != nullptr ? *theValue : std::string();
}

std::int64_t HttpExchange::BytesRead() const
{
    std::lock_guard<std::mutex> theGuard(mReadLock);
    return mBytesRead;
}

void HttpExchange::AcceptBody()
{
    // A client that asked to hear first is told to go on only when the page wants
    // the body, so a refused upload is never sent.
    if (mContinueSent)
        return;
    mContinueSent = true;
    if (mHead.ExpectsContinue() && mBytesRead == 0) {
        static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
        iovec thePart{const_cast<char*>(kContinue), sizeof kContinue - 1};
        mConnection.WriteWait(&thePart, 1, mTimeoutMs);
    }
}

std::int64_t HttpExchange::Clamp(std::int64_t inCount) const
{
    std::lock_guard<std::mutex> theGuard(mReadLock);
    return std::max<std::int64_t>(0, std::min(inCount, mTotalBytes - mBytesRead));
}

bool HttpExchange::ReadLocked(std::int64_t inWanted, char* outBuffer, std::int64_t& outRead, std::string& outError)
{
    outRead = 0;
    if (mDetached) {
        outError = "The request has already been answered.";
        return false;
    }
    if (mBodyUse == BodyUse::Form) {
        outError = "Cannot call BinaryRead after using Request.Form collection.";
        return false;
    }
    mBodyUse = BodyUse::Binary;
    std::int64_t theWanted = std::max<std::int64_t>(0, std::min(inWanted, mTotalBytes - mBytesRead));
    // After a failure the rest never comes: no second wait for a client that stalled.
    if (mReadFailed && theWanted > 0 && mAheadPos == mAheadEnd) {
        outError = "The client disconnected or stalled before sending the whole request body.";
        return false;
    }
    if (theWanted > 0)
        AcceptBody();
    while (outRead < theWanted) {
        std::int64_t theLeft = theWanted - outRead;
        if (mAheadPos < mAheadEnd) {
            std::size_t theCount = std::min<std::size_t>(mAheadEnd - mAheadPos, static_cast<std::size_t>(theLeft));
            std::memcpy(outBuffer + outRead, mAhead.get() + mAheadPos, theCount);
            mAheadPos += theCount;
            outRead += static_cast<std::int64_t>(theCount);
            continue;
        }
        // Small reads (the component asks for 2048 bytes by default) are served from a
        // buffer filled in large pulls; large ones go straight into the caller's buffer.
        std::int64_t theGot;
        if (theLeft >= static_cast<std::int64_t>(kReadAheadBytes)) {
            theGot = mConnection.ReadWait(outBuffer + outRead, static_cast<std::size_t>(theLeft), mTimeoutMs);
            if (theGot > 0)
                outRead += theGot;
        } else {
            // A quarter of the full size at first, doubled each time a pull fills it: a
            // slow upload, whose pulls find a few kilobytes, holds 16 KiB, and a fast one
            // pulls 64 KiB at a time after two pulls. A small body never needs more than
            // its own size.
            if (!mAhead || (mAheadEnd == mAheadSize && mAheadSize < kReadAheadBytes)) {
                const std::size_t theSize = mAhead ? 2 * mAheadSize : kReadAheadBytes / 4;
                mAheadSize = static_cast<std::size_t>(std::min<std::int64_t>(mTotalBytes, static_cast<std::int64_t>(theSize)));
                mAhead = std::make_unique_for_overwrite<char[]>(mAheadSize);
            }
            std::int64_t theOnSocket = mTotalBytes - mBytesRead - outRead;
            theGot = mConnection.ReadWait(mAhead.get(), static_cast<std::size_t>(std::min<std::int64_t>(theOnSocket, static_cast<std::int64_t>(mAheadSize))), mTimeoutMs);
            mAheadPos = 0;
            mAheadEnd = theGot > 0 ? static_cast<std::size_t>(theGot) : 0;
        }
        if (theGot <= 0) {
            mReadFailed = true;
            mBytesRead += outRead;
            outError = "The client disconnected or stalled before sending the whole request body.";
            return false;
        }
    }
    mBytesRead += outRead;
    return true;
}

bool HttpExchange::BinaryRead(std::int64_t inCount, char* outBuffer, std::int64_t& outRead, std::string& outError)
{
    std::lock_guard<std::mutex> theGuard(mReadLock);
    return ReadLocked(inCount, outBuffer, outRead, outError);
}

bool HttpExchange::BinaryRead(std::int64_t inCount, std::string& outBytes, std::string& outError)
{
    std::lock_guard<std::mutex> theGuard(mReadLock);
    std::int64_t theWanted = std::max<std::int64_t>(0, std::min(inCount, mTotalBytes - mBytesRead));
    outBytes.resize(static_cast<std::size_t>(theWanted));
    std::int64_t theRead = 0;
    bool theOk = ReadLocked(theWanted, outBytes.data(), theRead, outError);
    outBytes.resize(static_cast<std::size_t>(theRead));
    return theOk;
}

bool HttpExchange::Form(const ValueCollection*& outForm, std::string& outError)
{
    std::unique_lock<std::mutex> theGuard(mReadLock);
    if (mBodyUse == BodyUse::Binary) {
        outError = "Cannot use Request.Form collection after calling BinaryRead.";
        return false;
    }
    mBodyUse = BodyUse::Form;
    if (!mFormParsed) {
        mFormParsed = true;
        std::string theType = Header("Content-Type");
        bool theUrlEncoded = strncasecmp(theType.c_str(), "application/x-www-form-urlencoded", 33) == 0;
        if (theUrlEncoded && mTotalBytes > kMaxFormBytes) {
            outError = "The form is larger than " + std::to_string(kMaxFormBytes) + " bytes; read it with BinaryRead.";
            return false;
        }
        if (theUrlEncoded && mTotalBytes > 0 && !mDetached) {
            AcceptBody();
            std::string theBody(static_cast<std::size_t>(mTotalBytes), '\0');
            std::int64_t theDone = 0;
            while (theDone < mTotalBytes) {
                std::int64_t theGot = mConnection.ReadWait(theBody.data() + theDone, static_cast<std::size_t>(mTotalBytes - theDone), mTimeoutMs);
                if (theGot <= 0)
                    break;
                theDone += theGot;
            }
            mBytesRead += theDone;
            mReadFailed = theDone < mTotalBytes;
            theBody.resize(static_cast<std::size_t>(theDone));
            mForm.ParseUrlEncoded(theBody);
        }
    }
    outForm = &mForm;
    return true;
}

void HttpExchange::Detach()
{
    std::lock_guard<std::mutex> theGuard(mReadLock);
    mDetached = true;
}

void HttpExchange::AddHeader(std::string inName, std::string inValue)
{
    mHeaders.emplace_back(SingleLine(inName), SingleLine(inValue));
}

void HttpExchange::Write(std::string_view inBytes)
{
    mBuffer.append(inBytes);
    if (mBuffer.size() >= kAutoFlushBytes)
        Flush();
}

std::string HttpExchange::HeadText(bool inChunked, std::size_t inLength)
{
    std::string theHead = "HTTP/1.1 " + std::to_string(mStatus) + " " + SingleLine(mStatusText) + "\r\n";
    theHead += "Date: " + StaticReply::Now() + "\r\n";
    std::string theType = SingleLine(mContentType);
    if (!mCharset.empty() && theType.rfind("text/", 0) == 0)
        theType += "; charset=" + SingleLine(mCharset);
    theHead += "Content-Type: " + theType + "\r\n";
    theHead += "Cache-Control: private\r\nX-Content-Type-Options: nosniff\r\n";
    for (const auto& theHeader : mHeaders)
        theHead += theHeader.first + ": " + theHeader.second + "\r\n";
    // Without a length or with an unread body the connection cannot carry another request.
    {
        std::lock_guard<std::mutex> theGuard(mReadLock);
        std::int64_t theOnSocket = mTotalBytes - mBytesRead - static_cast<std::int64_t>(mAheadEnd - mAheadPos);
        bool theWaitingClient = mHead.ExpectsContinue() && !mContinueSent;
        if (theOnSocket > 0 && (mReadFailed || theOnSocket > kMaxDrainBytes || theWaitingClient))
            mKeepAlive = false;
    }
    if (inChunked) {
        // HTTP/1.0 has no chunks: the end of the body is the end of the connection.
        if (mHead.Version() >= 11)
            theHead += "Transfer-Encoding: chunked\r\n";
        else
            mKeepAlive = false;
    } else {
        theHead += "Content-Length: " + std::to_string(inLength) + "\r\n";
    }
    if (!mKeepAlive)
        theHead += "Connection: close\r\n";
    else if (mHead.Version() < 11)
        theHead += "Connection: keep-alive\r\n";
    theHead += "\r\n";
    mHeadersSent = true;
    mChunked = inChunked && mHead.Version() >= 11;
    return theHead;
}

void HttpExchange::Send(std::string_view inHead, std::string_view inBody, bool inLastChunk)
{
    if (mWriteFailed)
        return;
    if (mMethod == "HEAD")
        inBody = {};
    char theSize[24] = "";
    iovec theParts[5];
    int theCount = 0;
    auto theAdd = [&](std::string_view inPart) {
        if (!inPart.empty())
            theParts[theCount++] = iovec{const_cast<char*>(inPart.data()), inPart.size()};
    };
    theAdd(inHead);
    if (mChunked && !inBody.empty()) {
        std::snprintf(theSize, sizeof theSize, "%zx\r\n", inBody.size());
        theAdd(theSize);
        theAdd(inBody);
        theAdd("\r\n");
    } else {
        theAdd(inBody);
    }
    if (mChunked && inLastChunk && mMethod != "HEAD")
        theAdd("0\r\n\r\n");
    if (theCount == 0)
        return;
    if (!mConnection.WriteWait(theParts, theCount, mTimeoutMs))
        mWriteFailed = true;
    mBytesSent += static_cast<std::int64_t>(inBody.size());
}

void HttpExchange::Flush()
{
    std::string theHead;
    if (!mHeadersSent)
        theHead = HeadText(true, 0);
    Send(theHead, mBuffer, false);
    mBuffer.clear();
}

bool HttpExchange::DrainBody()
{
    std::lock_guard<std::mutex> theGuard(mReadLock);
    std::int64_t theOnSocket = mTotalBytes - mBytesRead - static_cast<std::int64_t>(mAheadEnd - mAheadPos);
    if (theOnSocket <= 0)
        return true;
    // A client still waiting for "100 Continue" has not sent the body: nothing to drain.
    if (mReadFailed || theOnSocket > kMaxDrainBytes || (mHead.ExpectsContinue() && !mContinueSent))
        return false;
    char theScratch[16384];
    while (theOnSocket > 0) {
        std::int64_t theGot = mConnection.ReadWait(theScratch, static_cast<std::size_t>(std::min<std::int64_t>(theOnSocket, sizeof theScratch)), mTimeoutMs);
        if (theGot <= 0) {
            mReadFailed = true;
            return false;
        }
        theOnSocket -= theGot;
        mBytesRead += theGot;
    }
    return true;
}

void HttpExchange::Finish()
{
    if (mFinished)
        return;
    mFinished = true;
    // The body is drained first so that the client, which may still be sending, is
    // not answered in the middle of its upload.
    if (!DrainBody())
        mKeepAlive = false;
    Detach();
    if (!mHeadersSent) {
        std::string theHead = HeadText(false, mBuffer.size());
        Send(theHead, mBuffer, true);
    } else {
        Send({}, mBuffer, true);
    }
    mBuffer.clear();
}

}  // namespace ferrolift::host

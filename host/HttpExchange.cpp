#include "HttpExchange.h"

#include <civetweb.h>
#include <strings.h>

#include <algorithm>
#include <cstring>

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

HttpExchange::HttpExchange(mg_connection* inConnection) : mConnection(inConnection)
{
    ParseRequest();
}

void HttpExchange::ParseRequest()
{
    const mg_request_info* theInfo = mg_get_request_info(mConnection);
    mMethod = theInfo->request_method != nullptr ? theInfo->request_method : "GET";
    mPath = theInfo->local_uri != nullptr ? theInfo->local_uri : "/";
    mQueryText = theInfo->query_string != nullptr ? theInfo->query_string : "";
    mTotalBytes = theInfo->content_length > 0 ? theInfo->content_length : 0;
    mQuery.ParseUrlEncoded(mQueryText);
    std::string theVersion = theInfo->http_version != nullptr ? theInfo->http_version : "1.0";
    mKeepAlive = theVersion != "1.0";

    std::string theAllHttp;
    for (int i = 0; i < theInfo->num_headers; ++i) {
        std::string theName = VariableName(theInfo->http_headers[i].name);
        mServerVariables.Add(theName, theInfo->http_headers[i].value);
        theAllHttp += theName + ":" + theInfo->http_headers[i].value + "\n";
    }
    mServerVariables.Add("ALL_HTTP", theAllHttp);
    mServerVariables.Add("REQUEST_METHOD", mMethod);
    mServerVariables.Add("QUERY_STRING", mQueryText);
    mServerVariables.Add("URL", mPath);
    mServerVariables.Add("PATH_INFO", mPath);
    mServerVariables.Add("SCRIPT_NAME", mPath);
    mServerVariables.Add("CONTENT_LENGTH", std::to_string(mTotalBytes));
    mServerVariables.Add("CONTENT_TYPE", Header("Content-Type"));
    mServerVariables.Add("REMOTE_ADDR", theInfo->remote_addr);
    mServerVariables.Add("REMOTE_HOST", theInfo->remote_addr);
    mServerVariables.Add("REMOTE_PORT", std::to_string(theInfo->remote_port));
    mServerVariables.Add("SERVER_PORT", std::to_string(theInfo->server_port));
    mServerVariables.Add("SERVER_NAME", Header("Host").substr(0, Header("Host").find(':')));
    mServerVariables.Add("SERVER_PROTOCOL", "HTTP/" + theVersion);
    mServerVariables.Add("SERVER_SOFTWARE", "Ferrolift/4.1");
    mServerVariables.Add("HTTPS", theInfo->is_ssl ? "on" : "off");
}

std::string HttpExchange::Header(const char* inName) const
{
    const char* theValue = mg_get_header(mConnection, inName);
    return theValue != nullptr ? theValue : "";
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
    if (strcasecmp(Header("Expect").c_str(), "100-continue") == 0 && mBytesRead == 0)
        mg_printf(mConnection, "HTTP/1.1 100 Continue\r\n\r\n");
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
    if (theWanted > 0)
        AcceptBody();
    while (outRead < theWanted) {
        std::int64_t theLeft = theWanted - outRead;
        if (mAheadPos < mAheadEnd) {
            std::size_t theCount = std::min<std::size_t>(mAheadEnd - mAheadPos, static_cast<std::size_t>(theLeft));
            std::memcpy(outBuffer + outRead, mAhead.data() + mAheadPos, theCount);
            mAheadPos += theCount;
            outRead += static_cast<std::int64_t>(theCount);
            continue;
        }
        // Small reads (the component asks for 2048 bytes by default) are served from a
        // buffer filled in large pulls; large ones go straight into the caller's buffer.
        int theGot;
        if (theLeft >= static_cast<std::int64_t>(kReadAheadBytes)) {
            theGot = mg_read(mConnection, outBuffer + outRead, static_cast<std::size_t>(theLeft));
            if (theGot > 0)
                outRead += theGot;
        } else {
            mAhead.resize(kReadAheadBytes);
            std::int64_t theOnSocket = mTotalBytes - mBytesRead - outRead;
            theGot = mg_read(mConnection, mAhead.data(), static_cast<std::size_t>(std::min<std::int64_t>(theOnSocket, kReadAheadBytes)));
            mAheadPos = 0;
            mAheadEnd = theGot > 0 ? static_cast<std::size_t>(theGot) : 0;
        }
        if (theGot <= 0) {
            mReadFailed = true;
            mBytesRead += outRead;
            outError = "The client disconnected before sending the whole request body.";
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
                int theGot = mg_read(mConnection, theBody.data() + theDone, static_cast<std::size_t>(mTotalBytes - theDone));
                if (theGot <= 0)
                    break;
                theDone += theGot;
            }
            mBytesRead += theDone;
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

void HttpExchange::SendHeaders(bool inChunked, std::size_t inLength)
{
    std::string theHead = "HTTP/1.1 " + std::to_string(mStatus) + " " + SingleLine(mStatusText) + "\r\n";
    std::string theType = SingleLine(mContentType);
    if (!mCharset.empty() && theType.rfind("text/", 0) == 0)
        theType += "; charset=" + SingleLine(mCharset);
    theHead += "Content-Type: " + theType + "\r\n";
    theHead += "Cache-Control: private\r\n";
    for (const auto& theHeader : mHeaders)
        theHead += theHeader.first + ": " + theHeader.second + "\r\n";
    if (inChunked)
        theHead += "Transfer-Encoding: chunked\r\n";
    else if (mKeepAlive)
        theHead += "Content-Length: " + std::to_string(inLength) + "\r\n";
    // Without a length or with an unread body the connection cannot carry another request.
    bool theUnread;
    {
        std::lock_guard<std::mutex> theGuard(mReadLock);
        std::int64_t theOnSocket = mTotalBytes - mBytesRead - static_cast<std::int64_t>(mAheadEnd - mAheadPos);
        theUnread = theOnSocket > 0 && (mReadFailed || theOnSocket > kMaxDrainBytes);
    }
    if (!mKeepAlive || theUnread) {
        mKeepAlive = mKeepAlive && !theUnread;
        theHead += "Connection: close\r\n";
    }
    theHead += "\r\n";
    mg_write(mConnection, theHead.data(), theHead.size());
    mHeadersSent = true;
    mChunked = inChunked;
}

void HttpExchange::SendBody(std::string_view inBytes)
{
    if (inBytes.empty() || mMethod == "HEAD")
        return;
    if (mChunked)
        mg_send_chunk(mConnection, inBytes.data(), static_cast<unsigned>(inBytes.size()));
    else
        mg_write(mConnection, inBytes.data(), inBytes.size());
    mBytesSent += static_cast<std::int64_t>(inBytes.size());
}

void HttpExchange::Flush()
{
    if (!mHeadersSent)
        SendHeaders(mKeepAlive, 0);
    SendBody(mBuffer);
    mBuffer.clear();
}

bool HttpExchange::DrainBody()
{
    std::lock_guard<std::mutex> theGuard(mReadLock);
    std::int64_t theOnSocket = mTotalBytes - mBytesRead - static_cast<std::int64_t>(mAheadEnd - mAheadPos);
    if (mReadFailed || theOnSocket > kMaxDrainBytes)
        return false;
    char theScratch[16384];
    while (theOnSocket > 0) {
        int theGot = mg_read(mConnection, theScratch, sizeof theScratch);
        if (theGot <= 0)
            return false;
        theOnSocket -= theGot;
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
    DrainBody();
    Detach();
    if (!mHeadersSent) {
        SendHeaders(false, mMethod == "HEAD" ? 0 : mBuffer.size());
        SendBody(mBuffer);
    } else {
        SendBody(mBuffer);
        if (mChunked)
            mg_send_chunk(mConnection, "", 0);
    }
    mBuffer.clear();
}

}  // namespace ferrolift::host

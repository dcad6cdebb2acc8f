// RawClient.h: a test client that keeps its connection and reads responses one at a time,
// framed as the server framed them (Content-Length, chunked, or until the close), so
// tests can see how a server delimits its answers and whether it keeps the connection.
//
//   RawClient theClient(thePort);
//   theClient.Send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
//   RawResponse theResponse = theClient.Read();
//   EXPECT_EQ(theResponse.status, 200);
//   EXPECT_TRUE(theClient.ClosedByServer());
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <strings.h>

struct RawResponse {
    int status = 0;   // 0: no complete response arrived
    std::map<std::string, std::string> headers;   // names lower-cased
    std::string body;
    enum class Framing { None, Length, Chunked, Close } framing = Framing::None;
    bool Has(const std::string& inName) const { return headers.count(inName) != 0; }
    std::string Get(const std::string& inName) const
    {
        auto theIt = headers.find(inName);
        return theIt == headers.end() ? std::string() : theIt->second;
    }
};

class RawClient {
public:
    explicit RawClient(int inPort, int inTimeoutMs = 10000) : mTimeoutMs(inTimeoutMs)
    {
        mSocket = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in theAddress{};
        theAddress.sin_family = AF_INET;
        theAddress.sin_port = htons(static_cast<uint16_t>(inPort));
        theAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        mConnected = connect(mSocket, reinterpret_cast<sockaddr*>(&theAddress), sizeof theAddress) == 0;
    }
    ~RawClient() { close(mSocket); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connected() const { return mConnected; }

    bool Send(const std::string& inBytes)
    {
        for (std::size_t theSent = 0; theSent < inBytes.size();) {
            ssize_t theCount = send(mSocket, inBytes.data() + theSent, inBytes.size() - theSent, MSG_NOSIGNAL);
            if (theCount <= 0)
                return false;
            theSent += static_cast<std::size_t>(theCount);
        }
        return true;
    }

    /// Reads the next response; 1xx interim answers are skipped unless inKeepInterim.
    RawResponse Read(bool inHeadRequest = false, bool inKeepInterim = false)
    {
        for (;;) {
            RawResponse theResponse = ReadOne(inHeadRequest);
            if (inKeepInterim || theResponse.status < 100 || theResponse.status >= 200)
                return theResponse;
        }
    }

    /// True when the server closed its side (reads end) within the client's timeout;
    /// bytes that arrive first are kept in Extra().
    bool ClosedByServer()
    {
        while (Fill()) {
        }
        return mEof;
    }
    const std::string& Extra() const { return mBuffer; }

private:
    // Appends what arrives within the timeout; false at the end or on timeout.
    bool Fill()
    {
        if (mEof)
            return false;
        pollfd thePoll{mSocket, POLLIN, 0};
        if (poll(&thePoll, 1, mTimeoutMs) <= 0)
            return false;
        char theChunk[65536];
        ssize_t theCount = recv(mSocket, theChunk, sizeof theChunk, 0);
        if (theCount <= 0) {
            mEof = true;
            return false;
        }
        mBuffer.append(theChunk, static_cast<std::size_t>(theCount));
        return true;
    }

    bool Need(std::size_t inBytes)
    {
        while (mBuffer.size() < inBytes) {
            if (!Fill())
                return false;
        }
        return true;
    }

    std::string Take(std::size_t inBytes)
    {
        std::string theResult = mBuffer.substr(0, inBytes);
        mBuffer.erase(0, inBytes);
        return theResult;
    }

    bool TakeLine(std::string& outLine)
    {
        std::size_t theEnd;
        while ((theEnd = mBuffer.find("\r\n")) == std::string::npos) {
            if (!Fill())
                return false;
        }
        outLine = Take(theEnd);
        Take(2);
        return true;
    }

    RawResponse ReadOne(bool inHeadRequest)
    {
        RawResponse theResponse;
        std::size_t theEnd;
        while ((theEnd = mBuffer.find("\r\n\r\n")) == std::string::npos) {
            if (!Fill())
                return theResponse;
        }
        std::string theHead = Take(theEnd + 4);
        int theStatus = std::atoi(theHead.c_str() + theHead.find(' ') + 1);
        for (std::size_t thePos = theHead.find("\r\n"); thePos + 4 < theHead.size();) {
            std::size_t theNext = theHead.find("\r\n", thePos + 2);
            std::string theLine = theHead.substr(thePos + 2, theNext - thePos - 2);
            std::size_t theColon = theLine.find(':');
            if (theColon != std::string::npos) {
                std::string theName = theLine.substr(0, theColon);
                for (char& c : theName)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                std::size_t theValue = theLine.find_first_not_of(' ', theColon + 1);
                theResponse.headers[theName] = theValue == std::string::npos ? "" : theLine.substr(theValue);
            }
            thePos = theNext;
        }
        if (theStatus < 200 || theStatus == 204 || theStatus == 304 || inHeadRequest) {
            theResponse.status = theStatus;
            return theResponse;
        }
        if (strcasecmp(theResponse.Get("transfer-encoding").c_str(), "chunked") == 0) {
            theResponse.framing = RawResponse::Framing::Chunked;
            for (;;) {
                std::string theSizeLine;
                if (!TakeLine(theSizeLine))
                    return theResponse;
                std::size_t theSize = std::strtoul(theSizeLine.c_str(), nullptr, 16);
                if (!Need(theSize + 2))
                    return theResponse;
                theResponse.body += Take(theSize);
                Take(2);
                if (theSize == 0)
                    break;
            }
        } else if (theResponse.Has("content-length")) {
            theResponse.framing = RawResponse::Framing::Length;
            std::size_t theLength = std::strtoul(theResponse.Get("content-length").c_str(), nullptr, 10);
            if (!Need(theLength))
                return theResponse;
            theResponse.body = Take(theLength);
        } else {
            theResponse.framing = RawResponse::Framing::Close;
            while (Fill()) {
            }
            if (!mEof)
                return theResponse;   // neither framed nor closed: the client would hang
            theResponse.body = Take(mBuffer.size());
        }
        theResponse.status = theStatus;
        return theResponse;
    }

    int mSocket = -1;
    int mTimeoutMs;
    bool mConnected = false;
    bool mEof = false;
    std::string mBuffer;
};

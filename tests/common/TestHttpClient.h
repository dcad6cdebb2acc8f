// TestHttpClient.h: a minimal HTTP/1.1 client for tests: one request per connection,
// chunked responses decoded.
//
//   TestResponse theResponse = HttpRequest(thePort, "GET", "/page.asp?id=7");
//   EXPECT_EQ(theResponse.status, 200);
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <strings.h>

struct TestResponse {
    int status = 0;
    std::map<std::string, std::string> headers;   // names lower-cased
    std::string body;
};

inline std::string DecodeChunked(const std::string& inBody)
{
    std::string theResult;
    std::size_t thePos = 0;
    while (thePos < inBody.size()) {
        std::size_t theEnd = inBody.find("\r\n", thePos);
        if (theEnd == std::string::npos)
            break;
        std::size_t theSize = std::strtoul(inBody.substr(thePos, theEnd - thePos).c_str(), nullptr, 16);
        if (theSize == 0)
            break;
        theResult += inBody.substr(theEnd + 2, theSize);
        thePos = theEnd + 2 + theSize + 2;
    }
    return theResult;
}

/// Sends one request to 127.0.0.1:inPort and reads the whole answer.
inline TestResponse HttpRequest(int inPort, const std::string& inMethod, const std::string& inTarget,
                                const std::string& inBody = "", const std::string& inExtraHeaders = "")
{
    TestResponse theResponse;
    int theSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in theAddress{};
    theAddress.sin_family = AF_INET;
    theAddress.sin_port = htons(static_cast<uint16_t>(inPort));
    theAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(theSocket, reinterpret_cast<sockaddr*>(&theAddress), sizeof theAddress) != 0) {
        close(theSocket);
        return theResponse;
    }
    std::string theRequest = inMethod + " " + inTarget + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                             inExtraHeaders;
    if (!inBody.empty() || inMethod == "POST")
        theRequest += "Content-Length: " + std::to_string(inBody.size()) + "\r\n";
    theRequest += "\r\n" + inBody;
    for (std::size_t theSent = 0; theSent < theRequest.size();) {
        ssize_t theCount = send(theSocket, theRequest.data() + theSent, theRequest.size() - theSent, MSG_NOSIGNAL);
        if (theCount <= 0)
            break;
        theSent += static_cast<std::size_t>(theCount);
    }
    std::string theRaw;
    char theBuffer[65536];
    for (ssize_t theCount; (theCount = recv(theSocket, theBuffer, sizeof theBuffer, 0)) > 0;)
        theRaw.append(theBuffer, static_cast<std::size_t>(theCount));
    close(theSocket);
    std::size_t theHeadEnd = theRaw.find("\r\n\r\n");
    if (theHeadEnd == std::string::npos)
        return theResponse;
    std::string theHead = theRaw.substr(0, theHeadEnd);
    theResponse.status = std::atoi(theHead.c_str() + theHead.find(' ') + 1);
    std::size_t thePos = theHead.find("\r\n");
    while (thePos != std::string::npos) {
        std::size_t theNext = theHead.find("\r\n", thePos + 2);
        std::string theLine = theHead.substr(thePos + 2, theNext == std::string::npos ? std::string::npos : theNext - thePos - 2);
        std::size_t theColon = theLine.find(':');
        if (theColon != std::string::npos) {
            std::string theName = theLine.substr(0, theColon);
            for (char& c : theName)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            theResponse.headers[theName] = theLine.substr(theLine.find_first_not_of(' ', theColon + 1));
        }
        thePos = theNext;
    }
    theResponse.body = theRaw.substr(theHeadEnd + 4);
    if (strcasecmp(theResponse.headers["transfer-encoding"].c_str(), "chunked") == 0)
        theResponse.body = DecodeChunked(theResponse.body);
    return theResponse;
}

/// Sends inRaw as it is (several requests may follow each other) and returns all bytes
/// that come back until the server closes.
inline std::string HttpRaw(int inPort, const std::string& inRaw)
{
    int theSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in theAddress{};
    theAddress.sin_family = AF_INET;
    theAddress.sin_port = htons(static_cast<uint16_t>(inPort));
    theAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string theRaw;
    if (connect(theSocket, reinterpret_cast<sockaddr*>(&theAddress), sizeof theAddress) == 0) {
        for (std::size_t theSent = 0; theSent < inRaw.size();) {
            ssize_t theCount = send(theSocket, inRaw.data() + theSent, inRaw.size() - theSent, MSG_NOSIGNAL);
            if (theCount <= 0)
                break;
            theSent += static_cast<std::size_t>(theCount);
        }
        char theBuffer[65536];
        for (ssize_t theCount; (theCount = recv(theSocket, theBuffer, sizeof theBuffer, 0)) > 0;)
            theRaw.append(theBuffer, static_cast<std::size_t>(theCount));
    }
    close(theSocket);
    return theRaw;
}

// The slow-upload client against a scripted server on a loopback socket: what it sends,
// how fast the rate lets it, and how it tells an answer, a refusal and a failure apart.
#include "SlowUpload.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Accepts one connection and runs a script on it in its own thread.
class ScriptedServer {
public:
    explicit ScriptedServer(std::function<void(int)> inScript)
    {
        mListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in theAddress{};
        theAddress.sin_family = AF_INET;
        theAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(mListener, reinterpret_cast<sockaddr*>(&theAddress), sizeof theAddress);
        ::listen(mListener, 4);
        socklen_t theLength = sizeof theAddress;
        ::getsockname(mListener, reinterpret_cast<sockaddr*>(&theAddress), &theLength);
        mPort = ntohs(theAddress.sin_port);
        mThread = std::thread([this, inScript] {
            const int theConnection = ::accept(mListener, nullptr, nullptr);
            if (theConnection < 0)
                return;
            inScript(theConnection);
            ::close(theConnection);
        });
    }
    ~ScriptedServer()
    {
        mThread.join();
        ::close(mListener);
    }
    int Port() const { return mPort; }

private:
    int mListener = -1;
    int mPort = 0;
    std::thread mThread;
};

// Reads until inCount bytes came, the peer closed, or nothing arrived for a while.
std::string ReadUpTo(int inSocket, size_t inCount)
{
    std::string theText;
    char theBuffer[65536];
    while (theText.size() < inCount) {
        pollfd theWait{inSocket, POLLIN, 0};
        if (::poll(&theWait, 1, 2000) <= 0)
            break;
        const ssize_t theRead = ::recv(inSocket, theBuffer, sizeof theBuffer, 0);
        if (theRead <= 0)
            break;
        theText.append(theBuffer, static_cast<size_t>(theRead));
    }
    return theText;
}

// Reads one request: its headers and Content-Length body bytes.
std::string ReadRequest(int inSocket)
{
    std::string theText = ReadUpTo(inSocket, 1);
    while (theText.find("\r\n\r\n") == std::string::npos) {
        const std::string theMore = ReadUpTo(inSocket, 1);
        if (theMore.empty())
            return theText;
        theText += theMore;
    }
    const size_t theHeadEnd = theText.find("\r\n\r\n") + 4;
    const size_t theLength = std::stoul(theText.substr(theText.find("Content-Length: ") + 16));
    if (theText.size() < theHeadEnd + theLength)
        theText += ReadUpTo(inSocket, theHeadEnd + theLength - theText.size());
    return theText;
}

void Send(int inSocket, const std::string& inText)
{
    ::send(inSocket, inText.data(), inText.size(), MSG_NOSIGNAL);
}

// Drives one upload the way the client's loop does, until it finishes (or 10 s pass).
void RunToEnd(SlowUpload& inUpload)
{
    const auto theStop = SlowUpload::Clock::now() + 10s;
    while (!inUpload.Finished() && SlowUpload::Clock::now() < theStop) {
        inUpload.Pump(SlowUpload::Clock::now());
        if (inUpload.Socket() < 0)
            break;
        pollfd theWait{inUpload.Socket(), POLLIN, 0};
        if (::poll(&theWait, 1, 5) > 0)
            inUpload.OnReadable();
    }
}

UploadTarget Target(int inPort)
{
    UploadTarget theTarget;
    theTarget.port = inPort;
    theTarget.path = "/upload.asp?x=1";
    return theTarget;
}

TEST(SlowUpload, SendsHeadAndWholeBodyThenReadsAnAnswerInPieces)
{
    std::string theReceived;
    const UploadBody theExpected(12, 30000);
    {
        ScriptedServer theServer([&](int inSocket) {
            theReceived = ReadRequest(inSocket);
            Send(inSocket, "HTTP/1.1 200 OK\r\nContent-Len");
            std::this_thread::sleep_for(50ms);
            Send(inSocket, "gth: 6\r\n\r\n30000\n");
        });
        SlowUpload theUpload(Target(theServer.Port()), 12, 30000, 1e9);
        ASSERT_TRUE(theUpload.Start(SlowUpload::Clock::now()));
        RunToEnd(theUpload);
        EXPECT_TRUE(theUpload.Failure().empty()) << theUpload.Failure();
        EXPECT_EQ(theUpload.Status(), 200);
        EXPECT_TRUE(theUpload.BodySent());
    }
    const size_t theHeadEnd = theReceived.find("\r\n\r\n");
    ASSERT_NE(theHeadEnd, std::string::npos);
    const std::string theHead = theReceived.substr(0, theHeadEnd);
    EXPECT_EQ(theHead.rfind("POST /upload.asp?x=1&slot=slow-12&ID=1000012 HTTP/1.1\r\n", 0), 0u) << theHead;
    EXPECT_NE(theHead.find("Content-Length: " + std::to_string(theExpected.Size())), std::string::npos);
    std::string theBody(theExpected.Size(), '\0');
    theExpected.Read(0, theBody.data(), theBody.size());
    EXPECT_EQ(theReceived.substr(theHeadEnd + 4), theBody);
}

TEST(SlowUpload, SendsNoMoreThanTheRateAllows)
{
    size_t theReceived = 0;
    size_t theHeadSize = 0;
    {
        ScriptedServer theServer([&](int inSocket) {
            const std::string theText = ReadUpTo(inSocket, SIZE_MAX);
            theReceived = theText.size();
            theHeadSize = theText.find("\r\n\r\n") + 4;
        });
        SlowUpload theUpload(Target(theServer.Port()), 1, 100000, 1000);
        const auto theBegin = SlowUpload::Clock::now();
        ASSERT_TRUE(theUpload.Start(theBegin));
        // The clock is the caller's: half a second in, 500 body bytes are due.
        for (int i = 0; i < 100 && theUpload.Socket() >= 0; ++i) {
            theUpload.Pump(theBegin + 500ms);
            std::this_thread::sleep_for(5ms);
        }
        EXPECT_FALSE(theUpload.BodySent());
        theUpload.Abandon("test over");
    }
    EXPECT_EQ(theReceived, theHeadSize + 500);
}

TEST(SlowUpload, RefusalBeforeTheBodyEndsIsAnAnswerNotAFailure)
{
    ScriptedServer theServer([](int inSocket) {
        ReadUpTo(inSocket, 100);
        Send(inSocket, "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 5\r\nContent-Length: 5\r\n\r\nbusy\n");
        ::shutdown(inSocket, SHUT_WR);
        ReadUpTo(inSocket, SIZE_MAX);   // drains until the client closes
    });
    SlowUpload theUpload(Target(theServer.Port()), 2, 1000000, 2000);
    ASSERT_TRUE(theUpload.Start(SlowUpload::Clock::now()));
    RunToEnd(theUpload);
    EXPECT_TRUE(theUpload.Failure().empty()) << theUpload.Failure();
    EXPECT_EQ(theUpload.Status(), 503);
    EXPECT_TRUE(theUpload.RetryAfter());
    EXPECT_FALSE(theUpload.BodySent());
}

TEST(SlowUpload, AnswerWithoutLengthEndsWithTheConnection)
{
    ScriptedServer theServer([](int inSocket) {
        ReadRequest(inSocket);
        Send(inSocket, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nsaved\n");
    });
    SlowUpload theUpload(Target(theServer.Port()), 3, 1000, 1e9);
    ASSERT_TRUE(theUpload.Start(SlowUpload::Clock::now()));
    RunToEnd(theUpload);
    EXPECT_TRUE(theUpload.Failure().empty()) << theUpload.Failure();
    EXPECT_EQ(theUpload.Status(), 200);
}

TEST(SlowUpload, FailuresAreNotAnswers)
{
    struct Case {
        const char* name;
        std::string answer;   // sent after the request is read; then the server closes
    };
    for (const Case& theCase : {Case{"closed without an answer", ""},
                                Case{"not HTTP", "hello there\r\n\r\n"},
                                Case{"cut short", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this"},
                                Case{"headers never end", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n"}}) {
        ScriptedServer theServer([&theCase](int inSocket) {
            ReadRequest(inSocket);
            Send(inSocket, theCase.answer);
        });
        SlowUpload theUpload(Target(theServer.Port()), 4, 1000, 1e9);
        ASSERT_TRUE(theUpload.Start(SlowUpload::Clock::now()));
        RunToEnd(theUpload);
        EXPECT_TRUE(theUpload.Finished()) << theCase.name;
        EXPECT_FALSE(theUpload.Failure().empty()) << theCase.name;
        EXPECT_EQ(theUpload.Status(), 0) << theCase.name;
    }
}

TEST(SlowUpload, RefusedConnectionIsAFailure)
{
    int thePort = 0;
    {
        ScriptedServer theServer([](int) {});
        thePort = theServer.Port();
        SlowUpload theWake(Target(thePort), 0, 0, 1e9);   // lets the server's accept return
        theWake.Start(SlowUpload::Clock::now());
    }
    SlowUpload theUpload(Target(thePort), 5, 1000, 1e9);
    if (theUpload.Start(SlowUpload::Clock::now()))
        RunToEnd(theUpload);
    EXPECT_TRUE(theUpload.Finished());
    EXPECT_FALSE(theUpload.Failure().empty());
}

}  // namespace

// Requests that arrive while the event loop is behind must be served, never closed as
// idle: a loop held up after accepting a batch of connections finds their requests
// waiting once it comes back, past the idle deadline that started at the accept.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "RawClient.h"
#include "ServedSite.h"

namespace {

using namespace std::chrono_literals;

// Reads the whole body and answers its length, as an upload page does.
const char kEchoPage[] =
    "<% Response.ContentType = \"text/plain\";\n"
    "var theBody = Request.BinaryRead(Request.TotalBytes); %>n=<%= theBody.length %>";

std::string Upload(std::size_t inBytes)
{
    return "POST /echo.asp HTTP/1.1\r\nHost: t\r\nConnection: close\r\nContent-Length: " + std::to_string(inBytes) +
           "\r\n\r\n";
}

// The access log as a pipe the test reads: the loop writes a line for each static file
// it serves, and a write to a full pipe waits, so the test can hold the loop still at a
// chosen request and let it go on again.
class LogPipe {
public:
    LogPipe()
    {
        int theEnds[2];
        if (pipe2(theEnds, O_CLOEXEC) != 0)
            return;
        mRead = theEnds[0];
        mFile = fdopen(theEnds[1], "w");
        setvbuf(mFile, nullptr, _IONBF, 0);   // one write per line, none kept back
    }
    ~LogPipe()
    {
        Close();
        if (mDrain.joinable())
            mDrain.join();
        close(mRead);
    }
    FILE* File() const { return mFile; }
    /// Fills the pipe whole-page by whole-page until the next write would wait.
    void Fill()
    {
        int theFd = fileno(mFile);
        int theFlags = fcntl(theFd, F_GETFL);
        fcntl(theFd, F_SETFL, theFlags | O_NONBLOCK);
        std::string thePage(4096, '.');
        while (write(theFd, thePage.data(), thePage.size()) > 0) {
        }
        fcntl(theFd, F_SETFL, theFlags);
    }
    /// Frees the oldest page.
    void FreePage()
    {
        char thePage[4096];
        for (std::size_t theDone = 0; theDone < sizeof thePage;) {
            ssize_t theGot = read(mRead, thePage + theDone, sizeof thePage - theDone);
            if (theGot <= 0)
                return;
            theDone += static_cast<std::size_t>(theGot);
        }
    }
    /// Reads everything from now on.
    void Drain()
    {
        if (mDrain.joinable())
            return;
        mDrain = std::thread([this] {
            char theChunk[65536];
            while (read(mRead, theChunk, sizeof theChunk) > 0) {
            }
        });
    }
    void Close()
    {
        if (mFile != nullptr)
            fclose(mFile);
        mFile = nullptr;
    }

private:
    int mRead = -1;
    FILE* mFile = nullptr;
    std::thread mDrain;
};

std::string StaticGet(std::size_t inQueryBytes)
{
    return "GET /static.txt?" + std::string(inQueryBytes, 'q') + " HTTP/1.1\r\nHost: t\r\n\r\n";
}

}  // namespace

TEST(LaggingLoopTest, ConnectionsAcceptedBeforeAStallAreServedAfterIt)
{
    LogPipe theLog;
    ASSERT_NE(theLog.File(), nullptr);
    // An idle deadline of one second; the stall below lasts longer.
    auto theSite = std::make_unique<ServedSite>(
        std::map<std::string, std::string>{{"echo.asp", kEchoPage}, {"static.txt", "s"}},
        [&theLog](ferrolift::host::ServerOptions& inOut) {
            inOut.timeoutSeconds = 1;
            inOut.accessLog = theLog.File();
        });
    ASSERT_TRUE(theSite->Started());
    // However the test ends, the server's last lines find room before it stops.
    struct DrainAtEnd {
        LogPipe& log;
        ~DrainAtEnd() { log.Drain(); }
    } theDrainAtEnd{theLog};

    RawClient theFirst(theSite->Port());
    RawClient theSecond(theSite->Port());
    ASSERT_TRUE(theFirst.Connected() && theSecond.Connected());
    std::this_thread::sleep_for(50ms);
    // The loop stops logging the first request. Meanwhile uploads queue up to be
    // accepted and the second request arrives. Once a page of the log is free, the first
    // line goes in, the loop accepts the uploads and, in the same round, stops again
    // with the second line (too long for what is left) until well past their deadline.
    theLog.Fill();
    ASSERT_TRUE(theFirst.Send(StaticGet(1000)));
    std::this_thread::sleep_for(200ms);
    constexpr int kUploads = 100;   // one round of accepts
    const std::string theBody(3000, 'b');
    std::vector<std::unique_ptr<RawClient>> theUploads;
    for (int i = 0; i < kUploads; ++i) {
        theUploads.push_back(std::make_unique<RawClient>(theSite->Port()));
        ASSERT_TRUE(theUploads.back()->Connected());
        ASSERT_TRUE(theUploads.back()->Send(Upload(theBody.size()) + theBody));
    }
    ASSERT_TRUE(theSecond.Send(StaticGet(3000)));
    std::this_thread::sleep_for(50ms);
    theLog.FreePage();
    EXPECT_EQ(theFirst.Read().status, 200);
    std::this_thread::sleep_for(1500ms);
    theLog.Drain();

    EXPECT_EQ(theSecond.Read().status, 200);
    int theServed = 0;
    for (auto& theUpload : theUploads) {
        RawResponse theResponse = theUpload->Read();
        theServed += theResponse.status == 200 && theResponse.body == "n=3000" ? 1 : 0;
    }
    EXPECT_EQ(theServed, kUploads);
    theSite.reset();
    theLog.Close();
}

TEST(LaggingLoopTest, HeadStillIncompletePastItsDeadlineIsDropped)
{
    // The other side of the rule: a head that trickles past the timeout is not saved by
    // the last bytes that the late look at the socket finds.
    ServedSite theSite({{"echo.asp", kEchoPage}}, [](ferrolift::host::ServerOptions& inOut) {
        inOut.timeoutSeconds = 1;
    });
    ASSERT_TRUE(theSite.Started());
    RawClient theClient(theSite.Port(), 5000);
    ASSERT_TRUE(theClient.Send("GET /echo.asp HTTP/1.1\r\n"));
    bool theCut = false;
    for (int i = 0; i < 30 && !theCut; ++i) {
        std::this_thread::sleep_for(100ms);
        theCut = !theClient.Send("X-Slow: 1\r\n");
    }
    EXPECT_TRUE(theCut || theClient.ClosedByServer());
    EXPECT_EQ(theClient.Read().status, 0);
}

TEST(LaggingLoopTest, HundredsOfTricklingUploadsAreAllAnswered)
{
    ServedSite theSite({{"echo.asp", kEchoPage}}, [](ferrolift::host::ServerOptions& inOut) {
        inOut.timeoutSeconds = 2;
    });
    ASSERT_TRUE(theSite.Started());
    constexpr int kUploads = 300;
    constexpr int kPieces = 5;
    const std::string thePiece(4000, 'p');
    std::vector<std::unique_ptr<RawClient>> theUploads;
    for (int i = 0; i < kUploads; ++i) {
        theUploads.push_back(std::make_unique<RawClient>(theSite.Port()));
        ASSERT_TRUE(theUploads.back()->Connected());
        ASSERT_TRUE(theUploads.back()->Send(Upload(thePiece.size() * kPieces)));
    }
    // Every upload is on a thread of its own, each waiting for the rest of its body.
    for (int thePiece_ = 0; thePiece_ < kPieces; ++thePiece_) {
        std::this_thread::sleep_for(100ms);
        for (auto& theUpload : theUploads)
            ASSERT_TRUE(theUpload->Send(thePiece));
    }
    int theServed = 0;
    for (auto& theUpload : theUploads) {
        RawResponse theResponse = theUpload->Read();
        theServed += theResponse.status == 200 && theResponse.body == "n=20000" ? 1 : 0;
    }
    EXPECT_EQ(theServed, kUploads);
}

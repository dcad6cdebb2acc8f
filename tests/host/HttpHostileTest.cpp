// Hostile and unlucky traffic: malformed heads get their status and a closed connection;
// slow heads, stalled bodies, idle crowds and more uploads than the cap never keep other
// clients from being served.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "RawClient.h"
#include "ServedSite.h"

namespace {

using namespace std::chrono_literals;

const std::map<std::string, std::string> kFiles = {
    {"echo.asp", "<% var n = Request.TotalBytes; var b = Request.BinaryRead(n); Response.Write(\"got \" + n); %>"},
    {"page.asp", "<% Response.Write(\"page\"); %>"},
    {"static.txt", "static"},
};

// Serves a static file and a page to a fresh client: the server is not stuck.
void ExpectServing(int inPort)
{
    RawClient theClient(inPort);
    ASSERT_TRUE(theClient.Send("GET /static.txt HTTP/1.1\r\nHost: t\r\n\r\nGET /page.asp HTTP/1.1\r\nHost: t\r\n\r\n"));
    EXPECT_EQ(theClient.Read().body, "static");
    EXPECT_EQ(theClient.Read().body, "page");
}

// Lets the test own as many sockets as the hard limit allows; the count it can use.
int RaiseFileLimit()
{
    rlimit theLimit{};
    getrlimit(RLIMIT_NOFILE, &theLimit);
    theLimit.rlim_cur = theLimit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &theLimit);
    getrlimit(RLIMIT_NOFILE, &theLimit);
    return static_cast<int>(std::min<rlim_t>(theLimit.rlim_cur, 1 << 20));
}

TEST(HttpHostileTest, MalformedHeadsGetTheirStatusAndAClose)
{
    ServedSite theSite(kFiles);
    std::string theFields;
    for (int i = 0; i < 101; ++i)
        theFields += "X-F" + std::to_string(i) + ": v\r\n";
    struct Case {
        std::string request;
        int status;
    };
    const Case theCases[] = {
        {"GET /" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: t\r\n\r\n", 414},
        {"GET / HTTP/1.1\r\nHost: t\r\nX-Big: " + std::string(20000, 'b') + "\r\n\r\n", 431},
        {"GET / HTTP/1.1\r\nHost: t\r\n" + theFields + "\r\n", 431},
        {"POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", 400},
        {"POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 3\r\nContent-Length: 3\r\n\r\nabc", 400},
        {"POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 3, 3\r\n\r\nabc", 400},
        {"POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: -3\r\n\r\nabc", 400},
        {"POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 99999999999999999999\r\n\r\n", 400},
        {"POST /echo.asp HTTP/1.1\r\nHost: t\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", 411},
        {"POST /echo.asp HTTP/1.1\r\nHost: t\r\nTransfer-Encoding: gzip\r\n\r\n", 501},
        {"GET / HTTP/2.0\r\nHost: t\r\n\r\n", 505},
        {"GET / HTTP/1.1\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: t\r\nHost: u\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: t\r\n folded\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost : t\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: t\rX: y\r\n\r\n", 400},
        {"GET /a%00.txt HTTP/1.1\r\nHost: t\r\n\r\n", 400},
        {"GET /a%zz HTTP/1.1\r\nHost: t\r\n\r\n", 400},
        {"GET relative HTTP/1.1\r\nHost: t\r\n\r\n", 400},
        {"G(T / HTTP/1.1\r\nHost: t\r\n\r\n", 400},
        {"GET / FTP/1.1\r\nHost: t\r\n\r\n", 400},
    };
    for (const Case& theCase : theCases) {
        RawClient theClient(theSite.Port());
        ASSERT_TRUE(theClient.Send(theCase.request));
        RawResponse theResponse = theClient.Read();
        EXPECT_EQ(theResponse.status, theCase.status) << theCase.request.substr(0, 80);
        EXPECT_EQ(theResponse.Get("x-content-type-options"), "nosniff");
        EXPECT_EQ(theResponse.Get("connection"), "close");
        EXPECT_TRUE(theClient.ClosedByServer()) << theCase.request.substr(0, 80);
    }
    ExpectServing(theSite.Port());
}

TEST(HttpHostileTest, SlowHeadTrickleIsDroppedWhileOthersAreServed)
{
    ServedSite theSite(kFiles, [](ferrolift::host::ServerOptions& outOptions) { outOptions.timeoutSeconds = 1; });
    RawClient theSlow(theSite.Port());
    ASSERT_TRUE(theSlow.Send("GET /static.txt HTTP/1.1\r\n"));
    // One header byte every 100 ms keeps the connection busy but never completes the
    // head; 50 bytes would take 5 s, far beyond the one-second limit of a head.
    bool theDropped = false;
    for (int i = 0; i < 50 && !theDropped; ++i) {
        std::this_thread::sleep_for(100ms);
        theDropped = !theSlow.Send("X");
        if (i == 3) {
            ExpectServing(theSite.Port());
        }
    }
    EXPECT_TRUE(theDropped || theSlow.ClosedByServer());
    ExpectServing(theSite.Port());
}

TEST(HttpHostileTest, StalledBodyFailsThePageAfterTheTimeout)
{
    ServedSite theSite(kFiles, [](ferrolift::host::ServerOptions& outOptions) { outOptions.timeoutSeconds = 1; });
    RawClient theStalled(theSite.Port());
    ASSERT_TRUE(theStalled.Send("POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 100\r\n\r\n0123456789"));
    ExpectServing(theSite.Port());
    RawResponse theResponse = theStalled.Read();
    EXPECT_EQ(theResponse.status, 500);   // the page's BinaryRead failed
    EXPECT_TRUE(theStalled.ClosedByServer());
}

TEST(HttpHostileTest, ThousandIdleConnectionsCostNoWorkers)
{
    if (RaiseFileLimit() < 2200)
        GTEST_SKIP() << "the open-file limit is too low for 1000 connections on both ends";
    ServedSite theSite(kFiles, [](ferrolift::host::ServerOptions& outOptions) { outOptions.threads = 2; });
    std::vector<std::unique_ptr<RawClient>> theIdle;
    for (int i = 0; i < 1000; ++i) {
        theIdle.push_back(std::make_unique<RawClient>(theSite.Port()));
        ASSERT_TRUE(theIdle.back()->Connected());
        // Every fourth one has started a head and stopped.
        if (i % 4 == 0) {
            ASSERT_TRUE(theIdle.back()->Send("GET /page.asp HTTP/1.1\r\nHo"));
        }
    }
    ExpectServing(theSite.Port());
    // The ones that went quiet after a full request were served on two page threads.
    for (int i = 1; i < 40; i += 4) {
        ASSERT_TRUE(theIdle[static_cast<std::size_t>(i)]->Send("GET /page.asp HTTP/1.1\r\nHost: t\r\n\r\n"));
        EXPECT_EQ(theIdle[static_cast<std::size_t>(i)]->Read().body, "page");
    }
}

TEST(HttpHostileTest, AtTheConnectionCapIdleConnectionsMakeRoom)
{
    ServedSite theSite(kFiles, [](ferrolift::host::ServerOptions& outOptions) { outOptions.maxConnections = 20; });
    std::vector<std::unique_ptr<RawClient>> theIdle;
    for (int i = 0; i < 20; ++i) {
        theIdle.push_back(std::make_unique<RawClient>(theSite.Port()));
        ASSERT_TRUE(theIdle.back()->Send("GET /static.txt HTTP/1.1\r\nHost: t\r\n\r\n"));
        EXPECT_EQ(theIdle.back()->Read().body, "static");
    }
    // The cap is reached; a newcomer waits in the backlog until idle ones are closed.
    ExpectServing(theSite.Port());
    EXPECT_TRUE(theIdle.front()->ClosedByServer());   // the oldest idle one went first
}

TEST(HttpHostileTest, UploadsBeyondTheCapGet503WithRetryAfter)
{
    ServedSite theSite(kFiles, [](ferrolift::host::ServerOptions& outOptions) { outOptions.maxUploads = 1; });
    RawClient theHolder(theSite.Port());
    ASSERT_TRUE(theHolder.Send("POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 20\r\n\r\n0123456789"));
    // The holder's page waits for the rest of its body on the only upload thread; once
    // it runs, the next upload whose body is still coming is refused at once.
    RawResponse theRefused;
    for (int theTry = 0; theTry < 100 && theRefused.status != 503; ++theTry) {
        RawClient theOther(theSite.Port());
        ASSERT_TRUE(theOther.Send("POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 3\r\n\r\na"));
        theRefused = theOther.Read();
        if (theRefused.status == 503) {
            EXPECT_TRUE(theOther.ClosedByServer());
        } else {
            std::this_thread::sleep_for(20ms);
        }
    }
    ASSERT_EQ(theRefused.status, 503);
    EXPECT_FALSE(theRefused.Get("retry-after").empty());
    EXPECT_EQ(theRefused.Get("connection"), "close");
    ExpectServing(theSite.Port());   // pages without a body run on their own threads
    {
        // A small body that came with its head needs no upload thread.
        RawClient theWhole(theSite.Port());
        ASSERT_TRUE(theWhole.Send("POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 3\r\n\r\nabc"));
        EXPECT_EQ(theWhole.Read().body, "got 3");
    }

    ASSERT_TRUE(theHolder.Send("0123456789"));
    EXPECT_EQ(theHolder.Read().body, "got 20");
    // Its thread is free again as soon as it has handed the connection back.
    RawResponse theLater;
    for (int theTry = 0; theTry < 100 && theLater.status != 200; ++theTry) {
        RawClient theClient(theSite.Port());
        ASSERT_TRUE(theClient.Send("POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 3\r\n\r\na"));
        ASSERT_TRUE(theClient.Send("bc"));
        theLater = theClient.Read();
        if (theLater.status != 200) {
            std::this_thread::sleep_for(20ms);
        }
    }
    EXPECT_EQ(theLater.body, "got 3");
}

TEST(HttpHostileTest, StopLetsRunningRequestsFinish)
{
    auto theSite = std::make_unique<ServedSite>(kFiles);
    RawClient theUploader(theSite->Port());
    ASSERT_TRUE(theUploader.Send("POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 6\r\n\r\nabc"));
    RawClient theIdle(theSite->Port());
    std::this_thread::sleep_for(100ms);
    std::thread theStopper([&theSite] { theSite->Server().Stop(); });
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(theUploader.Send("def"));
    RawResponse theResponse = theUploader.Read();
    theStopper.join();
    EXPECT_EQ(theResponse.body, "got 6");
    EXPECT_TRUE(theIdle.ClosedByServer());
    RawClient theLate(theSite->Port());
    EXPECT_FALSE(theLate.Connected());
}

}  // namespace

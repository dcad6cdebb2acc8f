// How the server frames its answers for HTTP/1.0 and 1.1 clients, with and without
// keep-alive, for pages that flush and pages that do not, and for static files: every
// answer ends where the client can tell, and a kept connection carries the next request.
#include <gtest/gtest.h>

#include "RawClient.h"
#include "ServedSite.h"

namespace {

const std::map<std::string, std::string> kFiles = {
    {"plain.asp", "<% Response.ContentType = \"text/plain\"; Response.Write(\"plain\"); %>"},
    {"flush.asp", "<% Response.Write(\"one \"); Response.Flush(); Response.Write(\"two\"); %>"},
    {"echo.asp", "<% var n = Request.TotalBytes; var b = Request.BinaryRead(n); Response.Write(\"got \" + n); %>"},
    {"ignore.asp", "<% Response.Write(\"ignored\"); %>"},
    {"static.txt", "static"},
};

std::string Get(const std::string& inTarget, const std::string& inVersion, const std::string& inHeaders = "")
{
    return "GET " + inTarget + " HTTP/" + inVersion + "\r\nHost: t\r\n" + inHeaders + "\r\n";
}

// Every answer, whatever it is, tells browsers not to guess its type.
RawResponse Read(RawClient& inClient, bool inHead = false)
{
    RawResponse theResponse = inClient.Read(inHead);
    EXPECT_EQ(theResponse.Get("x-content-type-options"), "nosniff") << theResponse.status;
    return theResponse;
}

class HttpFramingTest : public ::testing::Test {
protected:
    ServedSite mSite{kFiles};
};

TEST_F(HttpFramingTest, Http11KeepsTheConnectionForPagesFilesAndFlushingPages)
{
    RawClient theClient(mSite.Port());
    ASSERT_TRUE(theClient.Send(Get("/plain.asp", "1.1")));
    RawResponse thePage = Read(theClient);
    EXPECT_EQ(thePage.status, 200);
    EXPECT_EQ(thePage.framing, RawResponse::Framing::Length);
    EXPECT_EQ(thePage.body, "plain");
    EXPECT_FALSE(thePage.Has("connection"));

    ASSERT_TRUE(theClient.Send(Get("/static.txt", "1.1")));
    RawResponse theFile = Read(theClient);
    EXPECT_EQ(theFile.body, "static");
    EXPECT_EQ(theFile.Get("content-type"), "text/plain");

    ASSERT_TRUE(theClient.Send(Get("/flush.asp", "1.1")));
    RawResponse theFlushed = Read(theClient);
    EXPECT_EQ(theFlushed.framing, RawResponse::Framing::Chunked);
    EXPECT_EQ(theFlushed.body, "one two");

    ASSERT_TRUE(theClient.Send(Get("/plain.asp", "1.1", "Connection: close\r\n")));
    RawResponse theLast = Read(theClient);
    EXPECT_EQ(theLast.body, "plain");
    EXPECT_EQ(theLast.Get("connection"), "close");
    EXPECT_TRUE(theClient.ClosedByServer());
    EXPECT_EQ(theClient.Extra(), "");
}

TEST_F(HttpFramingTest, Http10WithoutKeepAliveGetsOneAnswerAndAClose)
{
    for (const char* theTarget : {"/plain.asp", "/static.txt", "/flush.asp", "/missing.asp"}) {
        RawClient theClient(mSite.Port());
        ASSERT_TRUE(theClient.Send(Get(theTarget, "1.0")));
        RawResponse theResponse = Read(theClient);
        EXPECT_NE(theResponse.status, 0) << theTarget;
        EXPECT_NE(theResponse.framing, RawResponse::Framing::Chunked) << theTarget;
        EXPECT_TRUE(theClient.ClosedByServer()) << theTarget;
    }
    RawClient theClient(mSite.Port());
    ASSERT_TRUE(theClient.Send(Get("/flush.asp", "1.0")));
    EXPECT_EQ(Read(theClient).body, "one two");
}

TEST_F(HttpFramingTest, Http10KeepAliveToAPageEndsAndCarriesTheNextRequest)
{
    RawClient theClient(mSite.Port());
    ASSERT_TRUE(theClient.Send(Get("/plain.asp", "1.0", "Connection: keep-alive\r\n")));
    RawResponse thePage = Read(theClient);
    ASSERT_EQ(thePage.status, 200);
    EXPECT_EQ(thePage.framing, RawResponse::Framing::Length);
    EXPECT_EQ(thePage.Get("connection"), "keep-alive");
    EXPECT_EQ(thePage.body, "plain");

    ASSERT_TRUE(theClient.Send(Get("/static.txt", "1.0", "Connection: keep-alive\r\n")));
    RawResponse theFile = Read(theClient);
    EXPECT_EQ(theFile.body, "static");
    EXPECT_EQ(theFile.Get("connection"), "keep-alive");

    // A flushing page cannot be chunked for 1.0: its end is the end of the connection.
    ASSERT_TRUE(theClient.Send(Get("/flush.asp", "1.0", "Connection: keep-alive\r\n")));
    RawResponse theFlushed = Read(theClient);
    EXPECT_EQ(theFlushed.status, 200);
    EXPECT_EQ(theFlushed.framing, RawResponse::Framing::Close);
    EXPECT_EQ(theFlushed.Get("connection"), "close");
    EXPECT_EQ(theFlushed.body, "one two");
}

TEST_F(HttpFramingTest, PipelinedRequestsAreAnsweredInOrder)
{
    RawClient theClient(mSite.Port());
    ASSERT_TRUE(theClient.Send(Get("/plain.asp", "1.1") + Get("/static.txt", "1.1") +
                               "POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 5\r\n\r\nabcde" +
                               "HEAD /static.txt HTTP/1.1\r\nHost: t\r\n\r\n" + Get("/flush.asp", "1.1") +
                               Get("/plain.asp", "1.1", "Connection: close\r\n")));
    EXPECT_EQ(Read(theClient).body, "plain");
    EXPECT_EQ(Read(theClient).body, "static");
    EXPECT_EQ(Read(theClient).body, "got 5");
    RawResponse theHead = Read(theClient, true);
    EXPECT_EQ(theHead.status, 200);
    EXPECT_EQ(theHead.Get("content-length"), "6");
    EXPECT_EQ(Read(theClient).body, "one two");
    EXPECT_EQ(Read(theClient).body, "plain");
    EXPECT_TRUE(theClient.ClosedByServer());
    EXPECT_EQ(theClient.Extra(), "");
}

TEST_F(HttpFramingTest, UnreadBodiesAreDrainedOrTheConnectionEnds)
{
    RawClient theClient(mSite.Port());
    std::string theSmall(5000, 's');
    ASSERT_TRUE(theClient.Send("POST /ignore.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 5000\r\n\r\n" + theSmall +
                               Get("/plain.asp", "1.1")));
    EXPECT_EQ(Read(theClient).body, "ignored");
    EXPECT_EQ(Read(theClient).body, "plain");

    // Too much to drain: the answer says close, and the connection ends.
    RawClient theBig(mSite.Port());
    ASSERT_TRUE(theBig.Send("POST /ignore.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 50000000\r\n\r\n" +
                            std::string(10000, 'b')));
    RawResponse theResponse = Read(theBig);
    EXPECT_EQ(theResponse.body, "ignored");
    EXPECT_EQ(theResponse.Get("connection"), "close");
    EXPECT_TRUE(theBig.ClosedByServer());
}

TEST_F(HttpFramingTest, ExpectContinueIsAnsweredOnlyWhenThePageReads)
{
    RawClient theClient(mSite.Port());
    ASSERT_TRUE(theClient.Send("POST /echo.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 3\r\nExpect: 100-continue\r\n\r\n"));
    RawResponse theInterim = theClient.Read(false, true);
    EXPECT_EQ(theInterim.status, 100);
    ASSERT_TRUE(theClient.Send("xyz"));
    EXPECT_EQ(Read(theClient).body, "got 3");

    // A page that never reads: no 100, and the unsent body cannot be drained.
    RawClient theRefused(mSite.Port());
    ASSERT_TRUE(theRefused.Send("POST /ignore.asp HTTP/1.1\r\nHost: t\r\nContent-Length: 3\r\nExpect: 100-continue\r\n\r\n"));
    RawResponse theAnswer = theRefused.Read(false, true);
    EXPECT_EQ(theAnswer.status, 200);
    EXPECT_EQ(theAnswer.Get("connection"), "close");
}

TEST_F(HttpFramingTest, StaticFilesAnswerConditionalRangeAndHeadRequests)
{
    RawClient theClient(mSite.Port());
    ASSERT_TRUE(theClient.Send(Get("/static.txt", "1.1")));
    RawResponse theFull = Read(theClient);
    std::string theModified = theFull.Get("last-modified");
    ASSERT_FALSE(theModified.empty());

    ASSERT_TRUE(theClient.Send(Get("/static.txt", "1.1", "If-Modified-Since: " + theModified + "\r\n")));
    RawResponse theSame = Read(theClient);
    EXPECT_EQ(theSame.status, 304);
    EXPECT_EQ(theSame.body, "");

    ASSERT_TRUE(theClient.Send(Get("/static.txt", "1.1", "If-Modified-Since: Mon, 01 Jan 1990 00:00:00 GMT\r\n")));
    EXPECT_EQ(Read(theClient).status, 200);

    ASSERT_TRUE(theClient.Send(Get("/static.txt", "1.1", "Range: bytes=1-3\r\n")));
    RawResponse thePart = Read(theClient);
    EXPECT_EQ(thePart.status, 206);
    EXPECT_EQ(thePart.body, "tat");
    EXPECT_EQ(thePart.Get("content-range"), "bytes 1-3/6");

    ASSERT_TRUE(theClient.Send(Get("/static.txt", "1.1", "Range: bytes=-2\r\n")));
    EXPECT_EQ(Read(theClient).body, "ic");

    ASSERT_TRUE(theClient.Send(Get("/static.txt", "1.1", "Range: bytes=6-\r\n")));
    RawResponse theBeyond = Read(theClient);
    EXPECT_EQ(theBeyond.status, 416);
    EXPECT_EQ(theBeyond.Get("content-range"), "bytes */6");

    ASSERT_TRUE(theClient.Send("HEAD /static.txt HTTP/1.1\r\nHost: t\r\n\r\n" + Get("/static.txt", "1.1")));
    RawResponse theHead = Read(theClient, true);
    EXPECT_EQ(theHead.Get("content-length"), "6");
    EXPECT_EQ(Read(theClient).body, "static");   // HEAD sent no body bytes in between
}

TEST_F(HttpFramingTest, FoldersRedirectToTheirSlashAndServeTheirIndex)
{
    mSite.Write("sub/index.html", "index");
    RawClient theClient(mSite.Port());
    ASSERT_TRUE(theClient.Send(Get("/sub?a=1", "1.1")));
    RawResponse theRedirect = Read(theClient);
    EXPECT_EQ(theRedirect.status, 301);
    EXPECT_EQ(theRedirect.Get("location"), "/sub/?a=1");
    ASSERT_TRUE(theClient.Send(Get("/sub/", "1.1")));
    EXPECT_EQ(Read(theClient).body, "index");
    // A folder whose name holds a line break: it must not reach the Location header.
    mSite.Write("a\r\nSet-Cookie: x/index.html", "odd");
    ASSERT_TRUE(theClient.Send(Get("/a%0d%0aSet-Cookie:%20x", "1.1")));
    RawResponse theOdd = Read(theClient);
    EXPECT_EQ(theOdd.status, 301);
    EXPECT_FALSE(theOdd.Has("set-cookie"));
    EXPECT_EQ(theOdd.Get("location"), "/a%0d%0aSet-Cookie:%20x/");
}

}  // namespace

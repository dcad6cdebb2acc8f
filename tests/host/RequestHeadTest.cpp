// The request-head parser on its own: heads arriving a byte at a time, the forms of a
// request target, the fields that decide framing, and the limits.
#include <gtest/gtest.h>

#include "host/RequestHead.h"

using ferrolift::host::RequestHead;

namespace {

RequestHead::Result Parse(const std::string& inBytes, RequestHead& outHead, std::size_t* outUsed = nullptr)
{
    std::size_t theUsed = 0;
    RequestHead::Result theResult = outHead.Parse(inBytes, theUsed);
    if (outUsed != nullptr)
        *outUsed = theUsed;
    return theResult;
}

TEST(RequestHeadTest, AHeadArrivingByteByByteCompletesOnlyAtItsEnd)
{
    const std::string theHead = "POST /up%20load.asp?ID=7&x=%41 HTTP/1.1\r\nHost: example\r\n"
                                "Content-Type: text/plain\r\nContent-Length: 4\r\n\r\n";
    const std::string theBytes = theHead + "bodyGET / HTTP/1.1\r\n";
    RequestHead theParsed;
    for (std::size_t i = 0; i < theHead.size(); ++i)
        ASSERT_EQ(Parse(theBytes.substr(0, i), theParsed), RequestHead::Result::Incomplete) << i;
    std::size_t theUsed = 0;
    ASSERT_EQ(Parse(theBytes, theParsed, &theUsed), RequestHead::Result::Complete);
    EXPECT_EQ(theUsed, theHead.size());
    EXPECT_EQ(theParsed.Method(), "POST");
    EXPECT_EQ(theParsed.Path(), "/up load.asp");
    EXPECT_EQ(theParsed.Query(), "ID=7&x=%41");
    EXPECT_EQ(theParsed.Target(), "/up%20load.asp?ID=7&x=%41");
    EXPECT_EQ(theParsed.ContentLength(), 4);
    EXPECT_EQ(theParsed.Version(), 11);
    ASSERT_NE(theParsed.Field("content-type"), nullptr);
    EXPECT_EQ(*theParsed.Field("CONTENT-TYPE"), "text/plain");
    EXPECT_EQ(theParsed.Field("Cookie"), nullptr);
    ASSERT_EQ(theParsed.Fields().size(), 3u);
    EXPECT_EQ(theParsed.Fields()[1].first, "Content-Type");   // names as sent, in order
}

TEST(RequestHeadTest, KeepAliveFollowsVersionAndConnectionTokens)
{
    struct Case {
        const char* head;
        bool keepAlive;
    };
    const Case theCases[] = {
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", true},
        {"GET / HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n", false},
        {"GET / HTTP/1.1\r\nHost: a\r\nConnection: Upgrade, CLOSE\r\n\r\n", false},
        {"GET / HTTP/1.0\r\n\r\n", false},
        {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true},
        {"GET / HTTP/1.0\r\nConnection: keep-alive-ish\r\n\r\n", false},
    };
    for (const Case& theCase : theCases) {
        RequestHead theHead;
        ASSERT_EQ(Parse(theCase.head, theHead), RequestHead::Result::Complete) << theCase.head;
        EXPECT_EQ(theHead.KeepAlive(), theCase.keepAlive) << theCase.head;
    }
}

TEST(RequestHeadTest, TargetsInOtherFormsAndBareLineFeeds)
{
    RequestHead theHead;
    ASSERT_EQ(Parse("GET http://example:81/a/b?q=1#frag HTTP/1.1\nHost: x\n\n", theHead), RequestHead::Result::Complete);
    EXPECT_EQ(theHead.Path(), "/a/b");
    EXPECT_EQ(theHead.Query(), "q=1");
    ASSERT_EQ(Parse("\r\nOPTIONS * HTTP/1.1\r\nHost: x\r\n\r\n", theHead), RequestHead::Result::Complete);
    EXPECT_EQ(theHead.Path(), "/");
    ASSERT_EQ(Parse("GET /a#frag HTTP/1.1\r\nHost: x\r\n\r\n", theHead), RequestHead::Result::Complete);
    EXPECT_EQ(theHead.Path(), "/a");
    ASSERT_EQ(Parse("GET /%e2%82%ac HTTP/1.1\r\nHost: x\r\nExpect: 100-Continue\r\n\r\n", theHead),
              RequestHead::Result::Complete);
    EXPECT_EQ(theHead.Path(), "/\xE2\x82\xAC");
    EXPECT_TRUE(theHead.ExpectsContinue());
}

TEST(RequestHeadTest, LimitsAreEnforcedBeforeTheHeadEnds)
{
    RequestHead theHead;
    // A line that is still growing is refused as soon as it passes the limit.
    std::string theLongLine = "GET /" + std::string(RequestHead::kMaxRequestLine, 'a');
    ASSERT_EQ(Parse(theLongLine, theHead), RequestHead::Result::Error);
    EXPECT_EQ(theHead.ErrorStatus(), 414);
    std::string theLongHead = "GET / HTTP/1.1\r\nHost: a\r\nX: " + std::string(RequestHead::kMaxHeadBytes, 'b');
    ASSERT_EQ(Parse(theLongHead, theHead), RequestHead::Result::Error);
    EXPECT_EQ(theHead.ErrorStatus(), 431);
    // Just under the limits is fine.
    std::string theFitting = "GET /" + std::string(RequestHead::kMaxRequestLine - 20, 'a') + " HTTP/1.1\r\nHost: a\r\n\r\n";
    EXPECT_EQ(Parse(theFitting, theHead), RequestHead::Result::Complete);
    ASSERT_EQ(Parse("GET / HTTP/1.1\r\n\r\n\r\n", theHead), RequestHead::Result::Error);   // no Host
    EXPECT_EQ(theHead.ErrorStatus(), 400);
}

TEST(RequestHeadTest, BodyFramingFieldsThatCouldSmuggleAreRefused)
{
    struct Case {
        const char* fields;
        int status;   // 0: accepted
        std::int64_t length;
    };
    const Case theCases[] = {
        {"Content-Length: 0\r\n", 0, 0},
        {"Content-Length: 123456789012\r\n", 0, 123456789012},
        {"Content-Length:  7 \r\n", 0, 7},
        {"Content-Length: 7\r\nContent-Length: 7\r\n", 400, 0},
        {"Content-Length: 7,7\r\n", 400, 0},
        {"Content-Length: +7\r\n", 400, 0},
        {"Content-Length: 0x7\r\n", 400, 0},
        {"Content-Length:\r\n", 400, 0},
        {"Transfer-Encoding: chunked\r\n", 411, 0},
        {"Transfer-Encoding: chunked\r\nContent-Length: 7\r\n", 400, 0},
        {"Transfer-Encoding: identity\r\n", 501, 0},
        {"Expect: something\r\n", 417, 0},
    };
    for (const Case& theCase : theCases) {
        RequestHead theHead;
        std::string theText = std::string("POST /x HTTP/1.1\r\nHost: a\r\n") + theCase.fields + "\r\n";
        RequestHead::Result theResult = Parse(theText, theHead);
        if (theCase.status == 0) {
            ASSERT_EQ(theResult, RequestHead::Result::Complete) << theCase.fields;
            EXPECT_EQ(theHead.ContentLength(), theCase.length) << theCase.fields;
        } else {
            ASSERT_EQ(theResult, RequestHead::Result::Error) << theCase.fields;
            EXPECT_EQ(theHead.ErrorStatus(), theCase.status) << theCase.fields;
        }
    }
}

}  // namespace

// The client's address and scheme behind a reverse proxy: headers believed only from
// trusted proxies, the right-most untrusted hop taken, and strict parsing of both the
// trusted list and the headers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/TrustedProxy.h"

using ferrolift::host::TrustedProxy;
using Headers = std::vector<TrustedProxy::Header>;

namespace {

TrustedProxy Proxies(const char* inList, TrustedProxy::Mode inMode = TrustedProxy::Mode::kXForwarded)
{
    TrustedProxy theProxies(inMode);
    std::string theError;
    EXPECT_TRUE(theProxies.AddList(inList, theError)) << theError;
    return theProxies;
}

std::string AddError(const char* inEntry)
{
    TrustedProxy theProxies;
    std::string theError;
    EXPECT_FALSE(theProxies.Add(inEntry, theError)) << inEntry;
    EXPECT_TRUE(theProxies.Empty()) << inEntry;
    return theError;
}

}  // namespace

TEST(TrustedProxyList, AcceptsAddressesAndNetworksOfBothFamilies)
{
    TrustedProxy theProxies = Proxies("127.0.0.1, 10.0.0.0/8 ::1\tfd00::/8,192.168.4.0/22");
    EXPECT_TRUE(theProxies.Trusts("127.0.0.1"));
    EXPECT_FALSE(theProxies.Trusts("127.0.0.2"));
    EXPECT_TRUE(theProxies.Trusts("10.255.0.9"));
    EXPECT_FALSE(theProxies.Trusts("11.0.0.1"));
    EXPECT_TRUE(theProxies.Trusts("::1"));
    EXPECT_TRUE(theProxies.Trusts("fdab::7"));
    EXPECT_FALSE(theProxies.Trusts("fe80::1"));
    // /22: 192.168.4.0 to 192.168.7.255.
    EXPECT_TRUE(theProxies.Trusts("192.168.7.255"));
    EXPECT_FALSE(theProxies.Trusts("192.168.8.0"));
    EXPECT_FALSE(theProxies.Trusts("192.168.3.255"));
    // Dual-stack sockets report IPv4 peers in mapped form.
    EXPECT_TRUE(theProxies.Trusts("::ffff:127.0.0.1"));
    EXPECT_FALSE(theProxies.Trusts("not-an-address"));
}

TEST(TrustedProxyList, ZeroPrefixTrustsTheWholeFamilyOnly)
{
    TrustedProxy theProxies = Proxies("0.0.0.0/0");
    EXPECT_TRUE(theProxies.Trusts("203.0.113.1"));
    EXPECT_FALSE(theProxies.Trusts("2001:db8::1"));
}

TEST(TrustedProxyList, RefusesMalformedEntriesWithAReason)
{
    EXPECT_NE(AddError("127.0.0.1/33").find("prefix"), std::string::npos);
    EXPECT_NE(AddError("::1/129").find("prefix"), std::string::npos);
    EXPECT_NE(AddError("10.0.0.0/").find("prefix"), std::string::npos);
    EXPECT_NE(AddError("10.0.0.0/08").find("prefix"), std::string::npos);
    EXPECT_NE(AddError("10.0.0.0/+8").find("prefix"), std::string::npos);
    EXPECT_NE(AddError("10.0.0.1/8").find("host bits"), std::string::npos);
    EXPECT_NE(AddError("fd00::1/8").find("host bits"), std::string::npos);
    EXPECT_NE(AddError("010.0.0.1").find("not an IP"), std::string::npos);
    EXPECT_NE(AddError("10.0.0").find("not an IP"), std::string::npos);
    EXPECT_NE(AddError("localhost").find("not an IP"), std::string::npos);
    EXPECT_NE(AddError("[::1]").find("not an IP"), std::string::npos);
    EXPECT_NE(AddError("127.0.0.1:80").find("not an IP"), std::string::npos);
    EXPECT_NE(AddError(std::string(5000, '1').c_str()).find("not an IP"), std::string::npos);

    // A list stops at its first bad entry and says which.
    TrustedProxy theProxies;
    std::string theError;
    EXPECT_FALSE(theProxies.AddList("127.0.0.1, 300.1.1.1, ::1", theError));
    EXPECT_NE(theError.find("300.1.1.1"), std::string::npos);
}

TEST(TrustedProxyNodes, ParsesPortsAndBracketsStrictly)
{
    EXPECT_EQ(TrustedProxy::FormatAddress(*TrustedProxy::ParseNode("192.0.2.1:8080")), "192.0.2.1");
    EXPECT_EQ(TrustedProxy::FormatAddress(*TrustedProxy::ParseNode("[2001:db8::1]:443")), "2001:db8::1");
    EXPECT_EQ(TrustedProxy::FormatAddress(*TrustedProxy::ParseNode("[2001:DB8:0::1]")), "2001:db8::1");
    EXPECT_EQ(TrustedProxy::FormatAddress(*TrustedProxy::ParseNode("::ffff:192.0.2.9")), "192.0.2.9");
    for (const char* theBad : {"", "192.0.2.1:", "192.0.2.1:0x50", "192.0.2.1:65536", "[192.0.2.1]", "[::1",
                               "[::1]x", "::1]:80", "192.0.2.1 ", "unknown", "_hidden", "1.2.3.4:80:90"}) {
        EXPECT_FALSE(TrustedProxy::ParseNode(theBad)) << "'" << theBad << "'";
    }
}

TEST(TrustedProxyResolve, IgnoresHeadersFromUntrustedPeers)
{
    TrustedProxy theProxies = Proxies("127.0.0.1");
    const Headers theHeaders = {{"X-Forwarded-For", "198.51.100.1"}, {"X-Forwarded-Proto", "https"}};
    auto theClient = theProxies.Resolve("203.0.113.9", false, theHeaders);
    EXPECT_EQ(theClient.address, "203.0.113.9");
    EXPECT_EQ(theClient.scheme, "http");
    EXPECT_FALSE(theClient.forwarded);
    // No trusted list at all: nobody is believed, not even loopback.
    auto theUntrusting = TrustedProxy().Resolve("127.0.0.1", true, theHeaders);
    EXPECT_EQ(theUntrusting.address, "127.0.0.1");
    EXPECT_EQ(theUntrusting.scheme, "https");
}

TEST(TrustedProxyResolve, TakesTheRightMostUntrustedHop)
{
    TrustedProxy theProxies = Proxies("127.0.0.1 10.0.0.0/8");
    // The client made up the first two entries; nginx appended the real address.
    Headers theHeaders = {{"x-forwarded-for", "1.1.1.1, 2.2.2.2, 203.0.113.50"}, {"X-Forwarded-Proto", "https"}};
    auto theClient = theProxies.Resolve("127.0.0.1", false, theHeaders);
    EXPECT_EQ(theClient.address, "203.0.113.50");
    EXPECT_EQ(theClient.scheme, "https");
    EXPECT_TRUE(theClient.forwarded);

    // Two trusted proxies in a row are skipped; several header lines form one list.
    theHeaders = {{"X-Forwarded-For", "9.9.9.9, 198.51.100.4"}, {"X-Forwarded-For", "10.1.2.3"}};
    EXPECT_EQ(theProxies.Resolve("::ffff:10.0.0.1", false, theHeaders).address, "198.51.100.4");

    // Every hop trusted: the left-most is as far as anyone can tell.
    theHeaders = {{"X-Forwarded-For", "10.0.0.7, 10.0.0.8"}};
    EXPECT_EQ(theProxies.Resolve("127.0.0.1", false, theHeaders).address, "10.0.0.7");

    // Without the header the proxy itself is the client.
    auto thePlain = theProxies.Resolve("127.0.0.1", false, {{"Host", "example.org"}});
    EXPECT_EQ(thePlain.address, "127.0.0.1");
    EXPECT_FALSE(thePlain.forwarded);
}

TEST(TrustedProxyResolve, AMalformedHopBeforeTheClientVoidsTheChain)
{
    TrustedProxy theProxies = Proxies("127.0.0.1");
    for (const char* theChain : {"203.0.113.5, garbage", "203.0.113.5,", "", "203.0.113.5;rm", "999.1.1.1"}) {
        auto theClient = theProxies.Resolve("127.0.0.1", false, {{"X-Forwarded-For", theChain}});
        EXPECT_EQ(theClient.address, "127.0.0.1") << theChain;
        EXPECT_FALSE(theClient.forwarded) << theChain;
    }
    // Garbage left of the client is the client's own business and changes nothing.
    auto theClient = theProxies.Resolve("127.0.0.1", false, {{"X-Forwarded-For", "<script>, 203.0.113.5"}});
    EXPECT_EQ(theClient.address, "203.0.113.5");
}

TEST(TrustedProxyResolve, AcceptsOnlyHttpAndHttpsAsTheScheme)
{
    TrustedProxy theProxies = Proxies("127.0.0.1");
    auto Scheme = [&](const char* inProto, bool inTls) {
        return theProxies.Resolve("127.0.0.1", inTls, {{"X-Forwarded-For", "203.0.113.5"}, {"X-Forwarded-Proto", inProto}})
            .scheme;
    };
    EXPECT_EQ(Scheme("HTTPS", false), "https");
    EXPECT_EQ(Scheme("http", true), "http");
    EXPECT_EQ(Scheme("javascript", false), "http");
    EXPECT_EQ(Scheme("", true), "https");
    EXPECT_EQ(Scheme("http, https", false), "https");
}

TEST(TrustedProxyResolve, ReadsTheForwardedHeaderInThatModeOnly)
{
    const Headers theHeaders = {{"Forwarded", "for=198.51.100.17;proto=https;by=10.0.0.1"},
                                {"X-Forwarded-For", "1.2.3.4"}};
    TrustedProxy theForwarded = Proxies("127.0.0.1", TrustedProxy::Mode::kForwarded);
    auto theClient = theForwarded.Resolve("127.0.0.1", false, theHeaders);
    EXPECT_EQ(theClient.address, "198.51.100.17");
    EXPECT_EQ(theClient.scheme, "https");
    // A proxy that maintains X-Forwarded-For passes the client's Forwarded through.
    EXPECT_EQ(Proxies("127.0.0.1").Resolve("127.0.0.1", false, theHeaders).address, "1.2.3.4");
}

TEST(TrustedProxyResolve, WalksForwardedElementsWithTheirOwnScheme)
{
    TrustedProxy theProxies = Proxies("127.0.0.1, 10.0.0.0/8", TrustedProxy::Mode::kForwarded);
    Headers theHeaders = {{"Forwarded", R"(for="[2001:db8:cafe::17]:4711";proto=https, for=10.0.0.3;proto=http)"}};
    auto theClient = theProxies.Resolve("127.0.0.1", false, theHeaders);
    EXPECT_EQ(theClient.address, "2001:db8:cafe::17");
    EXPECT_EQ(theClient.scheme, "https");

    // Names that hide the address, broken quoting and repeated pairs end the walk at
    // the peer.
    for (const char* theBad : {"for=unknown", "for=_hidden", "for=\"198.51.100.1", "for=1.2.3.4;for=5.6.7.8",
                               "proto=https", "for=\"1.2.3.4\\\"\"", "=1.2.3.4", "for=1.2.3.4, "}) {
        auto theResult = theProxies.Resolve("127.0.0.1", true, {{"Forwarded", theBad}});
        EXPECT_EQ(theResult.address, "127.0.0.1") << theBad;
        EXPECT_EQ(theResult.scheme, "https") << theBad;
    }
}

TEST(TrustedProxyResolve, StaysBoundedOnHostileChains)
{
    TrustedProxy theProxies = Proxies("10.0.0.0/8");
    std::string theChain = "203.0.113.1";
    for (int i = 0; i < 10000; ++i)
        theChain += ", 10.0.0.1";
    // Too many trusted hops is not a real path; the peer is reported instead.
    auto theClient = theProxies.Resolve("10.0.0.2", false, {{"X-Forwarded-For", theChain}});
    EXPECT_EQ(theClient.address, "10.0.0.2");
    EXPECT_FALSE(theClient.forwarded);
}

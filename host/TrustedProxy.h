// TrustedProxy.h: who the client really is when requests arrive through a reverse proxy.
// A proxy in the trusted list may tell the client's address and scheme in its forwarding
// headers; anyone else's forwarding headers are ignored, since any client can send them.
//
//   ferrolift::host::TrustedProxy theProxies;
//   std::string theError;
//   if (!theProxies.AddList("127.0.0.1, 10.0.0.0/8, ::1", theError)) ...;   // --trusted-proxy
//   std::vector<ferrolift::host::TrustedProxy::Header> theHeaders = {
//       {"X-Forwarded-For", "203.0.113.7, 10.0.0.5"}, {"X-Forwarded-Proto", "https"}};
//   auto theClient = theProxies.Resolve("127.0.0.1", false, theHeaders);
//   // theClient.address == "203.0.113.7", theClient.scheme == "https"
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolift::host {

/// A list of proxy addresses and networks, and the rule that reads their headers.
class TrustedProxy {
public:
    /// Which header a trusted proxy maintains. Only that one is read: a proxy that sets
    /// X-Forwarded-For passes a client's own Forwarded header through untouched, so
    /// reading both would let the client choose its address.
    enum class Mode { kXForwarded, kForwarded };

    /// One request header, as the HTTP server hands them over (name case ignored).
    struct Header {
        std::string_view name;
        std::string_view value;
    };

    /// The client as the page should see it.
    struct Client {
        std::string address;   // canonical text form, IPv4-mapped IPv6 shown as IPv4
        std::string scheme;    // "http" or "https"
        bool forwarded = false;   // true when taken from a trusted proxy's headers
    };

    explicit TrustedProxy(Mode inMode = Mode::kXForwarded) : mMode(inMode) {}

    /// Adds one address ("192.0.2.1", "::1") or network ("10.0.0.0/8", "fd00::/8").
    /// Strict: no host bits beyond the prefix, no leading zeros, no empty prefix.
    bool Add(std::string_view inEntry, std::string& outError);
    /// Adds a list separated by commas and/or blanks; stops at the first bad entry.
    bool AddList(std::string_view inList, std::string& outError);

    bool Empty() const { return mNetworks.empty(); }
    Mode HeaderMode() const { return mMode; }

    /// True when inAddress parses and lies in one of the trusted networks.
    bool Trusts(std::string_view inAddress) const;

    /// The client behind inPeer (the connection's address). When the peer is trusted,
    /// walks the forwarding chain from the right and takes the first address that is not
    /// a trusted proxy; a malformed entry met on the way means the chain cannot be
    /// believed and the peer itself is the answer. The scheme comes from the same hop
    /// (Forwarded) or X-Forwarded-Proto, and only "http"/"https" are taken.
    Client Resolve(std::string_view inPeer, bool inPeerTls, const std::vector<Header>& inHeaders) const;

    /// The parsed form of one address; exposed for the tests and for access logs.
    struct Address {
        std::array<std::uint8_t, 16> bytes{};   // IPv4 as IPv4-mapped IPv6
        bool v4 = false;
    };
    /// Parses a bare IPv4 or IPv6 address (no brackets, no port).
    static std::optional<Address> ParseAddress(std::string_view inText);
    /// Parses one forwarding node: a bare address, "[v6]", "v4:port" or "[v6]:port".
    static std::optional<Address> ParseNode(std::string_view inText);
    static std::string FormatAddress(const Address& inAddress);

private:
    struct Network {
        Address base;
        int prefix = 0;   // in bits of the 128-bit (mapped) form
    };

    bool Contains(const Address& inAddress) const;
    Client FromXForwarded(const Address& inPeer, const char* inPeerScheme, const std::vector<Header>& inHeaders) const;
    Client FromForwarded(const Address& inPeer, const char* inPeerScheme, const std::vector<Header>& inHeaders) const;

    Mode mMode;
    std::vector<Network> mNetworks;
};

}  // namespace ferrolift::host

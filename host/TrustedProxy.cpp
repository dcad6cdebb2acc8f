// TrustedProxy.cpp: parsing of proxy lists and forwarding headers, and the right-to-left
// walk that finds the first hop no trusted proxy vouches for.
#include "host/TrustedProxy.h"

#include <arpa/inet.h>
#include <strings.h>

#include <cstring>

namespace ferrolift::host {

namespace {

// Longer text cannot be an address; refusing it early keeps copies bounded.
constexpr std::size_t kMaxAddressText = 64;
// A chain longer than this is not a real proxy path; the walk stops there.
constexpr std::size_t kMaxHops = 64;

bool IsBlank(char inChar)
{
    return inChar == ' ' || inChar == '\t';
}

std::string_view Trim(std::string_view inText)
{
    while (!inText.empty() && IsBlank(inText.front()))
        inText.remove_prefix(1);
    while (!inText.empty() && IsBlank(inText.back()))
        inText.remove_suffix(1);
    return inText;
}

bool IsDigits(std::string_view inText)
{
    if (inText.empty())
        return false;
    for (char theChar : inText) {
        if (theChar < '0' || theChar > '9')
            return false;
    }
    return true;
}

// A decimal without sign or leading zero, at most inMax.
std::optional<int> ParseDecimal(std::string_view inText, int inMax)
{
    if (!IsDigits(inText) || inText.size() > 5 || (inText.size() > 1 && inText.front() == '0'))
        return std::nullopt;
    int theValue = 0;
    for (char theChar : inText)
        theValue = theValue * 10 + (theChar - '0');
    if (theValue > inMax)
        return std::nullopt;
    return theValue;
}

bool EqualsNoCase(std::string_view inLeft, std::string_view inRight)
{
    return inLeft.size() == inRight.size() && strncasecmp(inLeft.data(), inRight.data(), inLeft.size()) == 0;
}

// Splits on commas; the pieces are trimmed and may be empty.
std::vector<std::string_view> SplitCommas(std::string_view inText)
{
    std::vector<std::string_view> theParts;
    for (;;) {
        const std::size_t theComma = inText.find(',');
        theParts.push_back(Trim(inText.substr(0, theComma)));
        if (theComma == std::string_view::npos)
            return theParts;
        inText.remove_prefix(theComma + 1);
    }
}

// The comma-separated elements of every header line of this name, in arrival order;
// several lines of one header are one list (RFC 9110).
std::vector<std::string_view> HeaderList(const std::vector<TrustedProxy::Header>& inHeaders, std::string_view inName)
{
    std::vector<std::string_view> theList;
    for (const TrustedProxy::Header& theHeader : inHeaders) {
        if (!EqualsNoCase(theHeader.name, inName))
            continue;
        for (std::string_view thePart : SplitCommas(theHeader.value))
            theList.push_back(thePart);
    }
    return theList;
}

bool HasHeader(const std::vector<TrustedProxy::Header>& inHeaders, std::string_view inName)
{
    for (const TrustedProxy::Header& theHeader : inHeaders) {
        if (EqualsNoCase(theHeader.name, inName))
            return true;
    }
    return false;
}

// "http" or "https" in any case; anything else is not taken.
const char* ParseScheme(std::string_view inText)
{
    if (EqualsNoCase(inText, "http"))
        return "http";
    if (EqualsNoCase(inText, "https"))
        return "https";
    return nullptr;
}

// Removes the quotes of an RFC 7230 quoted-string; false for a broken one. Forwarded
// values never need escapes, so a backslash is refused rather than interpreted.
bool Unquote(std::string_view inText, std::string_view& outValue)
{
    if (inText.empty() || inText.front() != '"') {
        outValue = inText;
        return inText.find('"') == std::string_view::npos;
    }
    if (inText.size() < 2 || inText.back() != '"')
        return false;
    outValue = inText.substr(1, inText.size() - 2);
    return outValue.find_first_of("\"\\") == std::string_view::npos;
}

// One element of a Forwarded header: "for=...;proto=...;by=...". False when a pair is
// malformed or repeated.
bool ParseForwardedElement(std::string_view inElement, std::string_view& outFor, std::string_view& outProto)
{
    outFor = {};
    outProto = {};
    bool theSawFor = false;
    bool theSawProto = false;
    while (!inElement.empty()) {
        const std::size_t theSemicolon = inElement.find(';');
        const std::string_view thePair = Trim(inElement.substr(0, theSemicolon));
        inElement = theSemicolon == std::string_view::npos ? std::string_view{} : inElement.substr(theSemicolon + 1);
        const std::size_t theEquals = thePair.find('=');
        if (theEquals == std::string_view::npos || theEquals == 0)
            return false;
        const std::string_view theName = thePair.substr(0, theEquals);
        std::string_view theValue;
        if (!Unquote(thePair.substr(theEquals + 1), theValue))
            return false;
        if (EqualsNoCase(theName, "for")) {
            if (theSawFor)
                return false;
            theSawFor = true;
            outFor = theValue;
        } else if (EqualsNoCase(theName, "proto")) {
            if (theSawProto)
                return false;
            theSawProto = true;
            outProto = theValue;
        }
    }
    return theSawFor;
}

}  // namespace

std::optional<TrustedProxy::Address> TrustedProxy::ParseAddress(std::string_view inText)
{
    if (inText.empty() || inText.size() >= kMaxAddressText)
        return std::nullopt;
    char theText[kMaxAddressText];
    std::memcpy(theText, inText.data(), inText.size());
    theText[inText.size()] = '\0';
    Address theAddress;
    if (inText.find(':') == std::string_view::npos) {
        // inet_pton takes only the four-part dotted form, without leading zeros.
        in_addr theV4{};
        if (inet_pton(AF_INET, theText, &theV4) != 1)
            return std::nullopt;
        theAddress.bytes[10] = 0xff;
        theAddress.bytes[11] = 0xff;
        std::memcpy(&theAddress.bytes[12], &theV4, 4);
        theAddress.v4 = true;
        return theAddress;
    }
    in6_addr theV6{};
    if (inet_pton(AF_INET6, theText, &theV6) != 1)
        return std::nullopt;
    std::memcpy(theAddress.bytes.data(), &theV6, 16);
    // A dual-stack socket reports IPv4 peers as ::ffff:a.b.c.d; they are IPv4 peers.
    static const std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    theAddress.v4 = std::memcmp(theAddress.bytes.data(), kMappedPrefix, 12) == 0;
    return theAddress;
}

std::optional<TrustedProxy::Address> TrustedProxy::ParseNode(std::string_view inText)
{
    if (!inText.empty() && inText.front() == '[') {
        const std::size_t theClose = inText.find(']');
        if (theClose == std::string_view::npos)
            return std::nullopt;
        const std::string_view theRest = inText.substr(theClose + 1);
        if (!theRest.empty() && (theRest.front() != ':' || !ParseDecimal(theRest.substr(1), 65535)))
            return std::nullopt;
        const std::string_view theInside = inText.substr(1, theClose - 1);
        if (theInside.find(':') == std::string_view::npos)
            return std::nullopt;   // brackets are for IPv6 only
        return ParseAddress(theInside);
    }
    const std::size_t theColon = inText.find(':');
    if (theColon != std::string_view::npos && inText.find(':', theColon + 1) == std::string_view::npos) {
        // One colon: IPv4 with a port. (Bare IPv6 has at least two.)
        if (!ParseDecimal(inText.substr(theColon + 1), 65535))
            return std::nullopt;
        std::optional<Address> theAddress = ParseAddress(inText.substr(0, theColon));
        return theAddress && theAddress->v4 ? theAddress : std::nullopt;
    }
    return ParseAddress(inText);
}

std::string TrustedProxy::FormatAddress(const Address& inAddress)
{
    char theText[INET6_ADDRSTRLEN] = {};
    if (inAddress.v4)
        inet_ntop(AF_INET, &inAddress.bytes[12], theText, sizeof theText);
    else
        inet_ntop(AF_INET6, inAddress.bytes.data(), theText, sizeof theText);
    return theText;
}

bool TrustedProxy::Add(std::string_view inEntry, std::string& outError)
{
    const std::string_view theEntry = Trim(inEntry);
    const std::size_t theSlash = theEntry.find('/');
    const std::optional<Address> theBase = ParseAddress(theEntry.substr(0, theSlash));
    if (!theBase) {
        outError = "not an IP address: '" + std::string(theEntry.substr(0, kMaxAddressText)) + "'";
        return false;
    }
    Network theNetwork{*theBase, 128};
    if (theSlash != std::string_view::npos) {
        const int theWidth = theBase->v4 ? 32 : 128;
        const std::optional<int> thePrefix = ParseDecimal(theEntry.substr(theSlash + 1), theWidth);
        if (!thePrefix) {
            outError = "bad prefix length in '" + std::string(theEntry.substr(0, kMaxAddressText)) + "' (0 to " +
                       std::to_string(theWidth) + ")";
            return false;
        }
        theNetwork.prefix = theBase->v4 ? 96 + *thePrefix : *thePrefix;
    }
    // A network written with host bits set is most likely a typing error, and guessing
    // which was meant could trust far more than intended.
    for (int theBit = theNetwork.prefix; theBit < 128; ++theBit) {
        if (theNetwork.base.bytes[theBit / 8] & (0x80 >> (theBit % 8))) {
            outError = "host bits set in '" + std::string(theEntry.substr(0, kMaxAddressText)) + "'";
            return false;
        }
    }
    mNetworks.push_back(theNetwork);
    return true;
}

bool TrustedProxy::AddList(std::string_view inList, std::string& outError)
{
    std::size_t thePosition = 0;
    while (thePosition < inList.size()) {
        const std::size_t theEnd = inList.find_first_of(", \t", thePosition);
        const std::string_view theEntry = inList.substr(thePosition, theEnd - thePosition);
        if (!theEntry.empty() && !Add(theEntry, outError))
            return false;
        if (theEnd == std::string_view::npos)
            break;
        thePosition = theEnd + 1;
    }
    return true;
}

bool TrustedProxy::Contains(const Address& inAddress) const
{
    for (const Network& theNetwork : mNetworks) {
        const int theFull = theNetwork.prefix / 8;
        if (std::memcmp(inAddress.bytes.data(), theNetwork.base.bytes.data(), static_cast<std::size_t>(theFull)) != 0)
            continue;
        const int theRest = theNetwork.prefix % 8;
        if (theRest != 0) {
            const std::uint8_t theMask = static_cast<std::uint8_t>(0xff << (8 - theRest));
            if ((inAddress.bytes[theFull] & theMask) != theNetwork.base.bytes[theFull])
                continue;
        }
        return true;
    }
    return false;
}

bool TrustedProxy::Trusts(std::string_view inAddress) const
{
    const std::optional<Address> theAddress = ParseAddress(inAddress);
    return theAddress && Contains(*theAddress);
}

TrustedProxy::Client TrustedProxy::Resolve(std::string_view inPeer, bool inPeerTls,
                                           const std::vector<Header>& inHeaders) const
{
    const char* thePeerScheme = inPeerTls ? "https" : "http";
    const std::optional<Address> thePeer = ParseAddress(inPeer);
    if (!thePeer)
        return Client{std::string(inPeer), thePeerScheme};
    if (!Contains(*thePeer))
        return Client{FormatAddress(*thePeer), thePeerScheme};
    return mMode == Mode::kForwarded ? FromForwarded(*thePeer, thePeerScheme, inHeaders)
                                     : FromXForwarded(*thePeer, thePeerScheme, inHeaders);
}

TrustedProxy::Client TrustedProxy::FromXForwarded(const Address& inPeer, const char* inPeerScheme,
                                                  const std::vector<Header>& inHeaders) const
{
    const Client thePeerOnly{FormatAddress(inPeer), inPeerScheme};
    const std::vector<std::string_view> theChain = HeaderList(inHeaders, "X-Forwarded-For");
    if (theChain.empty())
        return thePeerOnly;
    std::optional<Address> theClient;
    std::size_t theHops = 0;
    for (auto theHop = theChain.rbegin(); theHop != theChain.rend(); ++theHop) {
        if (++theHops > kMaxHops)
            return thePeerOnly;
        const std::optional<Address> theAddress = ParseNode(*theHop);
        if (!theAddress)
            return thePeerOnly;
        theClient = theAddress;
        if (!Contains(*theAddress))
            break;
    }
    // The proxy next to the client overwrites the header, later ones may append: the
    // right-most value is the one a trusted proxy wrote.
    const char* theScheme = inPeerScheme;
    const std::vector<std::string_view> theProtos = HeaderList(inHeaders, "X-Forwarded-Proto");
    if (!theProtos.empty()) {
        if (const char* theForwardedScheme = ParseScheme(theProtos.back()))
            theScheme = theForwardedScheme;
    }
    return Client{FormatAddress(*theClient), theScheme, true};
}

TrustedProxy::Client TrustedProxy::FromForwarded(const Address& inPeer, const char* inPeerScheme,
                                                 const std::vector<Header>& inHeaders) const
{
    const Client thePeerOnly{FormatAddress(inPeer), inPeerScheme};
    if (!HasHeader(inHeaders, "Forwarded"))
        return thePeerOnly;
    const std::vector<std::string_view> theElements = HeaderList(inHeaders, "Forwarded");
    Client theResult = thePeerOnly;
    std::size_t theHops = 0;
    for (auto theElement = theElements.rbegin(); theElement != theElements.rend(); ++theElement) {
        std::string_view theFor;
        std::string_view theProto;
        // "unknown" and obfuscated identifiers ("_hidden") name no address: the chain
        // ends there without a client we could report.
        if (++theHops > kMaxHops || !ParseForwardedElement(*theElement, theFor, theProto))
            return thePeerOnly;
        const std::optional<Address> theAddress = ParseNode(theFor);
        if (!theAddress)
            return thePeerOnly;
        const char* theScheme = theProto.empty() ? inPeerScheme : ParseScheme(theProto);
        theResult = Client{FormatAddress(*theAddress), theScheme != nullptr ? theScheme : inPeerScheme, true};
        if (!Contains(*theAddress))
            break;
    }
    return theResult;
}

}  // namespace ferrolift::host

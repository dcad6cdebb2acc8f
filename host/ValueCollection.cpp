#include "host/ValueCollection.h"

#include "host/WebText.h"

namespace ferrolift::host {

namespace {

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The whole length takes part: a decoded %00 does not end a name ("a%00x" and "a%00y"
// are different names).
std::string LowerName(std::string_view inName)
{
    std::string theKey(inName);
    for (char& c : theKey)
        c = AsciiLower(c);
    return theKey;
}

}  // namespace

void ValueCollection::Add(std::string_view inName, std::string inValue)
{
    auto [theSlot, theNew] = mIndex.try_emplace(LowerName(inName), mEntries.size());
    if (!theNew) {
        mEntries[theSlot->second].second.push_back(std::move(inValue));
        return;
    }
    mEntries.emplace_back(std::string(inName), Values{std::move(inValue)});
}

const ValueCollection::Values* ValueCollection::Find(std::string_view inName) const
{
    auto theSlot = mIndex.find(LowerName(inName));
    return theSlot == mIndex.end() ? nullptr : &mEntries[theSlot->second].second;
}

std::string ValueCollection::UrlDecode(std::string_view inText)
{
    std::string theResult;
    theResult.reserve(inText.size());
    for (std::size_t i = 0; i < inText.size(); ++i) {
        char c = inText[i];
        if (c == '+') {
            theResult += ' ';
        } else if (c == '%' && i + 2 < inText.size() && HexDigitValue(inText[i + 1]) >= 0 &&
                   HexDigitValue(inText[i + 2]) >= 0) {
            theResult += static_cast<char>(HexDigitValue(inText[i + 1]) * 16 + HexDigitValue(inText[i + 2]));
            i += 2;
        } else {
            theResult += c;
        }
    }
    return theResult;
}

void ValueCollection::ParseUrlEncoded(std::string_view inText)
{
    std::size_t thePos = 0;
    while (thePos <= inText.size()) {
        std::size_t theEnd = inText.find('&', thePos);
        if (theEnd == std::string_view::npos)
            theEnd = inText.size();
        std::string_view thePair = inText.substr(thePos, theEnd - thePos);
        if (!thePair.empty()) {
            std::size_t theEquals = thePair.find('=');
            std::string_view theName = thePair.substr(0, theEquals);
            std::string_view theValue =
                theEquals == std::string_view::npos ? std::string_view() : thePair.substr(theEquals + 1);
            Add(UrlDecode(theName), UrlDecode(theValue));
        }
        thePos = theEnd + 1;
    }
}

}  // namespace ferrolift::host

// The page engine's query strings and URL-encoded forms. Two checks per input:
// - the bytes as a query text: the collection must equal a plain splitter's result
//   (pairs at '&', name up to the first '=', names merged ignoring ASCII case);
// - the bytes as a list of raw pairs (cut at NUL bytes): encoded and parsed, each value
//   must come back byte for byte under its name.
#include "host/ValueCollection.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include "FuzzCheck.h"

namespace {

using ferrolift::host::ValueCollection;
using Pairs = std::vector<std::pair<std::string, std::vector<std::string>>>;

std::string Decode(std::string_view inText)
{
    std::string theResult;
    size_t i = 0;
    while (i < inText.size()) {
        if (inText[i] == '+') {
            theResult += ' ';
            ++i;
        } else if (inText[i] == '%' && inText.size() - i >= 3 && Hex(inText[i + 1]) >= 0 && Hex(inText[i + 2]) >= 0) {
            theResult += static_cast<char>(Hex(inText[i + 1]) << 4 | Hex(inText[i + 2]));
            i += 3;
        } else {
            theResult += inText[i++];
        }
    }
    return theResult;
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool SameName(const std::string& inA, const std::string& inB)
{
    if (inA.size() != inB.size())
        return false;
    for (size_t i = 0; i < inA.size(); ++i)
        if (Lower(inA[i]) != Lower(inB[i]))
            return false;
    return true;
}

void Add(Pairs& inOutPairs, std::string inName, std::string inValue)
{
    for (auto& thePair : inOutPairs)
        if (SameName(thePair.first, inName)) {
            thePair.second.push_back(std::move(inValue));
            return;
        }
    inOutPairs.push_back({std::move(inName), {std::move(inValue)}});
}

Pairs Split(std::string_view inText)
{
    Pairs thePairs;
    std::string thePiece;
    std::string theName;
    bool theHasEquals = false;
    // One byte at a time, with an end marker: no searches to share faults with the real one.
    for (size_t i = 0; i <= inText.size(); ++i) {
        if (i == inText.size() || inText[i] == '&') {
            if (theHasEquals)
                Add(thePairs, Decode(theName), Decode(thePiece));
            else if (!thePiece.empty())
                Add(thePairs, Decode(thePiece), "");
            thePiece.clear();
            theName.clear();
            theHasEquals = false;
        } else if (inText[i] == '=' && !theHasEquals) {
            theName = thePiece;
            thePiece.clear();
            theHasEquals = true;
        } else {
            thePiece += inText[i];
        }
    }
    return thePairs;
}

std::string Encode(std::string_view inText)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string theResult;
    for (const char c : inText) {
        const unsigned char theByte = static_cast<unsigned char>(c);
        if (theByte == ' ') {
            theResult += '+';
        } else if ((theByte >= 'a' && theByte <= 'z') || (theByte >= 'A' && theByte <= 'Z') ||
                   (theByte >= '0' && theByte <= '9') || theByte == '-' || theByte == '.' || theByte == '_') {
            theResult += c;
        } else {
            theResult += '%';
            theResult += kDigits[theByte >> 4];
            theResult += kDigits[theByte & 15];
        }
    }
    return theResult;
}

void CheckSame(const ValueCollection& inCollection, const Pairs& inExpected)
{
    Check(inCollection.Count() == inExpected.size(), "count");
    for (size_t i = 0; i < inExpected.size(); ++i) {
        Check(inCollection.NameAt(i) == inExpected[i].first, "name");
        Check(inCollection.ValuesAt(i) == inExpected[i].second, "values");
        // Every name finds its own entry, also in upper case.
        std::string theUpper = inExpected[i].first;
        for (char& c : theUpper)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
        Check(inCollection.Find(inExpected[i].first) == &inCollection.ValuesAt(i), "find");
        Check(inCollection.Find(theUpper) == &inCollection.ValuesAt(i), "find upper case");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    // Name lookup is linear per name; larger inputs only slow the search down.
    if (inSize > 4096)
        return 0;
    // An exact-size copy, so that any read past the text is caught.
    const std::vector<char> theBytes(inData, inData + inSize);
    const std::string_view theText(theBytes.data(), theBytes.size());

    ValueCollection theQuery;
    theQuery.ParseUrlEncoded(theText);
    CheckSame(theQuery, Split(theText));
    Check(ValueCollection::UrlDecode(theText) == Decode(theText), "decode");

    // Raw pairs: NUL bytes separate name, value, name, value...
    Pairs theRaw;
    std::string theEncoded;
    size_t theStart = 0;
    std::string theName;
    bool theIsName = true;
    for (size_t i = 0; i <= inSize; ++i) {
        if (i < inSize && theText[i] != 0)
            continue;
        const std::string_view thePiece = theText.substr(theStart, i - theStart);
        theStart = i + 1;
        if (theIsName) {
            theName = thePiece;
        } else {
            Add(theRaw, theName, std::string(thePiece));
            theEncoded += (theEncoded.empty() ? "" : "&") + Encode(theName) + "=" + Encode(thePiece);
        }
        theIsName = !theIsName;
    }
    ValueCollection theForm;
    theForm.ParseUrlEncoded(theEncoded);
    CheckSame(theForm, theRaw);
    return 0;
}

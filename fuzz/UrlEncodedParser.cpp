// The component's URL-encoded body reader over arbitrary bytes. The first byte picks the
// code page that decides which name bytes start a double-byte character; the rest is
// the body. The groups must equal those of a plain byte-at-a-time reader, and every
// entry must lie inside the returned copy, end at a zero there and hold none itself.
#include "intake/UrlEncodedParser.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "FuzzCheck.h"

namespace {

constexpr UINT kCodePages[] = {1252, CP_UTF8, 932, 936, 949, 950};

/// '+' is a space, %XX a byte; a '%' without a digit is dropped, and so is "%X" without
/// its second digit.
std::string Decode(const std::string& inText)
{
    std::string theResult;
    size_t i = 0;
    while (i < inText.size()) {
        const char c = inText[i];
        if (c == '+') {
            theResult += ' ';
            i += 1;
        } else if (c != '%') {
            theResult += c;
            i += 1;
        } else if (i + 1 >= inText.size() || Hex(inText[i + 1]) < 0) {
            i += 1;
        } else if (i + 2 >= inText.size() || Hex(inText[i + 2]) < 0) {
            i += 2;
        } else {
            theResult += static_cast<char>(Hex(inText[i + 1]) << 4 | Hex(inText[i + 2]));
            i += 3;
        }
    }
    // The decoded text is read as a C string: a decoded zero ends it.
    return theResult.substr(0, theResult.find('\0'));
}

struct Group {
    std::string name;
    std::vector<std::string> values;
};

/// Which bytes start a double-byte character, asked byte by byte once per code page.
const std::array<bool, 256>& LeadBytes(UINT inCodePage)
{
    static const auto theTables = [] {
        std::array<std::array<bool, 256>, std::size(kCodePages)> theResult{};
        for (size_t p = 0; p < std::size(kCodePages); ++p)
            for (unsigned b = 0; b < 256; ++b)
                theResult[p][b] = IsDBCSLeadByteEx(kCodePages[p], static_cast<BYTE>(b)) != FALSE;
        return theResult;
    }();
    return theTables[static_cast<size_t>(std::find(std::begin(kCodePages), std::end(kCodePages), inCodePage) - kCodePages)];
}

/// Names compare ignoring A-Z case, but a lead byte and the byte after it compare whole.
bool SameName(const std::string& inA, const std::string& inB, UINT inCodePage)
{
    if (inA.size() != inB.size())
        return false;
    const std::array<bool, 256>& theLead = LeadBytes(inCodePage);
    for (size_t i = 0; i < inA.size(); ++i) {
        if (theLead[static_cast<BYTE>(inA[i])] && i + 1 < inA.size()) {
            if (inA[i] != inB[i] || inA[i + 1] != inB[i + 1])
                return false;
            ++i;
            continue;
        }
        char a = inA[i], b = inB[i];
        a = a >= 'A' && a <= 'Z' ? static_cast<char>(a + 32) : a;
        b = b >= 'A' && b <= 'Z' ? static_cast<char>(b + 32) : b;
        if (a != b)
            return false;
    }
    return true;
}

std::vector<Group> Read(const std::string& inBody, UINT inCodePage)
{
    // Bytes after a zero are never read.
    const std::string theText = inBody.substr(0, inBody.find('\0')) + '&';
    std::vector<Group> theGroups;
    size_t thePos = 0;
    for (;;) {
        // The name runs to the next '=' whatever lies between; the value to the next '&'.
        const size_t theEquals = theText.find('=', thePos);
        if (theEquals == std::string::npos)
            break;
        const size_t theAmp = theText.find('&', theEquals + 1);
        std::string theName = Decode(theText.substr(thePos, theEquals - thePos));
        std::string theValue = Decode(theText.substr(theEquals + 1, theAmp - theEquals - 1));
        // A name longer than any stored one matches none and starts a group of its own,
        // stored cut to 259 bytes.
        const bool theTooLong = theName.size() > 259;
        theName.resize(std::min<size_t>(theName.size(), 259));
        bool theFound = false;
        for (Group& theGroup : theGroups)
            if (!theTooLong && SameName(theGroup.name, theName, inCodePage)) {
                theGroup.values.push_back(theValue);
                theFound = true;
                break;
            }
        if (!theFound)
            theGroups.push_back({theName, {theValue}});
        thePos = theAmp + 1;
        if (thePos >= theText.size())
            break;
    }
    return theGroups;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    if (inSize < 1 || inSize > 16384)
        return 0;
    const UINT theCodePage = kCodePages[inData[0] % (sizeof kCodePages / sizeof kCodePages[0])];
    // An exact-size copy, so that any read past the body is caught.
    const std::vector<BYTE> theBody(inData + 1, inData + inSize);
    const DWORD theSize = static_cast<DWORD>(theBody.size());

    FieldGroupList theGroups(theCodePage);
    const std::unique_ptr<char[]> theCopy = ParseURLEncoded(theBody.data(), theSize, theGroups, theCodePage);
    Check(theCopy != nullptr, "copy");

    const std::vector<Group> theExpected =
        Read(std::string(reinterpret_cast<const char*>(theBody.data()), theBody.size()), theCodePage);
    Check(theGroups.GroupCount() == static_cast<LONG>(theExpected.size()), "group count");
    const BYTE* theCopyStart = reinterpret_cast<const BYTE*>(theCopy.get());
    for (LONG g = 0; g < theGroups.GroupCount(); ++g) {
        const FieldGroup* theGroup = theGroups.GetGroup(g);
        const Group& theWanted = theExpected[static_cast<size_t>(g)];
        Check(theWanted.name == theGroup->Name(), "group name");
        LONG theFirst = 0;
        while (!SameName(theExpected[static_cast<size_t>(theFirst)].name, theWanted.name, theCodePage))
            ++theFirst;
        Check(theGroups.FindGroup(theWanted.name.c_str()) == theFirst, "find group");
        Check(theGroup->EntryCount() == static_cast<LONG>(theWanted.values.size()), "entry count");
        for (LONG e = 0; e < theGroup->EntryCount(); ++e) {
            const FieldEntry* theEntry = theGroup->Entry(e);
            Check(theEntry->data >= theCopyStart && theEntry->data + theEntry->length < theCopyStart + theSize + 2,
                  "entry inside the copy");
            Check(theEntry->data[theEntry->length] == 0, "entry ends at a zero");
            const std::string theValue(reinterpret_cast<const char*>(theEntry->data), static_cast<size_t>(theEntry->length));
            Check(theValue == theWanted.values[static_cast<size_t>(e)], "entry value");
            Check(theEntry->rawPath.empty() && theEntry->contentType.empty(), "no file name or type");
        }
    }
    return 0;
}

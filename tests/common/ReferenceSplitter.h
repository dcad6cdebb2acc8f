// ReferenceSplitter.h: a deliberately plain splitter written straight from the rules,
// with no remembered searches and a linear group lookup. Tests and the fuzz target
// compare the real splitter against it on the same bytes.
#pragma once

#include <windows.h>

#include "intake/Names.h"

#include <cstring>
#include <string>
#include <vector>

namespace reference {

struct Entry {
    std::string fileName;
    std::string contentType;
    const BYTE* data = nullptr;
    LONG length = 0;
};

struct Group {
    std::string name;
    std::vector<Entry> entries;
};

/// The plain splitter: multipart first, URL-encoded pairs when that finds nothing.
class Splitter {
public:
    std::vector<Group> groups;
    std::string copy;   // the URL-decoded copy, when made

    /// inCodePage decides which name bytes start a double-byte character; it is asked
    /// once here, since a lookup per compared name would dominate a fuzz run's time.
    explicit Splitter(UINT inCodePage = GetACP())
    {
        for (int theByte = 0; theByte < 256; ++theByte)
            mLeadByte[theByte] = IsDBCSLeadByteEx(inCodePage, static_cast<BYTE>(theByte)) != FALSE;
    }

    /// Forgets what earlier splits found, keeping the code page.
    void Clear()
    {
        groups.clear();
        copy.clear();
    }

    void Split(const BYTE* inBody, size_t inSize)
    {
        if (inSize == 0)
            return;
        Multipart(inBody, inBody + inSize - 1);
        if (groups.empty())
            UrlEncoded(inBody, inSize);
    }

    /// Case-insensitive, double-byte characters of the code page compared whole.
    bool SameName(const char* a, const char* b) const
    {
        for (;;) {
            BYTE x = static_cast<BYTE>(*a), y = static_cast<BYTE>(*b);
            if (x == 0 || y == 0)
                return x == y;
            if (mLeadByte[x] && a[1] != 0) {
                if (x != y || a[1] != b[1])
                    return false;
                a += 2;
                b += 2;
                continue;
            }
            if (x >= 'A' && x <= 'Z')
                x = static_cast<BYTE>(x + 32);
            if (y >= 'A' && y <= 'Z')
                y = static_cast<BYTE>(y + 32);
            if (x != y)
                return false;
            ++a;
            ++b;
        }
    }

    int FindGroup(const char* inName) const
    {
        for (size_t i = 0; i < groups.size(); ++i)
            if (SameName(groups[i].name.c_str(), inName))
                return static_cast<int>(i);
        return -1;
    }

private:
    bool mLeadByte[256] = {};

    static const BYTE* Find(const BYTE* inStart, const char* inPattern, const BYTE* inLast)
    {
        size_t theLength = std::strlen(inPattern);
        for (const BYTE* p = inStart; inLast - p >= static_cast<ptrdiff_t>(theLength); ++p)
            if (*p == static_cast<BYTE>(inPattern[0]) && std::memcmp(p, inPattern, theLength) == 0)
                return p;
        return nullptr;
    }

    static bool HeaderIs(const BYTE* inLine, const BYTE* inLineEnd, const char* inName)
    {
        size_t theLength = std::strlen(inName);
        if (static_cast<size_t>(inLineEnd - inLine) < theLength)
            return false;
        for (size_t i = 0; i < theLength; ++i)
            if (std::tolower(inLine[i]) != std::tolower(static_cast<BYTE>(inName[i])))
                return false;
        return true;
    }

    static std::string Extract(const BYTE* inStart, const BYTE* inLast, const char* inKey)
    {
        const BYTE* k = Find(inStart, inKey, inLast);
        if (k == nullptr)
            return "";
        const BYTE* v = k + std::strlen(inKey);
        if (*v == '"')
            ++v;
        std::string theValue;
        while (v <= inLast && *v != '\r' && *v != '"' && theValue.size() < 259)
            theValue += static_cast<char>(*v++);
        return theValue.c_str();   // a zero byte ends the text
    }

    void Add(const std::string& inName, const std::string& inFile, const std::string& inType, const BYTE* inData,
             LONG inLength)
    {
        int g = FindGroup(inName.c_str());
        if (g < 0) {
            groups.push_back({std::string(inName.c_str(), strnlen(inName.c_str(), 259)), {}});
            g = static_cast<int>(groups.size()) - 1;
        }
        groups[static_cast<size_t>(g)].entries.push_back({inFile, inType, inData, inLength < 0 ? 0 : inLength});
    }

    void Multipart(const BYTE* inStart, const BYTE* inLast)
    {
        const BYTE* d = Find(inStart, "--", inLast);
        if (d == nullptr)
            return;
        const BYTE* e = Find(d, "\r\n", inLast);
        if (e == nullptr)
            return;
        size_t theLineLength = static_cast<size_t>(e - d);
        std::string theDivider(reinterpret_cast<const char*>(d), theLineLength < 32 ? theLineLength : 32);
        theDivider = theDivider.c_str();
        for (const BYTE* p = d; p != nullptr;)
            p = Part(p, inLast, theDivider, theLineLength);
    }

    const BYTE* Part(const BYTE* p, const BYTE* inLast, const std::string& inDivider, size_t inLineLength)
    {
        if (std::memcmp(p, inDivider.data(), inDivider.size()) != 0)
            return nullptr;
        if (static_cast<size_t>(inLast - p) < inLineLength + 2 || p[inLineLength] != '\r' || p[inLineLength + 1] != '\n')
            return nullptr;
        const BYTE* h = p + inLineLength + 2;
        std::string theName, theFile, theType;
        bool hasDisposition = false;
        for (;;) {
            const BYTE* theLineEnd = Find(h, "\r\n", inLast);
            const BYTE* theHeadersEnd = Find(h, "\r\n\r\n", inLast);
            if (theLineEnd == nullptr || theLineEnd == h)
                break;
            if (HeaderIs(h, theLineEnd, "Content-Disposition:")) {
                if (theHeadersEnd != nullptr) {
                    theName = Extract(h, theHeadersEnd, "name=");
                    theFile = Extract(h, theHeadersEnd, "filename=");
                    hasDisposition = true;
                }
            } else if (HeaderIs(h, theLineEnd, "Content-Type:") && theHeadersEnd != nullptr) {
                theType = Extract(h, theHeadersEnd, ": ");
            }
            h = theLineEnd + 2;
        }
        if (inLast - h < 2)
            return nullptr;
        const BYTE* theData = h + 2;
        const BYTE* theNext = Find(theData, inDivider.c_str(), inLast);
        if (theNext == nullptr)
            return nullptr;
        if (hasDisposition)
            Add(theName, theFile, theType, theData, static_cast<LONG>(theNext - theData - 2));
        return theNext;
    }

    void UrlEncoded(const BYTE* inBody, size_t inSize)
    {
        copy.assign(reinterpret_cast<const char*>(inBody), inSize);
        copy += '&';
        char* p = copy.data();
        for (;;) {
            char* eq = std::strchr(p, '=');
            if (eq == nullptr)
                break;
            *eq = 0;
            char* value = eq + 1;
            char* amp = std::strchr(value, '&');
            char* next = nullptr;
            if (amp != nullptr) {
                *amp = 0;
                next = amp + 1;
            }
            URLDecodeInPlace(p);
            URLDecodeInPlace(value);
            Add(p, "", "", reinterpret_cast<const BYTE*>(value), static_cast<LONG>(std::strlen(value)));
            if (next == nullptr || *next == 0)
                break;
            p = next;
        }
    }
};

}  // namespace reference

// SplitHelpers.h: runs the real splitter over a byte string, as the reader would, and
// compares its groups with the plain reference splitter.
#pragma once

#include "common/ReferenceSplitter.h"
#include "intake/MultipartParser.h"
#include "intake/UrlEncodedParser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

/// The groups of one body; the body is kept, since entries point into it.
struct SplitBody {
    explicit SplitBody(std::string inBody, UINT inCodePage = CP_UTF8) : body(std::move(inBody))
    {
        if (body.empty())
            return;
        const BYTE* theData = reinterpret_cast<const BYTE*>(body.data());
        MultipartParser theParser(groups, inCodePage);
        theParser.ParseMultipart(theData, theData + body.size() - 1);
        if (groups.GroupCount() == 0)
            copy = ParseURLEncoded(theData, static_cast<DWORD>(body.size()), groups, inCodePage);
    }

    std::string Name(LONG inGroup) const { return groups.GetGroup(inGroup)->Name(); }
    const FieldEntry& Entry(LONG inGroup, LONG inEntry) const { return *groups.GetGroup(inGroup)->Entry(inEntry); }
    std::string Value(LONG inGroup, LONG inEntry) const
    {
        const FieldEntry& theEntry = Entry(inGroup, inEntry);
        return std::string(reinterpret_cast<const char*>(theEntry.data), static_cast<size_t>(theEntry.length));
    }
    LONG Count() const { return groups.GroupCount(); }

    std::string body;
    FieldGroupList groups;
    std::unique_ptr<char[]> copy;
};

inline std::u16string Wide(const WCHAR* inText)
{
    return std::u16string(inText);
}

/// Expects the real splitter and the reference to find the same groups and entries.
inline void ExpectSameAsReference(const std::string& inBody)
{
    SplitBody theReal(inBody);
    reference::Splitter theRef;
    theRef.Split(reinterpret_cast<const BYTE*>(theReal.body.data()), theReal.body.size());
    ASSERT_EQ(theReal.Count(), static_cast<LONG>(theRef.groups.size()));
    for (LONG g = 0; g < theReal.Count(); ++g) {
        const reference::Group& theGroup = theRef.groups[static_cast<size_t>(g)];
        ASSERT_EQ(theReal.Name(g), theGroup.name) << "group " << g;
        ASSERT_EQ(theReal.groups.GetGroup(g)->EntryCount(), static_cast<LONG>(theGroup.entries.size()));
        for (LONG e = 0; e < theReal.groups.GetGroup(g)->EntryCount(); ++e) {
            const reference::Entry& theEntry = theGroup.entries[static_cast<size_t>(e)];
            EXPECT_EQ(theReal.Value(g, e), std::string(reinterpret_cast<const char*>(theEntry.data),
                                                       static_cast<size_t>(theEntry.length)));
            WCHAR theRaw[MAX_PATH] = {0}, theSafe[MAX_PATH] = {0}, theUrl[MAX_PATH] = {0};
            if (!theEntry.fileName.empty())
                SplitClientPath(theEntry.fileName.c_str(), CP_UTF8, theRaw, theSafe, theUrl);
            EXPECT_EQ(Wide(theReal.Entry(g, e).rawPath.c_str()), Wide(theRaw));
            WCHAR theType[MAX_PATH] = {0};
            if (!theEntry.contentType.empty())
                MultiByteToWideChar(CP_ACP, 0, theEntry.contentType.c_str(), -1, theType, MAX_PATH);
            EXPECT_EQ(Wide(theReal.Entry(g, e).contentType.c_str()), Wide(theType));
        }
    }
}

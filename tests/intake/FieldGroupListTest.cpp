// Finding groups by name: case rules, double-byte code pages, many names.
#include "intake/FieldGroupList.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void Add(FieldGroupList& inOutGroups, const char* inName)
{
    inOutGroups.AddItem(inName, "", "", nullptr, 0, CP_UTF8);
}

TEST(FieldGroups, DoubleByteTrailBytesAreNotLetters)
{
    // In 932, 0x83 0x41 and 0x83 0x61 are two different characters whose trail bytes
    // happen to be 'A' and 'a'.
    FieldGroupList theGroups(932);
    Add(theGroups, "\x83\x41" "Name");
    Add(theGroups, "\x83\x61" "Name");
    Add(theGroups, "\x83\x41" "NAME");
    ASSERT_EQ(theGroups.GroupCount(), 2);
    EXPECT_EQ(theGroups.GetGroup(0)->EntryCount(), 2);
    EXPECT_EQ(theGroups.FindGroup("\x83\x41name"), 0);
    EXPECT_EQ(theGroups.FindGroup("\x83\x61nAmE"), 1);
    EXPECT_EQ(theGroups.FindGroup("\x83"), -1);

    // In 1252 the same bytes are two single-byte characters, and 'A' equals 'a'.
    FieldGroupList theLatin(1252);
    Add(theLatin, "\x83\x41" "Name");
    Add(theLatin, "\x83\x61" "Name");
    EXPECT_EQ(theLatin.GroupCount(), 1);
}

TEST(FieldGroups, OnlyAsciiLettersFold)
{
    FieldGroupList theGroups(1252);
    Add(theGroups, "\xC9t\xE9");   // accented letters are compared as they are
    Add(theGroups, "\xE9t\xE9");
    Add(theGroups, "[x]");
    EXPECT_EQ(theGroups.GroupCount(), 3);
    EXPECT_EQ(theGroups.FindGroup("{X}"), -1);
    EXPECT_EQ(theGroups.FindGroup("[X]"), 2);
    EXPECT_EQ(theGroups.FindGroup(""), -1);
    Add(theGroups, "");
    EXPECT_EQ(theGroups.FindGroup(""), 3);
}

TEST(FieldGroups, ManyDistinctNamesKeepTheirPositions)
{
    FieldGroupList theGroups(1252);
    const int kCount = 100000;
    for (int i = 0; i < kCount; ++i)
        Add(theGroups, ("Field_" + std::to_string(i)).c_str());
    for (int i = 0; i < kCount; ++i)
        Add(theGroups, ("FIELD_" + std::to_string(i)).c_str());
    ASSERT_EQ(theGroups.GroupCount(), kCount);
    for (int i = 0; i < kCount; i += 997) {
        EXPECT_EQ(theGroups.FindGroup(("field_" + std::to_string(i)).c_str()), i);
        EXPECT_EQ(theGroups.GetGroup(i)->EntryCount(), 2);
    }
    theGroups.Clear();
    EXPECT_EQ(theGroups.GroupCount(), 0);
    EXPECT_EQ(theGroups.FindGroup("field_1"), -1);
}

TEST(FieldGroups, EntriesShareRepeatedContentTypes)
{
    FieldGroupList theGroups(1252);
    const BYTE theBytes[] = {1, 2, 3};
    theGroups.AddItem("a", "C:\\x\\one.txt", "text/plain", theBytes, 3, 1252);
    theGroups.AddItem("a", "two.txt", "text/plain", theBytes, -5, 1252);
    theGroups.AddItem("a", "", "image/png", theBytes, 1, 1252);
    const FieldGroup* theGroup = theGroups.GetGroup(0);
    ASSERT_EQ(theGroup->EntryCount(), 3);
    EXPECT_EQ(theGroup->Entry(0)->contentType.c_str(), theGroup->Entry(1)->contentType.c_str());
    EXPECT_EQ(std::u16string(theGroup->Entry(2)->contentType.c_str()), u"image/png");
    EXPECT_EQ(std::u16string(theGroup->Entry(0)->safeName.c_str()), u"one.txt");
    EXPECT_EQ(theGroup->Entry(1)->length, 0);   // never negative
    EXPECT_TRUE(theGroup->Entry(2)->rawPath.empty());
}

}  // namespace

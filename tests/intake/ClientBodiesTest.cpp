// Bodies captured from real clients (curl -F, Node's fetch with FormData, headless
// Chromium submitting a form; see capture/capture.sh) split into the fields they sent.
#include "IntakeFixture.h"

namespace {

using ferrolift::test::TestPage;

class ClientBodies : public IntakeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ClientBodies, SplitIntoTheFieldsSent)
{
    SetChunkSize(2048);
    std::string theBody = ReadFile(std::string(FERROLIFT_TEST_DATA) + "/" + GetParam() + ".body");
    ASSERT_FALSE(theBody.empty());
    TestPage thePage(theBody);
    Multipart theReader;
    theReader.SetCodePage(CP_UTF8);
    ASSERT_FALSE(theReader.Initialize(nullptr, false)) << theReader.Errors().Describe();
    EXPECT_TRUE(theReader.IsMultipart());

    ASSERT_EQ(theReader.GroupCount(), 5);
    const char* kNames[] = {"title", "comment", "photos", "document", "nothing"};
    for (LONG i = 0; i < 5; ++i)
        EXPECT_STREQ(theReader.GetGroup(i)->Name(), kNames[i]);
    EXPECT_EQ(Value(theReader, 0, 0), "Holiday photos");
    EXPECT_EQ(Value(theReader, 1, 0), "caf\xC3\xA9 & cr\xC3\xA8me");

    const FieldGroup* thePhotos = theReader.GetGroup(2);
    ASSERT_EQ(thePhotos->EntryCount(), 2);
    EXPECT_EQ(Value(theReader, 2, 0), "first file\r\n--not a divider\r\n");
    EXPECT_EQ(std::u16string(thePhotos->Entry(0)->rawPath.c_str()), u"one.txt");
    EXPECT_EQ(std::u16string(thePhotos->Entry(0)->contentType.c_str()), u"text/plain");
    std::string theBinary;
    for (int i = 0; i < 300; ++i)
        theBinary += static_cast<char>(i % 256);
    EXPECT_EQ(Value(theReader, 2, 1), theBinary);
    EXPECT_EQ(std::u16string(thePhotos->Entry(1)->contentType.c_str()), u"application/octet-stream");

    const FieldEntry* theDocument = theReader.GetGroup(3)->Entry(0);
    EXPECT_EQ(std::u16string(theDocument->rawPath.c_str()), u"r\u00e9sum\u00e9 \u65e5\u672c.txt");
    EXPECT_EQ(std::u16string(theDocument->urlSafeName.c_str()), u"r_sum____.txt");
    EXPECT_EQ(Value(theReader, 3, 0), "r\xC3\xA9sum\xC3\xA9 text");

    // The empty file input: no bytes, and no file name (sent as filename="" or not at all).
    const FieldEntry* theNothing = theReader.GetGroup(4)->Entry(0);
    EXPECT_EQ(theNothing->length, 0);
    EXPECT_TRUE(theNothing->rawPath.empty());
}

INSTANTIATE_TEST_SUITE_P(Captured, ClientBodies, ::testing::Values("curl", "node", "chromium"));

}  // namespace

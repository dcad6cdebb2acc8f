// The multipart and URL-encoded splitting of a body held in memory.
#include "SplitHelpers.h"

#include <random>

namespace {

const std::string kCrLf = "\r\n";

std::string BrowserBody()
{
    return "--XYZ\r\n"
           "Content-Disposition: form-data; name=\"a\"\r\n\r\n"
           "1\r\n"
           "--XYZ\r\n"
           "Content-Disposition: form-data; name=\"f\"; filename=\"C:\\dir\\a.txt\"\r\n"
           "Content-Type: text/plain\r\n\r\n"
           "file\r\nbytes\r\n"
           "--XYZ--\r\n";
}

TEST(Multipart, BrowserBodyGivesTextAndFileFields)
{
    SplitBody theSplit(BrowserBody());
    ASSERT_EQ(theSplit.Count(), 2);
    EXPECT_EQ(theSplit.Name(0), "a");
    EXPECT_EQ(theSplit.Value(0, 0), "1");
    EXPECT_TRUE(theSplit.Entry(0, 0).rawPath.empty());
    EXPECT_TRUE(theSplit.Entry(0, 0).contentType.empty());
    EXPECT_EQ(theSplit.Name(1), "f");
    EXPECT_EQ(theSplit.Value(1, 0), "file\r\nbytes");
    EXPECT_EQ(Wide(theSplit.Entry(1, 0).rawPath.c_str()), u"C:\\dir\\a.txt");
    EXPECT_EQ(Wide(theSplit.Entry(1, 0).safeName.c_str()), u"a.txt");
    EXPECT_EQ(Wide(theSplit.Entry(1, 0).urlSafeName.c_str()), u"a.txt");
    EXPECT_EQ(Wide(theSplit.Entry(1, 0).contentType.c_str()), u"text/plain");
    // Data stays in place: no copy of part bytes.
    EXPECT_EQ(reinterpret_cast<const char*>(theSplit.Entry(1, 0).data),
              theSplit.body.data() + theSplit.body.find("file\r\n"));
}

TEST(Multipart, LongDividerIsComparedOnItsFirst32Bytes)
{
    std::string theDivider = "--" + std::string(39, 'D');   // 41 bytes
    std::string thePrefix = theDivider.substr(0, 32);
    std::string theBody = theDivider + kCrLf + "Content-Disposition: form-data; name=\"a\"\r\n\r\n" + "x\r\n" +
                          thePrefix + "ZZZ and more\r\n" + theDivider + kCrLf +
                          "Content-Disposition: form-data; name=\"lost\"\r\n\r\ny\r\n" + theDivider + "--\r\n";
    SplitBody theSplit(theBody);
    ASSERT_EQ(theSplit.Count(), 1);
    EXPECT_EQ(theSplit.Value(0, 0), "x");   // ends where the 32 bytes occur
}

TEST(Multipart, HeaderNamesIgnoreCaseAndValuesFollowTheirKeys)
{
    std::string theBody = "--B\r\n"
                          "CONTENT-DISPOSITION: form-data; name=\"a;b\"\r\n"
                          "content-type:text/plain\r\n"
                          "X-Note: later\r\n\r\n"
                          "v\r\n"
                          "--B\r\n"
                          "Content-disposition: form-data; name=xyz; filename=x\r\n\r\n"
                          "w\r\n"
                          "--B\r\n"
                          "Content-Disposition: form-data; filename=\"f.txt\"; name=\"n\"\r\n"
                          "Content-Type:none\r\n\r\n"
                          "z\r\n"
                          "--B--\r\n";
    SplitBody theSplit(theBody);
    ASSERT_EQ(theSplit.Count(), 3);
    EXPECT_EQ(theSplit.Name(0), "a;b");
    // Without a space after its colon, the type comes from the next ": " in the headers.
    EXPECT_EQ(Wide(theSplit.Entry(0, 0).contentType.c_str()), u"later");
    EXPECT_EQ(theSplit.Name(1), "xyz; filename=x");
    EXPECT_EQ(Wide(theSplit.Entry(1, 0).rawPath.c_str()), u"x");
    // "name=" first matches inside "filename=".
    EXPECT_EQ(theSplit.Name(2), "f.txt");
    EXPECT_EQ(Wide(theSplit.Entry(2, 0).rawPath.c_str()), u"f.txt");
    EXPECT_TRUE(theSplit.Entry(2, 0).contentType.empty());
}

TEST(Multipart, SameNameInAnyCaseSharesOneGroupInBodyOrder)
{
    std::string theBody = "--B\r\nContent-Disposition: form-data; name=\"File\"\r\n\r\none\r\n"
                          "--B\r\nContent-Disposition: form-data; name=\"other\"\r\n\r\n-\r\n"
                          "--B\r\nContent-Disposition: form-data; name=\"file\"\r\n\r\ntwo\r\n--B--\r\n";
    SplitBody theSplit(theBody);
    ASSERT_EQ(theSplit.Count(), 2);
    EXPECT_EQ(theSplit.Name(0), "File");
    ASSERT_EQ(theSplit.groups.GetGroup(0)->EntryCount(), 2);
    EXPECT_EQ(theSplit.Value(0, 0), "one");
    EXPECT_EQ(theSplit.Value(0, 1), "two");
    EXPECT_EQ(theSplit.groups.FindGroup("FILE"), 0);
    EXPECT_EQ(theSplit.groups.FindGroup("OTHER"), 1);
    EXPECT_EQ(theSplit.groups.FindGroup("fil"), -1);
    EXPECT_EQ(theSplit.groups.FindGroup(nullptr), -1);
    EXPECT_EQ(theSplit.groups.GetGroup(2), nullptr);
    EXPECT_EQ(theSplit.groups.GetGroup(-1), nullptr);
    EXPECT_EQ(theSplit.groups.GetGroup(0)->Entry(2), nullptr);
}

TEST(Multipart, LongNamesAreCutAndNeverFoundByTheirFullText)
{
    std::string theLong(300, 'n');
    std::string theBody = "--B\r\nContent-Disposition: form-data; name=\"" + theLong + "\"\r\n\r\n1\r\n" +
                          "--B\r\nContent-Disposition: form-data; name=\"" + theLong + "\"\r\n\r\n2\r\n--B--\r\n";
    SplitBody theSplit(theBody);
    // Values are cut to 259 bytes, so both parts carry the same 259-byte name.
    ASSERT_EQ(theSplit.Count(), 1);
    EXPECT_EQ(theSplit.Name(0), theLong.substr(0, 259));
    EXPECT_EQ(theSplit.groups.GetGroup(0)->EntryCount(), 2);
    EXPECT_EQ(theSplit.groups.FindGroup(theLong.c_str()), -1);
    ExpectSameAsReference(theBody);
}

TEST(Multipart, MalformedBodiesKeepWhatCameBefore)
{
    // No divider after the last part's data: that part is lost.
    SplitBody theOpen("--B\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n"
                      "--B\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\n2 and no end");
    ASSERT_EQ(theOpen.Count(), 1);
    EXPECT_EQ(theOpen.Name(0), "a");
    // A part without Content-Disposition is skipped; the walk goes on.
    SplitBody theSkip("--B\r\nContent-Type: text/plain\r\n\r\nnone\r\n"
                      "--B\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\n2\r\n--B--\r\n");
    ASSERT_EQ(theSkip.Count(), 1);
    EXPECT_EQ(theSkip.Name(0), "b");
    // A divider not followed by CR LF ends the walk.
    SplitBody theNoCrLf("--B\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--B xx\r\n"
                        "Content-Disposition: form-data; name=\"b\"\r\n\r\n2\r\n--B--\r\n");
    ASSERT_EQ(theNoCrLf.Count(), 1);
    // Empty data, and a data end that overlaps the header's empty line.
    SplitBody theEmpty("--B\r\nContent-Disposition: form-data; name=\"e\"\r\n\r\n\r\n--B--\r\n");
    ASSERT_EQ(theEmpty.Count(), 1);
    EXPECT_EQ(theEmpty.Entry(0, 0).length, 0);
}

TEST(Multipart, EveryTruncationLosesOnlyTrailingFields)
{
    std::string theFull = BrowserBody();
    SplitBody theWhole(theFull);
    for (size_t theSize = 0; theSize <= theFull.size(); ++theSize) {
        SplitBody theCut(theFull.substr(0, theSize));
        ExpectSameAsReference(theFull.substr(0, theSize));
        if (theCut.copy)
            continue;   // nothing multipart survived: read as URL-encoded
        ASSERT_LE(theCut.Count(), theWhole.Count());
        for (LONG g = 0; g < theCut.Count(); ++g) {
            EXPECT_EQ(theCut.Name(g), theWhole.Name(g));
            EXPECT_EQ(theCut.Value(g, 0), theWhole.Value(g, 0)) << "size " << theSize;
        }
    }
}

TEST(Multipart, BodiesWithoutDividerOrEqualsGiveNothing)
{
    EXPECT_EQ(SplitBody("").Count(), 0);
    EXPECT_EQ(SplitBody("plain text, no pairs").Count(), 0);
    EXPECT_EQ(SplitBody("--").Count(), 0);
}

TEST(UrlEncoded, PairsDecodeAndGroupByName)
{
    SplitBody theSplit("a=1&b=2&a=3");
    ASSERT_EQ(theSplit.Count(), 2);
    EXPECT_EQ(theSplit.Value(0, 0), "1");
    EXPECT_EQ(theSplit.Value(0, 1), "3");
    EXPECT_EQ(theSplit.Value(1, 0), "2");
    ASSERT_NE(theSplit.copy, nullptr);

    SplitBody theEmpty("a=&b");
    ASSERT_EQ(theEmpty.Count(), 1);
    EXPECT_EQ(theEmpty.Entry(0, 0).length, 0);

    SplitBody theCoded("x+y=%41%42");
    ASSERT_EQ(theCoded.Count(), 1);
    EXPECT_EQ(theCoded.Name(0), "x y");
    EXPECT_EQ(theCoded.Value(0, 0), "AB");

    // The name runs to the next "=" across "&"; a zero byte ends the reading; %00 cuts.
    SplitBody theOdd(std::string("a&b=1&c=x%00y&d=2\0&e=3", 23));
    ASSERT_EQ(theOdd.Count(), 3);
    EXPECT_EQ(theOdd.Name(0), "a&b");
    EXPECT_EQ(theOdd.Value(1, 0), "x");
    EXPECT_EQ(theOdd.Value(2, 0), "2");
}

TEST(UrlEncoded, MultipartWithoutFieldsFallsBackToPairs)
{
    SplitBody theSplit("--B\r\nContent-Type: text/plain\r\n\r\nk=v\r\n--B--\r\n");
    ASSERT_EQ(theSplit.Count(), 1);
    EXPECT_EQ(theSplit.Name(0), "--B\r\nContent-Type: text/plain\r\n\r\nk");
    EXPECT_EQ(theSplit.Value(0, 0), "v\r\n--B--\r\n");
}

// Bodies built to trip the remembered searches: repeated headers, headers without an
// end, keys far away, empty header blocks. The real splitter must agree with the plain one.
TEST(Multipart, AgreesWithPlainSplitterOnAwkwardBodies)
{
    std::string theRepeated = "--B\r\n";
    for (int i = 0; i < 50; ++i)
        theRepeated += i % 3 == 0 ? "Content-Disposition: form-data\r\n" : i % 3 == 1 ? "Content-Type: a/b\r\n" : "X: name=\"far\"\r\n";
    ExpectSameAsReference(theRepeated + "\r\ndata\r\n--B--\r\n");
    ExpectSameAsReference(theRepeated + "data\r\n--B--\r\n");
    ExpectSameAsReference("--B\r\n\r\n\r\n--B\r\n\r\n\r\n--B\r\nContent-Disposition: name=a\r\n\r\nz\r\n--B--\r\n");
    ExpectSameAsReference("--B\r\nContent-Disposition: x\r\n\r\n1\r\n--B\r\nContent-Disposition: name=\"y\r\n\r\n2\r\n--B\r\n");
    ExpectSameAsReference("--B\r\nContent-Type:\r\nContent-Type: \"q\"\r\nContent-Disposition: filename=\"\r\n\r\n\r\n--B\r\n");

    // Random mixes of header fragments.
    const char* kPieces[] = {"--B", "\r\n", "Content-Disposition: ", "content-type: ", "name=", "filename=",
                             "\"", "x", "a=b", "&", ": ", "\r\n\r\n", "--B--", "%41"};
    std::mt19937 theRandom(7);
    for (int i = 0; i < 3000; ++i) {
        std::string theBody;
        int thePieces = static_cast<int>(theRandom() % 40);
        for (int k = 0; k < thePieces; ++k)
            theBody += kPieces[theRandom() % (sizeof kPieces / sizeof *kPieces)];
        ExpectSameAsReference(theBody);
        if (HasFailure()) {
            ADD_FAILURE() << "body: " << theBody;
            return;
        }
    }
}

}  // namespace

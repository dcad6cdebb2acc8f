// Files that visitors uploaded (marked with the Zone.Identifier stream) never run and are
// never shown inline: whatever their name, they come back as downloads that browsers
// neither render nor sniff. Site files without the mark keep their usual treatment.
#include <gtest/gtest.h>

#include <sys/xattr.h>

#include "RawClient.h"
#include "ServedSite.h"
#include "host/UploadMark.h"

namespace {

const std::string kPage = "<% Response.Write(\"ran\"); %>";
const std::string kHtml = "<html><script>alert(1)</script></html>";
const std::string kSvg = "<svg xmlns=\"http://www.w3.org/2000/svg\"><script>alert(1)</script></svg>";

void Mark(const ServedSite& inSite, const std::string& inName)
{
    std::string thePath = (inSite.Root() / inName).string();
    const char theZone[] = "[ZoneTransfer]\r\nZoneId=3\r\n";
    ASSERT_EQ(setxattr(thePath.c_str(), ferrolift::host::kUploadMarkAttribute, theZone, sizeof theZone - 1, 0), 0)
        << thePath;
}

RawResponse Fetch(int inPort, const std::string& inTarget)
{
    RawClient theClient(inPort);
    EXPECT_TRUE(theClient.Send("GET " + inTarget + " HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n"));
    return theClient.Read();
}

class VisitorDataTest : public ::testing::Test {
protected:
    ServedSite mSite{{{"uploads/x.asp", kPage},
                      {"uploads/X.ASP", kPage},
                      {"uploads/x.asp.", kPage},
                      {"uploads/x.html", kHtml},
                      {"uploads/x.svg", kSvg},
                      {"uploads/notes.inc", "secret"},
                      {"uploads/caf\xC3\xA9 \"q\";.asp", kPage},
                      {"uploads/folder/index.asp", kPage},
                      {"site.asp", kPage},
                      {"site.asp.", kPage},
                      {"site.svg", kSvg}}};
};

TEST_F(VisitorDataTest, MarkedFilesAreAttachmentsWhateverTheirName)
{
    for (const char* theName : {"x.asp", "X.ASP", "x.asp.", "x.html", "x.svg", "folder/index.asp"})
        Mark(mSite, std::string("uploads/") + theName);
    struct Case {
        const char* target;
        const std::string& content;
        const char* filename;
    };
    const Case theCases[] = {
        {"/uploads/x.asp", kPage, "x.asp"},           {"/uploads/X.ASP", kPage, "X.ASP"},
        {"/uploads/x.asp.", kPage, "x.asp."},         {"/uploads/x.html", kHtml, "x.html"},
        {"/uploads/x.svg", kSvg, "x.svg"},            {"/uploads/folder/", kPage, "index.asp"},
    };
    for (const Case& theCase : theCases) {
        RawResponse theResponse = Fetch(mSite.Port(), theCase.target);
        EXPECT_EQ(theResponse.status, 200) << theCase.target;
        EXPECT_EQ(theResponse.body, theCase.content) << theCase.target << ": it ran or was changed";
        EXPECT_EQ(theResponse.Get("content-type"), "application/octet-stream") << theCase.target;
        EXPECT_EQ(theResponse.Get("content-disposition").rfind("attachment; filename=\"" + std::string(theCase.filename) + "\"", 0), 0u)
            << theCase.target << ": " << theResponse.Get("content-disposition");
        EXPECT_EQ(theResponse.Get("content-security-policy"), "sandbox") << theCase.target;
        EXPECT_EQ(theResponse.Get("x-content-type-options"), "nosniff") << theCase.target;
    }
}

TEST_F(VisitorDataTest, DownloadNamesAreSafeAsciiWithTheRealNameEncoded)
{
    Mark(mSite, "uploads/caf\xC3\xA9 \"q\";.asp");
    RawResponse theResponse = Fetch(mSite.Port(), "/uploads/caf%C3%A9%20%22q%22%3B.asp");
    EXPECT_EQ(theResponse.body, kPage);
    EXPECT_EQ(theResponse.Get("content-disposition"),
              "attachment; filename=\"caf__ _q__.asp\"; filename*=UTF-8''caf%C3%A9%20%22q%22%3B.asp");
}

TEST_F(VisitorDataTest, IncludeFilesStayHiddenEvenWhenMarked)
{
    Mark(mSite, "uploads/notes.inc");
    EXPECT_EQ(Fetch(mSite.Port(), "/uploads/notes.inc").status, 404);
    EXPECT_EQ(Fetch(mSite.Port(), "/uploads/.hidden").status, 404);
}

TEST_F(VisitorDataTest, UnmarkedSiteFilesKeepTheirKind)
{
    EXPECT_EQ(Fetch(mSite.Port(), "/site.asp").body, "ran");
    // Trailing dots do not turn a page into a file whose source is shown.
    EXPECT_EQ(Fetch(mSite.Port(), "/site.asp.").body, "ran");
    RawResponse theSvg = Fetch(mSite.Port(), "/site.svg");
    EXPECT_EQ(theSvg.Get("content-type"), "image/svg+xml");
    EXPECT_FALSE(theSvg.Has("content-disposition"));
    EXPECT_EQ(theSvg.Get("x-content-type-options"), "nosniff");
}

TEST(VisitorDataVolumeTest, ServeRefusesAVolumeThatCannotCarryTheMark)
{
    if (ferrolift::host::VolumeCanMark("/proc"))
        GTEST_SKIP() << "no volume without user extended attributes here";
    ferrolift::host::ServerOptions theOptions;
    theOptions.root = "/proc";
    theOptions.listen = "127.0.0.1:0";
    theOptions.accessLog = nullptr;
    ferrolift::host::HttpServer theServer(theOptions);
    std::string theError;
    EXPECT_FALSE(theServer.Start(theError));
    EXPECT_NE(theError.find("extended attributes"), std::string::npos) << theError;
}

}  // namespace

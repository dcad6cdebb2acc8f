// Script pages run through the page engine over HTTP, compared with golden output.
#include <gtest/gtest.h>

#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/TestHttpClient.h"
#include "host/HttpServer.h"
#include "host/UploadMark.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& inPath)
{
    std::ifstream theFile(inPath, std::ios::binary);
    std::ostringstream theText;
    theText << theFile.rdbuf();
    return theText.str();
}

// One server over a private copy of the test site (with a link that leaves the site).
class PageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sRoot = fs::temp_directory_path() / ("ferrolift-pages-" + std::to_string(getpid()));
        fs::remove_all(sRoot);
        fs::copy(fs::path(FERROLIFT_TEST_DATA) / "site", sRoot, fs::copy_options::recursive);
        fs::create_directory_symlink("/etc", sRoot / "sub" / "escape");
        ferrolift::host::ServerOptions theOptions;
        theOptions.root = sRoot.string();
        theOptions.listen = "127.0.0.1:0";
        theOptions.threads = 4;
        theOptions.accessLog = nullptr;
        sServer = new ferrolift::host::HttpServer(theOptions);
        std::string theError;
        ASSERT_TRUE(sServer->Start(theError)) << theError;
        ASSERT_GT(sServer->Port(), 0);
    }
    static void TearDownTestSuite()
    {
        delete sServer;
        sServer = nullptr;
        fs::remove_all(sRoot);
    }
    static TestResponse Get(const std::string& inTarget) { return HttpRequest(sServer->Port(), "GET", inTarget); }
    static std::string Golden(const std::string& inName)
    {
        return ReadFile(fs::path(FERROLIFT_TEST_DATA) / "golden" / (inName + ".txt"));
    }

    static inline fs::path sRoot;
    static inline ferrolift::host::HttpServer* sServer = nullptr;
};

TEST_F(PageTest, PagesProduceTheirGoldenOutput)
{
    struct Case {
        const char* target;
        const char* golden;
    };
    const Case theCases[] = {
        {"/basic.asp", "basic"},
        {"/include.asp", "include"},
        {"/request.asp?id=7&tag=a&Tag=b+c", "request"},
        {"/mappath.asp", "mappath"},
        {"/sub/where.asp", "where"},
    };
    for (const Case& theCase : theCases) {
        TestResponse theResponse = Get(theCase.target);
        EXPECT_EQ(theResponse.status, 200) << theCase.target << "\n" << theResponse.body;
        EXPECT_EQ(theResponse.body, Golden(theCase.golden)) << theCase.target;
    }
}

TEST_F(PageTest, FormAndBinaryReadExcludeEachOther)
{
    TestResponse theForm = HttpRequest(sServer->Port(), "POST", "/form.asp",
                                       "name=Ann+Lee&color=red&color=blue&note=caf%26eacute%3B+100%25",
                                       "Content-Type: application/x-www-form-urlencoded\r\n");
    EXPECT_EQ(theForm.status, 200);
    EXPECT_EQ(theForm.body, Golden("form"));
    TestResponse theBinary = HttpRequest(sServer->Port(), "POST", "/binary.asp", "abcdefghij",
                                         "Content-Type: application/x-www-form-urlencoded\r\n");
    EXPECT_EQ(theBinary.status, 200);
    EXPECT_EQ(theBinary.body, Golden("binary"));
}

TEST_F(PageTest, ResponseControlsStatusHeadersAndEnd)
{
    TestResponse theResponse = Get("/response.asp");
    EXPECT_EQ(theResponse.status, 201);
    EXPECT_EQ(theResponse.headers["content-type"], "text/plain; charset=iso-8859-1");
    EXPECT_EQ(theResponse.headers["x-test"], "yes");
    EXPECT_EQ(theResponse.body, Golden("response"));
}

TEST_F(PageTest, FlushSendsHeadersAtOnceAndRedirectEndsThePage)
{
    TestResponse theFlushed = Get("/flush.asp");
    EXPECT_EQ(theFlushed.status, 200);
    EXPECT_EQ(theFlushed.headers["transfer-encoding"], "chunked");
    EXPECT_EQ(theFlushed.body, "first second The HTTP headers are already written to the client browser.\n");

    TestResponse theRedirect = Get("/redirect.asp");
    EXPECT_EQ(theRedirect.status, 302);
    EXPECT_EQ(theRedirect.headers["location"], "/static.txt?from=redirect");
    EXPECT_EQ(theRedirect.body.find("dropped"), std::string::npos);
    EXPECT_EQ(theRedirect.body.find("never"), std::string::npos);

    // A target taken from the visitor cannot put markup into the redirect's body.
    TestResponse theHostile = Get("/redirect.asp?to=%22%3E%3Cscript%3Ex()%3C/script%3E");
    EXPECT_EQ(theHostile.status, 302);
    EXPECT_EQ(theHostile.body.find("<script>"), std::string::npos);
    EXPECT_NE(theHostile.body.find("&quot;&gt;&lt;script&gt;"), std::string::npos);
}

TEST_F(PageTest, UncaughtErrorsShowSourceNumberDescriptionFileAndLine)
{
    TestResponse theRuntime = Get("/error.asp");
    EXPECT_EQ(theRuntime.status, 500);
    EXPECT_NE(theRuntime.body.find("JavaScript runtime error error '800a1391'"), std::string::npos) << theRuntime.body;
    EXPECT_NE(theRuntime.body.find("undefinedFunction"), std::string::npos);
    EXPECT_NE(theRuntime.body.find("/error.asp, line 4"), std::string::npos) << theRuntime.body;
    EXPECT_EQ(theRuntime.body.find("before"), std::string::npos);

    TestResponse theThrown = Get("/thrown.asp");
    EXPECT_EQ(theThrown.status, 500);
    EXPECT_NE(theThrown.body.find("error '80004005'"), std::string::npos) << theThrown.body;
    EXPECT_NE(theThrown.body.find("<p>custom failure</p>"), std::string::npos);
    // The line where the Error object was made, as the engine records it.
    EXPECT_NE(theThrown.body.find("/inc/thrower.inc, line 2"), std::string::npos) << theThrown.body;

    TestResponse theSyntax = Get("/syntax.asp");
    EXPECT_EQ(theSyntax.status, 500);
    EXPECT_NE(theSyntax.body.find("JavaScript compilation error error '800a03ea'"), std::string::npos) << theSyntax.body;
    EXPECT_NE(theSyntax.body.find("/syntax.asp, line 2"), std::string::npos) << theSyntax.body;
}

TEST_F(PageTest, PagesOutlivingScriptTimeoutStopAtTheirNextHostCall)
{
    TestResponse theResponse = Get("/timeout.asp");
    EXPECT_EQ(theResponse.status, 500);
    EXPECT_NE(theResponse.body.find("Script timed out"), std::string::npos) << theResponse.body;
    EXPECT_NE(theResponse.body.find("/timeout.asp, line 4"), std::string::npos) << theResponse.body;
    EXPECT_EQ(theResponse.body.find("too late"), std::string::npos);
}

TEST_F(PageTest, BadIncludesAreCompileErrors)
{
    TestResponse theMissing = Get("/missing.asp");
    EXPECT_EQ(theMissing.status, 500);
    EXPECT_NE(theMissing.body.find("The include file 'nope.inc' was not found."), std::string::npos);
    EXPECT_NE(theMissing.body.find("/missing.asp, line 2"), std::string::npos) << theMissing.body;
    EXPECT_NE(Get("/escape.asp").body.find("was not found"), std::string::npos);
    EXPECT_NE(Get("/loop.asp").body.find("includes itself"), std::string::npos);
}

TEST_F(PageTest, StaticFilesServedButSourcesAndOutsideNot)
{
    TestResponse theStatic = Get("/static.txt");
    EXPECT_EQ(theStatic.status, 200);
    EXPECT_EQ(theStatic.body, "plain static\n");
    EXPECT_EQ(Get("/notes.inc").status, 404);
    EXPECT_EQ(Get("/inc/header.inc").status, 404);
    EXPECT_EQ(Get("/../../etc/passwd").status, 404);
    EXPECT_EQ(Get("/sub/escape/passwd").status, 404);
    EXPECT_EQ(Get("/nothing-here.html").status, 404);
    TestResponse thePost = HttpRequest(sServer->Port(), "POST", "/static.txt", "x=1");
    EXPECT_EQ(thePost.status, 405);
}

TEST_F(PageTest, UnreadBodiesAreDrainedSoTheConnectionCarriesOn)
{
    std::string theBody(100000, 'x');
    std::string theRaw = HttpRaw(sServer->Port(),
                                 "POST /basic.asp HTTP/1.1\r\nHost: t\r\nContent-Length: " + std::to_string(theBody.size()) +
                                     "\r\n\r\n" + theBody +
                                     "GET /static.txt HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(theRaw.find("HTTP/1.1 200"), 0u);
    EXPECT_NE(theRaw.find("plain static"), std::string::npos) << theRaw.substr(0, 400);
}

TEST_F(PageTest, OversizedHeadersAreRefusedAndTheServerCarriesOn)
{
    std::string theRaw = HttpRaw(sServer->Port(), "GET /basic.asp HTTP/1.1\r\nHost: t\r\nX-Big: " +
                                                      std::string(40000, 'a') + "\r\n\r\n");
    EXPECT_EQ(theRaw.find("HTTP/1.1 200"), std::string::npos) << theRaw.substr(0, 200);
    EXPECT_EQ(Get("/static.txt").status, 200);
}

TEST_F(PageTest, ChangedPagesAreRecompiled)
{
    fs::path thePage = sRoot / "changing.asp";
    { std::ofstream(thePage) << "one"; }
    EXPECT_EQ(Get("/changing.asp").body, "one");
    { std::ofstream(thePage) << "<%= 'second' %>"; }
    EXPECT_EQ(Get("/changing.asp").body, "second");
    { std::ofstream(sRoot / "inc" / "nested.inc") << "changed\n"; }
    EXPECT_NE(Get("/include.asp").body.find("changed"), std::string::npos);
}

TEST_F(PageTest, RequestsShareNoScriptState)
{
    { std::ofstream(sRoot / "setter.asp") << "<% leaked = 'yes'; Array.prototype.join = null; %>set"; }
    { std::ofstream(sRoot / "reader.asp") << "<%= typeof leaked %> <%= [1, 2].join('+') %>"; }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(Get("/setter.asp").body, "set");
        EXPECT_EQ(Get("/reader.asp").body, "undefined 1+2");
    }
}

TEST_F(PageTest, PagesUploadedByVisitorsNeverRun)
{
    fs::path thePage = sRoot / "uploaded.asp";
    { std::ofstream(thePage) << "<%= 'page ' + 'output' %>"; }
    EXPECT_EQ(Get("/uploaded.asp").body, "page output");
    static const char kZone[] = "[ZoneTransfer]\r\nZoneId=3\r\n";
    if (setxattr(thePage.c_str(), ferrolift::host::kUploadMarkAttribute, kZone, sizeof kZone, 0) != 0)
        GTEST_SKIP() << "no user extended attributes on " << sRoot;
    // A visitor's file is data: handed out as a download, never run.
    TestResponse theRefused = Get("/uploaded.asp");
    EXPECT_EQ(theRefused.status, 200);
    EXPECT_EQ(theRefused.body.find("page output"), std::string::npos);
    EXPECT_EQ(theRefused.headers["content-disposition"].rfind("attachment", 0), 0u) << theRefused.body;
}

}  // namespace

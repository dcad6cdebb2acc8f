// Files that visitors uploaded (they carry the upload mark) never run: not as a page, not
// as an include, whatever they are called, and not from the cache once they are marked.
// The cache still sees every change at the next request.
#include <gtest/gtest.h>

#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/TestPage.h"
#include "host/PageCache.h"
#include "host/UploadMark.h"

using namespace ferrolift::host;

namespace {

class VisitorFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(mSite / "uploads");
        if (!VolumeCanMark(mSite.Path()))
            GTEST_SKIP() << "the temporary folder's volume has no user extended attributes";
    }
    void Write(const std::string& inName, const std::string& inText)
    {
        std::ofstream(mSite / inName, std::ios::trunc) << inText;
    }
    void Mark(const std::string& inName)
    {
        static const char kZone[] = "[ZoneTransfer]\r\nZoneId=3\r\n";
        ASSERT_EQ(setxattr((mSite / inName).c_str(), kUploadMarkAttribute, kZone, sizeof kZone, 0), 0);
    }
    std::shared_ptr<const CompiledPage> Get(const std::string& inName)
    {
        mError = CompileError();
        return mCache.Get(mSite / inName, mError);
    }

    ferrolift::test::ScopedTempFolder mSite;
    PageCache mCache{mSite.Path()};
    CompileError mError;
};

TEST_F(VisitorFileTest, MarkedPagesAreRefusedWhateverTheirName)
{
    for (const char* theName : {"uploads/shell.asp", "uploads/notes.txt", "index.asp"}) {
        Write(theName, "<% Response.Write('owned'); %>");
        Mark(theName);
        EXPECT_EQ(Get(theName), nullptr) << theName;
        EXPECT_NE(mError.description.find("uploaded by a visitor and is never run"), std::string::npos)
            << mError.description;
    }
}

TEST_F(VisitorFileTest, MarkedIncludesAreCompileErrorsNamingTheInclude)
{
    Write("uploads/avatar.gif", "<% Response.Write('owned'); %>");
    Mark("uploads/avatar.gif");
    Write("page.asp", "<p>\n<!-- #include file=\"uploads/avatar.gif\" -->\n</p>");
    EXPECT_EQ(Get("page.asp"), nullptr);
    EXPECT_EQ(mError.description, "The include file 'uploads/avatar.gif' was uploaded by a visitor and is never included.");
    EXPECT_EQ(mError.file, "/page.asp");
    EXPECT_EQ(mError.line, 2);

    // Also when it is reached through another include, by a virtual path.
    Write("inc.inc", "<!-- #include virtual=\"/uploads/avatar.gif\" -->");
    Write("outer.asp", "<!-- #include file=\"inc.inc\" -->");
    EXPECT_EQ(Get("outer.asp"), nullptr);
    EXPECT_NE(mError.description.find("'/uploads/avatar.gif' was uploaded by a visitor"), std::string::npos);
    EXPECT_EQ(mError.file, "/inc.inc");
}

TEST_F(VisitorFileTest, CachedFilesMarkedLaterAreRefusedAtTheNextRequest)
{
    Write("page.asp", "<!-- #include file=\"part.inc\" -->");
    Write("part.inc", "<% var x = 1; %>");
    Write("other.asp", "<%= 1 %>");
    usleep(250 * 1000);   // aged files: the cache trusts their stamps
    auto thePage = Get("page.asp");
    ASSERT_NE(thePage, nullptr) << mError.description;
    ASSERT_EQ(Get("page.asp"), thePage) << "served from the cache";
    ASSERT_NE(Get("other.asp"), nullptr) << mError.description;

    Mark("part.inc");   // same content, same modification time: only the mark differs
    EXPECT_EQ(Get("page.asp"), nullptr);
    EXPECT_NE(mError.description.find("'part.inc' was uploaded by a visitor"), std::string::npos) << mError.description;

    Mark("other.asp");
    EXPECT_EQ(Get("other.asp"), nullptr);
    EXPECT_NE(mError.description.find("never run"), std::string::npos);
}

TEST_F(VisitorFileTest, CacheServesCompiledPagesUntilAFileChanges)
{
    Write("page.asp", "one<!-- #include file=\"part.inc\" -->");
    Write("part.inc", "two");
    // Just written: compiled at every request, so even a rewrite within the same clock
    // tick, of the same size, is seen.
    auto theFresh = Get("page.asp");
    ASSERT_NE(theFresh, nullptr);
    Write("part.inc", "TWO");
    auto theRewritten = Get("page.asp");
    ASSERT_NE(theRewritten, nullptr);
    EXPECT_EQ(theRewritten->scriptTexts, (std::vector<std::string>{"one", "TWO"}));

    // Files that have aged are trusted by their stamps: the compiled page is reused.
    usleep(250 * 1000);
    auto theFirst = Get("page.asp");
    ASSERT_NE(theFirst, nullptr);
    EXPECT_FALSE(theFirst->bytecode.empty());
    EXPECT_EQ(Get("page.asp"), theFirst);

    Write("part.inc", "two");
    auto theSecond = Get("page.asp");
    ASSERT_NE(theSecond, nullptr);
    EXPECT_NE(theSecond, theFirst);
    EXPECT_EQ(theSecond->scriptTexts[1], "two");

    // A file replaced by another (renamed over it) is a change too.
    Write("new.inc", "six");
    std::filesystem::rename(mSite / "new.inc", mSite / "part.inc");
    auto theThird = Get("page.asp");
    ASSERT_NE(theThird, nullptr);
    EXPECT_EQ(theThird->scriptTexts[1], "six");

    std::filesystem::remove(mSite / "part.inc");
    EXPECT_EQ(Get("page.asp"), nullptr);
}

}  // namespace

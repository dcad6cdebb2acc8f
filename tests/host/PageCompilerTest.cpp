// The page compiler: generated lines trace back to the file and line they came from,
// and includes stay inside the site.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/TempFolder.h"
#include "host/PageCompiler.h"
#include "host/SitePaths.h"

namespace fs = std::filesystem;
using namespace ferrolift::host;

namespace {

class PageCompilerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(mFolder.Path().empty());
        mRoot = fs::canonical(mFolder.Path());
        fs::create_directories(mRoot / "inc");
    }
    void Write(const std::string& inName, const std::string& inText) { std::ofstream(mRoot / inName) << inText; }
    bool Compile(const std::string& inName, CompiledPage& outPage, CompileError& outError)
    {
        return PageCompiler(mRoot.string()).Compile((mRoot / inName).string(), outPage, outError);
    }
    // The generated line that holds inNeedle.
    static int LineOf(const CompiledPage& inPage, const std::string& inNeedle)
    {
        std::size_t thePos = inPage.script.find(inNeedle);
        return 1 + static_cast<int>(std::count(inPage.script.begin(), inPage.script.begin() + thePos, '\n'));
    }

    ferrolift::test::ScopedTempFolder mFolder{"ferrolift-compiler"};
    fs::path mRoot;
};

TEST_F(PageCompilerTest, GeneratedLinesMapToSourceFilesAndLines)
{
    Write("page.asp", "a\nb<% first(); %>\n<!-- #include file=\"inc/part.inc\" -->\n<%\n\nlast();\n%>");
    Write("inc/part.inc", "x\n<%\nmiddle();\n%>");
    CompiledPage thePage;
    CompileError theError;
    ASSERT_TRUE(Compile("page.asp", thePage, theError)) << theError.description;
    LineOrigin theFirst = thePage.Origin(LineOf(thePage, "first()"));
    EXPECT_EQ(thePage.files[theFirst.file], "/page.asp");
    EXPECT_EQ(theFirst.line, 2);
    LineOrigin theMiddle = thePage.Origin(LineOf(thePage, "middle()"));
    EXPECT_EQ(thePage.files[theMiddle.file], "/inc/part.inc");
    EXPECT_EQ(theMiddle.line, 3);
    LineOrigin theLast = thePage.Origin(LineOf(thePage, "last()"));
    EXPECT_EQ(thePage.files[theLast.file], "/page.asp");
    EXPECT_EQ(theLast.line, 6);
    EXPECT_EQ(thePage.dependencies.size(), 2u);
}

TEST_F(PageCompilerTest, StaticTextIsKeptVerbatim)
{
    Write("page.asp", "<p>\"quotes\" \\ and ' </script></p><%= 1 %>tail");
    CompiledPage thePage;
    CompileError theError;
    ASSERT_TRUE(Compile("page.asp", thePage, theError));
    ASSERT_EQ(thePage.texts.size(), 2u);
    EXPECT_EQ(thePage.texts[0], "<p>\"quotes\" \\ and ' </script></p>");
    EXPECT_EQ(thePage.texts[1], "tail");
}

TEST_F(PageCompilerTest, BrokenPagesReportFileAndLine)
{
    struct Case {
        const char* source;
        const char* description;
        int line;
    };
    const Case theCases[] = {
        {"a\n<% open(", "The script block is missing its closing '%>'.", 2},
        {"<%@ LANGUAGE=\"VBScript\" %>", "The script language 'vbscript' is not supported.", 1},
        {"\n\n<!-- #include file=\"../../../etc/passwd\" -->", "The include file '../../../etc/passwd' was not found.", 3},
        {"<!-- #include virtual=\"/../x.inc\" -->", "The include file '/../x.inc' was not found.", 1},
        {"<!-- #include file=\"page.asp\" -->", "The include file 'page.asp' includes itself.", 1},
    };
    for (const Case& theCase : theCases) {
        Write("page.asp", theCase.source);
        CompiledPage thePage;
        CompileError theError;
        EXPECT_FALSE(Compile("page.asp", thePage, theError)) << theCase.source;
        EXPECT_EQ(theError.description, theCase.description);
        EXPECT_EQ(theError.file, "/page.asp");
        EXPECT_EQ(theError.line, theCase.line) << theCase.source;
    }
}

TEST_F(PageCompilerTest, IncludeNestingIsBounded)
{
    for (int i = 0; i < PageCompiler::kMaxIncludeDepth + 2; ++i)
        Write("inc/" + std::to_string(i) + ".inc", "<!-- #include file=\"" + std::to_string(i + 1) + ".inc\" -->");
    Write("page.asp", "<!-- #include file=\"inc/0.inc\" -->");
    CompiledPage thePage;
    CompileError theError;
    EXPECT_FALSE(Compile("page.asp", thePage, theError));
    EXPECT_NE(theError.description.find("nest deeper"), std::string::npos) << theError.description;
}

TEST(SitePaths, MappingNeverLeavesTheRoot)
{
    std::string theOut;
    EXPECT_TRUE(SitePaths::NormalizeVirtual("b/../c/./d", "/a/", theOut));
    EXPECT_EQ(theOut, "/a/c/d");
    EXPECT_TRUE(SitePaths::NormalizeVirtual("\\x\\y", "/a/", theOut));
    EXPECT_EQ(theOut, "/x/y");
    EXPECT_FALSE(SitePaths::NormalizeVirtual("../../x", "/a/", theOut));
    EXPECT_FALSE(SitePaths::NormalizeVirtual(std::string_view("a\0b", 3), "/", theOut));
    EXPECT_FALSE(SitePaths("/").Valid());
    EXPECT_FALSE(SitePaths("/no/such/folder").Valid());
}

}  // namespace

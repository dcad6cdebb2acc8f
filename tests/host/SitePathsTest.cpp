// Whether a physical path lies in the site: by where it really leads, symbolic links
// followed, and for a file not yet made, by the folder that will hold it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/TempFolder.h"
#include "host/SitePaths.h"

using ferrolift::host::SitePaths;
namespace fs = std::filesystem;

namespace {

TEST(SitePathsTest, ContainsJudgesWhereAPathLeads)
{
    ferrolift::test::ScopedTempFolder theBase;
    const fs::path theRoot = fs::path(theBase.Path()) / "site";
    const fs::path theOutside = fs::path(theBase.Path()) / "outside";
    fs::create_directories(theRoot / "sub");
    fs::create_directories(theOutside);
    std::ofstream(theRoot / "sub" / "page.asp") << "x";
    std::ofstream(theOutside / "secret.txt") << "x";
    fs::create_directory_symlink("sub", theRoot / "inner");              // stays inside
    fs::create_directory_symlink(theRoot / "sub", theRoot / "absolute");  // inside, by an absolute link
    fs::create_directory_symlink(theOutside, theRoot / "escape");
    SitePaths thePaths(theRoot.string());
    const std::string theSite = thePaths.Root();

    struct Case {
        std::string path;
        bool inside;
    } const theCases[] = {
        {theSite, true},
        {theSite + "/sub/page.asp", true},
        {theSite + "/sub/new.asp", true},              // about to be made
        {theSite + "/missing/deeper/new.asp", true},
        {theSite + "/inner/page.asp", true},
        {theSite + "/absolute/page.asp", true},
        {theSite + "/escape/secret.txt", false},
        {theSite + "/escape/new.txt", false},
        {theSite + "/sub/../../outside/secret.txt", false},
        {theSite + "/sub/page.asp/below", true},       // judged by the file above it
        {theSite + "x/page.asp", false},                // a sibling whose name starts alike
        {theOutside.string() + "/secret.txt", false},
        {"relative/page.asp", false},
    };
    for (const Case& theCase : theCases)
        EXPECT_EQ(thePaths.Contains(theCase.path), theCase.inside) << theCase.path;
}

}  // namespace

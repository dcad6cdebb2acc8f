// Request paths against the site root. The first byte sets the length of the virtual
// folder taken from the bytes after it; the rest is the path. A path that maps must land
// inside the root (also after symbolic links are followed), its virtual form must be
// clean and stable, and a climb above the root or a NUL must be refused.
#include "host/SitePaths.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>
#include "FuzzCheck.h"

namespace {

using ferrolift::host::SitePaths;

/// A site folder for the whole run: a subfolder, a page, a link inside the site and
/// links that lead out of it. Removed when the fuzzer exits.
class Site {
public:
    Site()
    {
        char theTemplate[] = "/tmp/ferrolift-fuzz-site-XXXXXX";
        Check(mkdtemp(theTemplate) != nullptr, "temporary site");
        mRoot = theTemplate;
        namespace fs = std::filesystem;
        fs::create_directory(mRoot / "a");
        fs::create_directory(mRoot / "a" / "b");
        std::FILE* thePage = std::fopen((mRoot / "a" / "page.asp").c_str(), "w");
        Check(thePage != nullptr, "page");
        std::fclose(thePage);
        fs::create_directory_symlink("a", mRoot / "in");
        fs::create_directory_symlink("/", mRoot / "out");
        fs::create_directory_symlink("../..", mRoot / "a" / "up");
        mPaths = std::make_unique<SitePaths>(mRoot.string());
        Check(mPaths->Valid(), "site root");
        mRealRoot = mPaths->Root();
    }
    ~Site()
    {
        std::error_code theError;
        std::filesystem::remove_all(mRoot, theError);
    }

    const SitePaths& Paths() const { return *mPaths; }
    const std::string& RealRoot() const { return mRealRoot; }

private:
    std::filesystem::path mRoot;
    std::string mRealRoot;
    std::unique_ptr<SitePaths> mPaths;
};

bool Inside(const std::string& inPath, const std::string& inRoot)
{
    return inPath == inRoot || (inPath.size() > inRoot.size() && inPath.compare(0, inRoot.size(), inRoot) == 0 &&
                                inPath[inRoot.size()] == '/');
}

/// Plain model: segments at either slash; "." and empty ones vanish, ".." drops the last
/// one and fails at the top.
bool Normalize(std::string_view inPath, std::string_view inBase, std::string& outVirtual)
{
    std::string theText(inPath);
    if (theText.empty() || (theText[0] != '/' && theText[0] != '\\'))
        theText = std::string(inBase) + "/" + theText;
    if (theText.find('\0') != std::string::npos)
        return false;
    for (char& c : theText)
        if (c == '\\')
            c = '/';
    std::vector<std::string> theKept;
    size_t theStart = 0;
    while (theStart <= theText.size()) {
        size_t theEnd = theText.find('/', theStart);
        if (theEnd == std::string::npos)
            theEnd = theText.size();
        const std::string theName = theText.substr(theStart, theEnd - theStart);
        if (theName == "..") {
            if (theKept.empty())
                return false;
            theKept.pop_back();
        } else if (!theName.empty() && theName != ".") {
            theKept.push_back(theName);
        }
        theStart = theEnd + 1;
    }
    outVirtual.clear();
    for (const std::string& theName : theKept)
        outVirtual += "/" + theName;
    if (outVirtual.empty())
        outVirtual = "/";
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    static const Site theSite;
    if (inSize < 1 || inSize > 4096)
        return 0;
    const size_t theBaseLength = std::min<size_t>(inData[0] % 32, inSize - 1);
    const std::string theBase(reinterpret_cast<const char*>(inData + 1), theBaseLength);
    const std::string thePath(reinterpret_cast<const char*>(inData + 1 + theBaseLength), inSize - 1 - theBaseLength);

    std::string theVirtual, theExpected;
    const bool theOk = SitePaths::NormalizeVirtual(thePath, theBase, theVirtual);
    Check(theOk == Normalize(thePath, theBase, theExpected), "accepts the same paths as the model");
    if (theOk) {
        Check(theVirtual == theExpected, "same virtual path as the model");
        Check(theVirtual[0] == '/' && theVirtual.find('\\') == std::string::npos, "rooted, forward slashes only");
        Check(theVirtual.find("//") == std::string::npos && theVirtual.find("/./") == std::string::npos &&
                  theVirtual.find("/../") == std::string::npos,
              "clean segments");
        std::string theAgain;
        Check(SitePaths::NormalizeVirtual(theVirtual, "/elsewhere", theAgain) && theAgain == theVirtual, "stable");
        const std::string theFolder = SitePaths::VirtualFolder(theVirtual);
        Check(theFolder.back() == '/' && theVirtual.compare(0, theFolder.size(), theFolder) == 0, "folder prefix");
    }

    std::string thePhysical;
    if (!theSite.Paths().MapPath(thePath, theBase, thePhysical)) {
        Check(thePhysical.empty(), "no output on refusal");
        return 0;
    }
    Check(theOk, "maps only what normalises");
    Check(thePhysical == (theVirtual == "/" ? theSite.RealRoot() : theSite.RealRoot() + theVirtual), "physical path");
    // Whatever exists of the mapped path must still be inside once links are followed.
    std::string theExisting = thePhysical;
    char theBuffer[PATH_MAX];
    while (realpath(theExisting.c_str(), theBuffer) == nullptr) {
        const size_t theSlash = theExisting.find_last_of('/');
        Check(theSlash != std::string::npos && theSlash > 0, "an existing prefix");
        theExisting.resize(theSlash);
    }
    Check(Inside(theBuffer, theSite.RealRoot()), "inside the root after links");
    return 0;
}

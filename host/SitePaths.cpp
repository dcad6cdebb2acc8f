#include "host/SitePaths.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace ferrolift::host {

namespace {

// realpath() of the longest existing prefix of inPath, with the rest appended; so a
// file that is about to be created is judged by the folder that will hold it.
std::string ResolveExisting(const std::string& inPath)
{
    std::string theHead = inPath;
    std::string theTail;
    while (!theHead.empty()) {
        char theBuffer[PATH_MAX];
        if (realpath(theHead.c_str(), theBuffer) != nullptr)
            return std::string(theBuffer) + theTail;
        std::size_t theSlash = theHead.find_last_of('/');
        if (theSlash == std::string::npos)
            return {};
        theTail = theHead.substr(theSlash) + theTail;
        theHead.resize(theSlash);
    }
    return theTail;
}

// True when no component of inPath is a symbolic link, so that the path is its own real
// path (with no ".", ".." or empty component): one system call, where realpath() reads
// each component in turn. A missing component counts too, as ResolveExisting keeps
// the missing rest as written. Anything else (a link, no openat2) answers false and the
// caller resolves the slow way.
bool IsOwnRealPath(const std::string& inPath)
{
    if (inPath.empty() || inPath[0] != '/' || inPath.back() == '/')
        return false;
    for (std::size_t theAt = 0; theAt < inPath.size();) {
        std::size_t theEnd = inPath.find('/', theAt + 1);
        if (theEnd == std::string::npos)
            theEnd = inPath.size();
        std::string_view theName(inPath.data() + theAt + 1, theEnd - theAt - 1);
        if (theName.empty() || theName == "." || theName == "..")
            return false;
        theAt = theEnd;
    }
    open_how theHow{};
    theHow.flags = O_PATH | O_CLOEXEC;
    theHow.resolve = RESOLVE_NO_SYMLINKS;
    const long theFd = ::syscall(SYS_openat2, AT_FDCWD, inPath.c_str(), &theHow, sizeof theHow);
    if (theFd >= 0) {
        ::close(static_cast<int>(theFd));
        return true;
    }
    return errno == ENOENT;
}

}  // namespace

SitePaths::SitePaths(const std::string& inRoot)
{
    char theBuffer[PATH_MAX];
    if (realpath(inRoot.c_str(), theBuffer) != nullptr)
        mRoot = theBuffer;
    if (mRoot == "/")
        mRoot.clear();   // serving the whole file system is never meant
}

bool SitePaths::NormalizeVirtual(std::string_view inPath, std::string_view inBaseDir, std::string& outVirtual)
{
    std::string theJoined;
    bool theRooted = !inPath.empty() && (inPath[0] == '/' || inPath[0] == '\\');
    if (!theRooted) {
        theJoined.assign(inBaseDir);
        theJoined += '/';
    }
    theJoined.append(inPath);
    std::vector<std::string> theSegments;
    std::string theSegment;
    for (std::size_t i = 0; i <= theJoined.size(); ++i) {
        char c = i < theJoined.size() ? theJoined[i] : '/';
        if (c == '\0')
            return false;
        if (c != '/' && c != '\\') {
            theSegment += c;
            continue;
        }
        if (theSegment == "..") {
            if (theSegments.empty())
                return false;
            theSegments.pop_back();
        } else if (!theSegment.empty() && theSegment != ".") {
            theSegments.push_back(theSegment);
        }
        theSegment.clear();
    }
    outVirtual.clear();
    for (const std::string& theName : theSegments)
        outVirtual += "/" + theName;
    if (outVirtual.empty())
        outVirtual = "/";
    return true;
}

std::string SitePaths::VirtualFolder(std::string_view inVirtualFile)
{
    std::size_t theSlash = inVirtualFile.find_last_of('/');
    if (theSlash == std::string_view::npos)
        return "/";
    return std::string(inVirtualFile.substr(0, theSlash + 1));
}

bool SitePaths::Contains(const std::string& inPhysical) const
{
    if (mRoot.empty())
        return false;
    std::string theResolved = IsOwnRealPath(inPhysical) ? inPhysical : ResolveExisting(inPhysical);
    if (theResolved == mRoot)
        return true;
    return theResolved.size() > mRoot.size() && theResolved.compare(0, mRoot.size(), mRoot) == 0 &&
           theResolved[mRoot.size()] == '/';
}

bool SitePaths::MapPath(std::string_view inPath, std::string_view inBaseDir, std::string& outPhysical) const
{
    std::string theVirtual;
    if (mRoot.empty() || !NormalizeVirtual(inPath, inBaseDir, theVirtual))
        return false;
    std::string thePhysical = theVirtual == "/" ? mRoot : mRoot + theVirtual;
    if (!Contains(thePhysical))
        return false;
    outPhysical = thePhysical;
    return true;
}

}  // namespace ferrolift::host

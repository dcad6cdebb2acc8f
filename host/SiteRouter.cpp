#include "host/SiteRouter.h"

#include <sys/stat.h>

#include <cctype>

#include "host/RequestHead.h"
#include "host/UploadMark.h"

namespace ferrolift::host {

namespace {

const char* const kIndexPages[] = {"index.asp", "default.asp", "index.html", "index.htm"};

// Include files, the application file and dot-names are never served.
bool IsPrivate(const std::string& inVirtual)
{
    std::string theExtension = SiteRouter::Extension(inVirtual);
    if (theExtension == "inc" || theExtension == "asa")
        return true;
    return inVirtual.find("/.") != std::string::npos;
}

}  // namespace

std::string SiteRouter::Extension(std::string_view inPath)
{
    while (!inPath.empty() && (inPath.back() == '.' || inPath.back() == ' '))
        inPath.remove_suffix(1);
    std::size_t theDot = inPath.find_last_of("./");
    if (theDot == std::string_view::npos || inPath[theDot] != '.')
        return {};
    std::string theExtension(inPath.substr(theDot + 1));
    for (char& c : theExtension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return theExtension;
}

Route SiteRouter::Resolve(const RequestHead& inHead) const
{
    Route theRoute;
    if (mEverythingIsPage) {
        theRoute.kind = Route::Kind::Page;
        return theRoute;
    }
    std::string theVirtual;
    std::string thePhysical;
    if (!SitePaths::NormalizeVirtual(inHead.Path(), "/", theVirtual) || IsPrivate(theVirtual) ||
        !mPaths.MapPath(theVirtual, "/", thePhysical))
        return theRoute;
    struct stat theStat {};
    if (stat(thePhysical.c_str(), &theStat) != 0)
        return theRoute;
    if (S_ISREG(theStat.st_mode))
        return ResolveFile(theVirtual, thePhysical, theStat);
    if (!S_ISDIR(theStat.st_mode))
        return theRoute;
    if (inHead.Path().empty() || inHead.Path().back() != '/') {
        // Relative links in the index page need the trailing slash. The raw target is
        // used: it holds no control characters, the decoded path may.
        const std::string& theTarget = inHead.Target();
        std::size_t theQuery = theTarget.find('?');
        theRoute.kind = Route::Kind::Redirect;
        theRoute.virtualPath = theTarget.substr(0, theQuery) + "/" +
                               (theQuery == std::string::npos ? std::string() : theTarget.substr(theQuery));
        return theRoute;
    }
    for (const char* theIndex : kIndexPages) {
        std::string thePath = thePhysical + "/" + theIndex;
        if (stat(thePath.c_str(), &theStat) != 0 || !S_ISREG(theStat.st_mode))
            continue;
        return ResolveFile((theVirtual == "/" ? std::string("/") : theVirtual + "/") + theIndex, thePath, theStat);
    }
    theRoute.status = 403;
    theRoute.text = "Forbidden";
    return theRoute;
}

Route SiteRouter::ResolveFile(const std::string& inVirtual, const std::string& inPhysical,
                              const struct stat& inFile) const
{
    Route theRoute;
    theRoute.virtualPath = inVirtual;
    theRoute.physicalPath = inPhysical;
    theRoute.file = inFile;
    std::string theExtension = Extension(inPhysical);
    if (theExtension == "inc" || theExtension == "asa") {
        theRoute.kind = Route::Kind::Status;
        return theRoute;
    }
    // A visitor's upload is never run, whatever its name: it is only ever a download.
    if (IsVisitorData(inPhysical))
        theRoute.kind = Route::Kind::Download;
    else
        theRoute.kind = theExtension == "asp" ? Route::Kind::Page : Route::Kind::File;
    return theRoute;
}

}  // namespace ferrolift::host

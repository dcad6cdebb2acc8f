// SiteRouter.h: decides how the site answers a request path: run a page, send a file,
// send a visitor's upload as a download (never run, whatever its name), redirect a
// folder to its slash, or refuse (404 for include files, dot-names and anything outside).
//
//   ferrolift::host::SiteRouter theRouter(thePaths);
//   ferrolift::host::Route theRoute = theRouter.Resolve(theHead);
//   if (theRoute.kind == ferrolift::host::Route::Kind::Page) ... run theRoute.physicalPath
#pragma once

#include <sys/stat.h>

#include <string>

#include "host/SitePaths.h"

namespace ferrolift::host {

class RequestHead;

/// How a request is answered.
struct Route {
    enum class Kind { Page, File, Download, Redirect, Status };
    Kind kind = Kind::Status;
    std::string virtualPath;   // Redirect: the new location
    std::string physicalPath;
    struct stat file {};       // Page, File, Download: the file as routed (found unmarked for a Page)
    int status = 404;          // Status
    const char* text = "Not Found";
};

/// Routing over one site. Reads the file system on every call (files come and go).
class SiteRouter {
public:
    /// inEverythingIsPage: every request is a page (a server driven by a handler).
    explicit SiteRouter(const SitePaths& inPaths, bool inEverythingIsPage = false)
        : mPaths(inPaths), mEverythingIsPage(inEverythingIsPage)
    {
    }

    Route Resolve(const RequestHead& inHead) const;

    /// The extension that decides how a file is served, lower-cased; trailing dots and
    /// spaces do not count ("x.ASP. " is an .asp file to every client that strips them).
    static std::string Extension(std::string_view inPath);

private:
    Route ResolveFile(const std::string& inVirtual, const std::string& inPhysical, const struct stat& inFile) const;

    const SitePaths& mPaths;
    bool mEverythingIsPage;
};

}  // namespace ferrolift::host

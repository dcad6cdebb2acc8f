// PageRunner.h: runs one compiled page for one HTTP exchange: a pooled script heap with
// fresh global state, the page objects, the component's object context around the run,
// and the classic error text when the page fails. Whatever the page did, its objects are
// released and the worker thread's impersonation is reverted when it ends.
//
//   PageRunner::Run(theExchange, thePaths, *thePage, "/upload.asp", "/srv/site/upload.asp");
#pragma once

#include <memory>
#include <string>

#include "host/PageCompiler.h"

namespace ferrolift::host {

class HttpExchange;
class SitePaths;
struct ScriptEnvironment;

/// Where and why a page failed, as the error text shows it.
struct PageError {
    std::string source;        // "Ferrolift4.XForm.4", "JavaScript runtime error", ...
    std::int32_t number = 0;   // HRESULT
    std::string description;
    std::string file;          // site-relative path
    int line = 0;
};

/// Runs script pages.
class PageRunner {
public:
    /// Runs inPage; the response is left in inExchange (not yet finished). Returns
    /// false when the page failed, after writing the error text.
    static bool Run(const std::shared_ptr<HttpExchange>& inExchange, const SitePaths& inPaths,
                    const CompiledPage& inPage, const std::string& inVirtualPath, const std::string& inPhysicalPath);

    /// The script part of Run for the page described by inOutEnvironment (whose exchange
    /// may be null for a page that never touches Request or Response, as benchmarks
    /// do); the caller installs the object context. False with outError when the page
    /// failed.
    static bool RunScript(ScriptEnvironment& inOutEnvironment, const CompiledPage& inPage, PageError& outError);

    /// Answers 500 with the classic error text for inError.
    static void WriteError(HttpExchange& inExchange, const PageError& inError);
};

}  // namespace ferrolift::host

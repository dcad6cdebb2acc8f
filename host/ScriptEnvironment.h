// ScriptEnvironment.h: what native functions of one page run need to reach: the HTTP
// exchange, the site's paths, the page's own path and the automation proxies alive in
// its heap.
//
//   ScriptEnvironment& theEnv = ScriptHeap::Environment(ctx);
//   theEnv.exchange->Write("text");
#pragma once

#include <chrono>
#include <string>
#include <unordered_map>

#include <windows.h>

namespace ferrolift::host {

class HttpExchange;
class SitePaths;

/// Per-page data shared by the native functions of one heap.
struct ScriptEnvironment {
    HttpExchange* exchange = nullptr;
    /// Where Response.Write goes when there is no exchange (benchmarks, tests).
    std::string* output = nullptr;
    const SitePaths* paths = nullptr;
    std::string virtualPath;     // "/dir/page.asp"
    std::string virtualFolder;   // "/dir/"
    std::string physicalPath;
    std::string scriptFile;      // the file name the page's code was compiled under
    /// Proxy object (heap pointer) to the interface its target holds a reference on.
    std::unordered_map<void*, IDispatch*> proxies;
    /// Script objects (heap pointers) that hold a reference on an automation object
    /// under a hidden key: released when the page ends, not when the collector finds
    /// them, so that an upload's read cache goes with its page.
    struct HeldObject {
        IUnknown* object = nullptr;
        const char* key = nullptr;
    };
    std::unordered_map<void*, HeldObject> held;
    long scriptTimeout = 90;     // seconds; Server.ScriptTimeout
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    bool ended = false;          // Response.End was called
    bool timedOut = false;       // the page was stopped for its ScriptTimeout

    /// True once the page has run longer than its ScriptTimeout.
    bool TimedOut() const
    {
        return std::chrono::steady_clock::now() - started > std::chrono::seconds(scriptTimeout);
    }
};

}  // namespace ferrolift::host

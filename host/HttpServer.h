// HttpServer.h: the page engine's HTTP side: a civetweb worker pool that serves the
// site's static files, runs its script pages (never serving their source) and logs one
// access line per request.
//
//   ferrolift::host::ServerOptions theOptions;
//   theOptions.root = "/srv/site";
//   ferrolift::host::HttpServer theServer(theOptions);
//   std::string theError;
//   if (!theServer.Start(theError)) ...;
//   ... theServer.Port() ...
//   theServer.Stop();
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "PageCache.h"
#include "SitePaths.h"

struct mg_context;
struct mg_connection;

namespace ferrolift::host {

/// Settings of `ferrolift serve`.
struct ServerOptions {
    std::string root;                        // site folder
    std::string listen = "127.0.0.1:8080";   // HOST:PORT (port 0: any free port)
    int threads = 64;                        // worker threads: pages running at once
    int timeoutSeconds = 30;                 // idle limit of a request read or write
    FILE* accessLog = stdout;                // null: no access log
};

/// One running server. Not copyable; Stop (or the destructor) waits for the workers.
class HttpServer {
public:
    explicit HttpServer(ServerOptions inOptions);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    /// Starts listening; false with outError when the root or the port is unusable.
    bool Start(std::string& outError);
    /// Stops accepting and waits until running requests are done.
    void Stop();
    /// The port actually bound (useful with port 0).
    int Port() const { return mPort; }
    const SitePaths& Paths() const { return mPaths; }

private:
    static int HandleRequest(mg_connection* inConnection, void* inServer);
    static int BeginRequest(mg_connection* inConnection);
    static void EndRequest(const mg_connection* inConnection, int inStatus);

    int Serve(mg_connection* inConnection);
    int ServePage(mg_connection* inConnection, const std::string& inVirtual, const std::string& inPhysical);
    int ServeStatic(mg_connection* inConnection, const std::string& inPhysical);
    int ServeDirectory(mg_connection* inConnection, const std::string& inVirtual, const std::string& inPhysical);
    int SendError(mg_connection* inConnection, int inStatus, const char* inText);

    ServerOptions mOptions;
    SitePaths mPaths;
    std::unique_ptr<PageCache> mCache;
    mg_context* mContext = nullptr;
    int mPort = 0;
};

}  // namespace ferrolift::host

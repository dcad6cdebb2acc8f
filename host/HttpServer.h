// HttpServer.h: the page engine's HTTP side. One event-loop thread accepts connections,
// reads and checks request heads, keeps idle keep-alive connections without a thread,
// and serves the site's static files itself; a request that runs a page goes to a
// worker: the page pool for requests without a body (or whose small body arrived with
// the head), the upload pool (cheap threads made on demand up to a cap) for requests
// with one still arriving, so slow uploads never hold up
// static files, pages or progress polls. A page pulls its body on its own thread; when
// it is done, a connection that can go on returns to the loop.
//
//   ferrolift::host::ServerOptions theOptions;
//   theOptions.root = "/srv/site";
//   ferrolift::host::HttpServer theServer(theOptions);
//   std::string theError;
//   if (!theServer.Start(theError)) ...;
//   ... theServer.Port() ...
//   theServer.Stop();
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/PageCache.h"
#include "host/SitePaths.h"
#include "host/SiteRouter.h"
#include "host/TrustedProxy.h"
#include "host/UniqueFd.h"

namespace ferrolift::host {

class Connection;
class HttpExchange;
class RequestHead;
class RunGate;
class WorkerPool;
struct StaticReply;

/// Settings of `ferrolift serve`.
struct ServerOptions {
    std::string root;                        // site folder
    std::string listen = "127.0.0.1:8080";   // HOST:PORT (port 0: any free port)
    int threads = 64;                        // page pool: pages without a body running at once
    int maxUploads = 1024;                   // upload pool: requests with a body at once
    int runningPages = 0;                    // pages computing at once (0: the processors, at least 2)
    int maxConnections = 10000;              // open connections (bounded by the fd limit too)
    int timeoutSeconds = 30;                 // limit of a request head, or a stalled read or write
    FILE* accessLog = stdout;                // null: no access log
    TrustedProxy trustedProxies;             // proxies whose forwarding headers tell the client
    /// When set, every request runs this on a worker instead of the site's routing
    /// (tests and embedders drive the exchange themselves).
    std::function<void(const std::shared_ptr<HttpExchange>&)> handler;
};

/// One running server. Not copyable; Stop (or the destructor) waits for the workers.
class HttpServer {
public:
    explicit HttpServer(ServerOptions inOptions);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    /// Starts listening; false with outError when the root, its volume or the port is
    /// unusable.
    bool Start(std::string& outError);
    /// Stops accepting, lets running requests finish, closes every connection.
    void Stop();
    /// The port actually bound (useful with port 0).
    int Port() const { return mPort; }
    const SitePaths& Paths() const { return mPaths; }

private:
    class RequestTask;

    bool Listen(std::string& outError);
    void Loop();
    void AcceptAll();
    void OnEvent(int inFd, unsigned inEvents);
    void Process(std::unique_ptr<Connection>& inOutConnection);
    bool Answer(std::unique_ptr<Connection>& inOutConnection, StaticReply& inReply, const RequestHead& inHead,
                bool inKeepAlive);
    void Dispatch(std::unique_ptr<Connection>& inOutConnection, std::unique_ptr<RequestHead> inHead, Route inRoute);
    bool BodyArrived(Connection& inConnection, std::int64_t inLength);
    bool RunRequest(Connection& inConnection, const RequestHead& inHead, const Route& inRoute);
    void Return(std::unique_ptr<Connection> inConnection, bool inKeepAlive);
    void TakeReturned();
    void Watch(Connection& inConnection, unsigned inEvents, bool inAdd);
    void Linger(std::unique_ptr<Connection>& inOutConnection);
    void Close(std::unique_ptr<Connection>& inOutConnection);
    void Sweep();
    void PauseAccepting(bool inPause);
    void LogRequest(const Connection& inConnection, const RequestHead& inHead, int inStatus, long long inBytes);

    ServerOptions mOptions;
    SitePaths mPaths;
    SiteRouter mRouter;
    std::unique_ptr<PageCache> mCache;
    std::unique_ptr<RunGate> mGate;
    std::unique_ptr<WorkerPool> mPagePool;
    std::unique_ptr<WorkerPool> mUploadPool;
    UniqueFd mListen;
    UniqueFd mEpoll;
    UniqueFd mWake;   // eventfd: connections returned, or stop
    std::thread mLoop;
    int mPort = 0;
    int mMaxConnections = 0;

    // Owned by the loop thread: connections indexed by their socket.
    std::vector<std::unique_ptr<Connection>> mConnections;
    std::atomic<int> mOpen{0};   // open connections, in the loop or with a worker
    bool mAcceptPaused = false;
    bool mJobsWaiting = false;   // pages may wait in the gate: tick it
    bool mLogDirty = false;

    std::mutex mReturnLock;   // guards mReturned
    std::vector<std::pair<std::unique_ptr<Connection>, bool>> mReturned;
    std::atomic<bool> mStopAccepting{false};
    std::atomic<bool> mExit{false};
};

}  // namespace ferrolift::host

#include "host/HttpServer.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "host/Connection.h"
#include "host/HttpExchange.h"
#include "host/PageRunner.h"
#include "host/RequestHead.h"
#include "host/RunGate.h"
#include "host/StaticReply.h"
#include "host/UploadMark.h"
#include "host/WorkerPool.h"

namespace ferrolift::host {

namespace {

using Clock = std::chrono::steady_clock;

// A connection waiting for its next request may idle this long (at most --timeout).
constexpr int kIdleSeconds = 5;
// A connection we are closing reads and drops what the client still sends, for this
// long and this much at most, so that the client reads our answer instead of a reset.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr std::int64_t kLingerBytes = 1024 * 1024;
// A request body up to this size that has already arrived when its head is read runs
// its page on the page pool.
constexpr std::int64_t kReadyBody = 64 * 1024;
// When no run slot has been given back for this long, one waiting page runs anyway.
constexpr std::chrono::milliseconds kRunPatience(50);
// Requests without a body wait for a page thread in a queue this long at most.
constexpr std::size_t kPageQueue = 4096;
// Threads of the upload pool run pages too (the script engine and the component), but
// never deep recursion of the site's own making beyond what this holds; sanitizers
// need room for their red zones.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kUploadStack = 8 * 1024 * 1024;
#else
constexpr std::size_t kUploadStack = 1024 * 1024;
#endif

std::string LogStamp()
{
    thread_local std::time_t tSecond = 0;
    thread_local char tText[32] = "";
    std::time_t theNow = std::time(nullptr);
    if (theNow != tSecond) {
        tSecond = theNow;
        std::tm theTime{};
        gmtime_r(&theNow, &theTime);
        std::strftime(tText, sizeof tText, "%d/%b/%Y:%H:%M:%S +0000", &theTime);
    }
    return tText;
}

}  // namespace

/// A request on its way to a worker; gives the connection back when done.
class HttpServer::RequestTask : public WorkerPool::Task {
public:
    RequestTask(HttpServer& inServer, std::unique_ptr<Connection> inConnection, std::unique_ptr<RequestHead> inHead,
                Route inRoute)
        : mServer(inServer), mConnection(std::move(inConnection)), mHead(std::move(inHead)), mRoute(std::move(inRoute))
    {
    }
    /// Requests without a body (pages, progress polls) go before uploads.
    RunGate::Rank Rank() const { return mHead->ContentLength() > 0 ? RunGate::Rank::Normal : RunGate::Rank::Ahead; }
    /// The gate gave this request its run slot before a thread took it.
    void SetAdmitted() { mAdmitted = true; }
    void Run() override
    {
        if (!mAdmitted) {
            RunGate::Slot theSlot(*mServer.mGate, Rank());
            Serve();
            return;
        }
        RunGate::Slot theSlot(*mServer.mGate, Rank(), RunGate::kAdmitted);
        Serve();
        mNext = theSlot.Pass();   // the page whose turn it is runs on this thread, now
    }
    std::unique_ptr<WorkerPool::Task> TakeNext() override { return std::move(mNext); }
    std::unique_ptr<Connection> TakeConnection() { return std::move(mConnection); }
    std::unique_ptr<RequestHead> TakeHead() { return std::move(mHead); }

private:
    void Serve()
    {
        bool theKeepAlive = mServer.RunRequest(*mConnection, *mHead, mRoute);
        mServer.Return(std::move(mConnection), theKeepAlive);
    }

    HttpServer& mServer;
    std::unique_ptr<Connection> mConnection;
    std::unique_ptr<RequestHead> mHead;
    Route mRoute;
    bool mAdmitted = false;
    std::unique_ptr<WorkerPool::Task> mNext;
};

HttpServer::HttpServer(ServerOptions inOptions)
    : mOptions(std::move(inOptions)), mPaths(mOptions.root), mRouter(mPaths, static_cast<bool>(mOptions.handler))
{
}

HttpServer::~HttpServer()
{
    Stop();
}

bool HttpServer::Start(std::string& outError)
{
    if (!mOptions.handler) {
        if (!mPaths.Valid()) {
            outError = "the site folder '" + mOptions.root + "' does not exist";
            return false;
        }
        // Uploads are told from site files by a mark on the file; where no mark can be
        // kept, every file would count as an upload and no page could run.
        if (!VolumeCanMark(mPaths.Root())) {
            outError = "the site folder '" + mPaths.Root() +
                       "' is on a volume without extended attributes (user.*), which cannot keep the mark "
                       "that tells visitors' uploads from site files; use another volume or enable user_xattr";
            return false;
        }
    }
    mCache = std::make_unique<PageCache>(mPaths.Root());
    // Every connection is a descriptor; a few are kept for files being served and pages.
    rlimit theLimit{};
    int theFdRoom = mOptions.maxConnections;
    if (getrlimit(RLIMIT_NOFILE, &theLimit) == 0 && theLimit.rlim_cur != RLIM_INFINITY)
        theFdRoom = static_cast<int>(std::min<rlim_t>(theLimit.rlim_cur, 1 << 24)) - 64;
    mMaxConnections = std::max(1, std::min(mOptions.maxConnections, theFdRoom));
    if (!Listen(outError))
        return false;
    mEpoll.Reset(epoll_create1(EPOLL_CLOEXEC));
    mWake.Reset(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!mEpoll || !mWake) {
        outError = std::string("cannot create the event loop: ") + std::strerror(errno);
        return false;
    }
    epoll_event theEvent{};
    theEvent.events = EPOLLIN;
    theEvent.data.fd = mListen.Get();
    epoll_ctl(mEpoll.Get(), EPOLL_CTL_ADD, mListen.Get(), &theEvent);
    theEvent.data.fd = mWake.Get();
    epoll_ctl(mEpoll.Get(), EPOLL_CTL_ADD, mWake.Get(), &theEvent);
    int theSlots = mOptions.runningPages;
    if (theSlots <= 0)
        theSlots = static_cast<int>(std::max(2u, std::thread::hardware_concurrency()));
    // Pages wait for a run slot in the gate, not on a thread; the pool only runs them.
    mPagePool = std::make_unique<WorkerPool>(mOptions.threads, kPageQueue, 0);
    mGate = std::make_unique<RunGate>(theSlots, kRunPatience, mPagePool.get(), kPageQueue);
    mUploadPool = std::make_unique<WorkerPool>(mOptions.maxUploads, 0, kUploadStack);
    mLoop = std::thread([this] { Loop(); });
    return true;
}

bool HttpServer::Listen(std::string& outError)
{
    std::string theHost;
    std::string thePort = mOptions.listen;
    std::size_t theColon = mOptions.listen.rfind(':');
    if (theColon != std::string::npos) {
        theHost = mOptions.listen.substr(0, theColon);
        thePort = mOptions.listen.substr(theColon + 1);
    }
    if (theHost.size() >= 2 && theHost.front() == '[' && theHost.back() == ']')
        theHost = theHost.substr(1, theHost.size() - 2);
    addrinfo theHints{};
    theHints.ai_family = AF_UNSPEC;
    theHints.ai_socktype = SOCK_STREAM;
    theHints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* theAddresses = nullptr;
    if (getaddrinfo(theHost.empty() ? nullptr : theHost.c_str(), thePort.c_str(), &theHints, &theAddresses) != 0) {
        outError = "cannot listen on " + mOptions.listen + ": not a HOST:PORT address";
        return false;
    }
    std::string theReason = "no address";
    for (addrinfo* a = theAddresses; a != nullptr && !mListen; a = a->ai_next) {
        UniqueFd theSocket(socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        int theOn = 1;
        if (theSocket)
            setsockopt(theSocket.Get(), SOL_SOCKET, SO_REUSEADDR, &theOn, sizeof theOn);
        if (!theSocket || bind(theSocket.Get(), a->ai_addr, a->ai_addrlen) != 0 || listen(theSocket.Get(), 1024) != 0) {
            theReason = std::strerror(errno);
            continue;
        }
        mListen = std::move(theSocket);
    }
    freeaddrinfo(theAddresses);
    if (!mListen) {
        outError = "cannot listen on " + mOptions.listen + ": " + theReason;
        return false;
    }
    sockaddr_storage theBound{};
    socklen_t theLength = sizeof theBound;
    getsockname(mListen.Get(), reinterpret_cast<sockaddr*>(&theBound), &theLength);
    mPort = ntohs(theBound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(theBound).sin6_port
                                                 : reinterpret_cast<sockaddr_in&>(theBound).sin_port);
    return true;
}

void HttpServer::Stop()
{
    if (!mLoop.joinable())
        return;
    mStopAccepting = true;
    std::uint64_t theOne = 1;
    (void)!write(mWake.Get(), &theOne, sizeof theOne);
    // Running requests finish; their connections come back to the loop, which closes them.
    // Uploads first: the slots they give back may start pages that wait in the gate.
    mUploadPool->Stop();
    mPagePool->Stop();
    mExit = true;
    (void)!write(mWake.Get(), &theOne, sizeof theOne);
    mLoop.join();
    if (mOptions.accessLog != nullptr)
        std::fflush(mOptions.accessLog);
}

// --- the event loop --------------------------------------------------------------

void HttpServer::Loop()
{
    epoll_event theEvents[256];
    Clock::time_point theLastSweep = Clock::now();
    Clock::time_point theLastTick = theLastSweep;
    for (;;) {
        // Pages waiting in the gate are looked at every patience, in case the pages
        // running are stuck.
        int theCount = epoll_wait(mEpoll.Get(), theEvents, 256, mJobsWaiting ? static_cast<int>(kRunPatience.count()) : 250);
        for (int i = 0; i < theCount; ++i) {
            int theFd = theEvents[i].data.fd;
            if (theFd == mListen.Get() && mListen)
                AcceptAll();
            else if (theFd == mWake.Get())
                TakeReturned();
            else
                OnEvent(theFd, theEvents[i].events);
        }
        const Clock::time_point theNow = Clock::now();
        if (mJobsWaiting && theNow - theLastTick >= kRunPatience) {
            theLastTick = theNow;
            mJobsWaiting = mGate->Tick();
        }
        if (theNow - theLastSweep >= std::chrono::milliseconds(250)) {
            theLastSweep = theNow;
            Sweep();
        }
        std::lock_guard<std::mutex> theGuard(mReturnLock);
        if (mExit && mReturned.empty())
            break;
    }
    for (auto& theConnection : mConnections) {
        if (theConnection)
            Close(theConnection);
    }
}

void HttpServer::AcceptAll()
{
    for (int i = 0; i < 128; ++i) {
        if (mOpen.load() >= mMaxConnections) {
            PauseAccepting(true);
            return;
        }
        sockaddr_storage thePeer{};
        socklen_t theLength = sizeof thePeer;
        int theFd = accept4(mListen.Get(), reinterpret_cast<sockaddr*>(&thePeer), &theLength,
                            SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (theFd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                PauseAccepting(true);   // the sweep tries again once something closed
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        int theOn = 1;
        setsockopt(theFd, IPPROTO_TCP, TCP_NODELAY, &theOn, sizeof theOn);
        auto theConnection = std::make_unique<Connection>(UniqueFd(theFd), thePeer, mPort);
        theConnection->SetDeadline(Clock::now() + std::chrono::seconds(std::min(kIdleSeconds, mOptions.timeoutSeconds)));
        if (static_cast<std::size_t>(theFd) >= mConnections.size())
            mConnections.resize(static_cast<std::size_t>(theFd) + 1);
        ++mOpen;
        Watch(*theConnection, EPOLLIN, true);
        mConnections[static_cast<std::size_t>(theFd)] = std::move(theConnection);
    }
}

void HttpServer::PauseAccepting(bool inPause)
{
    if (inPause == mAcceptPaused || !mListen)
        return;
    mAcceptPaused = inPause;
    epoll_event theEvent{};
    theEvent.events = EPOLLIN;
    theEvent.data.fd = mListen.Get();
    epoll_ctl(mEpoll.Get(), inPause ? EPOLL_CTL_DEL : EPOLL_CTL_ADD, mListen.Get(), &theEvent);
}

void HttpServer::Watch(Connection& inConnection, unsigned inEvents, bool inAdd)
{
    epoll_event theEvent{};
    theEvent.events = inEvents;
    theEvent.data.fd = inConnection.Fd();
    epoll_ctl(mEpoll.Get(), inAdd ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, inConnection.Fd(), &theEvent);
}

void HttpServer::OnEvent(int inFd, unsigned inEvents)
{
    if (inFd < 0 || static_cast<std::size_t>(inFd) >= mConnections.size() || !mConnections[static_cast<std::size_t>(inFd)])
        return;   // handed to a worker, or closed earlier in this batch
    std::unique_ptr<Connection>& theConnection = mConnections[static_cast<std::size_t>(inFd)];
    switch (theConnection->CurrentPhase()) {
    case Connection::Phase::Head: {
        Connection::Fill theFill = theConnection->ReadAvailable();
        if (theFill == Connection::Fill::Closed)
            Close(theConnection);
        else if (theFill == Connection::Fill::Data)
            Process(theConnection);
        break;
    }
    case Connection::Phase::Output:
        if (theConnection->SendQueued()) {
            if (theConnection->CloseAfterOutput()) {
                Linger(theConnection);
                break;
            }
            theConnection->SetPhase(Connection::Phase::Head);
            theConnection->SetStarted({});
            Watch(*theConnection, EPOLLIN, false);
            Process(theConnection);
        } else if (theConnection->Failed() || (inEvents & (EPOLLERR | EPOLLHUP)) != 0) {
            Close(theConnection);
        } else {
            theConnection->SetDeadline(Clock::now() + std::chrono::seconds(mOptions.timeoutSeconds));
        }
        break;
    case Connection::Phase::Linger: {
        Connection::Fill theFill = theConnection->ReadAvailable(64 * 1024);
        theConnection->Discarded() += static_cast<std::int64_t>(theConnection->Pending().size());
        theConnection->Consume(theConnection->Pending().size());
        if (theFill == Connection::Fill::Closed || theConnection->Discarded() > kLingerBytes)
            Close(theConnection);
        break;
    }
    }
}

void HttpServer::Process(std::unique_ptr<Connection>& inOutConnection)
{
    for (;;) {
        Clock::time_point theNow = Clock::now();
        if (inOutConnection->Pending().empty()) {
            inOutConnection->SetStarted({});
            inOutConnection->SetDeadline(theNow + std::chrono::seconds(std::min(kIdleSeconds, mOptions.timeoutSeconds)));
            return;
        }
        // The whole head must arrive within the timeout, however slowly it trickles.
        if (inOutConnection->Started() == Clock::time_point{}) {
            inOutConnection->SetStarted(theNow);
            inOutConnection->SetDeadline(theNow + std::chrono::seconds(mOptions.timeoutSeconds));
        }
        auto theHead = std::make_unique<RequestHead>();
        std::size_t theUsed = 0;
        RequestHead::Result theResult = theHead->Parse(inOutConnection->Pending(), theUsed);
        if (theResult == RequestHead::Result::Incomplete)
            return;
        if (theResult == RequestHead::Result::Error) {
            StaticReply theReply = StaticReply::ForStatus(theHead->ErrorStatus(), theHead->ErrorText(), false, false);
            Answer(inOutConnection, theReply, *theHead, false);
            return;
        }
        inOutConnection->Consume(theUsed);
        Route theRoute = mRouter.Resolve(*theHead);
        if (theRoute.kind == Route::Kind::Page) {
            Dispatch(inOutConnection, std::move(theHead), std::move(theRoute));
            return;
        }
        // A body sent to anything but a page is not read: the connection ends after the answer.
        bool theKeepAlive = theHead->KeepAlive() && theHead->ContentLength() == 0 && !mStopAccepting;
        bool theHeadOnly = theHead->Method() == "HEAD";
        StaticReply theReply;
        if (theRoute.kind == Route::Kind::Redirect) {
            theReply = StaticReply::ForStatus(301, "Moved Permanently", theKeepAlive, theHeadOnly,
                                              "Location: " + theRoute.virtualPath + "\r\n");
        } else if (theRoute.kind == Route::Kind::Status) {
            theReply = StaticReply::ForStatus(theRoute.status, theRoute.text, theKeepAlive, theHeadOnly);
        } else if (theHead->Method() != "GET" && !theHeadOnly) {
            theReply = StaticReply::ForStatus(405, "Method Not Allowed", theKeepAlive, false, "Allow: GET, HEAD\r\n");
        } else if (!StaticReply::ForFile(*theHead, theRoute.physicalPath, theRoute.kind == Route::Kind::Download,
                                         theKeepAlive, theReply)) {
            theReply = StaticReply::ForStatus(404, "Not Found", theKeepAlive, theHeadOnly);
        }
        if (!Answer(inOutConnection, theReply, *theHead, theKeepAlive))
            return;
    }
}

bool HttpServer::Answer(std::unique_ptr<Connection>& inOutConnection, StaticReply& inReply, const RequestHead& inHead,
                        bool inKeepAlive)
{
    LogRequest(*inOutConnection, inHead, inReply.status, inReply.bodyBytes);
    ++inOutConnection->Served();
    inOutConnection->QueueOutput(std::move(inReply.head), std::move(inReply.file), inReply.offset, inReply.length);
    inOutConnection->SetCloseAfterOutput(!inKeepAlive);
    if (inOutConnection->SendQueued()) {
        if (!inKeepAlive) {
            Linger(inOutConnection);
            return false;
        }
        inOutConnection->SetStarted({});
        return true;
    }
    if (inOutConnection->Failed()) {
        Close(inOutConnection);
        return false;
    }
    inOutConnection->SetPhase(Connection::Phase::Output);
    inOutConnection->SetDeadline(Clock::now() + std::chrono::seconds(mOptions.timeoutSeconds));
    Watch(*inOutConnection, EPOLLOUT, false);
    return false;
}

void HttpServer::Dispatch(std::unique_ptr<Connection>& inOutConnection, std::unique_ptr<RequestHead> inHead,
                          Route inRoute)
{
    // A body that is already here (a small form, sent with its head) is read from memory
    // at once, so its page needs no thread of its own and queues with the other pages.
    bool theUpload = inHead->ContentLength() > 0 && !BodyArrived(*inOutConnection, inHead->ContentLength());
    epoll_ctl(mEpoll.Get(), EPOLL_CTL_DEL, inOutConnection->Fd(), nullptr);
    auto theRequest =
        std::make_unique<RequestTask>(*this, std::move(inOutConnection), std::move(inHead), std::move(inRoute));
    const RunGate::Rank theRank = theRequest->Rank();
    if (!theUpload)
        theRequest->SetAdmitted();
    std::unique_ptr<WorkerPool::Task> theTask = std::move(theRequest);
    if (theUpload) {
        if (mUploadPool->Submit(theTask))
            return;
    } else {
        RunGate::Admission theAdmission = mGate->Admit(theTask, theRank);
        if (theAdmission == RunGate::Admission::Queued)
            mJobsWaiting = true;
        if (theAdmission != RunGate::Admission::Refused)
            return;
    }
    // Every worker is busy: say so at once rather than let the site freeze.
    auto& theRefused = static_cast<RequestTask&>(*theTask);
    inOutConnection = theRefused.TakeConnection();
    std::unique_ptr<RequestHead> theHead = theRefused.TakeHead();
    Watch(*inOutConnection, EPOLLIN, true);
    StaticReply theReply = StaticReply::ForStatus(503, "Service Unavailable", false, theHead->Method() == "HEAD",
                                                  "Retry-After: 5\r\n");
    Answer(inOutConnection, theReply, *theHead, false);
}

bool HttpServer::BodyArrived(Connection& inConnection, std::int64_t inLength)
{
    if (inLength > kReadyBody)
        return false;
    const auto theLength = static_cast<std::size_t>(inLength);
    while (inConnection.Pending().size() < theLength) {
        if (inConnection.ReadAvailable(theLength - inConnection.Pending().size()) != Connection::Fill::Data)
            return false;
    }
    return true;
}

void HttpServer::Return(std::unique_ptr<Connection> inConnection, bool inKeepAlive)
{
    bool theFirst;
    {
        std::lock_guard<std::mutex> theGuard(mReturnLock);
        theFirst = mReturned.empty();
        mReturned.emplace_back(std::move(inConnection), inKeepAlive);
    }
    // One wake per batch: the loop reads the wake before it takes the list, so a list
    // that is not empty always has a wake pending.
    if (!theFirst)
        return;
    std::uint64_t theOne = 1;
    (void)!write(mWake.Get(), &theOne, sizeof theOne);
}

void HttpServer::TakeReturned()
{
    std::uint64_t theCount = 0;
    (void)!read(mWake.Get(), &theCount, sizeof theCount);
    std::vector<std::pair<std::unique_ptr<Connection>, bool>> theReturned;
    bool theStopping;
    {
        std::lock_guard<std::mutex> theGuard(mReturnLock);
        theReturned.swap(mReturned);
        theStopping = mStopAccepting;
    }
    if (theStopping && mListen) {
        // Stop: no new connections, idle ones closed; requests in workers finish.
        PauseAccepting(true);
        mListen.Reset();
        for (auto& theConnection : mConnections) {
            if (theConnection)
                Close(theConnection);
        }
    }
    for (auto& [theConnection, theKeepAlive] : theReturned) {
        std::size_t theFd = static_cast<std::size_t>(theConnection->Fd());
        std::unique_ptr<Connection>& theSlot = mConnections[theFd];
        theSlot = std::move(theConnection);
        if (theStopping) {
            Close(theSlot);
            continue;
        }
        Watch(*theSlot, EPOLLIN, true);
        if (!theKeepAlive) {
            Linger(theSlot);
            continue;
        }
        theSlot->SetPhase(Connection::Phase::Head);
        theSlot->SetStarted({});
        Process(theSlot);   // a pipelined request may already be waiting
    }
}

void HttpServer::Linger(std::unique_ptr<Connection>& inOutConnection)
{
    inOutConnection->ShutdownWrite();
    inOutConnection->Consume(inOutConnection->Pending().size());
    inOutConnection->SetPhase(Connection::Phase::Linger);
    inOutConnection->SetDeadline(Clock::now() + kLingerTime);
    Watch(*inOutConnection, EPOLLIN, false);
}

void HttpServer::Close(std::unique_ptr<Connection>& inOutConnection)
{
    inOutConnection.reset();   // closing the socket also takes it out of the epoll set
    --mOpen;
    if (mAcceptPaused && mOpen.load() < mMaxConnections && !mStopAccepting)
        PauseAccepting(false);
}

void HttpServer::Sweep()
{
    Clock::time_point theNow = Clock::now();
    // At the connection cap, idle keep-alive connections make room for new clients, the
    // oldest (lowest descriptors) first, a sixteenth of the cap per sweep.
    int theRoom = mAcceptPaused ? std::max(1, mMaxConnections / 16) : 0;
    for (auto& theConnection : mConnections) {
        if (!theConnection)
            continue;
        bool theIdle = theConnection->CurrentPhase() == Connection::Phase::Head && theConnection->Pending().empty();
        if (theConnection->Deadline() < theNow) {
            // A loop that fell behind (a busy batch, a starved thread) may not have seen
            // a request that arrived in time: such a connection is not idle. Only a head
            // that is still incomplete past its own deadline is dropped.
            if (theConnection->CurrentPhase() == Connection::Phase::Head &&
                theConnection->ReadAvailable() == Connection::Fill::Data) {
                Process(theConnection);
                if (!theConnection || theConnection->CurrentPhase() != Connection::Phase::Head ||
                    theConnection->Deadline() >= theNow)
                    continue;
            }
            if (theConnection)
                Close(theConnection);
        } else if (theRoom > 0 && theIdle) {
            --theRoom;
            Close(theConnection);
        }
    }
    if (mAcceptPaused && mOpen.load() < mMaxConnections && mListen && !mStopAccepting)
        PauseAccepting(false);
    if (mOptions.accessLog != nullptr)
        std::fflush(mOptions.accessLog);
}

// --- pages ---------------------------------------------------------------------

bool HttpServer::RunRequest(Connection& inConnection, const RequestHead& inHead, const Route& inRoute)
{
    auto theExchange = std::make_shared<HttpExchange>(inConnection, inHead, mOptions.timeoutSeconds * 1000,
                                                      &mOptions.trustedProxies);
    if (mOptions.handler) {
        mOptions.handler(theExchange);
    } else {
        CompileError theCompileError;
        std::shared_ptr<const CompiledPage> thePage = mCache->Get(inRoute.physicalPath, theCompileError, &inRoute.file);
        if (thePage == nullptr) {
            PageError theError;
            theError.source = "Page compiler";
            theError.number = static_cast<std::int32_t>(0x80004005);
            theError.description = theCompileError.description;
            theError.file = theCompileError.file;
            theError.line = theCompileError.line;
            PageRunner::WriteError(*theExchange, theError);
        } else {
            PageRunner::Run(theExchange, mPaths, *thePage, inRoute.virtualPath, inRoute.physicalPath);
        }
    }
    theExchange->Finish();
    ++inConnection.Served();
    LogRequest(inConnection, inHead, theExchange->Status(), theExchange->BytesSent());
    return theExchange->KeepAlive();
}

void HttpServer::LogRequest(const Connection& inConnection, const RequestHead& inHead, int inStatus, long long inBytes)
{
    if (mOptions.accessLog == nullptr)
        return;
    Clock::time_point theStart = inConnection.Started() == Clock::time_point{} ? Clock::now() : inConnection.Started();
    double theMs = std::chrono::duration<double, std::milli>(Clock::now() - theStart).count();
    // The raw target is logged: the parser let no control character into it.
    // One call per line: stdio keeps lines whole across threads. Lines are flushed by the
    // loop a few times a second and at stop, not one by one.
    std::fprintf(mOptions.accessLog, "%s - - [%s] \"%s %s HTTP/%s\" %d %lld %.1fms\n",
                 inConnection.RemoteAddress().c_str(), LogStamp().c_str(),
                 inHead.Method().empty() ? "-" : inHead.Method().c_str(),
                 inHead.Target().empty() ? "-" : inHead.Target().c_str(), inHead.VersionText(), inStatus, inBytes,
                 theMs);
}

}  // namespace ferrolift::host

// LatencyProbe.cpp: see LatencyProbe.h.
#include "LatencyProbe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace {

// A probe that waits longer than this counts as failed: the page is as good as down.
constexpr int kProbeTimeoutMs = 10000;

// Closes the socket on every way out.
struct SocketOwner {
    int fd;
    explicit SocketOwner(int inFd) : fd(inFd) {}
    ~SocketOwner() { if (fd >= 0) ::close(fd); }
    SocketOwner(const SocketOwner&) = delete;
    SocketOwner& operator=(const SocketOwner&) = delete;
};

// Waits for inEvents until inDeadline; false on time-out.
bool WaitFor(int inSocket, short inEvents, std::chrono::steady_clock::time_point inDeadline)
{
    const auto theLeft = std::chrono::duration_cast<std::chrono::milliseconds>(inDeadline -
                                                                               std::chrono::steady_clock::now());
    if (theLeft.count() <= 0)
        return false;
    pollfd theWait{inSocket, inEvents, 0};
    return ::poll(&theWait, 1, static_cast<int>(theLeft.count())) > 0;
}

// One GET, Connection: close; the whole answer, or an empty string on failure.
std::string Fetch(const UploadTarget& inTarget, const std::string& inPathAndQuery)
{
    const auto theDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kProbeTimeoutMs);
    SocketOwner theSocket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (theSocket.fd < 0)
        return {};
    sockaddr_in theAddress{};
    theAddress.sin_family = AF_INET;
    theAddress.sin_port = htons(static_cast<uint16_t>(inTarget.port));
    inet_pton(AF_INET, inTarget.host.c_str(), &theAddress.sin_addr);
    timeval theTimeout{kProbeTimeoutMs / 1000, 0};
    ::setsockopt(theSocket.fd, SOL_SOCKET, SO_SNDTIMEO, &theTimeout, sizeof theTimeout);
    if (::connect(theSocket.fd, reinterpret_cast<const sockaddr*>(&theAddress), sizeof theAddress) != 0)
        return {};
    const std::string theRequest = "GET " + inPathAndQuery + " HTTP/1.1\r\nHost: " + inTarget.host + ":" +
                                   std::to_string(inTarget.port) + "\r\nConnection: close\r\n\r\n";
    if (::send(theSocket.fd, theRequest.data(), theRequest.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(theRequest.size()))
        return {};
    std::string theAnswer;
    char theBuffer[4096];
    while (WaitFor(theSocket.fd, POLLIN, theDeadline)) {
        const ssize_t theCount = ::recv(theSocket.fd, theBuffer, sizeof theBuffer, 0);
        if (theCount < 0)
            return {};
        if (theCount == 0)
            return theAnswer;
        theAnswer.append(theBuffer, static_cast<size_t>(theCount));
        if (theAnswer.size() > (1 << 20))
            return {};
    }
    return {};   // timed out
}

}  // namespace

LatencyProbe::LatencyProbe(UploadTarget inTarget, std::string inExpect)
    : mTarget(std::move(inTarget)), mExpect(std::move(inExpect))
{
}

void LatencyProbe::Once(const std::string& inQuery)
{
    const auto theStart = std::chrono::steady_clock::now();
    const std::string theAnswer = Fetch(mTarget, mTarget.path + inQuery);
    const double theMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - theStart).count();
    const size_t theHeadEnd = theAnswer.find("\r\n\r\n");
    const bool theGood = theAnswer.compare(0, 12, "HTTP/1.1 200") == 0 && theHeadEnd != std::string::npos &&
                         theAnswer.find(mExpect, theHeadEnd) != std::string::npos;
    std::lock_guard theGuard(mLock);
    if (theGood)
        mMilliseconds.push_back(theMs);
    else
        ++mFailed;
}

double LatencyProbe::Percentile(double inFraction) const
{
    std::lock_guard theGuard(mLock);
    if (mMilliseconds.empty())
        return NAN;
    std::vector<double> theSorted = mMilliseconds;
    std::sort(theSorted.begin(), theSorted.end());
    const size_t theIndex = static_cast<size_t>(std::ceil(inFraction * static_cast<double>(theSorted.size()))) - 1;
    return theSorted[std::min(theIndex, theSorted.size() - 1)];
}

double LatencyProbe::Worst() const
{
    std::lock_guard theGuard(mLock);
    return mMilliseconds.empty() ? NAN : *std::max_element(mMilliseconds.begin(), mMilliseconds.end());
}

size_t LatencyProbe::Answered() const
{
    std::lock_guard theGuard(mLock);
    return mMilliseconds.size();
}

size_t LatencyProbe::Failed() const
{
    std::lock_guard theGuard(mLock);
    return mFailed;
}

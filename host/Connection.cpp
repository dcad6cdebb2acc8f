#include "host/Connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/sendfile.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "host/RunGate.h"

namespace ferrolift::host {

namespace {

// Waits until inFd is ready for inEvents; false on timeout or error. A page waiting for
// its client leaves its run slot to another page meanwhile.
bool WaitFor(int inFd, short inEvents, int inTimeoutMs)
{
    RunGate::Wait theWait;
    pollfd thePoll{inFd, inEvents, 0};
    for (;;) {
        int theReady = ::poll(&thePoll, 1, inTimeoutMs);
        if (theReady > 0)
            return true;
        if (theReady == 0 || errno != EINTR)
            return false;
    }
}

}  // namespace

Connection::Connection(UniqueFd inSocket, const sockaddr_storage& inPeer, int inLocalPort)
    : mSocket(std::move(inSocket)), mLocalPort(inLocalPort)
{
    char theText[INET6_ADDRSTRLEN] = "";
    if (inPeer.ss_family == AF_INET) {
        const auto& thePeer = reinterpret_cast<const sockaddr_in&>(inPeer);
        inet_ntop(AF_INET, &thePeer.sin_addr, theText, sizeof theText);
        mRemotePort = ntohs(thePeer.sin_port);
    } else if (inPeer.ss_family == AF_INET6) {
        const auto& thePeer = reinterpret_cast<const sockaddr_in6&>(inPeer);
        inet_ntop(AF_INET6, &thePeer.sin6_addr, theText, sizeof theText);
        mRemotePort = ntohs(thePeer.sin6_port);
    }
    mRemoteAddress = theText;
}

void Connection::Consume(std::size_t inCount)
{
    mInputPos = std::min(mInput.size(), mInputPos + inCount);
    if (mInputPos == mInput.size()) {
        mInput.clear();
        mInputPos = 0;
    }
}

Connection::Fill Connection::ReadAvailable(std::size_t inMax)
{
    if (mInputPos > 0 && mInputPos >= mInput.size() / 2) {
        mInput.erase(0, mInputPos);
        mInputPos = 0;
    }
    std::size_t theOld = mInput.size();
    mInput.resize(theOld + inMax);
    ssize_t theCount;
    do {
        theCount = ::recv(Fd(), mInput.data() + theOld, inMax, 0);
    } while (theCount < 0 && errno == EINTR);
    mInput.resize(theOld + static_cast<std::size_t>(std::max<ssize_t>(theCount, 0)));
    if (theCount > 0)
        return Fill::Data;
    if (theCount < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return Fill::WouldBlock;
    return Fill::Closed;
}

std::int64_t Connection::ReadWait(char* outBuffer, std::size_t inCount, int inTimeoutMs)
{
    if (inCount == 0)
        return 0;
    std::string_view thePending = Pending();
    if (!thePending.empty()) {
        std::size_t theCount = std::min(inCount, thePending.size());
        std::memcpy(outBuffer, thePending.data(), theCount);
        Consume(theCount);
        return static_cast<std::int64_t>(theCount);
    }
    for (;;) {
        ssize_t theCount = ::recv(Fd(), outBuffer, inCount, 0);
        if (theCount > 0)
            return theCount;
        if (theCount == 0)
            return 0;
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !WaitFor(Fd(), POLLIN, inTimeoutMs))
            return 0;
    }
}

bool Connection::WriteWait(iovec* inParts, int inCount, int inTimeoutMs)
{
    while (inCount > 0) {
        if (inParts->iov_len == 0) {
            ++inParts;
            --inCount;
            continue;
        }
        msghdr theMessage{};
        theMessage.msg_iov = inParts;
        theMessage.msg_iovlen = static_cast<std::size_t>(std::min(inCount, IOV_MAX));
        ssize_t theSent = ::sendmsg(Fd(), &theMessage, MSG_NOSIGNAL);
        if (theSent < 0) {
            if (errno == EINTR)
                continue;
            if ((errno != EAGAIN && errno != EWOULDBLOCK) || !WaitFor(Fd(), POLLOUT, inTimeoutMs))
                return false;
            continue;
        }
        auto theLeft = static_cast<std::size_t>(theSent);
        while (inCount > 0 && theLeft >= inParts->iov_len) {
            theLeft -= inParts->iov_len;
            ++inParts;
            --inCount;
        }
        if (inCount > 0) {
            inParts->iov_base = static_cast<char*>(inParts->iov_base) + theLeft;
            inParts->iov_len -= theLeft;
        }
    }
    return true;
}

void Connection::QueueOutput(std::string inHead, UniqueFd inFile, off_t inOffset, std::int64_t inLength)
{
    mOutput = std::move(inHead);
    mOutputPos = 0;
    mFile = std::move(inFile);
    mFileOffset = inOffset;
    mFileLeft = mFile ? inLength : 0;
}

bool Connection::SendQueued()
{
    while (mOutputPos < mOutput.size()) {
        // MSG_MORE lets the head share a segment with the first bytes of the file.
        int theFlags = MSG_NOSIGNAL | (mFileLeft > 0 ? MSG_MORE : 0);
        ssize_t theSent = ::send(Fd(), mOutput.data() + mOutputPos, mOutput.size() - mOutputPos, theFlags);
        if (theSent < 0) {
            if (errno == EINTR)
                continue;
            mFailed = errno != EAGAIN && errno != EWOULDBLOCK;
            return false;
        }
        mOutputPos += static_cast<std::size_t>(theSent);
    }
    while (mFileLeft > 0) {
        std::size_t theChunk = static_cast<std::size_t>(std::min<std::int64_t>(mFileLeft, 1 << 20));
        ssize_t theSent = ::sendfile(Fd(), mFile.Get(), &mFileOffset, theChunk);
        if (theSent < 0) {
            if (errno == EINTR)
                continue;
            mFailed = errno != EAGAIN && errno != EWOULDBLOCK;
            return false;
        }
        if (theSent == 0) {   // the file shrank under us: the promised length cannot be kept
            mFailed = true;
            return false;
        }
        mFileLeft -= theSent;
    }
    mOutput.clear();
    mOutputPos = 0;
    mFile.Reset();
    return true;
}

void Connection::ShutdownWrite()
{
    ::shutdown(Fd(), SHUT_WR);
}

}  // namespace ferrolift::host

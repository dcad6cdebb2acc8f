// SlowUpload.cpp: see SlowUpload.h.
#include "SlowUpload.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

// Answers larger than this are not the small text pages this client talks to.
constexpr size_t kMaxAnswer = 1 << 20;

}  // namespace

SlowUpload::SlowUpload(const UploadTarget& inTarget, int inNumber, size_t inFileSize, double inBytesPerSecond)
    : mNumber(inNumber), mBody(inNumber, inFileSize), mRate(inBytesPerSecond)
{
    const char theJoin = inTarget.path.find('?') == std::string::npos ? '?' : '&';
    mRequest = "POST " + inTarget.path + theJoin + "slot=slow-" + std::to_string(inNumber) +
               "&ID=" + std::to_string(ProgressId()) + " HTTP/1.1\r\nHost: " + inTarget.host + ":" +
               std::to_string(inTarget.port) + "\r\nContent-Type: " + mBody.ContentType() +
               "\r\nContent-Length: " + std::to_string(mBody.Size()) + "\r\nConnection: close\r\n\r\n";
    mTargetAddress.sin_family = AF_INET;
    mTargetAddress.sin_port = htons(static_cast<uint16_t>(inTarget.port));
    inet_pton(AF_INET, inTarget.host.c_str(), &mTargetAddress.sin_addr);
}

SlowUpload::~SlowUpload()
{
    if (mSocket >= 0)
        ::close(mSocket);
}

bool SlowUpload::Start(Clock::time_point inNow)
{
    mBegin = inNow;
    mSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (mSocket < 0) {
        Finish(std::strerror(errno));
        return false;
    }
    if (::connect(mSocket, reinterpret_cast<const sockaddr*>(&mTargetAddress), sizeof mTargetAddress) == 0) {
        mConnected = true;
    } else if (errno != EINPROGRESS) {
        Finish(std::strerror(errno));
        return false;
    }
    return true;
}

void SlowUpload::Pump(Clock::time_point inNow)
{
    if (mFinished || mSocket < 0)
        return;
    if (!mConnected) {
        int theError = 0;
        socklen_t theLength = sizeof theError;
        ::getsockopt(mSocket, SOL_SOCKET, SO_ERROR, &theError, &theLength);
        if (theError != 0) {
            Finish(std::strerror(theError));
            return;
        }
        sockaddr_in thePeer{};
        socklen_t thePeerLength = sizeof thePeer;
        if (::getpeername(mSocket, reinterpret_cast<sockaddr*>(&thePeer), &thePeerLength) != 0)
            return;   // still connecting
        mConnected = true;
    }
    // The head goes at once; the body follows at the rate, counted from the start.
    const double theElapsed = std::chrono::duration<double>(inNow - mBegin).count();
    const size_t theTotal = mRequest.size() + mBody.Size();
    const size_t theAllowed = std::min(theTotal, mRequest.size() + static_cast<size_t>(theElapsed * mRate));
    char theBuffer[16384];
    while (mSent < theAllowed) {
        size_t theCount = std::min(sizeof theBuffer, theAllowed - mSent);
        if (mSent < mRequest.size()) {
            theCount = std::min(theCount, mRequest.size() - mSent);
            std::memcpy(theBuffer, mRequest.data() + mSent, theCount);
        } else {
            theCount = mBody.Read(mSent - mRequest.size(), theBuffer, theCount);
        }
        const ssize_t theWritten = ::send(mSocket, theBuffer, theCount, MSG_NOSIGNAL);
        if (theWritten < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;   // the server reads slower than the rate; catch up later
            // A server that refused the upload may have answered before closing.
            const int theError = errno;
            OnReadable();
            if (!mFinished)
                Finish(std::strerror(theError));
            return;
        }
        mSent += static_cast<size_t>(theWritten);
    }
}

void SlowUpload::OnReadable()
{
    if (mFinished || mSocket < 0)
        return;
    char theBuffer[16384];
    for (;;) {
        const ssize_t theCount = ::recv(mSocket, theBuffer, sizeof theBuffer, 0);
        if (theCount > 0) {
            mAnswer.append(theBuffer, static_cast<size_t>(theCount));
            if (mAnswer.size() > kMaxAnswer) {
                Finish("answer too large");
                return;
            }
            if (ParseAnswer(false))
                return;
            continue;
        }
        if (theCount == 0) {
            if (!ParseAnswer(true))
                Finish(mAnswer.empty() ? "closed without an answer" : "answer cut short");
            return;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        const int theError = errno;
        if (!ParseAnswer(true))
            Finish(std::strerror(theError));
        return;
    }
}

// True (and finished) once the answer is complete: its headers and Content-Length bytes,
// or everything up to the end of the connection when it names no length.
bool SlowUpload::ParseAnswer(bool inAtEnd)
{
    const size_t theHeadEnd = mAnswer.find("\r\n\r\n");
    if (theHeadEnd == std::string::npos)
        return false;
    if (mAnswer.compare(0, 5, "HTTP/") != 0) {
        Finish("not an HTTP answer");
        return true;
    }
    const size_t theSpace = mAnswer.find(' ');
    const int theStatus = theSpace < theHeadEnd ? std::atoi(mAnswer.c_str() + theSpace + 1) : 0;
    long long theLength = -1;
    bool theRetryAfter = false;
    for (size_t theLine = mAnswer.find("\r\n") + 2; theLine < theHeadEnd;) {
        const size_t theNext = mAnswer.find("\r\n", theLine);
        const std::string theHeader = mAnswer.substr(theLine, theNext - theLine);
        if (strncasecmp(theHeader.c_str(), "Content-Length:", 15) == 0)
            theLength = std::atoll(theHeader.c_str() + 15);
        if (strncasecmp(theHeader.c_str(), "Retry-After:", 12) == 0)
            theRetryAfter = true;
        theLine = theNext + 2;
    }
    const size_t theBodyBytes = mAnswer.size() - theHeadEnd - 4;
    if (theLength >= 0 ? theBodyBytes < static_cast<size_t>(theLength) : !inAtEnd)
        return false;
    mStatus = theStatus;
    mRetryAfter = theRetryAfter;
    Finish(nullptr);
    return true;
}

void SlowUpload::Abandon(const char* inWhy)
{
    if (!mFinished)
        Finish(inWhy);
}

void SlowUpload::Finish(const char* inFailure)
{
    mFinished = true;
    mEnd = Clock::now();
    if (inFailure != nullptr)
        mFailure = inFailure;
    if (mSocket >= 0) {
        ::close(mSocket);
        mSocket = -1;
    }
}

// Connection.h: one accepted client socket (non-blocking, TCP_NODELAY) with the bytes it
// sent that nobody consumed yet, and the reply still waiting to go out. The event loop
// uses the non-blocking calls; a worker thread that owns the connection for a page uses
// the ...Wait calls, which poll() with a timeout instead of blocking forever.
//
//   ferrolift::host::Connection theConnection(theFd, thePeer, 8080);
//   theConnection.ReadAvailable();                  // event loop: EPOLLIN
//   std::string_view theBytes = theConnection.Pending();
//   theConnection.Consume(theHeadLength);
//   char theBody[4096];
//   std::int64_t theGot = theConnection.ReadWait(theBody, sizeof theBody, 30000);  // worker
#pragma once

#include <sys/socket.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/UniqueFd.h"

namespace ferrolift::host {

/// A client connection. Owned by exactly one thread at a time: the event loop, or the
/// worker running a request from it.
class Connection {
public:
    using Clock = std::chrono::steady_clock;

    /// What a non-blocking read found.
    enum class Fill { Data, WouldBlock, Closed };
    /// Where the event loop is with this connection.
    enum class Phase { Head, Output, Linger };

    Connection(UniqueFd inSocket, const sockaddr_storage& inPeer, int inLocalPort);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int Fd() const { return mSocket.Get(); }
    const std::string& RemoteAddress() const { return mRemoteAddress; }
    int RemotePort() const { return mRemotePort; }
    int LocalPort() const { return mLocalPort; }

    // --- input -------------------------------------------------------------------
    /// Bytes received and not yet consumed (the next request head, or body bytes).
    std::string_view Pending() const { return std::string_view(mInput).substr(mInputPos); }
    void Consume(std::size_t inCount);
    /// Appends what the socket has (up to inMax bytes) without blocking.
    Fill ReadAvailable(std::size_t inMax = 16 * 1024);
    /// Worker: up to inCount bytes, pending ones first, waiting at most inTimeoutMs for
    /// the first byte; 0 when the client closed, failed or stayed silent that long.
    std::int64_t ReadWait(char* outBuffer, std::size_t inCount, int inTimeoutMs);

    // --- output ------------------------------------------------------------------
    /// Worker: sends all of inParts, waiting at most inTimeoutMs whenever the client
    /// does not take more; false when it failed or stalled.
    bool WriteWait(iovec* inParts, int inCount, int inTimeoutMs);
    /// Event loop: queues a reply: inHead, then inLength bytes of inFile from inOffset.
    void QueueOutput(std::string inHead, UniqueFd inFile = {}, off_t inOffset = 0, std::int64_t inLength = 0);
    /// Event loop: sends queued output without blocking. True when all of it is out;
    /// false when the socket is full (wait for EPOLLOUT) or failed (Failed()).
    bool SendQueued();
    bool Failed() const { return mFailed; }

    /// Sends FIN but keeps reading, so the client sees our answer rather than a reset
    /// caused by the request bytes it is still sending.
    void ShutdownWrite();

    // --- event loop bookkeeping ----------------------------------------------------
    Phase CurrentPhase() const { return mPhase; }
    void SetPhase(Phase inPhase) { mPhase = inPhase; }
    Clock::time_point Deadline() const { return mDeadline; }
    void SetDeadline(Clock::time_point inDeadline) { mDeadline = inDeadline; }
    /// When the current head started to arrive (for the access log's duration).
    Clock::time_point Started() const { return mStarted; }
    void SetStarted(Clock::time_point inStarted) { mStarted = inStarted; }
    /// Whether the connection closes once the queued output is out.
    bool CloseAfterOutput() const { return mCloseAfterOutput; }
    void SetCloseAfterOutput(bool inClose) { mCloseAfterOutput = inClose; }
    /// Bytes dropped while lingering.
    std::int64_t& Discarded() { return mDiscarded; }
    /// Requests answered on this connection so far.
    int& Served() { return mServed; }

private:
    UniqueFd mSocket;
    std::string mRemoteAddress;
    int mRemotePort = 0;
    int mLocalPort = 0;

    std::string mInput;
    std::size_t mInputPos = 0;

    std::string mOutput;
    std::size_t mOutputPos = 0;
    UniqueFd mFile;
    off_t mFileOffset = 0;
    std::int64_t mFileLeft = 0;
    bool mFailed = false;

    Phase mPhase = Phase::Head;
    Clock::time_point mDeadline{};
    Clock::time_point mStarted{};
    bool mCloseAfterOutput = false;
    std::int64_t mDiscarded = 0;
    int mServed = 0;
};

}  // namespace ferrolift::host

// SlowUpload: one upload that trickles its body over its own connection at a set rate,
// then reads the answer. Driven by the caller's event loop: Start, then Pump on every
// tick and OnReadable when the socket has data, until Finished.
//
//   SlowUpload theUpload(theTarget, 7, 409600, 20480);
//   theUpload.Start(theNow);                        // non-blocking connect
//   epoll_ctl(..., theUpload.Socket(), ...);
//   theUpload.Pump(theNow);                         // sends what the rate allows
//   if (theUpload.Finished()) theUpload.Status();   // 200, 503, ... or 0 on failure
#pragma once

#include "UploadBody.h"

#include <netinet/in.h>

#include <chrono>
#include <string>

struct UploadTarget {
    std::string host = "127.0.0.1";
    int port = 0;
    std::string path = "/upload.asp";   // slot= and ID= are appended
};

class SlowUpload {
public:
    using Clock = std::chrono::steady_clock;

    SlowUpload(const UploadTarget& inTarget, int inNumber, size_t inFileSize, double inBytesPerSecond);
    ~SlowUpload();
    SlowUpload(const SlowUpload&) = delete;
    SlowUpload& operator=(const SlowUpload&) = delete;

    // Opens the connection; false (with Failure set) when the socket cannot be made.
    bool Start(Clock::time_point inNow);
    // Sends as much as the rate allows by inNow; finishes the connect first.
    void Pump(Clock::time_point inNow);
    // Reads what the server sent; a complete answer (even before the body is all sent,
    // as a refusal is) finishes the upload.
    void OnReadable();
    // Gives up: the upload counts as unfinished.
    void Abandon(const char* inWhy);

    int Socket() const { return mSocket; }
    int Number() const { return mNumber; }
    int ProgressId() const { return 1000000 + mNumber; }
    bool Started() const { return mSocket >= 0 || mFinished; }
    bool Finished() const { return mFinished; }
    bool BodySent() const { return mSent == mRequest.size() + mBody.Size(); }
    int Status() const { return mStatus; }
    bool RetryAfter() const { return mRetryAfter; }
    const std::string& Failure() const { return mFailure; }
    const UploadBody& Body() const { return mBody; }
    double Seconds() const { return std::chrono::duration<double>(mEnd - mBegin).count(); }

private:
    void Finish(const char* inFailure);
    bool ParseAnswer(bool inAtEnd);

    int mNumber;
    UploadBody mBody;
    std::string mRequest;   // request line and headers
    double mRate;
    sockaddr_in mTargetAddress{};
    int mSocket = -1;
    bool mConnected = false;
    bool mFinished = false;
    bool mRetryAfter = false;
    size_t mSent = 0;
    int mStatus = 0;
    std::string mAnswer;
    std::string mFailure;
    Clock::time_point mBegin;
    Clock::time_point mEnd;
};

// LatencyProbe: times single GET requests, each on a fresh connection as a browser's
// poll would often be, and keeps the figures.
//
//   LatencyProbe theProbe({"127.0.0.1", 8080, "/static.txt"}, "hello");
//   theProbe.Once();                  // one request, at most kProbeTimeout long
//   theProbe.Percentile(0.99);        // milliseconds, over the answers that came back
#pragma once

#include "SlowUpload.h"

#include <mutex>
#include <string>
#include <vector>

class LatencyProbe {
public:
    // inExpect: text the answer's body must contain to count as good (may be empty).
    LatencyProbe(UploadTarget inTarget, std::string inExpect);

    // Sends one request to the target path with inQuery appended and waits for the answer.
    void Once(const std::string& inQuery = "");

    double Percentile(double inFraction) const;
    double Worst() const;
    size_t Answered() const;
    size_t Failed() const;

private:
    UploadTarget mTarget;
    std::string mExpect;
    mutable std::mutex mLock;
    std::vector<double> mMilliseconds;   // good answers only
    size_t mFailed = 0;
};

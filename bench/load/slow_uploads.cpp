// slow_uploads: opens many connections at once and trickles a multipart upload over each
// at a set rate, while two probes time a static file and progress polls; then checks each
// saved file byte for byte. Prints key=value lines for bench/load/run.sh, and a summary
// on standard error.
//
// Usage: slow_uploads --port P [--host 127.0.0.1] [--path /upload.asp] [--count 1000]
//          [--size 409600] [--rate 20480] [--ramp 2] [--deadline 120]
//          [--static /static.txt] [--poll /progress.asp] [--interval-ms 50]
//          [--saved DIR]
// --saved names the folder where the server saves upload N as slow-N.bin; each file is
// removed once checked. An empty --static or --poll turns that probe off.
#include "LatencyProbe.h"
#include "SlowUpload.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    UploadTarget target;
    int count = 1000;
    size_t size = 409600;
    double rate = 20480;
    double rampSeconds = 2;
    double deadlineSeconds = 120;
    std::string staticPath = "/static.txt";
    std::string pollPath = "/progress.asp";
    int intervalMs = 50;
    std::string savedDir;
};

bool ParseOptions(int inCount, char** inArguments, Options& outOptions)
{
    for (int i = 1; i + 1 < inCount; i += 2) {
        const std::string theName = inArguments[i];
        const std::string theValue = inArguments[i + 1];
        if (theName == "--port") outOptions.target.port = std::atoi(theValue.c_str());
        else if (theName == "--host") outOptions.target.host = theValue;
        else if (theName == "--path") outOptions.target.path = theValue;
        else if (theName == "--count") outOptions.count = std::atoi(theValue.c_str());
        else if (theName == "--size") outOptions.size = std::strtoull(theValue.c_str(), nullptr, 10);
        else if (theName == "--rate") outOptions.rate = std::atof(theValue.c_str());
        else if (theName == "--ramp") outOptions.rampSeconds = std::atof(theValue.c_str());
        else if (theName == "--deadline") outOptions.deadlineSeconds = std::atof(theValue.c_str());
        else if (theName == "--static") outOptions.staticPath = theValue;
        else if (theName == "--poll") outOptions.pollPath = theValue;
        else if (theName == "--interval-ms") outOptions.intervalMs = std::atoi(theValue.c_str());
        else if (theName == "--saved") outOptions.savedDir = theValue;
        else return false;
    }
    return inCount % 2 == 1 && outOptions.target.port > 0 && outOptions.count > 0 && outOptions.rate > 0;
}

// Runs inProbe every interval until inStop; inQuery picks the query of each request.
template <typename QueryFn>
std::thread ProbeLoop(LatencyProbe& inProbe, int inIntervalMs, const std::atomic<bool>& inStop, QueryFn inQuery)
{
    return std::thread([&inProbe, inIntervalMs, &inStop, inQuery] {
        auto theNext = std::chrono::steady_clock::now();
        for (unsigned theRound = 0; !inStop.load(); ++theRound) {
            inProbe.Once(inQuery(theRound));
            theNext += std::chrono::milliseconds(inIntervalMs);
            const auto theNow = std::chrono::steady_clock::now();
            if (theNext < theNow)
                theNext = theNow;   // a slow answer skips rounds instead of bunching them
            std::this_thread::sleep_until(theNext);
        }
    });
}

void PrintProbe(const char* inName, const LatencyProbe& inProbe)
{
    std::printf("%s_p50_ms=%.2f\n%s_p99_ms=%.2f\n%s_max_ms=%.2f\n%s_answered=%zu\n%s_failed=%zu\n", inName,
                inProbe.Percentile(0.50), inName, inProbe.Percentile(0.99), inName, inProbe.Worst(), inName,
                inProbe.Answered(), inName, inProbe.Failed());
}

}  // namespace

int main(int inCount, char** inArguments)
{
    Options theOptions;
    if (!ParseOptions(inCount, inArguments, theOptions)) {
        std::fprintf(stderr, "usage: slow_uploads --port P [--path /upload.asp] [--count N] [--size BYTES] "
                             "[--rate BYTES_PER_S] [--ramp S] [--deadline S] [--static PATH] [--poll PATH] "
                             "[--interval-ms MS] [--saved DIR]\n");
        return 2;
    }
    std::vector<std::unique_ptr<SlowUpload>> theUploads;
    for (int i = 0; i < theOptions.count; ++i)
        theUploads.push_back(std::make_unique<SlowUpload>(theOptions.target, i, theOptions.size, theOptions.rate));

    const int theEpoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (theEpoll < 0) {
        std::perror("epoll_create1");
        return 1;
    }
    std::atomic<bool> theStop{false};
    UploadTarget theStaticTarget = theOptions.target;
    theStaticTarget.path = theOptions.staticPath;
    UploadTarget thePollTarget = theOptions.target;
    thePollTarget.path = theOptions.pollPath;
    LatencyProbe theStatic(theStaticTarget, "");
    LatencyProbe thePoll(thePollTarget, "\"done\"");
    std::vector<std::thread> theProbes;
    if (!theOptions.staticPath.empty())
        theProbes.push_back(ProbeLoop(theStatic, theOptions.intervalMs, theStop, [](unsigned) { return std::string(); }));
    if (!theOptions.pollPath.empty()) {
        const int theUploadCount = theOptions.count;
        theProbes.push_back(ProbeLoop(thePoll, theOptions.intervalMs, theStop, [theUploadCount](unsigned inRound) {
            return "?ID=" + std::to_string(1000000 + static_cast<int>(inRound * 7919u % theUploadCount));
        }));
    }

    // One loop: start connections over the ramp, pump bodies every tick, read answers.
    const auto theBegin = SlowUpload::Clock::now();
    const auto theDeadline = theBegin + std::chrono::duration_cast<SlowUpload::Clock::duration>(
                                            std::chrono::duration<double>(theOptions.deadlineSeconds));
    int theStarted = 0;
    int theFinished = 0;
    std::vector<epoll_event> theEvents(1024);
    while (theFinished < theOptions.count) {
        const auto theNow = SlowUpload::Clock::now();
        if (theNow >= theDeadline) {
            for (auto& theUpload : theUploads)
                theUpload->Abandon("still running at the deadline");
            break;
        }
        const double theElapsed = std::chrono::duration<double>(theNow - theBegin).count();
        const int theDue = theOptions.rampSeconds <= 0
                               ? theOptions.count
                               : std::min(theOptions.count, static_cast<int>(theOptions.count * theElapsed /
                                                                             theOptions.rampSeconds) + 1);
        for (; theStarted < theDue; ++theStarted) {
            SlowUpload& theUpload = *theUploads[theStarted];
            if (!theUpload.Start(theNow))
                continue;
            epoll_event theEvent{};
            theEvent.events = EPOLLIN | EPOLLRDHUP;
            theEvent.data.u32 = static_cast<uint32_t>(theStarted);
            ::epoll_ctl(theEpoll, EPOLL_CTL_ADD, theUpload.Socket(), &theEvent);
        }
        for (int i = 0; i < theStarted; ++i)
            theUploads[i]->Pump(theNow);
        const int theReady = ::epoll_wait(theEpoll, theEvents.data(), static_cast<int>(theEvents.size()), 20);
        for (int i = 0; i < theReady; ++i)
            theUploads[theEvents[i].data.u32]->OnReadable();
        theFinished = 0;
        for (const auto& theUpload : theUploads)
            theFinished += theUpload->Finished() ? 1 : 0;
    }
    const double theSeconds = std::chrono::duration<double>(SlowUpload::Clock::now() - theBegin).count();
    theStop = true;
    for (auto& theProbe : theProbes)
        theProbe.join();
    ::close(theEpoll);

    // Tally the answers and check what was saved.
    std::map<int, int> theStatuses;
    std::map<std::string, int> theFailures;
    int theIntact = 0;
    int theRetryAfter = 0;
    for (const auto& theUpload : theUploads) {
        if (!theUpload->Failure().empty()) {
            ++theFailures[theUpload->Failure()];
            continue;
        }
        ++theStatuses[theUpload->Status()];
        theRetryAfter += theUpload->RetryAfter() ? 1 : 0;
        if (theUpload->Status() != 200 || theOptions.savedDir.empty())
            continue;
        const std::string thePath =
            theOptions.savedDir + "/slow-" + std::to_string(theUpload->Number()) + ".bin";
        theIntact += theUpload->Body().MatchesFile(thePath) ? 1 : 0;
        ::unlink(thePath.c_str());
    }
    int theFailed = 0;
    for (const auto& [theWhy, theNumber] : theFailures) {
        theFailed += theNumber;
        std::fprintf(stderr, "slow_uploads: %d failed: %s\n", theNumber, theWhy.c_str());
    }
    const auto theCount = [&theStatuses](int inStatus) {
        const auto theFound = theStatuses.find(inStatus);
        return theFound == theStatuses.end() ? 0 : theFound->second;
    };
    std::printf("uploads=%d\nseconds=%.1f\nok=%d\nintact=%d\nfailed=%d\nretry_after=%d\n", theOptions.count,
                theSeconds, theCount(200), theIntact, theFailed, theRetryAfter);
    int theOther = 0;
    for (const auto& [theStatus, theNumber] : theStatuses) {
        if (theStatus != 200 && theStatus != 503)
            theOther += theNumber;
        std::fprintf(stderr, "slow_uploads: %d answered %d\n", theNumber, theStatus);
    }
    std::printf("status_503=%d\nstatus_other=%d\n", theCount(503), theOther);
    PrintProbe("static", theStatic);
    PrintProbe("poll", thePoll);
    return 0;
}

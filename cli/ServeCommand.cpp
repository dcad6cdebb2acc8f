// ServeCommand.cpp: `ferrolift serve [--root DIR] [--listen HOST:PORT] [--threads N]
// [--max-uploads N] [--running N] [--max-connections N] [--timeout SECONDS]`: registers the
// component when needed and runs the page engine until Ctrl-C or SIGTERM.
#include "cli/Commands.h"

#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include <windows.h>

#include "host/HttpServer.h"
#include "platform/common/ComPtr.h"

namespace {

// Workers still busy this long after a stop request are abandoned.
constexpr int kStopGraceSeconds = 10;

volatile sig_atomic_t gStopRequested = 0;

void OnStopSignal(int)
{
    gStopRequested = 1;
}

std::string ExecutableFolder()
{
    char thePath[PATH_MAX];
    ssize_t theLength = readlink("/proc/self/exe", thePath, sizeof thePath - 1);
    if (theLength <= 0)
        return ".";
    std::string theResult(thePath, static_cast<std::size_t>(theLength));
    return theResult.substr(0, theResult.find_last_of('/'));
}

bool IsFolder(const std::string& inPath)
{
    struct stat theStat {};
    return stat(inPath.c_str(), &theStat) == 0 && S_ISDIR(theStat.st_mode);
}

// The bundled sample site: beside an installed program, or in the source tree of a
// build folder (build/<preset>/bin).
std::string DefaultRoot()
{
    std::string theBin = ExecutableFolder();
    const char* const theCandidates[] = {"/../share/ferrolift/site", "/../../../examples/site", "/../../examples/site"};
    for (const char* theCandidate : theCandidates) {
        if (IsFolder(theBin + theCandidate))
            return theBin + theCandidate;
    }
    return "examples/site";
}

bool ComponentRegistered()
{
    CLSID theClsid{};
    if (FAILED(CLSIDFromProgID(u"Ferrolift4.XForm", &theClsid)))
        return false;
    ComPtr<IClassFactory> theFactory;
    return SUCCEEDED(CoGetClassObject(theClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, theFactory.put_void()));
}

int Usage()
{
    std::fprintf(stderr, "usage: ferrolift serve [--root DIR] [--listen HOST:PORT] [--threads N] [--max-uploads N]\n"
                         "                       [--running N] [--max-connections N] [--timeout SECONDS]\n"
                         "                       [--trusted-proxy LIST]... [--proxy-header x-forwarded|forwarded]\n");
    return 2;
}

bool ParseNumber(const char* inText, int inMin, int inMax, int& outValue)
{
    char* theEnd = nullptr;
    long theValue = std::strtol(inText, &theEnd, 10);
    if (theEnd == inText || *theEnd != '\0' || theValue < inMin || theValue > inMax)
        return false;
    outValue = static_cast<int>(theValue);
    return true;
}

bool ParseArguments(int argc, char** argv, ferrolift::host::ServerOptions& outOptions)
{
    using ferrolift::host::TrustedProxy;
    TrustedProxy::Mode theMode = TrustedProxy::Mode::kXForwarded;
    std::vector<std::string> theProxyLists;
    for (int i = 0; i < argc; ++i) {
        std::string theName = argv[i];
        if (i + 1 >= argc)
            return false;
        const char* theValue = argv[++i];
        if (theName == "--root")
            outOptions.root = theValue;
        else if (theName == "--listen")
            outOptions.listen = theValue;
        else if (theName == "--threads" && ParseNumber(theValue, 1, 1024, outOptions.threads))
            continue;
        else if (theName == "--max-uploads" && ParseNumber(theValue, 1, 100000, outOptions.maxUploads))
            continue;
        else if (theName == "--running" && ParseNumber(theValue, 1, 100000, outOptions.runningPages))
            continue;
        else if (theName == "--max-connections" && ParseNumber(theValue, 1, 1000000, outOptions.maxConnections))
            continue;
        else if (theName == "--timeout" && ParseNumber(theValue, 1, 86400, outOptions.timeoutSeconds))
            continue;
        else if (theName == "--trusted-proxy")
            theProxyLists.emplace_back(theValue);
        else if (theName == "--proxy-header" && std::strcmp(theValue, "x-forwarded") == 0)
            theMode = TrustedProxy::Mode::kXForwarded;
        else if (theName == "--proxy-header" && std::strcmp(theValue, "forwarded") == 0)
            theMode = TrustedProxy::Mode::kForwarded;
        else
            return false;
    }
    // The header kind may follow the lists on the command line; the lists go in last.
    outOptions.trustedProxies = TrustedProxy(theMode);
    for (const std::string& theList : theProxyLists) {
        std::string theError;
        if (!outOptions.trustedProxies.AddList(theList, theError)) {
            std::fprintf(stderr, "ferrolift serve: --trusted-proxy: %s\n", theError.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

namespace ferrolift::cli {

int RunServeCommand(int argc, char** argv)
{
    host::ServerOptions theOptions;
    theOptions.root = DefaultRoot();
    if (!ParseArguments(argc, argv, theOptions))
        return Usage();
    if (!ComponentRegistered()) {
        std::fprintf(stderr, "ferrolift serve: registering the component\n");
        if (RunRegisterCommand(0, nullptr) != 0)
            std::fprintf(stderr, "ferrolift serve: the component is not registered; pages cannot create it\n");
    }
    struct sigaction theAction {};
    theAction.sa_handler = OnStopSignal;
    sigemptyset(&theAction.sa_mask);
    sigaction(SIGINT, &theAction, nullptr);
    sigaction(SIGTERM, &theAction, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // Each connection is a descriptor: allow as many as the administrator's hard limit.
    rlimit theFiles{};
    if (getrlimit(RLIMIT_NOFILE, &theFiles) == 0 && theFiles.rlim_cur < theFiles.rlim_max) {
        theFiles.rlim_cur = theFiles.rlim_max;
        setrlimit(RLIMIT_NOFILE, &theFiles);
    }
    // Blocks of a megabyte and more (an upload's write buffer) go back to the system when
    // freed. Left to itself, malloc raises this bound after the first such block and then
    // keeps one per worker thread's arena for good.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);

    host::HttpServer theServer(theOptions);
    std::string theError;
    if (!theServer.Start(theError)) {
        std::fprintf(stderr, "ferrolift serve: %s\n", theError.c_str());
        return 1;
    }
    std::fprintf(stderr, "ferrolift serve: %s on http://%s/ (port %d)\n", theServer.Paths().Root().c_str(),
                 theOptions.listen.c_str(), theServer.Port());
    while (!gStopRequested)
        usleep(100 * 1000);   // a signal ends the sleep early
    std::fprintf(stderr, "ferrolift serve: stopping\n");
    auto theStopped = std::async(std::launch::async, [&theServer] { theServer.Stop(); });
    if (theStopped.wait_for(std::chrono::seconds(kStopGraceSeconds)) != std::future_status::ready) {
        std::fprintf(stderr, "ferrolift serve: requests still running after %d s; leaving them\n", kStopGraceSeconds);
        std::fflush(nullptr);
        _exit(0);
    }
    return 0;
}

}  // namespace ferrolift::cli

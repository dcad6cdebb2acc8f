// floor_server.cpp: the upload benchmark's floor: an HTTP server on the same library as
// `ferrolift serve` that does only the file work a saving page cannot avoid, in plain
// POSIX: the body into an unlinked temporary file in 4 MiB writes, a mapping of it, one
// memmem for the closing divider, and a kernel copy of the file part to upload.bin. No
// script, no component, no progress. What it loses to the raw sink is the price of that
// work on this machine.
// Usage: floor_server PORT SITE_DIR   (runs until killed)
#include <civetweb.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string gSite;

int Answer(mg_connection* inConnection, const std::string& inText)
{
    mg_printf(inConnection, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %zu\r\n\r\n%s",
              inText.size(), inText.c_str());
    return 200;
}

// The body's first line is its divider; the file part starts after the first empty line
// and ends at CR LF and the divider again.
long long SaveFilePart(int inCache, const char* inBody, size_t inLength)
{
    const char* theLineEnd = static_cast<const char*>(memmem(inBody, inLength, "\r\n", 2));
    const char* theHeadersEnd = static_cast<const char*>(memmem(inBody, inLength, "\r\n\r\n", 4));
    if (theLineEnd == nullptr || theHeadersEnd == nullptr)
        return -1;
    const std::string theDivider = "\r\n" + std::string(inBody, theLineEnd);
    const char* theData = theHeadersEnd + 4;
    const char* theEnd = static_cast<const char*>(
        memmem(theData, static_cast<size_t>(inBody + inLength - theData), theDivider.data(), theDivider.size()));
    if (theEnd == nullptr)
        return -1;
    const int theTarget = ::open((gSite + "/upload.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (theTarget < 0)
        return -1;
    loff_t theOffset = theData - inBody;
    size_t theLeft = static_cast<size_t>(theEnd - theData);
    while (theLeft > 0) {
        const ssize_t theCopied = ::copy_file_range(inCache, &theOffset, theTarget, nullptr, theLeft, 0);
        if (theCopied <= 0)
            break;
        theLeft -= static_cast<size_t>(theCopied);
    }
    ::close(theTarget);
    return theLeft == 0 ? static_cast<long long>(theEnd - theData) : -1;
}

int Floor(mg_connection* inConnection, void*)
{
    char theName[] = "/tmp/floor-XXXXXX";
    const int theCache = ::mkstemp(theName);
    if (theCache < 0)
        return Answer(inConnection, "no temporary file\n");
    ::unlink(theName);
    std::vector<char> theBlock(4u << 20);
    size_t theUsed = 0;
    size_t theTotal = 0;
    for (int theCount; (theCount = mg_read(inConnection, theBlock.data() + theUsed, theBlock.size() - theUsed)) > 0;) {
        theUsed += static_cast<size_t>(theCount);
        theTotal += static_cast<size_t>(theCount);
        if (theUsed == theBlock.size()) {
            if (::write(theCache, theBlock.data(), theUsed) != static_cast<ssize_t>(theUsed))
                break;
            theUsed = 0;
        }
    }
    if (theUsed > 0 && ::write(theCache, theBlock.data(), theUsed) != static_cast<ssize_t>(theUsed))
        theTotal = 0;
    long long theSaved = -1;
    if (theTotal > 0) {
        void* theView = ::mmap(nullptr, theTotal, PROT_READ, MAP_SHARED, theCache, 0);
        if (theView != MAP_FAILED) {
            theSaved = SaveFilePart(theCache, static_cast<const char*>(theView), theTotal);
            ::munmap(theView, theTotal);
        }
    }
    const int theStatus = Answer(inConnection, std::to_string(theSaved) + "\n");
    ::close(theCache);
    return theStatus;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: floor_server PORT SITE_DIR\n");
        return 2;
    }
    gSite = argv[2];
    std::string thePort = std::string("127.0.0.1:") + argv[1];
    const char* theOptions[] = {"listening_ports", thePort.c_str(), "num_threads", "4", nullptr};
    mg_callbacks theCallbacks{};
    mg_context* theContext = mg_start(&theCallbacks, nullptr, theOptions);
    if (theContext == nullptr)
        return 1;
    std::fprintf(stderr, "floor_server: port %s\n", argv[1]);
    mg_set_request_handler(theContext, "/", Floor, nullptr);
    for (;;)
        pause();
}

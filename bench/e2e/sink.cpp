// sink.cpp: the yardstick of the upload benchmark: an HTTP server on the same library
// as `ferrolift serve` that reads every request body and throws it away.
// Usage: sink PORT   (runs until killed)
#include <civetweb.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

int Discard(mg_connection* inConnection, void*)
{
    static thread_local char tBuffer[1 << 16];
    long long theTotal = 0;
    for (int theCount; (theCount = mg_read(inConnection, tBuffer, sizeof tBuffer)) > 0;)
        theTotal += theCount;
    std::string theBody = std::to_string(theTotal) + "\n";
    mg_printf(inConnection, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %zu\r\n\r\n%s",
              theBody.size(), theBody.c_str());
    return 200;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: sink PORT\n");
        return 2;
    }
    std::string thePort = std::string("127.0.0.1:") + argv[1];
    const char* theOptions[] = {"listening_ports", thePort.c_str(), "num_threads", "4", nullptr};
    mg_callbacks theCallbacks{};
    mg_context* theContext = mg_start(&theCallbacks, nullptr, theOptions);
    if (theContext == nullptr)
        return 1;
    mg_set_request_handler(theContext, "/", Discard, nullptr);
    for (;;)
        pause();
}

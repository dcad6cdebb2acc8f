// intake_server.cpp: the upload benchmark's stand-in for a saving page while the form
// object cannot be scripted: each request runs the component's upload reader through
// the page engine's Request object (chunked reads into the read cache, splitting) and
// answers what it found.
// Usage: intake_server PORT   (runs until killed)
#include <civetweb.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include <windows.h>
#include <comsvcs.h>

#include "host/HttpExchange.h"
#include "host/RequestObject.h"
#include "host/ServerObject.h"
#include "host/SitePaths.h"
#include "intake/Multipart.h"

using namespace ferrolift::host;

namespace {

int Intake(mg_connection* inConnection, void* inPaths)
{
    auto theExchange = std::make_shared<HttpExchange>(inConnection);
    ComPtr<IRequest> theRequest;
    theRequest.attach(new RequestObject(theExchange));
    ComPtr<IServer> theServer;
    theServer.attach(new ServerObject(*static_cast<SitePaths*>(inPaths), "/"));
    std::string theAnswer;
    {
        ferrolift::platform::ObjectContextScope theScope(theRequest.get(), theServer.get());
        Multipart theReader;
        theReader.SetMaxUploadSize(0x7FFFFFFF);
        bool theFailed = theReader.Initialize(nullptr, false);
        LONG theLargest = 0;
        for (LONG g = 0; g < theReader.GroupCount(); ++g) {
            for (LONG e = 0; e < theReader.GetGroup(g)->EntryCount(); ++e)
                theLargest = std::max(theLargest, theReader.GetGroup(g)->Entry(e)->length);
        }
        theAnswer = theFailed ? std::string(theReader.Errors().Describe()) : std::to_string(theLargest) + "\n";
    }
    theExchange->SetContentType("text/plain");
    theExchange->Write(theAnswer);
    theExchange->Finish();
    return theExchange->Status();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: intake_server PORT\n");
        return 2;
    }
    SitePaths thePaths("/tmp");
    std::string thePort = std::string("127.0.0.1:") + argv[1];
    const char* theOptions[] = {"listening_ports", thePort.c_str(), "num_threads", "4", nullptr};
    mg_callbacks theCallbacks{};
    mg_context* theContext = mg_start(&theCallbacks, nullptr, theOptions);
    if (theContext == nullptr)
        return 1;
    mg_set_request_handler(theContext, "/", Intake, &thePaths);
    std::fprintf(stderr, "intake_server: port %s\n", argv[1]);
    for (;;)
        pause();
}

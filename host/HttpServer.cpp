#include "HttpServer.h"

#include <civetweb.h>
#include <strings.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "HttpExchange.h"
#include "PageRunner.h"

namespace ferrolift::host {

namespace {

// Per worker: what the access line of the request in progress needs.
struct RequestLog {
    std::chrono::steady_clock::time_point start;
    long long bytes = -1;
};
thread_local RequestLog tRequestLog;

std::mutex gLogLock;

const char* const kIndexPages[] = {"index.asp", "default.asp", "index.html", "index.htm"};

std::string Extension(const std::string& inPath)
{
    std::size_t theSlash = inPath.find_last_of('/');
    std::size_t theDot = inPath.find_last_of('.');
    if (theDot == std::string::npos || (theSlash != std::string::npos && theDot < theSlash))
        return {};
    std::string theExtension = inPath.substr(theDot + 1);
    for (char& c : theExtension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return theExtension;
}

// Page sources and hidden files are never sent as they are.
bool IsPrivate(const std::string& inVirtual)
{
    std::string theExtension = Extension(inVirtual);
    if (theExtension == "inc" || theExtension == "asa")
        return true;
    return inVirtual.find("/.") != std::string::npos;
}

}  // namespace

HttpServer::HttpServer(ServerOptions inOptions) : mOptions(std::move(inOptions)), mPaths(mOptions.root) {}

HttpServer::~HttpServer()
{
    Stop();
}

bool HttpServer::Start(std::string& outError)
{
    if (!mPaths.Valid()) {
        outError = "the site folder '" + mOptions.root + "' does not exist";
        return false;
    }
    mCache = std::make_unique<PageCache>(mPaths.Root());
    mg_init_library(0);
    std::string theThreads = std::to_string(mOptions.threads < 1 ? 1 : mOptions.threads);
    std::string theTimeout = std::to_string(static_cast<long long>(mOptions.timeoutSeconds) * 1000);
    const char* theSettings[] = {
        "listening_ports", mOptions.listen.c_str(),
        "num_threads", theThreads.c_str(),
        "request_timeout_ms", theTimeout.c_str(),
        "keep_alive_timeout_ms", "5000",
        "enable_keep_alive", "yes",
        "max_request_size", "16384",   // request line and headers
        "listen_backlog", "256",
        "connection_queue", "256",
        nullptr,
    };
    mg_callbacks theCallbacks{};
    theCallbacks.begin_request = &HttpServer::BeginRequest;
    theCallbacks.end_request = &HttpServer::EndRequest;
    mContext = mg_start(&theCallbacks, this, theSettings);
    if (mContext == nullptr) {
        outError = "cannot listen on " + mOptions.listen;
        return false;
    }
    mg_set_request_handler(mContext, "/", &HttpServer::HandleRequest, this);
    mg_server_port thePorts[4];
    int theCount = mg_get_server_ports(mContext, 4, thePorts);
    mPort = theCount > 0 ? thePorts[0].port : 0;
    return true;
}

void HttpServer::Stop()
{
    if (mContext == nullptr)
        return;
    mg_stop(mContext);
    mContext = nullptr;
}

int HttpServer::BeginRequest(mg_connection*)
{
    tRequestLog.start = std::chrono::steady_clock::now();
    tRequestLog.bytes = -1;
    return 0;   // let the request handlers run
}

void HttpServer::EndRequest(const mg_connection* inConnection, int inStatus)
{
    auto* theServer = static_cast<HttpServer*>(mg_get_user_data(mg_get_context(inConnection)));
    if (theServer == nullptr || theServer->mOptions.accessLog == nullptr)
        return;
    const mg_request_info* theInfo = mg_get_request_info(inConnection);
    double theMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tRequestLog.start).count();
    std::time_t theNow = std::time(nullptr);
    std::tm theTime{};
    gmtime_r(&theNow, &theTime);
    char theStamp[32];
    std::strftime(theStamp, sizeof theStamp, "%d/%b/%Y:%H:%M:%S +0000", &theTime);
    std::string theBytes = tRequestLog.bytes >= 0 ? std::to_string(tRequestLog.bytes) : "-";
    std::lock_guard<std::mutex> theGuard(gLogLock);
    std::fprintf(theServer->mOptions.accessLog, "%s - - [%s] \"%s %s%s%s HTTP/%s\" %d %s %.1fms\n",
                 theInfo->remote_addr, theStamp, theInfo->request_method ? theInfo->request_method : "-",
                 theInfo->local_uri ? theInfo->local_uri : "-", theInfo->query_string ? "?" : "",
                 theInfo->query_string ? theInfo->query_string : "", theInfo->http_version ? theInfo->http_version : "-",
                 inStatus, theBytes.c_str(), theMs);
    std::fflush(theServer->mOptions.accessLog);
}

int HttpServer::HandleRequest(mg_connection* inConnection, void* inServer)
{
    return static_cast<HttpServer*>(inServer)->Serve(inConnection);
}

int HttpServer::SendError(mg_connection* inConnection, int inStatus, const char* inText)
{
    const mg_request_info* theInfo = mg_get_request_info(inConnection);
    std::string theBody = "<!DOCTYPE html><html><head><title>" + std::to_string(inStatus) + " " + inText +
                          "</title></head><body><h1>" + std::to_string(inStatus) + " " + inText + "</h1></body></html>\n";
    mg_printf(inConnection,
              "HTTP/1.1 %d %s\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: %zu\r\n%s\r\n", inStatus,
              inText, theBody.size(), theInfo->content_length > 0 ? "Connection: close\r\n" : "");
    if (std::strcmp(theInfo->request_method, "HEAD") != 0)
        mg_write(inConnection, theBody.data(), theBody.size());
    tRequestLog.bytes = static_cast<long long>(theBody.size());
    return inStatus;
}

int HttpServer::Serve(mg_connection* inConnection)
{
    const mg_request_info* theInfo = mg_get_request_info(inConnection);
    std::string theVirtual;
    if (theInfo->local_uri == nullptr || !SitePaths::NormalizeVirtual(theInfo->local_uri, "/", theVirtual))
        return SendError(inConnection, 404, "Not Found");
    if (IsPrivate(theVirtual))
        return SendError(inConnection, 404, "Not Found");
    std::string thePhysical;
    if (!mPaths.MapPath(theVirtual, "/", thePhysical))
        return SendError(inConnection, 404, "Not Found");
    struct stat theStat {};
    if (stat(thePhysical.c_str(), &theStat) != 0)
        return SendError(inConnection, 404, "Not Found");
    if (S_ISDIR(theStat.st_mode))
        return ServeDirectory(inConnection, theVirtual, thePhysical);
    if (!S_ISREG(theStat.st_mode))
        return SendError(inConnection, 404, "Not Found");
    if (Extension(thePhysical) == "asp")
        return ServePage(inConnection, theVirtual, thePhysical);
    return ServeStatic(inConnection, thePhysical);
}

int HttpServer::ServeDirectory(mg_connection* inConnection, const std::string& inVirtual, const std::string& inPhysical)
{
    const mg_request_info* theInfo = mg_get_request_info(inConnection);
    std::string theUri = theInfo->local_uri != nullptr ? theInfo->local_uri : "/";
    if (theUri.empty() || theUri.back() != '/') {
        // Relative links in the index page need the trailing slash.
        std::string theTarget = theUri + "/";
        mg_printf(inConnection, "HTTP/1.1 301 Moved Permanently\r\nLocation: %s\r\nContent-Length: 0\r\n\r\n",
                  theTarget.c_str());
        return 301;
    }
    for (const char* theIndex : kIndexPages) {
        std::string thePath = inPhysical + "/" + theIndex;
        struct stat theStat {};
        if (stat(thePath.c_str(), &theStat) != 0 || !S_ISREG(theStat.st_mode))
            continue;
        std::string theVirtual = (inVirtual == "/" ? std::string("/") : inVirtual + "/") + theIndex;
        if (Extension(thePath) == "asp")
            return ServePage(inConnection, theVirtual, thePath);
        return ServeStatic(inConnection, thePath);
    }
    return SendError(inConnection, 403, "Forbidden");
}

int HttpServer::ServeStatic(mg_connection* inConnection, const std::string& inPhysical)
{
    const mg_request_info* theInfo = mg_get_request_info(inConnection);
    if (std::strcmp(theInfo->request_method, "GET") != 0 && std::strcmp(theInfo->request_method, "HEAD") != 0)
        return SendError(inConnection, 405, "Method Not Allowed");
    mg_send_mime_file(inConnection, inPhysical.c_str(), nullptr);
    return 200;
}

int HttpServer::ServePage(mg_connection* inConnection, const std::string& inVirtual, const std::string& inPhysical)
{
    auto theExchange = std::make_shared<HttpExchange>(inConnection);
    CompileError theCompileError;
    std::shared_ptr<const CompiledPage> thePage = mCache->Get(inPhysical, theCompileError);
    if (thePage == nullptr) {
        PageError theError;
        theError.source = "Page compiler";
        theError.number = static_cast<std::int32_t>(0x80004005);
        theError.description = theCompileError.description;
        theError.file = theCompileError.file;
        theError.line = theCompileError.line;
        PageRunner::WriteError(*theExchange, theError);
    } else {
        PageRunner::Run(theExchange, mPaths, *thePage, inVirtual, inPhysical);
    }
    theExchange->Finish();
    tRequestLog.bytes = theExchange->BytesSent();
    return theExchange->Status();
}

}  // namespace ferrolift::host

// ServedSite.h: a private site folder with the files a test writes, served by an
// HttpServer on a free loopback port for the life of the object.
//
//   ServedSite theSite({{"a.asp", "<%= 1 + 1 %>"}});
//   RawClient theClient(theSite.Port());
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "host/HttpServer.h"

class ServedSite {
public:
    /// inFiles: site-relative name to content. inAdjust may change the options.
    template <typename Adjust>
    ServedSite(const std::map<std::string, std::string>& inFiles, Adjust inAdjust)
    {
        static std::atomic<int> sCount{0};
        mRoot = std::filesystem::temp_directory_path() /
                ("ferrolift-http-" + std::to_string(getpid()) + "-" + std::to_string(sCount++));
        std::filesystem::remove_all(mRoot);
        std::filesystem::create_directories(mRoot);
        for (const auto& [theName, theContent] : inFiles)
            Write(theName, theContent);
        ferrolift::host::ServerOptions theOptions;
        theOptions.root = mRoot.string();
        theOptions.listen = "127.0.0.1:0";
        theOptions.threads = 4;
        theOptions.timeoutSeconds = 5;
        theOptions.accessLog = nullptr;
        inAdjust(theOptions);
        mServer = std::make_unique<ferrolift::host::HttpServer>(theOptions);
        std::string theError;
        mStarted = mServer->Start(theError);
        EXPECT_TRUE(mStarted) << theError;
    }
    explicit ServedSite(const std::map<std::string, std::string>& inFiles)
        : ServedSite(inFiles, [](ferrolift::host::ServerOptions&) {})
    {
    }
    ~ServedSite()
    {
        mServer.reset();
        std::filesystem::remove_all(mRoot);
    }

    int Port() const { return mServer->Port(); }
    bool Started() const { return mStarted; }
    const std::filesystem::path& Root() const { return mRoot; }
    ferrolift::host::HttpServer& Server() { return *mServer; }
    void Write(const std::string& inName, const std::string& inContent)
    {
        std::filesystem::path thePath = mRoot / inName;
        std::filesystem::create_directories(thePath.parent_path());
        std::ofstream(thePath, std::ios::binary) << inContent;
    }

private:
    std::filesystem::path mRoot;
    std::unique_ptr<ferrolift::host::HttpServer> mServer;
    bool mStarted = false;
};

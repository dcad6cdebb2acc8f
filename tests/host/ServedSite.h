// ServedSite.h: a private site folder with the files a test writes, served by an
// HttpServer on a free loopback port for the life of the object.
//
//   ServedSite theSite({{"a.asp", "<%= 1 + 1 %>"}});
//   RawClient theClient(theSite.Port());
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "common/TempFolder.h"
#include "host/HttpServer.h"

class ServedSite {
public:
    /// inFiles: site-relative name to content. inAdjust may change the options.
    template <typename Adjust>
    ServedSite(const std::map<std::string, std::string>& inFiles, Adjust inAdjust)
    {
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
    ferrolift::test::ScopedTempFolder mFolder{"ferrolift-http"};
    std::filesystem::path mRoot = mFolder.Path();
    std::unique_ptr<ferrolift::host::HttpServer> mServer;
    bool mStarted = false;
};

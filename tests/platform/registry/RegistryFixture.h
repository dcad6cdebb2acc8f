// RegistryFixture.h: each test gets its own registry and event-log files in a fresh
// temporary folder, named through FERROLIFT_REGISTRY and FERROLIFT_EVENTLOG.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class RegistryFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        char theTemplate[] = "/tmp/ferrolift-registry-XXXXXX";
        ASSERT_NE(::mkdtemp(theTemplate), nullptr);
        mFolder = theTemplate;
        mRegistry = mFolder + "/state/registry.reg";
        mEventLog = mFolder + "/state/eventlog.jsonl";
        ::setenv("FERROLIFT_REGISTRY", mRegistry.c_str(), 1);
        ::setenv("FERROLIFT_EVENTLOG", mEventLog.c_str(), 1);
    }

    void TearDown() override
    {
        ::unsetenv("FERROLIFT_REGISTRY");
        ::unsetenv("FERROLIFT_EVENTLOG");
        std::filesystem::remove_all(mFolder);
    }

    static std::string ReadFile(const std::string& inPath)
    {
        std::ifstream theFile(inPath, std::ios::binary);
        std::ostringstream theText;
        theText << theFile.rdbuf();
        return theText.str();
    }

    static void WriteFile(const std::string& inPath, const std::string& inText)
    {
        std::filesystem::create_directories(std::filesystem::path(inPath).parent_path());
        std::ofstream(inPath, std::ios::binary) << inText;
    }

    std::string mFolder;
    std::string mRegistry;
    std::string mEventLog;
};

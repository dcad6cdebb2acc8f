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

#include "common/TempFolder.h"

class RegistryFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(mFolder.empty());
        mRegistry = mFolder + "/state/registry.reg";
        mEventLog = mFolder + "/state/eventlog.jsonl";
        ::setenv("FERROLIFT_REGISTRY", mRegistry.c_str(), 1);
        ::setenv("FERROLIFT_EVENTLOG", mEventLog.c_str(), 1);
    }

    void TearDown() override
    {
        ::unsetenv("FERROLIFT_REGISTRY");
        ::unsetenv("FERROLIFT_EVENTLOG");
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

    ferrolift::test::ScopedTempFolder mTemp{"ferrolift-registry"};
    const std::string mFolder = mTemp.Path();
    std::string mRegistry;
    std::string mEventLog;
};

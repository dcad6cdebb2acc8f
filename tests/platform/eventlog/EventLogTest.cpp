// Event-log entries: the JSON line, bad arguments, concurrent writers.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "common/TempFolder.h"

namespace {

class EventLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(mFolder.empty());
        ::setenv("FERROLIFT_REGISTRY", (mFolder + "/registry.reg").c_str(), 1);
        ::setenv("FERROLIFT_EVENTLOG", (mFolder + "/log/eventlog.jsonl").c_str(), 1);
    }

    std::vector<std::string> Lines() const
    {
        std::ifstream theFile(mFolder + "/log/eventlog.jsonl");
        std::vector<std::string> theLines;
        for (std::string theLine; std::getline(theFile, theLine);)
            theLines.push_back(theLine);
        return theLines;
    }

    ferrolift::test::ScopedTempFolder mTemp{"ferrolift-eventlog"};
    const std::string mFolder = mTemp.Path();
};

bool Report(HANDLE inSource, WORD inType, const std::vector<const char*>& inStrings)
{
    std::vector<LPCSTR> theStrings(inStrings.begin(), inStrings.end());
    return ReportEventA(inSource, inType, 1, 0x1000, nullptr, static_cast<WORD>(theStrings.size()), 0,
                        theStrings.data(), nullptr);
}

TEST_F(EventLog, EntryIsOneJsonLine)
{
    HANDLE theSource = RegisterEventSourceA(nullptr, "Ferrolift");
    ASSERT_NE(theSource, nullptr);
    ASSERT_TRUE(Report(theSource, EVENTLOG_WARNING_TYPE, {"say \"hi\"\\", "tab\there\n", "\xff"}));
    ASSERT_TRUE(DeregisterEventSource(theSource));
    const std::vector<std::string> theLines = Lines();
    ASSERT_EQ(theLines.size(), 1u);
    const std::string& theLine = theLines[0];
    EXPECT_EQ(theLine.rfind("{\"time\":\"20", 0), 0u) << theLine;
    EXPECT_EQ(theLine.substr(theLine.find("Z\"") - 4, 1), ".");  // milliseconds
    EXPECT_NE(theLine.find(",\"source\":\"Ferrolift\",\"type\":2,\"category\":1,\"eventId\":4096,\"strings\":["
                           "\"say \\\"hi\\\"\\\\\",\"tab\\u0009here\\u000a\",\"\\u00ff\"]}"),
              std::string::npos)
        << theLine;
}

TEST_F(EventLog, PinsTheResultForBadArguments)
{
    EXPECT_EQ(RegisterEventSourceA(nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegisterEventSourceA(nullptr, ""), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegisterEventSourceA("\\\\elsewhere", "Ferrolift"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));

    int theNotAHandle = 0;
    EXPECT_FALSE(Report(&theNotAHandle, EVENTLOG_ERROR_TYPE, {"x"}));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE theSource = RegisterEventSourceA("", "Ferrolift");
    ASSERT_NE(theSource, nullptr);
    EXPECT_FALSE(Report(theSource, 3, {"x"}));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(ReportEventA(theSource, EVENTLOG_ERROR_TYPE, 1, 1, nullptr, 1, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(DeregisterEventSource(theSource));
    EXPECT_FALSE(DeregisterEventSource(theSource));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(Lines().empty());
}

TEST_F(EventLog, ConcurrentWritersNeverInterleave)
{
    const std::string theLong(3000, 'x');
    auto theWrite = [&](const char* inSource) {
        HANDLE theSource = RegisterEventSourceA(nullptr, inSource);
        for (int i = 0; i < 100; ++i)
            Report(theSource, EVENTLOG_INFORMATION_TYPE, {theLong.c_str(), inSource});
        DeregisterEventSource(theSource);
    };
    const pid_t theChild = ::fork();
    ASSERT_GE(theChild, 0);
    if (theChild == 0) {
        theWrite("child");
        ::_exit(0);
    }
    std::vector<std::thread> theThreads;
    for (const char* theName : {"one", "two", "three"})
        theThreads.emplace_back(theWrite, theName);
    for (std::thread& theThread : theThreads)
        theThread.join();
    ASSERT_EQ(::waitpid(theChild, nullptr, 0), theChild);
    const std::vector<std::string> theLines = Lines();
    ASSERT_EQ(theLines.size(), 400u);
    for (const std::string& theLine : theLines)
        ASSERT_TRUE(theLine.front() == '{' && theLine.back() == '}' && theLine.find(theLong) != std::string::npos &&
                    std::count(theLine.begin(), theLine.end(), '{') == 1)
            << theLine.substr(0, 200);
}

}  // namespace

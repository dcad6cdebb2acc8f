// Event-log entries: the JSON line, bad arguments, concurrent writers, and the
// `ferrolift eventlog` and `ferrolift reg` commands.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class EventLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        char theTemplate[] = "/tmp/ferrolift-eventlog-XXXXXX";
        ASSERT_NE(::mkdtemp(theTemplate), nullptr);
        mFolder = theTemplate;
        ::setenv("FERROLIFT_REGISTRY", (mFolder + "/registry.reg").c_str(), 1);
        ::setenv("FERROLIFT_EVENTLOG", (mFolder + "/log/eventlog.jsonl").c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(mFolder); }

    std::vector<std::string> Lines() const
    {
        std::ifstream theFile(mFolder + "/log/eventlog.jsonl");
        std::vector<std::string> theLines;
        for (std::string theLine; std::getline(theFile, theLine);)
            theLines.push_back(theLine);
        return theLines;
    }

    // Runs the ferrolift command; returns its exit code and output (stdout then stderr).
    int Run(const std::string& inArguments, std::string& outOutput) const
    {
        const std::string theCommand =
            std::string(FERROLIFT_BINARY_DIR) + "/bin/ferrolift " + inArguments + " 2>&1 </dev/null";
        FILE* thePipe = ::popen(theCommand.c_str(), "r");
        outOutput.clear();
        char theBuffer[4096];
        for (size_t theRead; (theRead = std::fread(theBuffer, 1, sizeof theBuffer, thePipe)) > 0;)
            outOutput.append(theBuffer, theRead);
        const int theStatus = ::pclose(thePipe);
        return WIFEXITED(theStatus) ? WEXITSTATUS(theStatus) : -1;
    }

    std::string mFolder;
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

TEST_F(EventLog, CommandPrintsTheEntriesOldestFirst)
{
    std::string theOutput;
    EXPECT_EQ(Run("eventlog", theOutput), 0);
    EXPECT_EQ(theOutput, "");
    HANDLE theSource = RegisterEventSourceA(nullptr, "Ferrolift");
    Report(theSource, EVENTLOG_ERROR_TYPE, {"first", "part"});
    Report(theSource, EVENTLOG_INFORMATION_TYPE, {"caf\xc3\xa9 \"q\""});
    DeregisterEventSource(theSource);
    EXPECT_EQ(Run("eventlog", theOutput), 0);
    const size_t theBreak = theOutput.find('\n');
    ASSERT_NE(theBreak, std::string::npos);
    EXPECT_NE(theOutput.find("Z  Error  Ferrolift  first part\n"), std::string::npos) << theOutput;
    EXPECT_NE(theOutput.find("Z  Information  Ferrolift  caf\xc3\xa9 \"q\"\n", theBreak), std::string::npos)
        << theOutput;
}

TEST_F(EventLog, RegCommandAddsQueriesDeletesAndRefusesACorruptFile)
{
    std::string theOutput;
    ASSERT_EQ(Run("reg add 'HKLM\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0' /v LogErrors /t REG_DWORD /d 0x10", theOutput),
              0)
        << theOutput;
    ASSERT_EQ(Run("reg add 'HKLM\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0' /v ModulePath /d /x.so", theOutput), 0);
    EXPECT_EQ(Run("reg add 'HKLM\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0' /v ModulePath /d /y.so", theOutput), 1);
    EXPECT_NE(theOutput.find("Value ModulePath exists, overwrite (Yes/No)?"), std::string::npos) << theOutput;
    EXPECT_EQ(Run("reg add 'HKCR\\Ferrolift4.XForm' /ve /d 'XForm Class' /f", theOutput), 0);
    EXPECT_EQ(Run("reg query 'HKLM\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0'", theOutput), 0);
    EXPECT_EQ(theOutput, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0\n"
                         "    LogErrors    REG_DWORD    0x10\n"
                         "    ModulePath    REG_SZ    /x.so\n\n");
    EXPECT_EQ(Run("reg query 'hkcr\\ferrolift4.xform' /ve", theOutput), 0);
    EXPECT_EQ(theOutput, "\nHKEY_CLASSES_ROOT\\ferrolift4.xform\n    (Default)    REG_SZ    XForm Class\n");
    EXPECT_EQ(Run("reg add 'HKLM\\SOFTWARE\\X' /v N /t REG_DWORD /d nope", theOutput), 1);
    EXPECT_NE(theOutput.find("ERROR: Invalid syntax."), std::string::npos);
    EXPECT_EQ(Run("reg delete 'HKLM\\SOFTWARE\\Tallowmere' /f", theOutput), 0);
    EXPECT_EQ(Run("reg query 'HKLM\\SOFTWARE\\Tallowmere'", theOutput), 1);
    EXPECT_EQ(theOutput, "ERROR: The system was unable to find the specified registry key or value.\n");
    EXPECT_EQ(Run("reg query 'HKXX\\Y'", theOutput), 1);

    const std::string theCorrupt = "not a registry file\n";
    std::ofstream(mFolder + "/registry.reg") << theCorrupt;
    EXPECT_EQ(Run("reg query HKLM", theOutput), 1);
    EXPECT_NE(theOutput.find("ERROR: The registry file " + mFolder + "/registry.reg is corrupt (line 1"),
              std::string::npos)
        << theOutput;
    EXPECT_EQ(Run("reg add 'HKLM\\SOFTWARE\\Y' /f", theOutput), 1);
    std::ifstream theFile(mFolder + "/registry.reg");
    std::stringstream theText;
    theText << theFile.rdbuf();
    EXPECT_EQ(theText.str(), theCorrupt);
}

}  // namespace

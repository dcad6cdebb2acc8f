// ferrolift eventlog: what an administrator reads back from the event log.
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "common/ScratchMachine.h"
#include "CommandRun.h"

namespace {

void Report(HANDLE inSource, WORD inType, std::initializer_list<LPCSTR> inStrings)
{
    std::vector<LPCSTR> theStrings(inStrings);
    ASSERT_TRUE(ReportEventA(inSource, inType, 1, 0x1000, nullptr, static_cast<WORD>(theStrings.size()), 0,
                             theStrings.data(), nullptr));
}

TEST(EventLogCommand, PrintsTheEntriesOldestFirst)
{
    ScratchMachine theMachine;
    CommandRun theRun = RunFerrolift("eventlog");
    EXPECT_EQ(theRun.status, 0);
    EXPECT_EQ(theRun.output, "");
    HANDLE theSource = RegisterEventSourceA(nullptr, "Ferrolift");
    ASSERT_NE(theSource, nullptr);
    Report(theSource, EVENTLOG_ERROR_TYPE, {"first", "part"});
    Report(theSource, EVENTLOG_INFORMATION_TYPE, {"caf\xc3\xa9 \"q\""});
    DeregisterEventSource(theSource);
    theRun = RunFerrolift("eventlog");
    EXPECT_EQ(theRun.status, 0);
    const size_t theBreak = theRun.output.find('\n');
    ASSERT_NE(theBreak, std::string::npos);
    EXPECT_NE(theRun.output.find("Z  Error  Ferrolift  first part\n"), std::string::npos) << theRun.output;
    EXPECT_NE(theRun.output.find("Z  Information  Ferrolift  caf\xc3\xa9 \"q\"\n", theBreak), std::string::npos)
        << theRun.output;
}

}  // namespace

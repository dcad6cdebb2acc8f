// ferrolift reg: add, query and delete in the syntax administrators know, and a corrupt
// registry file that is refused and left as it was.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "common/ScratchMachine.h"
#include "CommandRun.h"

namespace {

TEST(RegCommand, AddsQueriesDeletesAndRefusesACorruptFile)
{
    ScratchMachine theMachine;
    CommandRun theRun = RunFerrolift("reg add 'HKLM\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0' /v LogErrors /t REG_DWORD /d 0x10");
    ASSERT_EQ(theRun.status, 0) << theRun.output;
    ASSERT_EQ(RunFerrolift("reg add 'HKLM\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0' /v ModulePath /d /x.so").status, 0);
    theRun = RunFerrolift("reg add 'HKLM\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0' /v ModulePath /d /y.so");
    EXPECT_EQ(theRun.status, 1);
    EXPECT_NE(theRun.output.find("Value ModulePath exists, overwrite (Yes/No)?"), std::string::npos) << theRun.output;
    EXPECT_EQ(RunFerrolift("reg add 'HKCR\\Ferrolift4.XForm' /ve /d 'XForm Class' /f").status, 0);
    theRun = RunFerrolift("reg query 'HKLM\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0'");
    EXPECT_EQ(theRun.status, 0);
    EXPECT_EQ(theRun.output, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0\n"
                             "    LogErrors    REG_DWORD    0x10\n"
                             "    ModulePath    REG_SZ    /x.so\n\n");
    theRun = RunFerrolift("reg query 'hkcr\\ferrolift4.xform' /ve");
    EXPECT_EQ(theRun.status, 0);
    EXPECT_EQ(theRun.output, "\nHKEY_CLASSES_ROOT\\ferrolift4.xform\n    (Default)    REG_SZ    XForm Class\n");
    theRun = RunFerrolift("reg add 'HKLM\\SOFTWARE\\X' /v N /t REG_DWORD /d nope");
    EXPECT_EQ(theRun.status, 1);
    EXPECT_NE(theRun.output.find("ERROR: Invalid syntax."), std::string::npos);
    EXPECT_EQ(RunFerrolift("reg delete 'HKLM\\SOFTWARE\\Tallowmere' /f").status, 0);
    theRun = RunFerrolift("reg query 'HKLM\\SOFTWARE\\Tallowmere'");
    EXPECT_EQ(theRun.status, 1);
    EXPECT_EQ(theRun.output, "ERROR: The system was unable to find the specified registry key or value.\n");
    EXPECT_EQ(RunFerrolift("reg query 'HKXX\\Y'").status, 1);

    const std::string theRegistry = theMachine.Folder() + "/registry.reg";
    const std::string theCorrupt = "not a registry file\n";
    std::ofstream(theRegistry) << theCorrupt;
    theRun = RunFerrolift("reg query HKLM");
    EXPECT_EQ(theRun.status, 1);
    EXPECT_NE(theRun.output.find("ERROR: The registry file " + theRegistry + " is corrupt (line 1"), std::string::npos)
        << theRun.output;
    EXPECT_EQ(RunFerrolift("reg add 'HKLM\\SOFTWARE\\Y' /f").status, 1);
    std::ifstream theFile(theRegistry);
    std::stringstream theText;
    theText << theFile.rdbuf();
    EXPECT_EQ(theText.str(), theCorrupt);
}

}  // namespace

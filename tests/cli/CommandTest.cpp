// The administrator's commands: ferrolift register / unregister / typelib.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/Interfaces.h"
#include "server/RegistryWriter.h"
#include "common/ScratchMachine.h"

namespace {

struct CommandRun {
    int status;
    std::string output;
};

// Runs the ferrolift program with inArguments (stderr joined to stdout).
CommandRun RunFerrolift(const std::string& inArguments)
{
    const std::string theCommand = std::string(FERROLIFT_BINARY_DIR) + "/bin/ferrolift " + inArguments + " 2>&1";
    CommandRun theRun{-1, ""};
    FILE* thePipe = popen(theCommand.c_str(), "r");
    if (thePipe == nullptr)
        return theRun;
    char theBuffer[4096];
    size_t theCount;
    while ((theCount = std::fread(theBuffer, 1, sizeof theBuffer, thePipe)) > 0)
        theRun.output.append(theBuffer, theCount);
    const int theStatus = pclose(thePipe);
    theRun.status = WIFEXITED(theStatus) ? WEXITSTATUS(theStatus) : -1;
    return theRun;
}

TEST(CommandTest, RegisterAndUnregisterTheModule)
{
    ScratchMachine theMachine;
    CommandRun theRun = RunFerrolift(std::string("register '") + FERROLIFT_MODULE_PATH + "'");
    EXPECT_EQ(theRun.status, 0) << theRun.output;
    EXPECT_NE(theRun.output.find("DllRegisterServer"), std::string::npos) << theRun.output;
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Ferrolift4.XProgress.4"));

    theRun = RunFerrolift("unregister");  // the default module: ../lib/libferrolift.so
    EXPECT_EQ(theRun.status, 0) << theRun.output;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Ferrolift4.XProgress.4"));

    theRun = RunFerrolift("register /no/such/module.so");
    EXPECT_EQ(theRun.status, 1);
    EXPECT_NE(theRun.output.find("cannot load"), std::string::npos) << theRun.output;
}

TEST(CommandTest, TypelibPrintsTheWholeLibrary)
{
    CommandRun theRun = RunFerrolift("typelib");
    ASSERT_EQ(theRun.status, 0) << theRun.output;
    for (const char* theText :
         {"Ferrolift4", "Ferrolift ASP Extension", "ferImageType", "ferJPEGcmyk", "IXForm", "IXField", "IXFields",
          "IXProgress", "XProgress Class", "SetUser", "inDomain", "BytesPerSecond", "_NewEnum", "restricted"})
        EXPECT_NE(theRun.output.find(theText), std::string::npos) << theText;
    EXPECT_NE(theRun.output.find(GuidText(LIBID_Ferrolift4).substr(1, 36)), std::string::npos);
}

}  // namespace

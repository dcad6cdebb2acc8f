// CommandRun.h: runs the built ferrolift program as an administrator would, with no
// terminal behind it, and keeps what it printed.
//
//   CommandRun theRun = RunFerrolift("reg query HKLM\\SOFTWARE");
//   EXPECT_EQ(theRun.status, 0) << theRun.output;
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct CommandRun {
    int status;           // the exit code, -1 when the program did not exit normally
    std::string output;   // stdout and stderr joined
};

/// Runs ferrolift with inArguments (shell words). stdin is empty, so a command that asks
/// a question gets end of input as its answer.
inline CommandRun RunFerrolift(const std::string& inArguments)
{
    const std::string theCommand =
        std::string(FERROLIFT_BINARY_DIR) + "/bin/ferrolift " + inArguments + " 2>&1 </dev/null";
    CommandRun theRun{-1, ""};
    FILE* thePipe = ::popen(theCommand.c_str(), "r");
    if (thePipe == nullptr)
        return theRun;
    char theBuffer[4096];
    for (size_t theCount; (theCount = std::fread(theBuffer, 1, sizeof theBuffer, thePipe)) > 0;)
        theRun.output.append(theBuffer, theCount);
    const int theStatus = ::pclose(thePipe);
    theRun.status = WIFEXITED(theStatus) ? WEXITSTATUS(theStatus) : -1;
    return theRun;
}

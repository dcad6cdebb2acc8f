// Commands.h: the subcommands of the `ferrolift` program. Each takes the arguments after
// its own name and returns the process exit code.
#pragma once

namespace ferrolift::cli {

int RunServeCommand(int argc, char** argv);       // ferrolift serve [--root DIR] ...
int RunRegisterCommand(int argc, char** argv);    // ferrolift register [MODULE]
int RunUnregisterCommand(int argc, char** argv);  // ferrolift unregister [MODULE]
int RunRegCommand(int argc, char** argv);         // ferrolift reg query|add|delete ...
int RunEventLogCommand(int argc, char** argv);    // ferrolift eventlog
int RunTypelibCommand(int argc, char** argv);     // ferrolift typelib

}  // namespace ferrolift::cli

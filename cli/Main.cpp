// The `ferrolift` command: dispatches to one subcommand per file of this folder.
#include "cli/Commands.h"
#include "cli/HelpText.h"

#include <cstdio>
#include <cstring>

// A subcommand whose file is not part of this build links as null and is reported as
// unavailable rather than failing the link.
namespace ferrolift::cli {
[[gnu::weak]] int RunServeCommand(int, char**);
[[gnu::weak]] int RunRegisterCommand(int, char**);
[[gnu::weak]] int RunUnregisterCommand(int, char**);
[[gnu::weak]] int RunRegCommand(int, char**);
[[gnu::weak]] int RunEventLogCommand(int, char**);
[[gnu::weak]] int RunTypelibCommand(int, char**);
}  // namespace ferrolift::cli

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* usage;
};

const Command kCommands[] = {
    {"serve", ferrolift::cli::RunServeCommand,
     "serve [--root DIR] [--listen HOST:PORT] [--threads N] [--timeout SECONDS]"},
    {"register", ferrolift::cli::RunRegisterCommand, "register [MODULE]"},
    {"unregister", ferrolift::cli::RunUnregisterCommand, "unregister [MODULE]"},
    {"reg", ferrolift::cli::RunRegCommand, "reg query|add|delete KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]"},
    {"eventlog", ferrolift::cli::RunEventLogCommand, "eventlog"},
    {"typelib", ferrolift::cli::RunTypelibCommand, "typelib"},
};

int PrintUsage(FILE* inOut)
{
    std::fprintf(inOut, "usage: ferrolift COMMAND [ARGS]\n\ncommands:\n");
    for (const Command& theCommand : kCommands)
        std::fprintf(inOut, "  ferrolift %s\n", theCommand.usage);
    std::fputs(ferrolift::cli::CommonHelp(), inOut);
    return inOut == stdout ? 0 : 2;
}

bool IsHelpFlag(const char* inArgument)
{
    return std::strcmp(inArgument, "--help") == 0 || std::strcmp(inArgument, "-h") == 0;
}

// `ferrolift help COMMAND` and `ferrolift COMMAND --help`: to standard output, exit 0,
// so that scripts and packaging can rely on them.
int PrintCommandHelp(const char* inCommand)
{
    const char* theHelp = ferrolift::cli::CommandHelp(inCommand);
    if (theHelp == nullptr) {
        std::fprintf(stderr, "ferrolift: unknown command '%s'\n", inCommand);
        return PrintUsage(stderr);
    }
    std::fputs(theHelp, stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return PrintUsage(stderr);
    if (std::strcmp(argv[1], "help") == 0 && argc > 2)
        return PrintCommandHelp(argv[2]);
    if (IsHelpFlag(argv[1]) || std::strcmp(argv[1], "help") == 0)
        return PrintUsage(stdout);
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("ferrolift %s\n", FERROLIFT_VERSION);
        return 0;
    }
    // Only as the first argument: a later "--help" may be a value (reg add ... /d --help).
    if (argc > 2 && IsHelpFlag(argv[2]))
        return PrintCommandHelp(argv[1]);
    for (const Command& theCommand : kCommands) {
        if (std::strcmp(argv[1], theCommand.name) != 0)
            continue;
        if (theCommand.run == nullptr) {
            std::fprintf(stderr, "ferrolift: '%s' is not available in this build\n", theCommand.name);
            return 3;
        }
        return theCommand.run(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "ferrolift: unknown command '%s'\n", argv[1]);
    return PrintUsage(stderr);
}

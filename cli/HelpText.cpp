// HelpText.cpp: the help of each subcommand, kept in one table so `--help` and the
// manual page can be compared line by line.
#include "cli/HelpText.h"

#include <cstring>

namespace ferrolift::cli {

namespace {

struct Help {
    const char* command;
    const char* text;
};

const Help kHelp[] = {
    {"serve",
     "usage: ferrolift serve [--root DIR] [--listen HOST:PORT] [--threads N] [--max-uploads N]\n"
     "                       [--running N] [--max-connections N] [--timeout SECONDS]\n"
     "                       [--trusted-proxy LIST]... [--proxy-header x-forwarded|forwarded]\n"
     "\n"
     "Serves a site folder over HTTP and runs its .asp pages. Registers the component in\n"
     "the current registry first if it is not registered there yet.\n"
     "\n"
     "  --root DIR          the site folder (default: the bundled sample site); nothing\n"
     "                      outside it is ever served or mapped\n"
     "  --listen HOST:PORT  address and port (default 127.0.0.1:8080; port 0 picks a free\n"
     "                      port and prints it)\n"
     "  --threads N         page workers: pages without a body running at once, 1 to\n"
     "                      1024 (default 64)\n"
     "  --max-uploads N     requests with a body still arriving, running at once, each\n"
     "                      on a thread of its own (default 1024); more get 503 with\n"
     "                      Retry-After\n"
     "  --running N         pages computing at once (default: the processors, at least\n"
     "                      2); a page waiting for its client leaves its turn to another\n"
     "  --max-connections N open connections, idle ones included (default 10000)\n"
     "  --timeout SECONDS   how long a request head may take, or a read or write stall,\n"
     "                      1 to 86400 (default 30)\n"
     "  --trusted-proxy LIST  addresses and networks (\"127.0.0.1,::1\", \"10.0.0.0/8\")\n"
     "                      whose forwarding headers name the client and scheme; from\n"
     "                      anyone else they are ignored (repeatable)\n"
     "  --proxy-header KIND the header those proxies maintain: x-forwarded (default,\n"
     "                      X-Forwarded-For and -Proto) or forwarded\n"
     "\n"
     "One access line per request goes to standard output, page errors to standard error.\n"
     "SIGINT or SIGTERM stops it: running requests get 10 seconds to finish.\n"},
    {"register",
     "usage: ferrolift register [MODULE]\n"
     "\n"
     "Loads the component module and calls its self-registration: the classes, their\n"
     "ProgIDs and the module's path (InprocServer32) are written to the registry, with\n"
     "the settings key and the event source. MODULE defaults to the libferrolift.so\n"
     "installed beside this program.\n"},
    {"unregister",
     "usage: ferrolift unregister [MODULE]\n"
     "\n"
     "Removes the class registrations that `register` wrote. The settings key and the\n"
     "event source stay.\n"},
    {"reg",
     "usage: ferrolift reg query  KEY [/v NAME | /ve] [/s]\n"
     "       ferrolift reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
     "       ferrolift reg delete KEY [/v NAME | /ve | /va] [/f]\n"
     "\n"
     "Reads and changes the registry file, with the syntax of the Windows reg tool. KEY\n"
     "starts with HKLM, HKCU, HKCR, HKU or HKCC (or their long names). TYPE is REG_SZ,\n"
     "REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY or REG_NONE.\n"
     "\n"
     "The component's settings:\n"
     "  ferrolift reg add \"HKLM\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0\" /v ReadChunkSize /t REG_DWORD /d 65536 /f\n"
     "  ferrolift reg query \"HKLM\\SOFTWARE\\Tallowmere\\Ferrolift\\4.0\"\n"},
    {"eventlog",
     "usage: ferrolift eventlog\n"
     "\n"
     "Prints the event-log file, oldest entry first: time, type, source and text. Entries\n"
     "are written when the LogErrors setting is on, and at registration. The same entries\n"
     "also go to syslog (the journal) under the source's name.\n"},
    {"typelib",
     "usage: ferrolift typelib\n"
     "\n"
     "Prints the component's type library (classes, interfaces, members) as IDL.\n"},
};

}  // namespace

const char* CommandHelp(const char* inCommand)
{
    for (const Help& theHelp : kHelp) {
        if (std::strcmp(theHelp.command, inCommand) == 0)
            return theHelp.text;
    }
    return nullptr;
}

const char* CommonHelp()
{
    return "\n"
           "Run `ferrolift COMMAND --help` for the options of one command.\n"
           "\n"
           "environment:\n"
           "  FERROLIFT_REGISTRY  the registry file; the installed service uses\n"
           "                      /var/lib/ferrolift/registry.reg (see /etc/default/ferrolift)\n"
           "  FERROLIFT_EVENTLOG  the event-log file (default: eventlog.jsonl beside the registry)\n"
           "  TMPDIR              where uploads are cached while they arrive (default /tmp)\n";
}

}  // namespace ferrolift::cli

// Locations of the registry and event-log files.
#include "platform/registry/StatePaths.h"

#include "platform/eventlog/EventLog.h"
#include "platform/registry/Registry.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ferrolift::platform {

namespace {

std::string Environment(const char* inName)
{
    const char* theValue = std::getenv(inName);
    return theValue != nullptr ? theValue : "";
}

std::string HomeFolder()
{
    std::string theHome = Environment("HOME");
    if (!theHome.empty())
        return theHome;
    const passwd* theAccount = ::getpwuid(::getuid());
    return theAccount != nullptr && theAccount->pw_dir != nullptr ? theAccount->pw_dir : "/tmp";
}

// Where a server started as root keeps its state. Threads that impersonate another
// account must still read the settings, so these are system folders that every account
// may read, not root's home folder (mode 0700).
constexpr char kSystemRegistry[] = "/var/lib/ferrolift/registry.reg";
constexpr char kSystemEventLog[] = "/var/log/ferrolift/eventlog.jsonl";

bool RunsAsRoot()
{
    // The real uid: an impersonating thread changes only its effective ids.
    return ::getuid() == 0;
}

}  // namespace

std::string RegistryFilePath()
{
    std::string thePath = Environment("FERROLIFT_REGISTRY");
    if (!thePath.empty())
        return thePath;
    if (RunsAsRoot())
        return kSystemRegistry;
    const std::string theState = Environment("XDG_STATE_HOME");
    if (!theState.empty() && theState.front() == '/')
        return theState + "/ferrolift/registry.reg";
    return HomeFolder() + "/.local/state/ferrolift/registry.reg";
}

std::string EventLogFilePath()
{
    std::string thePath = Environment("FERROLIFT_EVENTLOG");
    if (!thePath.empty())
        return thePath;
    if (Environment("FERROLIFT_REGISTRY").empty() && RunsAsRoot())
        return kSystemEventLog;
    return ParentFolder(RegistryFilePath()) + "/eventlog.jsonl";
}

std::string ParentFolder(const std::string& inPath)
{
    const size_t theSlash = inPath.rfind('/');
    if (theSlash == std::string::npos)
        return ".";
    return theSlash == 0 ? "/" : inPath.substr(0, theSlash);
}

bool MakeParentFolders(const std::string& inPath)
{
    const std::string theFolder = ParentFolder(inPath);
    for (size_t theSlash = theFolder.find('/', 1);; theSlash = theFolder.find('/', theSlash + 1)) {
        const std::string thePrefix = theFolder.substr(0, theSlash);
        struct stat theInfo {};
        if (::mkdir(thePrefix.c_str(), 0755) == 0) {
            // The umask must not make a new folder unreadable to other accounts.
            ::chmod(thePrefix.c_str(), 0755);
        } else if (errno != EEXIST && !(::stat(thePrefix.c_str(), &theInfo) == 0 && S_ISDIR(theInfo.st_mode))) {
            return false;
        }
        if (theSlash == std::string::npos)
            return true;
    }
}

}  // namespace ferrolift::platform

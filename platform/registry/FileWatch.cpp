#include "platform/registry/FileWatch.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace ferrolift::platform::reg {

namespace {

// Everything that can give the path other content: writes in place, a new file renamed
// over it, removal, and the folder itself going away.
constexpr uint32_t kMask = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                           IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// Forks seen by this process; a child's count differs from its parent's. Cheaper than
// asking for the process ID at every check.
std::atomic<unsigned> gForks{0};

void CountFork()
{
    gForks.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

FileWatch::~FileWatch()
{
    Stop();
}

void FileWatch::Stop()
{
    // A forked child closes only its own copy of the descriptor.
    if (mFd >= 0)
        ::close(mFd);
    mFd = -1;
    mWatch = -1;
    mName.clear();
}

bool FileWatch::Watch(const std::string& inPath)
{
    Stop();
    const std::string::size_type theSlash = inPath.rfind('/');
    if (theSlash == std::string::npos || theSlash + 1 == inPath.size())
        return false;
    const std::string theFolder = theSlash == 0 ? "/" : inPath.substr(0, theSlash);
    mFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (mFd < 0)
        return false;
    mWatch = ::inotify_add_watch(mFd, theFolder.c_str(), kMask);
    if (mWatch < 0) {
        Stop();
        return false;
    }
    static std::once_flag theCounting;
    std::call_once(theCounting, [] { ::pthread_atfork(nullptr, nullptr, CountFork); });
    mForks = gForks.load(std::memory_order_relaxed);
    mName = inPath.substr(theSlash + 1);
    return true;
}

bool FileWatch::Active() const
{
    return mFd >= 0 && mForks == gForks.load(std::memory_order_relaxed);
}

bool FileWatch::MayHaveChanged()
{
    if (!Active())
        return true;
    bool theChanged = false;
    alignas(inotify_event) char theBuffer[4096];
    while (true) {
        const ssize_t theRead = ::read(mFd, theBuffer, sizeof theBuffer);
        if (theRead < 0 && errno == EINTR)
            continue;
        if (theRead < 0 && errno == EAGAIN)
            break;   // drained
        if (theRead <= 0) {
            Stop();
            return true;
        }
        for (ssize_t theAt = 0; theAt < theRead;) {
            const auto* theEvent = reinterpret_cast<const inotify_event*>(theBuffer + theAt);
            theAt += static_cast<ssize_t>(sizeof(inotify_event) + theEvent->len);
            if ((theEvent->mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) != 0) {
                Stop();   // events may be lost or the folder is gone: the caller checks every time
                return true;
            }
            if (theEvent->len != 0 && std::strcmp(theEvent->name, mName.c_str()) == 0)
                theChanged = true;
        }
    }
    return theChanged;
}

}  // namespace ferrolift::platform::reg

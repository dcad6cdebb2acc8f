// FileWatch.h: tells cheaply whether one file may have changed, so that a cache of its
// content need not stat the path at every use. The kernel queues an inotify event inside
// the call that changes the folder entry or the file, so a change that completed before
// MayHaveChanged is always reported; when no watch can be kept (no folder yet, no inotify
// instances left, a forked child, the folder itself moved), every call answers true and
// the caller falls back to checking the file itself.
//
// Not seen: changes through shared mappings, by other hosts on a network volume, and a
// folder above the file's own folder being renamed or replaced.
//
//   FileWatch theWatch;
//   theWatch.Watch("/var/lib/app/settings.reg");   // before the first check of the file
//   if (theWatch.MayHaveChanged()) { ...stat and reload... }
#pragma once

#include <string>

namespace ferrolift::platform::reg {

/// Watches one file by its folder; not thread-safe (callers hold their own lock).
class FileWatch {
public:
    FileWatch() = default;
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;
    ~FileWatch();

    /// Starts watching inPath (replacing any earlier watch). False when the watch cannot
    /// be kept; MayHaveChanged then answers true.
    bool Watch(const std::string& inPath);

    /// True while the watch is working for the path last given.
    bool Active() const;

    /// True when the file may have changed since the last call; drains the events.
    bool MayHaveChanged();

    void Stop();

private:
    int mFd = -1;
    int mWatch = -1;
    unsigned mForks = 0;   // forks counted when the watch began: a child must not drain its parent's queue
    std::string mName;  // the file's name inside the watched folder
};

}  // namespace ferrolift::platform::reg

// RegistryStore.h: the registry file behind the registry calls. Every access first
// checks that the cached content is the file's latest (by device, inode, size and
// modification time; the cached file stays open so its inode cannot be reused; the check
// is skipped while a watch on the file's folder reports nothing for it, and after the
// first read of a ReadScope), and
// every change runs under an exclusive lock on "<file>.lock", re-reads the file and
// replaces it atomically (temporary file, then rename).
//
//   LSTATUS theStatus = Store::Instance().Read([&](Tree& inTree) -> LSTATUS {
//       return inTree.Root(RootId::LocalMachine).FindSubkey("SOFTWARE") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
//   });
#pragma once

#include "platform/registry/FileWatch.h"
#include "platform/registry/RegFile.h"
#include "platform/registry/Registry.h"

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <sys/types.h>

namespace ferrolift::platform::reg {

/// The process's one view of the registry file.
class Store {
public:
    /// The process-wide store.
    static Store& Instance();

    /// Runs inRead on the latest content, one caller at a time. ERROR_BADDB when the file
    /// does not parse, the mapped errno when it cannot be read, else inRead's result.
    LSTATUS Read(const std::function<LSTATUS(Tree&)>& inRead);

    /// Runs inChange on the latest content under the file lock. When it returns
    /// ERROR_SUCCESS with outChanged set, the file is replaced by the new content. A
    /// change must leave the tree untouched when it fails.
    LSTATUS Change(const std::function<LSTATUS(Tree&, bool& outChanged)>& inChange);

    /// A number that changes whenever the content changes (and at every call while the
    /// file cannot be read), so that values derived from it can be cached; refreshes
    /// like Read.
    unsigned long long Generation();

    /// "" or a sentence naming the registry file and what is wrong with it.
    std::string Problem();

    ~Store();

private:
    Store() = default;
    // Refresh checks once per ReadScope; RefreshNow always.
    LSTATUS Refresh(const std::string& inPath);
    LSTATUS RefreshNow(const std::string& inPath);
    LSTATUS Load(const std::string& inPath, int inFd);
    LSTATUS Save(const std::string& inPath);
    void Forget();
    void ReportCorrupt(const std::string& inPath, const std::string& inIdentity);

    std::mutex mMutex;
    std::string mPath;
    bool mValid = false;      // mTree and mStatus reflect the file identified below
    bool mMissing = false;    // the file did not exist
    dev_t mDevice = 0;
    ino_t mInode = 0;
    off_t mSize = 0;
    long long mModified = 0;  // nanoseconds
    int mHeldFd = -1;         // keeps the cached file's inode in use
    Tree mTree;
    LSTATUS mStatus = 0;
    std::string mProblem;
    std::set<std::string> mReported;  // corrupt file identities already logged
    FileWatch mWatch;
    unsigned long long mGeneration = 0;
};

}  // namespace ferrolift::platform::reg

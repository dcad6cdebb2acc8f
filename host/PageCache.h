// PageCache.h: compiled pages (bytecode) shared by all workers, recompiled when the page
// or any file it includes changes (identity, size, modification or change time), and
// refused from the first request after any of them is marked as a visitor's upload.
//
//   ferrolift::host::PageCache theCache("/srv/site");
//   ferrolift::host::CompileError theError;
//   std::shared_ptr<const ferrolift::host::CompiledPage> thePage =
//       theCache.Get("/srv/site/upload.asp", theError);   // null on a compile error
#pragma once

#include <sys/stat.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host/PageCompiler.h"

namespace ferrolift::host {

/// Thread-safe cache of compiled pages keyed by physical path.
class PageCache {
public:
    explicit PageCache(std::string inRoot);

    /// The compiled page for inPath, compiled now when absent or out of date; null with
    /// outError set when it does not compile (errors are not cached). inRouted, when
    /// given, is the page file's status taken by a caller that has just found the file
    /// unmarked: the page itself is then not read again (its includes still are).
    std::shared_ptr<const CompiledPage> Get(const std::string& inPath, CompileError& outError,
                                            const struct stat* inRouted = nullptr);

private:
    // A compiled page, and whether its files changed so shortly before it was compiled
    // that their stamps cannot be trusted to show a later change.
    struct Entry {
        std::shared_ptr<const CompiledPage> page;
        bool racy = false;
    };

    static bool UpToDate(const CompiledPage& inPage, const std::string& inPath, const struct stat* inRouted);

    PageCompiler mCompiler;
    std::mutex mLock;
    std::map<std::string, Entry> mPages;
};

}  // namespace ferrolift::host

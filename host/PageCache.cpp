#include "PageCache.h"

#include <sys/stat.h>

#include "UploadMark.h"

namespace ferrolift::host {

PageCache::PageCache(std::string inRoot) : mCompiler(std::move(inRoot)) {}

namespace {

bool SameTime(const struct timespec& inLeft, const struct timespec& inRight)
{
    return inLeft.tv_sec == inRight.tv_sec && inLeft.tv_nsec == inRight.tv_nsec;
}

}  // namespace

bool PageCache::UpToDate(const CompiledPage& inPage)
{
    // Two system calls per file and request, on inodes the kernel has cached: a changed
    // file is seen at the very next request, and so is a file marked as a visitor's
    // since it was compiled (the mark is read itself: the change time it moves may fall
    // in the same clock tick as the compile).
    for (const PageDependency& theDependency : inPage.dependencies) {
        struct stat theStat {};
        if (stat(theDependency.path.c_str(), &theStat) != 0)
            return false;
        if (theStat.st_size != theDependency.size || theStat.st_dev != theDependency.device ||
            theStat.st_ino != theDependency.inode || !SameTime(theStat.st_mtim, theDependency.mtime) ||
            !SameTime(theStat.st_ctim, theDependency.ctime))
            return false;
        if (IsVisitorData(theDependency.path))
            return false;
    }
    return true;
}

std::shared_ptr<const CompiledPage> PageCache::Get(const std::string& inPath, CompileError& outError)
{
    {
        std::lock_guard<std::mutex> theGuard(mLock);
        auto theFound = mPages.find(inPath);
        if (theFound != mPages.end() && UpToDate(*theFound->second))
            return theFound->second;
    }
    // Compile outside the lock: two workers may compile the same page at once, and the
    // later result simply replaces the earlier one.
    auto thePage = std::make_shared<CompiledPage>();
    if (!mCompiler.Compile(inPath, *thePage, outError))
        return nullptr;
    std::lock_guard<std::mutex> theGuard(mLock);
    mPages[inPath] = thePage;
    return thePage;
}

}  // namespace ferrolift::host

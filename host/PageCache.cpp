#include "PageCache.h"

#include <sys/stat.h>

namespace ferrolift::host {

PageCache::PageCache(std::string inRoot) : mCompiler(std::move(inRoot)) {}

bool PageCache::UpToDate(const CompiledPage& inPage)
{
    for (const PageDependency& theDependency : inPage.dependencies) {
        struct stat theStat {};
        if (stat(theDependency.path.c_str(), &theStat) != 0)
            return false;
        if (theStat.st_size != theDependency.size || theStat.st_mtim.tv_sec != theDependency.mtime.tv_sec ||
            theStat.st_mtim.tv_nsec != theDependency.mtime.tv_nsec)
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

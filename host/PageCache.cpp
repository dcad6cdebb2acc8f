#include "host/PageCache.h"

#include <sys/stat.h>

#include <ctime>

#include "host/UploadMark.h"

namespace ferrolift::host {

PageCache::PageCache(std::string inRoot) : mCompiler(std::move(inRoot)) {}

namespace {

bool SameTime(const struct timespec& inLeft, const struct timespec& inRight)
{
    return inLeft.tv_sec == inRight.tv_sec && inLeft.tv_nsec == inRight.tv_nsec;
}

// True when inStamp lies less than kRacyMargin before inStart (or after it).
bool Recent(const struct timespec& inStamp, const struct timespec& inStart)
{
    constexpr long long kRacyMarginNs = 100'000'000;   // well above any kernel tick
    long long theStamp = static_cast<long long>(inStamp.tv_sec) * 1'000'000'000 + inStamp.tv_nsec;
    long long theStart = static_cast<long long>(inStart.tv_sec) * 1'000'000'000 + inStart.tv_nsec;
    return theStamp > theStart - kRacyMarginNs;
}

}  // namespace

bool PageCache::UpToDate(const CompiledPage& inPage, const std::string& inPath, const struct stat* inRouted)
{
    // Two system calls per file and request, on inodes the kernel has cached: a changed
    // file is seen at the very next request, and so is a file marked as a visitor's
    // since it was compiled (the mark is read itself: the change time it moves may fall
    // in the same clock tick as the compile).
    for (const PageDependency& theDependency : inPage.dependencies) {
        const bool theRouted = inRouted != nullptr && theDependency.path == inPath;
        struct stat theStat {};
        if (theRouted)
            theStat = *inRouted;
        else if (stat(theDependency.path.c_str(), &theStat) != 0)
            return false;
        if (theStat.st_size != theDependency.size || theStat.st_dev != theDependency.device ||
            theStat.st_ino != theDependency.inode || !SameTime(theStat.st_mtim, theDependency.mtime) ||
            !SameTime(theStat.st_ctim, theDependency.ctime))
            return false;
        if (!theRouted && IsVisitorData(theDependency.path))
            return false;
    }
    return true;
}

std::shared_ptr<const CompiledPage> PageCache::Get(const std::string& inPath, CompileError& outError,
                                                   const struct stat* inRouted)
{
    Entry theEntry;
    {
        std::lock_guard<std::mutex> theGuard(mLock);
        auto theFound = mPages.find(inPath);
        if (theFound != mPages.end())
            theEntry = theFound->second;
    }
    // Checked outside the lock: the checks are system calls, and every worker comes here.
    if (theEntry.page != nullptr && !theEntry.racy && UpToDate(*theEntry.page, inPath, inRouted))
        return theEntry.page;
    // Compile outside the lock: two workers may compile the same page at once, and the
    // later result simply replaces the earlier one.
    struct timespec theStart {};
    clock_gettime(CLOCK_REALTIME_COARSE, &theStart);
    auto thePage = std::make_shared<CompiledPage>();
    if (!mCompiler.Compile(inPath, *thePage, outError))
        return nullptr;
    // File times advance in clock ticks, so a file written again within the tick of
    // this compile would keep its stamps: a page with stamps that recent is compiled
    // anew at each request until its files have aged.
    bool theRacy = false;
    for (const PageDependency& theDependency : thePage->dependencies)
        theRacy = theRacy || Recent(theDependency.mtime, theStart) || Recent(theDependency.ctime, theStart);
    std::lock_guard<std::mutex> theGuard(mLock);
    mPages[inPath] = Entry{thePage, theRacy};
    return thePage;
}

}  // namespace ferrolift::host

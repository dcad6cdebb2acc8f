// The registry file: cached reads, locked atomic writes, corrupt files left alone.
#include "platform/registry/RegistryStore.h"

#include "platform/errors/Errors.h"
#include "platform/eventlog/EventLog.h"
#include "platform/registry/ReadScope.h"
#include "platform/registry/Registry.h"
#include "platform/registry/StatePaths.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ferrolift::platform::reg {

namespace {

// Owns a file descriptor.
class UniqueFd {
public:
    explicit UniqueFd(int inFd = -1) : mFd(inFd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }
    int get() const { return mFd; }
    int release() { const int theFd = mFd; mFd = -1; return theFd; }
    void reset(int inFd = -1)
    {
        if (mFd >= 0)
            ::close(mFd);
        mFd = inFd;
    }

private:
    int mFd;
};

long long Nanoseconds(const timespec& inTime)
{
    return static_cast<long long>(inTime.tv_sec) * 1000000000LL + inTime.tv_nsec;
}

bool ReadAll(int inFd, std::string& outText)
{
    char theBuffer[65536];
    while (true) {
        const ssize_t theRead = ::read(inFd, theBuffer, sizeof theBuffer);
        if (theRead < 0 && errno == EINTR)
            continue;
        if (theRead < 0)
            return false;
        if (theRead == 0)
            return true;
        outText.append(theBuffer, static_cast<size_t>(theRead));
    }
}

bool WriteAll(int inFd, const std::string& inText)
{
    size_t theDone = 0;
    while (theDone < inText.size()) {
        const ssize_t theWritten = ::write(inFd, inText.data() + theDone, inText.size() - theDone);
        if (theWritten < 0 && errno == EINTR)
            continue;
        if (theWritten < 0)
            return false;
        theDone += static_cast<size_t>(theWritten);
    }
    return true;
}

// Takes the cross-process writer lock; released when the descriptor closes.
LSTATUS LockFile(const std::string& inPath, UniqueFd& outLock)
{
    const std::string theLockPath = inPath + ".lock";
    outLock.reset(::open(theLockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (outLock.get() < 0 && errno == ENOENT && MakeParentFolders(inPath))
        outLock.reset(::open(theLockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (outLock.get() < 0)
        return static_cast<LSTATUS>(SetLastErrorFromErrnoForPath(errno, "open", theLockPath.c_str()));
    while (::flock(outLock.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return static_cast<LSTATUS>(SetLastErrorFromErrno(errno, "flock"));
    }
    return ERROR_SUCCESS;
}

}  // namespace

Store& Store::Instance()
{
    static Store theStore;
    return theStore;
}

Store::~Store()
{
    Forget();
}

void Store::Forget()
{
    ++mGeneration;
    mValid = false;
    mMissing = false;
    if (mHeldFd >= 0)
        ::close(mHeldFd);
    mHeldFd = -1;
}

LSTATUS Store::Refresh(const std::string& inPath)
{
    if (mValid && ReadScope::Checked() && inPath == mPath)
        return mStatus;
    const LSTATUS theStatus = RefreshNow(inPath);
    ReadScope::NoteChecked();
    return theStatus;
}

LSTATUS Store::RefreshNow(const std::string& inPath)
{
    if (inPath != mPath) {
        Forget();
        mWatch.Stop();
        mPath = inPath;
    }
    // The watch starts before the file is checked, so no change can fall between them.
    if (!mWatch.Active())
        mWatch.Watch(inPath);
    else if (mValid && !mWatch.MayHaveChanged())
        return mStatus;
    struct stat theInfo {};
    if (::stat(inPath.c_str(), &theInfo) != 0) {
        if (errno != ENOENT)
            return static_cast<LSTATUS>(SetLastErrorFromErrno(errno, "stat"));
        if (!(mValid && mMissing)) {
            Forget();
            mTree = Tree();
            mStatus = ERROR_SUCCESS;
            mProblem.clear();
            mValid = mMissing = true;
        }
        return mStatus;
    }
    if (mValid && !mMissing && theInfo.st_dev == mDevice && theInfo.st_ino == mInode && theInfo.st_size == mSize &&
        Nanoseconds(theInfo.st_mtim) == mModified)
        return mStatus;
    UniqueFd theFd(::open(inPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (theFd.get() < 0)
        return static_cast<LSTATUS>(SetLastErrorFromErrno(errno, "open"));
    const LSTATUS theStatus = Load(inPath, theFd.get());
    if (theStatus == ERROR_SUCCESS || theStatus == ERROR_BADDB) {
        Forget();
        mHeldFd = theFd.release();
        mValid = true;
    }
    return theStatus;
}

LSTATUS Store::Load(const std::string& inPath, int inFd)
{
    struct stat theInfo {};
    std::string theText;
    if (::fstat(inFd, &theInfo) != 0 || !ReadAll(inFd, theText))
        return static_cast<LSTATUS>(SetLastErrorFromErrno(errno, "read"));
    mDevice = theInfo.st_dev;
    mInode = theInfo.st_ino;
    mSize = theInfo.st_size;
    mModified = Nanoseconds(theInfo.st_mtim);
    Tree theTree;
    const ParseResult theResult = ParseRegFile(theText, theTree);
    if (!theResult.ok) {
        mTree = Tree();
        mStatus = ERROR_BADDB;
        mProblem = "The registry file " + inPath + " is corrupt (line " + std::to_string(theResult.line) + ": " +
                   theResult.message + "); it is left unchanged and every registry call fails until it is repaired.";
        ReportCorrupt(inPath, std::to_string(mDevice) + ":" + std::to_string(mInode) + ":" + std::to_string(mSize) +
                                  ":" + std::to_string(mModified));
        return mStatus;
    }
    mTree = std::move(theTree);
    mStatus = ERROR_SUCCESS;
    mProblem.clear();
    return mStatus;
}

void Store::ReportCorrupt(const std::string& inPath, const std::string& inIdentity)
{
    if (!mReported.insert(inPath + "@" + inIdentity).second)
        return;
    HANDLE theSource = RegisterEventSourceA(nullptr, "Ferrolift");
    if (theSource == nullptr)
        return;
    LPCSTR theStrings[] = {mProblem.c_str()};
    ReportEventA(theSource, EVENTLOG_ERROR_TYPE, 1, 0x1000, nullptr, 1, 0, theStrings, nullptr);
    DeregisterEventSource(theSource);
}

LSTATUS Store::Save(const std::string& inPath)
{
    const std::string theText = WriteRegFile(mTree);
    std::string theTemporary = inPath + ".XXXXXX";
    UniqueFd theFd(::mkstemp(theTemporary.data()));
    if (theFd.get() < 0)
        return static_cast<LSTATUS>(SetLastErrorFromErrno(errno, "mkstemp"));
    // HKEY_LOCAL_MACHINE is readable by every account, as on the system it stands for.
    const bool theWritten = ::fchmod(theFd.get(), 0644) == 0 && WriteAll(theFd.get(), theText) &&
                            ::fdatasync(theFd.get()) == 0;
    struct stat theInfo {};
    if (!theWritten || ::fstat(theFd.get(), &theInfo) != 0 || ::rename(theTemporary.c_str(), inPath.c_str()) != 0) {
        const int theError = errno;
        ::unlink(theTemporary.c_str());
        return static_cast<LSTATUS>(SetLastErrorFromErrno(theError, "write"));
    }
    Forget();
    mDevice = theInfo.st_dev;
    mInode = theInfo.st_ino;
    mSize = theInfo.st_size;
    mModified = Nanoseconds(theInfo.st_mtim);
    mHeldFd = theFd.release();
    mValid = true;
    return ERROR_SUCCESS;
}

unsigned long long Store::Generation()
{
    std::lock_guard theGuard(mMutex);
    // A file that cannot be read now matches no earlier reading.
    if (Refresh(RegistryFilePath()) != ERROR_SUCCESS)
        ++mGeneration;
    return mGeneration;
}

LSTATUS Store::Read(const std::function<LSTATUS(Tree&)>& inRead)
{
    std::lock_guard theGuard(mMutex);
    const LSTATUS theStatus = Refresh(RegistryFilePath());
    if (theStatus != ERROR_SUCCESS)
        return theStatus;
    return inRead(mTree);
}

LSTATUS Store::Change(const std::function<LSTATUS(Tree&, bool&)>& inChange)
{
    std::lock_guard theGuard(mMutex);
    const std::string thePath = RegistryFilePath();
    UniqueFd theLock;
    LSTATUS theStatus = LockFile(thePath, theLock);
    // A change always starts from the file as it is now, scope or not: it would
    // otherwise write back an older content over another process's change.
    if (theStatus == ERROR_SUCCESS)
        theStatus = RefreshNow(thePath);
    if (theStatus != ERROR_SUCCESS)
        return theStatus;
    bool theChanged = false;
    theStatus = inChange(mTree, theChanged);
    if (theStatus != ERROR_SUCCESS || !theChanged)
        return theStatus;
    theStatus = Save(thePath);
    if (theStatus != ERROR_SUCCESS)
        Forget();  // the tree holds a change the file does not: read it again next time
    return theStatus;
}

std::string Store::Problem()
{
    std::lock_guard theGuard(mMutex);
    const std::string thePath = RegistryFilePath();
    const LSTATUS theStatus = Refresh(thePath);
    if (theStatus == ERROR_SUCCESS)
        return "";
    if (theStatus == ERROR_BADDB)
        return mProblem;
    std::string theReason = SystemMessageText(static_cast<DWORD>(theStatus));
    while (!theReason.empty() && (theReason.back() == '\n' || theReason.back() == '\r'))
        theReason.pop_back();
    return "The registry file " + thePath + " cannot be read: " + theReason;
}

}  // namespace ferrolift::platform::reg

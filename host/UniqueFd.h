// UniqueFd.h: owns one file descriptor and closes it once.
//
//   ferrolift::host::UniqueFd theFile(open(thePath, O_RDONLY | O_CLOEXEC));
//   if (!theFile) ...;
//   fstat(theFile.Get(), &theStat);
#pragma once

#include <unistd.h>

#include <utility>

namespace ferrolift::host {

/// A move-only owner of a file descriptor (-1: none).
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int inFd) : mFd(inFd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& inOther) noexcept : mFd(std::exchange(inOther.mFd, -1)) {}
    UniqueFd& operator=(UniqueFd&& inOther) noexcept
    {
        if (this != &inOther)
            Reset(std::exchange(inOther.mFd, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return mFd; }
    explicit operator bool() const { return mFd >= 0; }
    void Reset(int inFd = -1)
    {
        if (mFd >= 0)
            ::close(mFd);
        mFd = inFd;
    }

private:
    int mFd = -1;
};

}  // namespace ferrolift::host

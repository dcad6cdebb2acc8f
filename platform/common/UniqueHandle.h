// UniqueHandle.h: a move-only owner of one kernel handle (file, mapping, token), closed
// with CloseHandle when the owner goes. Both "no handle" values that Win32 calls return,
// null and INVALID_HANDLE_VALUE, count as empty.
//
//   UniqueHandle theFile(CreateFileA(thePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
//   if (!theFile.valid()) return GetLastError();
//   UniqueHandle theToken;
//   OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, theToken.put());
//   theStream.OpenHandle(theFile.release());     // the stream closes it now
#pragma once

#include <utility>

#include <windows.h>

class UniqueHandle {
public:
    UniqueHandle() noexcept = default;

    /// Adopts inHandle (which may be one of the empty values).
    explicit UniqueHandle(HANDLE inHandle) noexcept : mHandle(inHandle) {}

    UniqueHandle(UniqueHandle&& inOther) noexcept : mHandle(inOther.release()) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    UniqueHandle& operator=(UniqueHandle&& inOther) noexcept
    {
        if (this != &inOther)
            reset(inOther.release());
        return *this;
    }

    /// True when a handle is held.
    bool valid() const noexcept { return mHandle != nullptr && mHandle != INVALID_HANDLE_VALUE; }

    HANDLE get() const noexcept { return mHandle; }

    /// Closes the held handle and adopts inHandle.
    void reset(HANDLE inHandle = nullptr) noexcept
    {
        HANDLE theOld = std::exchange(mHandle, inHandle);
        if (theOld != nullptr && theOld != INVALID_HANDLE_VALUE && theOld != inHandle)
            CloseHandle(theOld);
    }

    /// Gives up ownership: the caller closes the result.
    [[nodiscard]] HANDLE release() noexcept { return std::exchange(mHandle, nullptr); }

    /// Closes the held handle and returns the slot for an out-parameter.
    HANDLE* put() noexcept
    {
        reset();
        return &mHandle;
    }

private:
    HANDLE mHandle = nullptr;
};

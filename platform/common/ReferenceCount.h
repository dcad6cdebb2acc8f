// ReferenceCount.h: the reference count of one COM object, and the object's share of its
// module's lock count for as long as it lives. The module supplies the lock as a hook, so
// this header needs nothing but COM itself.
//
//   struct ModuleLock { static void Lock(); static void Unlock(); };   // the module's
//   ReferenceCount<ModuleLock> mReferences{1};
//   friend class ReferenceCount<ModuleLock>;                          // may delete us
//   ULONG STDMETHODCALLTYPE AddRef() override { return mReferences.AddRef(); }
//   ULONG STDMETHODCALLTYPE Release() override { return mReferences.Release(this); }
#pragma once

#include <atomic>

#include <windows.h>

/// The hook for objects that do not keep a module loaded (the platform's own, class
/// objects, which count through LockServer instead).
struct NoModuleLock {
    static void Lock() noexcept {}
    static void Unlock() noexcept {}
};

/// A thread-safe count. TModuleLock::Lock() runs when the count is made and Unlock()
/// when it goes, so a module stays loaded while any of its objects lives.
template <class TModuleLock>
class ReferenceCount {
public:
    explicit ReferenceCount(ULONG inInitial) noexcept : mCount(inInitial) { TModuleLock::Lock(); }
    ~ReferenceCount() { TModuleLock::Unlock(); }
    ReferenceCount(const ReferenceCount&) = delete;
    ReferenceCount& operator=(const ReferenceCount&) = delete;

    /// The count after adding one.
    ULONG AddRef() noexcept { return ++mCount; }
    /// The count after removing one. At 0 it deletes inOwner, the object this count
    /// belongs to (and so the count itself); nothing of either is touched after that.
    template <class TOwner>
    ULONG Release(TOwner* inOwner) noexcept
    {
        const ULONG theLeft = --mCount;
        if (theLeft == 0)
            delete inOwner;
        return theLeft;
    }

private:
    std::atomic<ULONG> mCount;
};

// ScriptHeap.h: the owner of one script heap. Its memory is capped, and the data of the
// page it currently runs hangs off it so that native functions can find it. Pages reuse
// heaps (see PageHeap.h), so the environment is set per page.
//
//   ferrolift::host::ScriptHeap theHeap(&theEnvironment);
//   if (!theHeap.Valid()) return;
//   duk_context* ctx = theHeap.Context();
//   ScriptEnvironment& theEnv = ferrolift::host::ScriptHeap::Environment(ctx);
#pragma once

#include <duktape.h>

#include <cstddef>
#include <memory>

namespace ferrolift::host {

struct ScriptEnvironment;

/// One duktape heap with a memory cap; destroyed (finalizers run) with the object.
class ScriptHeap {
public:
    /// The most memory one page's heap may hold.
    static constexpr std::size_t kDefaultLimit = 64 * 1024 * 1024;

    explicit ScriptHeap(ScriptEnvironment* inEnvironment, std::size_t inLimit = kDefaultLimit);
    ~ScriptHeap();
    ScriptHeap(const ScriptHeap&) = delete;
    ScriptHeap& operator=(const ScriptHeap&) = delete;

    bool Valid() const { return mContext != nullptr; }
    duk_context* Context() const { return mContext; }

    /// The environment given to the heap that runs inContext (any thread of the heap).
    static ScriptEnvironment& Environment(duk_context* inContext);
    /// Points the heap's native functions at the page that runs next.
    void SetEnvironment(ScriptEnvironment* inEnvironment) { mEnvironment = inEnvironment; }

    /// True once an allocation was refused for the cap: the heap has been near its
    /// limit and is not trusted with another page.
    bool LimitReached() const { return mLimitReached; }

    /// Bytes currently allocated by the heap.
    std::size_t Allocated() const { return mAllocated; }

private:
    static void* Alloc(void* inUserData, duk_size_t inSize);
    static void* Realloc(void* inUserData, void* inPtr, duk_size_t inSize);
    static void Free(void* inUserData, void* inPtr);
    static void Fatal(void* inUserData, const char* inMessage);

    ScriptEnvironment* mEnvironment;
    // Stands in while no page runs, so that a late finalizer finds an empty page.
    std::unique_ptr<ScriptEnvironment> mIdle;
    std::size_t mLimit;
    std::size_t mAllocated = 0;
    bool mLimitReached = false;
    duk_context* mContext = nullptr;
};

/// Makes sure a native function has room on the value stack before it pushes; false
/// when the stack cannot grow (the caller then throws a RangeError).
bool EnsureStack(duk_context* inContext, duk_idx_t inExtra = 16);

}  // namespace ferrolift::host

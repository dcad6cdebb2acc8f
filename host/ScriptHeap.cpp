#include "host/ScriptHeap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/ScriptEnvironment.h"

namespace ferrolift::host {

namespace {

// Each block carries its size in front so that the cap can be kept exactly.
constexpr std::size_t kHeader = alignof(std::max_align_t);

std::size_t BlockSize(void* inPtr)
{
    std::size_t theSize;
    std::memcpy(&theSize, static_cast<char*>(inPtr) - kHeader, sizeof theSize);
    return theSize;
}

}  // namespace

ScriptHeap::ScriptHeap(ScriptEnvironment* inEnvironment, std::size_t inLimit)
    : mEnvironment(inEnvironment), mIdle(std::make_unique<ScriptEnvironment>()), mLimit(inLimit)
{
    mContext = duk_create_heap(&ScriptHeap::Alloc, &ScriptHeap::Realloc, &ScriptHeap::Free, this, &ScriptHeap::Fatal);
}

ScriptHeap::~ScriptHeap()
{
    if (mContext != nullptr)
        duk_destroy_heap(mContext);   // runs the finalizers, which release automation objects
}

ScriptEnvironment& ScriptHeap::Environment(duk_context* inContext)
{
    duk_memory_functions theFunctions;
    duk_get_memory_functions(inContext, &theFunctions);
    auto* theHeap = static_cast<ScriptHeap*>(theFunctions.udata);
    return theHeap->mEnvironment != nullptr ? *theHeap->mEnvironment : *theHeap->mIdle;
}

void* ScriptHeap::Alloc(void* inUserData, duk_size_t inSize)
{
    auto* theHeap = static_cast<ScriptHeap*>(inUserData);
    if (inSize > theHeap->mLimit - theHeap->mAllocated) {
        theHeap->mLimitReached = true;
        return nullptr;   // the engine collects garbage and retries, else raises a RangeError
    }
    char* theBlock = static_cast<char*>(std::malloc(inSize + kHeader));
    if (theBlock == nullptr)
        return nullptr;
    std::memcpy(theBlock, &inSize, sizeof inSize);
    theHeap->mAllocated += inSize;
    return theBlock + kHeader;
}

void* ScriptHeap::Realloc(void* inUserData, void* inPtr, duk_size_t inSize)
{
    auto* theHeap = static_cast<ScriptHeap*>(inUserData);
    if (inPtr == nullptr)
        return Alloc(inUserData, inSize);
    if (inSize == 0) {
        Free(inUserData, inPtr);
        return nullptr;
    }
    std::size_t theOld = BlockSize(inPtr);
    if (inSize > theOld && inSize - theOld > theHeap->mLimit - theHeap->mAllocated) {
        theHeap->mLimitReached = true;
        return nullptr;
    }
    char* theBlock = static_cast<char*>(std::realloc(static_cast<char*>(inPtr) - kHeader, inSize + kHeader));
    if (theBlock == nullptr)
        return nullptr;
    std::memcpy(theBlock, &inSize, sizeof inSize);
    theHeap->mAllocated = theHeap->mAllocated - theOld + inSize;
    return theBlock + kHeader;
}

void ScriptHeap::Free(void* inUserData, void* inPtr)
{
    if (inPtr == nullptr)
        return;
    auto* theHeap = static_cast<ScriptHeap*>(inUserData);
    theHeap->mAllocated -= BlockSize(inPtr);
    std::free(static_cast<char*>(inPtr) - kHeader);
}

void ScriptHeap::Fatal(void*, const char* inMessage)
{
    // Only reached when the engine is used outside a protected call, which the host
    // never does; there is no safe way to continue, so no such heap is ever reused.
    std::fprintf(stderr, "ferrolift: script engine fatal error: %s\n", inMessage != nullptr ? inMessage : "");
    std::abort();
}

bool EnsureStack(duk_context* inContext, duk_idx_t inExtra)
{
    return duk_check_stack(inContext, inExtra) != 0;
}

}  // namespace ferrolift::host

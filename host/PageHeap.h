// PageHeap.h: a script heap that runs pages one after another, each with fresh global
// state. Building a heap (or a new set of built-ins) costs far more than a trivial page,
// so a heap is built once and its built-ins are shared:
//   - each page gets a new global object (its own variables) on a new engine thread of
//     the heap; it inherits the standard bindings from one shared, locked object;
//   - the built-in objects are locked when the heap is built: every property is made
//     non-configurable and every object non-extensible, so a page can only assign new
//     values to existing properties (Array.prototype.push = null); those values are put
//     back when the page ends. A page cannot add properties to built-in prototypes.
//   - the engine's own object (Duktape: finalizers, coroutines, error hooks) is not
//     bound in pages, so no script code of one page can run during the next;
//   - the page objects (Request, Response, Server, Enumerator) are built once, frozen,
//     and bound in each page's global object.
//
//   PageHeap theHeap;
//   duk_context* thePage = theHeap.BeginPage(&theEnvironment);   // null: no heap
//   ... run the page on thePage ...
//   bool theReusable = theHeap.EndPage();                          // objects released
#pragma once

#include <duktape.h>

#include <cstddef>
#include <vector>

#include "host/ScriptHeap.h"

namespace ferrolift::host {

struct ScriptEnvironment;

/// One heap prepared for a sequence of pages; used by one thread at a time.
class PageHeap {
public:
    explicit PageHeap(std::size_t inLimit = ScriptHeap::kDefaultLimit);
    PageHeap(const PageHeap&) = delete;
    PageHeap& operator=(const PageHeap&) = delete;

    /// False when the heap could not be built; such a heap runs nothing.
    bool Valid() const { return mValid; }

    /// Starts a page for inEnvironment and returns the context to run it on: a new
    /// thread whose global object is fresh. Null when the heap is not valid.
    duk_context* BeginPage(ScriptEnvironment* inEnvironment);

    /// Ends the page: drops its thread and global object, releases the automation
    /// objects it held (their finalizers run now, under the page's environment) and
    /// puts the built-ins back. False when the heap must not serve another page: it
    /// reached its memory cap, the page timed out, or the built-ins cannot be put back.
    bool EndPage();

    /// Bytes the heap holds now.
    std::size_t Allocated() const { return mHeap.Allocated(); }

private:
    // A value as the built-ins held it when the heap was built.
    struct Saved {
        void* object = nullptr;   // the built-in object (kept alive by the stash)
        void* key = nullptr;      // its property name (string or symbol)
        void* value = nullptr;    // heap value, or null for a primitive in `number`/`kind`
        duk_double_t number = 0;
        int kind = 0;             // DUK_TYPE_* of the value
        bool writable = true;     // for global bindings: the property's attributes
        bool enumerable = false;
        bool configurable = true;
    };

    bool Prepare();
    static duk_ret_t LockBuiltIns(duk_context* inContext, void* inUserData);
    static duk_ret_t BuildPageObjects(duk_context* inContext, void* inUserData);
    static duk_ret_t BuildGlobalScope(duk_context* inContext, void* inUserData);
    static duk_ret_t MakeGlobal(duk_context* inContext, void* inUserData);
    static duk_ret_t RestoreBuiltIns(duk_context* inContext, void* inUserData);
    static void PushSaved(duk_context* inContext, const Saved& inSaved);
    static Saved ReadSaved(duk_context* inContext, duk_idx_t inObject, duk_idx_t inKey, duk_idx_t inValue);

    static constexpr std::size_t kCollectEvery = 512 * 1024;

    ScriptHeap mHeap;
    std::size_t mCollectAt = 0;   // collect garbage once the heap holds more than this
    bool mValid = false;
    ScriptEnvironment* mPage = nullptr;
    std::vector<Saved> mBuiltIns;   // writable data properties of the built-in objects
    std::vector<Saved> mBindings;   // the standard global bindings (Object, Math, ...)
    void* mGlobalScope = nullptr;   // the object holding them, prototype of every page's global
    void* mSetTime = nullptr;       // the original Date.prototype.setTime
    void* mDatePrototype = nullptr;
};

}  // namespace ferrolift::host

#include "host/PageHeap.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "host/DispatchBridge.h"
#include "host/HostFunctions.h"
#include "host/ScriptPrelude.h"
#include "host/ScriptEnvironment.h"

namespace ferrolift::host {

namespace {

constexpr const char* kBaselineKey = "ferroliftBaseline";
constexpr const char* kPageObjectsKey = "ferroliftPageObjects";
constexpr const char* kGlobalScopeKey = "ferroliftGlobalScope";

// Walks every object reachable from the global object (property values, accessors,
// prototypes, and the thrower behind strict `arguments.callee`), locks it and returns
// { entries: [object, key, value, ...] of writable data properties,
//   bindings: [key, value, writable, enumerable, configurable, ...] of the global }.
// Run once per heap, but heaps are built in bursts (a thousand uploads starting at
// once), so `firstVisit` remembers the objects seen in a native set: a script array
// searched for each of the several hundred objects cost milliseconds per heap.
// Date.prototype is itself a Date whose time a page could set: its setter comes back
// too, to reset that time after each page.
const char kLockScript[] = R"JS(function (global, firstVisit) {
"use strict";
var entries = [], bindings = [];
function walk(o) {
  if (o === null || (typeof o !== "object" && typeof o !== "function")) return;
  if (!firstVisit(o)) return;
  var keys = Reflect.ownKeys(o);
  for (var i = 0; i < keys.length; i++) {
    var k = keys[i], d = Object.getOwnPropertyDescriptor(o, k);
    if ("value" in d) walk(d.value); else { walk(d.get); walk(d.set); }
    if (o === global) {
      if (k !== "Duktape" && k !== "globalThis" && "value" in d)
        bindings.push(k, d.value, d.writable, d.enumerable, d.configurable);
      continue;
    }
    if ("value" in d && d.writable) entries.push(o, k, d.value);
  }
  walk(Object.getPrototypeOf(o));
  if (o !== global) Object.seal(o);   // every property non-configurable, no new ones
}
walk(global);
walk((function () { return arguments; })());
return { entries: entries, bindings: bindings, dateTime: Date.prototype.setTime };
})JS";

thread_local std::unordered_set<void*>* tSeen = nullptr;   // objects LockBuiltIns has walked

duk_ret_t FirstVisit(duk_context* inContext)
{
    duk_push_boolean(inContext, tSeen->insert(duk_require_heapptr(inContext, 0)).second);
    return 1;
}

}  // namespace

PageHeap::PageHeap(std::size_t inLimit) : mHeap(nullptr, inLimit)
{
    mValid = mHeap.Valid() && Prepare();
}

PageHeap::Saved PageHeap::ReadSaved(duk_context* inContext, duk_idx_t inObject, duk_idx_t inKey, duk_idx_t inValue)
{
    Saved theSaved;
    theSaved.object = inObject != 0 ? duk_get_heapptr(inContext, inObject) : nullptr;
    theSaved.key = duk_get_heapptr(inContext, inKey);
    theSaved.kind = duk_get_type(inContext, inValue);
    switch (theSaved.kind) {
    case DUK_TYPE_NUMBER: theSaved.number = duk_get_number(inContext, inValue); break;
    case DUK_TYPE_BOOLEAN: theSaved.number = duk_get_boolean(inContext, inValue) ? 1 : 0; break;
    case DUK_TYPE_STRING:
    case DUK_TYPE_OBJECT:
    case DUK_TYPE_BUFFER: theSaved.value = duk_get_heapptr(inContext, inValue); break;
    default: break;   // undefined and null need nothing more
    }
    return theSaved;
}

void PageHeap::PushSaved(duk_context* inContext, const Saved& inSaved)
{
    switch (inSaved.kind) {
    case DUK_TYPE_NUMBER: duk_push_number(inContext, inSaved.number); break;
    case DUK_TYPE_BOOLEAN: duk_push_boolean(inContext, inSaved.number != 0); break;
    case DUK_TYPE_STRING:
    case DUK_TYPE_OBJECT:
    case DUK_TYPE_BUFFER: duk_push_heapptr(inContext, inSaved.value); break;
    case DUK_TYPE_NULL: duk_push_null(inContext); break;
    default: duk_push_undefined(inContext); break;
    }
}

duk_ret_t PageHeap::LockBuiltIns(duk_context* inContext, void* inUserData)
{
    auto* theHeap = static_cast<PageHeap*>(inUserData);
    duk_push_string(inContext, "ferrolift:baseline");
    duk_compile_lstring_filename(inContext, DUK_COMPILE_FUNCTION | DUK_COMPILE_STRICT, kLockScript,
                                 std::strlen(kLockScript));
    duk_push_global_object(inContext);
    duk_push_c_function(inContext, FirstVisit, 1);
    duk_int_t theResult;
    {
        // Gone before any throw: the engine's unwinding would skip its destructor.
        std::unordered_set<void*> theSeen;
        tSeen = &theSeen;
        theResult = duk_pcall(inContext, 2);
        tSeen = nullptr;
    }
    if (theResult != DUK_EXEC_SUCCESS)
        return duk_throw(inContext);
    // The stash keeps every saved value alive, so the raw heap pointers stay valid even
    // after a page has replaced the property that held one.
    duk_push_heap_stash(inContext);
    duk_dup(inContext, -2);
    duk_put_prop_string(inContext, -2, kBaselineKey);
    duk_pop(inContext);

    duk_get_prop_string(inContext, -1, "entries");
    duk_size_t theCount = duk_get_length(inContext, -1);
    for (duk_size_t i = 0; i + 2 < theCount; i += 3) {
        for (duk_size_t j = 0; j < 3; ++j)
            duk_get_prop_index(inContext, -1 - static_cast<duk_idx_t>(j), static_cast<duk_uarridx_t>(i + j));
        Saved theSaved = ReadSaved(inContext, -3, -2, -1);
        int theKind = duk_get_type(inContext, -1);
        duk_pop_3(inContext);
        if (theKind == DUK_TYPE_LIGHTFUNC || theKind == DUK_TYPE_POINTER)
            return DUK_RET_TYPE_ERROR;   // not kept by reference; this build has none
        theHeap->mBuiltIns.push_back(theSaved);
    }
    duk_pop(inContext);

    duk_get_prop_string(inContext, -1, "dateTime");
    theHeap->mSetTime = duk_get_heapptr(inContext, -1);
    duk_pop(inContext);
    duk_get_global_string(inContext, "Date");
    duk_get_prop_string(inContext, -1, "prototype");
    theHeap->mDatePrototype = duk_get_heapptr(inContext, -1);
    duk_pop_2(inContext);

    duk_get_prop_string(inContext, -1, "bindings");
    theCount = duk_get_length(inContext, -1);
    for (duk_size_t i = 0; i + 4 < theCount; i += 5) {
        for (duk_size_t j = 0; j < 5; ++j)
            duk_get_prop_index(inContext, -1 - static_cast<duk_idx_t>(j), static_cast<duk_uarridx_t>(i + j));
        Saved theSaved = ReadSaved(inContext, 0, -5, -4);
        theSaved.writable = duk_get_boolean(inContext, -3) != 0;
        theSaved.enumerable = duk_get_boolean(inContext, -2) != 0;
        theSaved.configurable = duk_get_boolean(inContext, -1) != 0;
        int theKind = duk_get_type(inContext, -4);
        duk_pop_n(inContext, 5);
        if (theKind == DUK_TYPE_LIGHTFUNC || theKind == DUK_TYPE_POINTER)
            return DUK_RET_TYPE_ERROR;
        theHeap->mBindings.push_back(theSaved);
    }
    duk_pop(inContext);
    return 0;
}

duk_ret_t PageHeap::BuildPageObjects(duk_context* inContext, void* inUserData)
{
    auto* theHeap = static_cast<PageHeap*>(inUserData);
    // The proxy handler lives in the heap's stash and is shared by all pages.
    InstallDispatchBridge(inContext);
    if (!PushPrelude(inContext))
        return duk_throw(inContext);
    PushHostFunctions(inContext);
    duk_call(inContext, 1);
    duk_push_heap_stash(inContext);
    duk_dup(inContext, -2);
    duk_put_prop_string(inContext, -2, kPageObjectsKey);   // keeps them alive
    duk_pop(inContext);
    // Bound in every page like the standard globals.
    duk_enum(inContext, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);
    while (duk_next(inContext, -1, 1)) {
        Saved theBinding = ReadSaved(inContext, 0, -2, -1);
        duk_pop_2(inContext);
        theBinding.writable = true;
        theBinding.configurable = true;
        theHeap->mBindings.push_back(theBinding);
    }
    duk_pop_2(inContext);
    return 0;
}

duk_ret_t PageHeap::BuildGlobalScope(duk_context* inContext, void* inUserData)
{
    auto* theHeap = static_cast<PageHeap*>(inUserData);
    duk_push_object(inContext);
    for (const Saved& theBinding : theHeap->mBindings) {
        duk_push_heapptr(inContext, theBinding.key);
        PushSaved(inContext, theBinding);
        duk_uint_t theFlags = DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_HAVE_WRITABLE | DUK_DEFPROP_HAVE_ENUMERABLE |
                              DUK_DEFPROP_HAVE_CONFIGURABLE;
        theFlags |= theBinding.writable ? DUK_DEFPROP_WRITABLE : 0;
        theFlags |= theBinding.enumerable ? DUK_DEFPROP_ENUMERABLE : 0;
        theFlags |= theBinding.configurable ? DUK_DEFPROP_CONFIGURABLE : 0;
        duk_def_prop(inContext, -3, theFlags);
    }
    duk_seal(inContext, -1);
    theHeap->mGlobalScope = duk_get_heapptr(inContext, -1);
    duk_push_heap_stash(inContext);
    duk_dup(inContext, -2);
    duk_put_prop_string(inContext, -2, kGlobalScopeKey);
    duk_pop_2(inContext);
    // A page may assign to the shared bindings through Object.getPrototypeOf(this): they
    // are put back with the built-ins, object by object (the order of the writes does
    // not matter).
    for (Saved theBinding : theHeap->mBindings) {
        if (!theBinding.writable)
            continue;
        theBinding.object = theHeap->mGlobalScope;
        theHeap->mBuiltIns.push_back(theBinding);
    }
    std::stable_sort(theHeap->mBuiltIns.begin(), theHeap->mBuiltIns.end(),
                     [](const Saved& inLeft, const Saved& inRight) { return inLeft.object < inRight.object; });
    return 0;
}

bool PageHeap::Prepare()
{
    duk_context* theContext = mHeap.Context();
    if (duk_safe_call(theContext, LockBuiltIns, this, 0, 1) != DUK_EXEC_SUCCESS)
        return false;
    duk_pop(theContext);
    if (duk_safe_call(theContext, BuildPageObjects, this, 0, 1) != DUK_EXEC_SUCCESS)
        return false;
    duk_set_top(theContext, 0);
    if (duk_safe_call(theContext, BuildGlobalScope, this, 0, 1) != DUK_EXEC_SUCCESS)
        return false;
    duk_set_top(theContext, 0);
    mCollectAt = mHeap.Allocated() + kCollectEvery;
    return true;
}

duk_ret_t PageHeap::MakeGlobal(duk_context* inContext, void* inUserData)
{
    const auto* theHeap = static_cast<const PageHeap*>(inUserData);
    // The page's own global object inherits the standard bindings: defining fifty
    // properties on a new object for every page cost more than a trivial page. A page
    // that assigns one (`Response = null`) gets an own property that shadows it.
    duk_push_object(inContext);
    duk_push_heapptr(inContext, theHeap->mGlobalScope);
    duk_set_prototype(inContext, -2);
    duk_push_string(inContext, "globalThis");
    duk_dup(inContext, -2);
    duk_def_prop(inContext, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE);
    duk_set_global_object(inContext);
    return 0;
}

duk_ret_t PageHeap::RestoreBuiltIns(duk_context* inContext, void* inUserData)
{
    const auto* theHeap = static_cast<const PageHeap*>(inUserData);
    // Writing every saved value back is cheaper than finding out which ones changed.
    // A property that a page made read-only makes the write throw: the heap is dropped.
    // The entries are sorted by object, so each object is pushed once.
    void* theObject = nullptr;
    for (const Saved& theSaved : theHeap->mBuiltIns) {
        if (theSaved.object != theObject) {
            if (theObject != nullptr)
                duk_pop(inContext);
            theObject = theSaved.object;
            duk_push_heapptr(inContext, theObject);
        }
        PushSaved(inContext, theSaved);
        duk_put_prop_heapptr(inContext, -2, theSaved.key);
    }
    if (theObject != nullptr)
        duk_pop(inContext);
    if (theHeap->mSetTime != nullptr && theHeap->mDatePrototype != nullptr) {
        duk_push_heapptr(inContext, theHeap->mSetTime);
        duk_push_heapptr(inContext, theHeap->mDatePrototype);
        duk_push_nan(inContext);
        duk_call_method(inContext, 1);
    }
    return 0;
}

duk_context* PageHeap::BeginPage(ScriptEnvironment* inEnvironment)
{
    if (!mValid)
        return nullptr;
    duk_context* theMain = mHeap.Context();
    duk_set_top(theMain, 0);
    mPage = inEnvironment;
    mHeap.SetEnvironment(inEnvironment);
    duk_push_thread(theMain);
    duk_context* thePage = duk_get_context(theMain, -1);
    if (duk_safe_call(thePage, MakeGlobal, this, 0, 1) != DUK_EXEC_SUCCESS) {
        mValid = false;
        return nullptr;
    }
    duk_pop(thePage);
    return thePage;
}

bool PageHeap::EndPage()
{
    if (!mValid)
        return false;
    duk_context* theMain = mHeap.Context();
    // Automation objects go now, while their holders are still reachable: an upload's
    // read cache must not wait for the collector.
    const bool theReleased = duk_safe_call(theMain, ReleaseHeldObjects, nullptr, 0, 1) == DUK_EXEC_SUCCESS;
    duk_set_top(theMain, 0);   // the page's thread, and with it its global object
    // Pages form cycles (the global object refers to itself), so only a collection frees
    // them. Collecting after every page would cost more than the page; a heap collects
    // once its garbage has grown by kCollectEvery, and when the objects could not be
    // released one by one.
    if (!theReleased || mHeap.Allocated() > mCollectAt) {
        duk_gc(theMain, 0);
        duk_gc(theMain, 0);   // objects that finalizers rescued for one round
        mCollectAt = mHeap.Allocated() + kCollectEvery;
    }
    bool theRestored = duk_safe_call(theMain, RestoreBuiltIns, this, 0, 1) == DUK_EXEC_SUCCESS;
    duk_set_top(theMain, 0);
    bool theReusable = theRestored && !mHeap.LimitReached() && (mPage == nullptr || !mPage->timedOut);
    mHeap.SetEnvironment(nullptr);
    mPage = nullptr;
    mValid = theReusable;
    return theReusable;
}

}  // namespace ferrolift::host

// DispatchBridge.h: automation objects as script values and back. An IDispatch becomes
// a callable Proxy: reading a property invokes a property get, assigning invokes a
// property put, calling the object invokes its default member (form("photo")(1)),
// and a method comes back as a function to call. Failures are thrown as Error objects
// with the HRESULT in `number`.
//
//   InstallDispatchBridge(ctx);                 // once per heap
//   PushDispatch(ctx, theForm.get());           // the script now holds a reference
//   IDispatch* theDisp = GetDispatch(ctx, -1);  // borrowed, null for other values
#pragma once

#include <duktape.h>

#include <vector>

#include <windows.h>

#include "host/ScriptFailure.h"

namespace ferrolift::host {

/// Creates the Proxy handler of the heap; call once before PushDispatch.
void InstallDispatchBridge(duk_context* inContext);

/// Pushes a proxy for inDispatch (which gains a reference), or null for a null pointer.
void PushDispatch(duk_context* inContext, IDispatch* inDispatch);

/// The interface behind a proxy at inIndex (borrowed), or null when it is none.
IDispatch* GetDispatch(duk_context* inContext, duk_idx_t inIndex);

/// Pushes the script value of inValue: numbers, text, booleans, null and undefined,
/// objects as proxies, byte arrays as Uint8Array, other arrays as Array.
bool PushVariant(duk_context* inContext, const VARIANT* inValue, ScriptFailure& outFailure);

/// Stores inObject (whose reference passes to the script) in the object at inHolder
/// under the hidden key inKey, and lists it with the page's held objects.
void HoldObject(duk_context* inContext, duk_idx_t inHolder, const char* inKey, IUnknown* inObject);

/// Takes the object stored under inKey out of the object at inHolder (for finalizers):
/// the caller owns its reference; null when it was released already.
IUnknown* TakeHeldObject(duk_context* inContext, duk_idx_t inHolder, const char* inKey);

/// Releases every object the page still holds and clears the keys that held them; a
/// safe-call function (inUserData is unused).
duk_ret_t ReleaseHeldObjects(duk_context* inContext, void* inUserData);

/// Converts the script value at inIndex into outValue (which must be empty).
/// undefined becomes a missing argument (VT_ERROR, DISP_E_PARAMNOTFOUND) when
/// inMissingAsParamNotFound, else VT_EMPTY.
bool ToVariant(duk_context* inContext, duk_idx_t inIndex, VARIANT* outValue, bool inMissingAsParamNotFound,
               ScriptFailure& outFailure);

/// Calls IDispatch::Invoke with the script arguments inFirst..top (in script order)
/// and leaves the result in outResult; a failure is described in outFailure.
bool InvokeWithScriptArgs(duk_context* inContext, IDispatch* inDispatch, DISPID inId, WORD inFlags,
                          duk_idx_t inFirst, VARIANT* outResult, ScriptFailure& outFailure);

/// Invoke with ready arguments (rgvarg order: last argument first).
bool InvokeDispatch(IDispatch* inDispatch, DISPID inId, WORD inFlags, std::vector<VARIANT>& inReversedArgs,
                    VARIANT* outResult, ScriptFailure& outFailure);

}  // namespace ferrolift::host

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

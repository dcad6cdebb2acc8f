// HostFunctions.h: the native functions behind the page objects (see ScriptPrelude.h):
// writing the response, reading the request, Server.CreateObject and MapPath, and
// enumerating automation collections.
//
//   PushPrelude(ctx);
//   PushHostFunctions(ctx);   // the prelude's only argument
//   duk_pcall(ctx, 1);
#pragma once

#include <duktape.h>

namespace ferrolift::host {

/// Pushes the object of native functions that the prelude wraps.
void PushHostFunctions(duk_context* inContext);

}  // namespace ferrolift::host

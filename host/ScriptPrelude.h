// ScriptPrelude.h: the script half of the page objects. Request, Response, Server and
// Enumerator are built in script over a small set of native functions (the "host"
// object, which pages never see), so that collections behave like script values. They
// are built once per heap, frozen, and bound in each page's global object; whatever
// differs from page to page lives on the host side.
//
//   PushPrelude(ctx);            // [... preludeFunction]
//   PushHostFunctions(ctx);      // [... preludeFunction host]
//   duk_pcall(ctx, 1);           // [... { Request, Response, Server, Enumerator }]
#pragma once

#include <duktape.h>

namespace ferrolift::host {

/// The file name under which the prelude is compiled (for error locations).
constexpr const char* kPreludeName = "ferrolift:prelude";

/// Pushes the prelude as a function of one argument (the host object), loaded from
/// bytecode compiled once per process; false (with the error pushed) when that fails.
bool PushPrelude(duk_context* inContext);

}  // namespace ferrolift::host

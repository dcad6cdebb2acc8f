// ScriptFailure.h: failures of native functions, raised in the page as Error objects
// with `number` (a signed 32-bit HRESULT), `description` and `source`.
//
// The engine unwinds with longjmp, which would skip C++ destructors; so native code
// does its work in a function that fills a ScriptFailure and returns, and the wrapper
// throws only once that function's objects are gone:
//
//   int DoWrite(duk_context* ctx, ScriptFailure& outFailure) { ...; return 0; }
//   duk_push_c_function(ctx, NativeFunction<DoWrite>, DUK_VARARGS);
#pragma once

#include <duktape.h>

#include <string>

#include <windows.h>

namespace ferrolift::host {

/// What a native function reports instead of throwing.
struct ScriptFailure {
    HRESULT number = 0;
    std::string source;        // "Ferrolift4.XForm.4", "Request object", ...
    std::string description;   // engine text (CESU-8)
    bool typeError = false;    // a plain TypeError (wrong kind of argument)
    bool endPage = false;      // Response.End: unwinds the page without an error

    bool Failed() const { return number != 0 || typeError || endPage; }
    /// Records a failure and returns the marker that the wrapper turns into a throw.
    int Set(HRESULT inNumber, std::string inSource, std::string inDescription);
};

/// Return value of a native body that failed.
constexpr int kNativeFailed = -1;

/// Pushes an Error object for inFailure, with the line of the calling script code.
void PushFailure(duk_context* inContext, const ScriptFailure& inFailure);

/// The line of the innermost page code on the call stack (0 when none).
duk_int_t PageLine(duk_context* inContext);

/// Fills outFailure when the page has outlived its ScriptTimeout. The engine cannot be
/// interrupted in the middle of script, so the limit is enforced where script calls
/// into the host.
bool ScriptTimeExceeded(duk_context* inContext, ScriptFailure& outFailure);

/// Runs a native body and throws its failure after the body's objects are destroyed.
template <int (*Body)(duk_context*, ScriptFailure&)>
duk_ret_t NativeFunction(duk_context* inContext)
{
    if (duk_check_stack(inContext, 16) == 0)
        return DUK_RET_RANGE_ERROR;
    int theResult;
    {
        ScriptFailure theFailure;
        theResult = ScriptTimeExceeded(inContext, theFailure) ? kNativeFailed : Body(inContext, theFailure);
        if (theResult == kNativeFailed)
            PushFailure(inContext, theFailure);
    }
    if (theResult == kNativeFailed)
        return duk_throw(inContext);
    return theResult;
}

/// Message of the error that Response.End raises to stop the page.
constexpr const char* kEndMarker = "ferrolift:Response.End";

/// The classic text for an automation failure without a description of its own.
std::string DescribeHresult(HRESULT inNumber);

}  // namespace ferrolift::host

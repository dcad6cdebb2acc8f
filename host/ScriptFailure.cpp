#include "host/ScriptFailure.h"

#include <cstdio>

#include "host/ScriptEnvironment.h"
#include "host/ScriptHeap.h"

namespace ferrolift::host {

int ScriptFailure::Set(HRESULT inNumber, std::string inSource, std::string inDescription)
{
    number = inNumber;
    source = std::move(inSource);
    description = std::move(inDescription);
    return kNativeFailed;
}

std::string DescribeHresult(HRESULT inNumber)
{
    switch (static_cast<std::uint32_t>(inNumber)) {
    case 0x80020003u:   // DISP_E_MEMBERNOTFOUND
    case 0x80020006u:   // DISP_E_UNKNOWNNAME
        return "Object doesn't support this property or method";
    case 0x80020005u:
        return "Type mismatch";
    case 0x8002000Au:
        return "Overflow";
    case 0x8002000Bu:
        return "Subscript out of range";
    case 0x8002000Eu:
        return "Wrong number of arguments or invalid property assignment";
    case 0x8002000Fu:
        return "Argument not optional";
    case 0x80004001u:
        return "Not implemented";
    case 0x80004002u:
        return "No such interface supported";
    case 0x80004003u:
        return "Invalid pointer";
    case 0x8007000Eu:
        return "Out of memory";
    case 0x800401F3u:
        return "Invalid class string";
    case 0x80040154u:
        return "Class not registered";
    default:
        break;
    }
    char theText[64];
    std::snprintf(theText, sizeof theText, "Automation error 0x%08X", static_cast<unsigned>(inNumber));
    return theText;
}

void PushFailure(duk_context* inContext, const ScriptFailure& inFailure)
{
    if (inFailure.endPage) {
        duk_push_error_object(inContext, DUK_ERR_ERROR, "%s", kEndMarker);
        return;
    }
    if (inFailure.typeError && inFailure.number == 0) {
        duk_push_error_object(inContext, DUK_ERR_TYPE_ERROR, "%s", inFailure.description.c_str());
    } else {
        std::string theDescription = inFailure.description.empty() ? DescribeHresult(inFailure.number)
                                                                   : inFailure.description;
        duk_push_error_object(inContext, DUK_ERR_ERROR, "%s", theDescription.c_str());
        duk_push_int(inContext, static_cast<duk_int_t>(inFailure.number));
        duk_put_prop_string(inContext, -2, "number");
        duk_push_string(inContext, theDescription.c_str());
        duk_put_prop_string(inContext, -2, "description");
        duk_push_string(inContext, inFailure.source.c_str());
        duk_put_prop_string(inContext, -2, "source");
    }
    // The line in the page that led here (the prelude may stand in between), rather
    // than a line of this C++ file.
    duk_int_t theLine = PageLine(inContext);
    if (theLine > 0) {
        duk_push_string(inContext, "lineNumber");
        duk_push_int(inContext, theLine);
        duk_def_prop(inContext, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE |
                                        DUK_DEFPROP_FORCE);
    }
}

bool ScriptTimeExceeded(duk_context* inContext, ScriptFailure& outFailure)
{
    ScriptEnvironment& theEnvironment = ScriptHeap::Environment(inContext);
    if (!theEnvironment.TimedOut())
        return false;
    theEnvironment.timedOut = true;
    outFailure.Set(E_FAIL, "Page engine",
                   "Script timed out: the page ran longer than Server.ScriptTimeout (" +
                       std::to_string(theEnvironment.scriptTimeout) + " seconds).");
    return true;
}

duk_int_t PageLine(duk_context* inContext)
{
    const std::string& thePage = ScriptHeap::Environment(inContext).scriptFile;
    for (duk_int_t theLevel = -2; theLevel > -64; --theLevel) {
        duk_inspect_callstack_entry(inContext, theLevel);
        if (!duk_is_object(inContext, -1)) {
            duk_pop(inContext);
            return 0;
        }
        duk_get_prop_string(inContext, -1, "function");
        duk_get_prop_string(inContext, -1, "fileName");
        bool theIsPage = duk_is_string(inContext, -1) && thePage == duk_get_string(inContext, -1);
        duk_pop_2(inContext);
        duk_get_prop_string(inContext, -1, "lineNumber");
        duk_int_t theLine = duk_get_int_default(inContext, -1, 0);
        duk_pop_2(inContext);
        if (theIsPage)
            return theLine;
    }
    return 0;
}

}  // namespace ferrolift::host

#include "host/PageRunner.h"

#include <cstdio>
#include <cstring>

#include <windows.h>
#include <comsvcs.h>

#include "host/HttpExchange.h"
#include "host/RequestObject.h"
#include "host/ScriptEnvironment.h"
#include "host/ScriptFailure.h"
#include "host/ScriptHeapPool.h"
#include "host/ScriptText.h"
#include "host/ServerObject.h"
#include "host/SitePaths.h"
#include "host/WebText.h"
#include "platform/common/ComPtr.h"
#include "platform/registry/ReadScope.h"

namespace ferrolift::host {

namespace {

// Restores the value stack height on every way out of a call into script.
class StackHeight {
public:
    explicit StackHeight(duk_context* inContext) : mContext(inContext), mTop(duk_get_top(inContext)) {}
    ~StackHeight() { duk_set_top(mContext, mTop); }
    StackHeight(const StackHeight&) = delete;
    StackHeight& operator=(const StackHeight&) = delete;

private:
    duk_context* mContext;
    duk_idx_t mTop;
};

// What the failing value said, read inside a protected call.
struct ThrownValue {
    std::string name;
    std::string message;
    std::string description;
    std::string source;
    bool hasNumber = false;
    double number = 0;
    int line = 0;
};

std::string PropertyText(duk_context* inContext, const char* inName)
{
    duk_get_prop_string(inContext, -1, inName);
    std::string theText = duk_is_string(inContext, -1) ? duk_get_string(inContext, -1) : "";
    duk_pop(inContext);
    return theText;
}

duk_ret_t ReadThrown(duk_context* inContext, void* inUserData)
{
    auto* theThrown = static_cast<ThrownValue*>(inUserData);
    if (!duk_is_object(inContext, -1)) {
        theThrown->message = duk_safe_to_string(inContext, -1);
        return 0;
    }
    theThrown->name = PropertyText(inContext, "name");
    theThrown->message = PropertyText(inContext, "message");
    theThrown->description = PropertyText(inContext, "description");
    theThrown->source = PropertyText(inContext, "source");
    duk_get_prop_string(inContext, -1, "number");
    theThrown->hasNumber = duk_is_number(inContext, -1);
    theThrown->number = duk_get_number_default(inContext, -1, 0);
    duk_pop(inContext);
    duk_get_prop_string(inContext, -1, "lineNumber");
    theThrown->line = duk_get_int_default(inContext, -1, 0);
    duk_pop(inContext);
    if (theThrown->message.empty() && theThrown->description.empty())
        theThrown->message = duk_safe_to_string(inContext, -1);
    return 0;
}

// Script errors without an automation code get the classic engine's numbers.
std::int32_t ScriptErrorNumber(const std::string& inName, bool inCompiling)
{
    if (inCompiling || inName == "SyntaxError")
        return static_cast<std::int32_t>(0x800A03EA);
    if (inName == "ReferenceError")
        return static_cast<std::int32_t>(0x800A1391);
    if (inName == "TypeError")
        return static_cast<std::int32_t>(0x800A01B6);
    if (inName == "RangeError")
        return static_cast<std::int32_t>(0x800A01A8);
    return static_cast<std::int32_t>(0x800A139E);
}

PageError DescribeThrown(duk_context* inContext, const CompiledPage& inPage, bool inCompiling)
{
    ThrownValue theThrown;
    duk_safe_call(inContext, ReadThrown, &theThrown, 0, 1);
    PageError theError;
    theError.source = !theThrown.source.empty() ? ScriptToUtf8(theThrown.source)
                    : inCompiling             ? "JavaScript compilation error"
                                              : "JavaScript runtime error";
    theError.number = theThrown.hasNumber ? static_cast<std::int32_t>(static_cast<std::int64_t>(theThrown.number))
                                          : ScriptErrorNumber(theThrown.name, inCompiling);
    std::string theText = !theThrown.description.empty() ? theThrown.description : theThrown.message;
    if (!theThrown.hasNumber && !theThrown.name.empty() && theThrown.name != "Error")
        theText = theThrown.name + ": " + theText;
    theError.description = ScriptToUtf8(theText);
    LineOrigin theOrigin = inPage.Origin(theThrown.line);
    if (theOrigin.file >= 0 && theOrigin.file < static_cast<int>(inPage.files.size()))
        theError.file = inPage.files[static_cast<std::size_t>(theOrigin.file)];
    theError.line = theThrown.line > 0 ? theOrigin.line : 0;
    return theError;
}

// Installs the page's static texts (runs inside duk_safe_call); the page objects are
// bound by the heap.
duk_ret_t InstallPageObjects(duk_context* inContext, void* inUserData)
{
    const auto* thePage = static_cast<const CompiledPage*>(inUserData);
    duk_push_array(inContext);
    for (std::size_t i = 0; i < thePage->texts.size(); ++i) {
        if (thePage->scriptTexts.size() == thePage->texts.size()) {
            const std::string& theText = thePage->scriptTexts[i];
            duk_push_lstring(inContext, theText.data(), theText.size());
        } else {
            std::string theText = Utf8ToScript(thePage->texts[i]);
            duk_push_lstring(inContext, theText.data(), theText.size());
        }
        duk_put_prop_index(inContext, -2, static_cast<duk_uarridx_t>(i));
    }
    duk_put_global_string(inContext, PageCompiler::kTextArray);
    return 0;
}

// Pushes the page's program: loaded from its bytecode, or compiled from its source when
// it has none (then a syntax error surfaces here, with its line).
duk_ret_t LoadPage(duk_context* inContext, void* inUserData)
{
    const auto* thePage = static_cast<const CompiledPage*>(inUserData);
    duk_push_external_buffer(inContext);
    duk_config_buffer(inContext, -1, const_cast<char*>(thePage->bytecode.data()), thePage->bytecode.size());
    duk_load_function(inContext);
    return 1;
}

// Runs the page on a fresh page context; false with outError when it fails.
bool RunOnContext(duk_context* inContext, const CompiledPage& inPage, ScriptEnvironment& inOutEnvironment,
                  PageError& outError)
{
    StackHeight theHeight(inContext);
    if (duk_safe_call(inContext, InstallPageObjects, const_cast<CompiledPage*>(&inPage), 0, 1) != DUK_EXEC_SUCCESS) {
        outError = DescribeThrown(inContext, inPage, false);
        outError.source = "Page engine";
        return false;
    }
    duk_pop(inContext);
    if (!inPage.bytecode.empty()) {
        if (duk_safe_call(inContext, LoadPage, const_cast<CompiledPage*>(&inPage), 0, 1) != DUK_EXEC_SUCCESS) {
            outError = DescribeThrown(inContext, inPage, false);
            outError.source = "Page engine";
            return false;
        }
    } else {
        duk_push_string(inContext, inOutEnvironment.scriptFile.c_str());
        if (duk_pcompile_lstring_filename(inContext, 0, inPage.script.data(), inPage.script.size()) != 0) {
            outError = DescribeThrown(inContext, inPage, true);
            return false;
        }
    }
    if (duk_pcall(inContext, 0) != DUK_EXEC_SUCCESS) {
        if (inOutEnvironment.ended)
            return true;   // Response.End unwinds the page; that is no failure
        outError = DescribeThrown(inContext, inPage, false);
        return false;
    }
    return true;
}

// Whatever a page did to the worker thread's identity is undone before the thread
// serves anyone else (a form reverts when it is released, but a page may keep it alive
// past an error, and the next page must never start as another account).
class RevertOnExit {
public:
    RevertOnExit() = default;
    ~RevertOnExit() { RevertToSelf(); }
    RevertOnExit(const RevertOnExit&) = delete;
    RevertOnExit& operator=(const RevertOnExit&) = delete;
};

}  // namespace

void PageRunner::WriteError(HttpExchange& inExchange, const PageError& inError)
{
    if (!inExchange.HeadersSent()) {
        inExchange.Clear();
        inExchange.SetStatus(500, "Internal Server Error");
        inExchange.SetContentType("text/html");
    }
    char theNumber[16];
    std::snprintf(theNumber, sizeof theNumber, "%08x", static_cast<unsigned>(inError.number));
    std::string theText = "<font face=\"Arial\" size=2>\n<p>" + HtmlEscape(inError.source) + " error '" + theNumber +
                          "'</p>\n<p>" + HtmlEscape(inError.description) + "</p>\n<p>" + HtmlEscape(inError.file);
    if (inError.line > 0)
        theText += ", line " + std::to_string(inError.line);
    theText += "</p>\n</font>\n";
    inExchange.Write(theText);
    std::fprintf(stderr, "ferrolift: %s error '%s': %s (%s, line %d)\n", inError.source.c_str(), theNumber,
                 inError.description.c_str(), inError.file.c_str(), inError.line);
}

bool PageRunner::RunScript(ScriptEnvironment& inOutEnvironment, const CompiledPage& inPage, PageError& outError)
{
    RevertOnExit theRevert;
    if (inOutEnvironment.scriptFile.empty())
        inOutEnvironment.scriptFile = !inPage.files.empty() ? inPage.files[0] : inOutEnvironment.virtualPath;
    ScriptHeapPool::Lease theHeap(ScriptHeapPool::Shared());
    duk_context* theContext = theHeap ? theHeap->BeginPage(&inOutEnvironment) : nullptr;
    if (theContext == nullptr) {
        outError = {"Page engine", static_cast<std::int32_t>(E_OUTOFMEMORY), "No script heap could be created.",
                    inOutEnvironment.virtualPath, 0};
        return false;
    }
    bool theOk = RunOnContext(theContext, inPage, inOutEnvironment, outError);
    // A page that ran to its end is answered now: releasing its objects (an upload's
    // read cache of hundreds of megabytes) need not keep the client waiting.
    if (theOk && inOutEnvironment.exchange != nullptr)
        inOutEnvironment.exchange->Finish();
    // Releases the page's automation objects while their object context is installed.
    theHeap.Return(theHeap->EndPage());
    return theOk;
}

bool PageRunner::Run(const std::shared_ptr<HttpExchange>& inExchange, const SitePaths& inPaths,
                     const CompiledPage& inPage, const std::string& inVirtualPath, const std::string& inPhysicalPath)
{
    ScriptEnvironment theEnvironment;
    theEnvironment.exchange = inExchange.get();
    theEnvironment.paths = &inPaths;
    theEnvironment.virtualPath = inVirtualPath;
    theEnvironment.virtualFolder = SitePaths::VirtualFolder(inVirtualPath);
    theEnvironment.physicalPath = inPhysicalPath;
    inExchange->AddServerVariable("PATH_TRANSLATED", inPhysicalPath);
    inExchange->AddServerVariable("APPL_PHYSICAL_PATH", inPaths.Root() + "/");

    ComPtr<IRequest> theRequest;
    theRequest.attach(new RequestObject(inExchange));
    ComPtr<IServer> theServer;
    theServer.attach(new ServerObject(inPaths, theEnvironment.virtualFolder));
    PageError theError;
    bool theOk = false;
    {
        ferrolift::platform::ObjectContextScope theScope(theRequest.get(), theServer.get());
        ferrolift::platform::reg::ReadScope theRegistryScope;   // one check of the registry file per page
        theOk = RunScript(theEnvironment, inPage, theError);
    }
    inExchange->Detach();
    if (!theOk)
        WriteError(*inExchange, theError);
    return theOk;
}

}  // namespace ferrolift::host

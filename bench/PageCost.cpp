// What one script page costs the page engine, without HTTP: running a compiled page on a
// pooled heap (fresh globals over shared built-ins) against building a heap for it, and
// finding the compiled page in the cache.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <fstream>
#include <string>

#include "common/TestPage.h"
#include "host/PageCache.h"
#include "host/PageHeap.h"
#include "host/PageRunner.h"
#include "host/ScriptEnvironment.h"
#include "host/ScriptHeap.h"
#include "host/HostFunctions.h"
#include "host/DispatchBridge.h"
#include "host/ScriptPrelude.h"

using namespace ferrolift::host;

namespace {

// A small page: some static text and a little script; with no HTTP exchange behind it,
// its output goes to a string.
const char kPage[] = "<html><body>\n<% var theItems = [1, 2, 3]; var theText = theItems.join('-'); %>\n"
                     "<p>static text</p>\n<% if (theText.length > 100) throw new Error('no'); %>\n</body></html>\n";

struct Site {
    ferrolift::test::ScopedTempFolder folder;
    std::string page;
    Site()
    {
        page = folder / "page.asp";
        std::ofstream(page) << kPage;
    }
};

CompiledPage Compile(const Site& inSite)
{
    CompiledPage thePage;
    CompileError theError;
    PageCompiler(inSite.folder.Path()).Compile(inSite.page, thePage, theError);
    return thePage;
}

void BM_PageOnPooledHeap(benchmark::State& inState)
{
    Site theSite;
    CompiledPage thePage = Compile(theSite);
    for (auto _ : inState) {
        std::string theOutput;
        ScriptEnvironment theEnvironment;
        theEnvironment.virtualPath = "/page.asp";
        theEnvironment.output = &theOutput;
        PageError theError;
        if (!PageRunner::RunScript(theEnvironment, thePage, theError))
            inState.SkipWithError(theError.description.c_str());
    }
}
BENCHMARK(BM_PageOnPooledHeap);

duk_ret_t InstallForFreshHeap(duk_context* inContext, void* inUserData)
{
    const auto* thePage = static_cast<const CompiledPage*>(inUserData);
    InstallDispatchBridge(inContext);
    duk_push_array(inContext);
    for (std::size_t i = 0; i < thePage->scriptTexts.size(); ++i) {
        duk_push_string(inContext, thePage->scriptTexts[i].c_str());
        duk_put_prop_index(inContext, -2, static_cast<duk_uarridx_t>(i));
    }
    duk_put_global_string(inContext, PageCompiler::kTextArray);
    if (!PushPrelude(inContext))
        return duk_throw(inContext);
    PushHostFunctions(inContext);
    duk_call(inContext, 1);
    duk_enum(inContext, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);
    while (duk_next(inContext, -1, 1)) {
        duk_put_global_string(inContext, duk_require_string(inContext, -2));
        duk_pop(inContext);
    }
    duk_pop_2(inContext);
    duk_push_string(inContext, "/page.asp");
    duk_compile_lstring_filename(inContext, 0, thePage->script.data(), thePage->script.size());
    duk_call(inContext, 0);
    return 0;
}

// The way pages ran before heaps were pooled: a heap built and destroyed per page, the
// page compiled from source (the prelude, though, is loaded from bytecode here).
void BM_PageOnFreshHeap(benchmark::State& inState)
{
    Site theSite;
    CompiledPage thePage = Compile(theSite);
    for (auto _ : inState) {
        std::string theOutput;
        ScriptEnvironment theEnvironment;
        theEnvironment.output = &theOutput;
        ScriptHeap theHeap(&theEnvironment);
        if (duk_safe_call(theHeap.Context(), InstallForFreshHeap, &thePage, 0, 1) != DUK_EXEC_SUCCESS)
            inState.SkipWithError(duk_safe_to_string(theHeap.Context(), -1));
    }
}
BENCHMARK(BM_PageOnFreshHeap);

// Building one pooled heap: paid once per heap, not per page.
void BM_BuildPageHeap(benchmark::State& inState)
{
    std::size_t theBytes = 0;
    for (auto _ : inState) {
        PageHeap theHeap;
        theBytes = theHeap.Allocated();
    }
    inState.counters["heapBytes"] = static_cast<double>(theBytes);
}
BENCHMARK(BM_BuildPageHeap);

// The per-request check of a cached page with one include: stamps and upload marks.
void BM_PageCacheHit(benchmark::State& inState)
{
    Site theSite;
    std::ofstream(theSite.folder / "part.inc") << "<% var x = 1; %>";
    std::ofstream(theSite.page, std::ios::app) << "<!-- #include file=\"part.inc\" -->\n";
    usleep(200 * 1000);   // aged files are served from the cache
    PageCache theCache(theSite.folder.Path());
    CompileError theError;
    for (auto _ : inState)
        benchmark::DoNotOptimize(theCache.Get(theSite.page, theError));
}
BENCHMARK(BM_PageCacheHit);

}  // namespace

BENCHMARK_MAIN();

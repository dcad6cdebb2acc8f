// Pages on reused script heaps: nothing one page leaves behind (variables, changes to
// built-in objects, automation objects, impersonation) reaches the next page, and a heap
// that went wrong is rebuilt instead of reused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <windows.h>

#include "common/TestPage.h"
#include "host/PageCompiler.h"
#include "host/PageHeap.h"
#include "host/PageRunner.h"
#include "host/ScriptEnvironment.h"
#include "host/ScriptHeapPool.h"

using namespace ferrolift::host;

namespace {

class PageHeapTest : public ::testing::Test {
protected:
    // Compiles inSource as a page and runs it on the shared pool, without an HTTP
    // exchange. Pages report what they see by throwing: the result is "ok" or the
    // description of the error.
    std::string Run(const std::string& inSource)
    {
        std::string thePath = mSite / "page.asp";
        std::ofstream(thePath, std::ios::trunc) << inSource;
        CompiledPage thePage;
        CompileError theCompileError;
        if (!PageCompiler(mSite.Path()).Compile(thePath, thePage, theCompileError))
            return "compile error: " + theCompileError.description;
        EXPECT_FALSE(thePage.bytecode.empty()) << inSource;
        ScriptEnvironment theEnvironment;
        theEnvironment.virtualPath = "/page.asp";
        theEnvironment.virtualFolder = "/";
        PageError theError;
        return PageRunner::RunScript(theEnvironment, thePage, theError) ? "ok" : theError.description;
    }
    static std::size_t Built() { return ScriptHeapPool::Shared().Built(); }
    static std::size_t Idle() { return ScriptHeapPool::Shared().Idle(); }

    ferrolift::test::ScopedTempFolder mSite;
};

TEST_F(PageHeapTest, GlobalsAndBuiltInChangesOfOnePageAreGoneForTheNext)
{
    ASSERT_EQ(Run("<% var warm = 1; %>"), "ok");
    std::size_t theBuilt = Built();
    // Within the page, its changes take effect.
    EXPECT_EQ(Run("<% var leaked = {}; this.alsoLeaked = 2; Array.prototype.push = null; "
                  "String.prototype.trim = function () { return 'evil'; }; Math.max = null; "
                  "Error.prototype.name = 'Evil'; Object.prototype.toString = function () { return 'evil'; }; "
                  "Date.prototype.setTime(5); Server.MapPath = null; Enumerator.prototype.item = null; "
                  "Response = null; Object.getPrototypeOf(this).Server = null; "
                  "throw new Error([typeof [].push, ' a '.trim(), String({})].join()); %>"),
              "Evil: object,evil,evil");
    EXPECT_EQ(Run("<% throw new Error([typeof leaked, typeof alsoLeaked, typeof this.alsoLeaked, typeof [].push, "
                  "' a '.trim(), typeof Math.max, new Error('m').name, String({}), "
                  "globalThis === this, isNaN(Date.prototype.getTime()), typeof Response.Write, typeof Server.MapPath, "
                  "typeof Enumerator.prototype.item].join()); %>"),
              "undefined,undefined,undefined,function,a,function,Error,[object Object],true,true,function,function,"
              "function");
    EXPECT_EQ(Built(), theBuilt) << "the second page must have run on the first page's heap";
}

TEST_F(PageHeapTest, BuiltInsCannotGainPropertiesAndTheEngineObjectIsNotBound)
{
    EXPECT_EQ(Run("<% 'use strict'; try { Object.prototype.x = 1; } catch (e) { throw new Error(e.name); } %>"),
              "TypeError");
    EXPECT_EQ(Run("<% Array.prototype.extra = 1; throw new Error(String([].extra) + ',' + typeof Duktape); %>"),
              "undefined,undefined");
    // Ordinary objects still take own properties that shadow built-in ones.
    EXPECT_EQ(Run("<% function T() {} T.prototype.toString = function () { return 't'; }; "
                  "var o = {}; o.hasOwnProperty = 1; throw new Error(String(new T()) + o.hasOwnProperty); %>"),
              "t1");
}

TEST_F(PageHeapTest, HeapsWhoseBuiltInsCannotBePutBackAreRebuilt)
{
    const char* const theBreakers[] = {
        "<% Object.freeze(Array.prototype); %>",
        "<% Object.defineProperty(String.prototype, 'trim', { value: null, writable: false }); %>",
    };
    for (const char* theBreaker : theBreakers) {
        ASSERT_EQ(Run("<% var warm = 1; %>"), "ok");
        const std::size_t theIdle = Idle();
        EXPECT_EQ(Run(theBreaker), "ok");
        // The broken heap was freed, not given back (other tests may have left more idle).
        EXPECT_EQ(Idle(), theIdle - 1) << theBreaker;
        EXPECT_EQ(Run("<% throw new Error(typeof [].push + typeof ''.trim); %>"), "functionfunction") << theBreaker;
    }
}

TEST_F(PageHeapTest, HeapsThatReachedTheirCapAreNotReused)
{
    PageHeap theHeap(4 * 1024 * 1024);
    ASSERT_TRUE(theHeap.Valid());
    ScriptEnvironment theEnvironment;
    duk_context* thePage = theHeap.BeginPage(&theEnvironment);
    ASSERT_NE(thePage, nullptr);
    EXPECT_NE(duk_peval_string(thePage, "var a = []; for (;;) a.push(new Array(1000).join('x') + a.length);"), 0);
    EXPECT_FALSE(theHeap.EndPage());
    EXPECT_EQ(theHeap.BeginPage(&theEnvironment), nullptr);

    PageHeap theSecond;
    ASSERT_NE(theSecond.BeginPage(&theEnvironment), nullptr);
    EXPECT_TRUE(theSecond.EndPage());
    theEnvironment.timedOut = true;   // what a page past its ScriptTimeout leaves
    ASSERT_NE(theSecond.BeginPage(&theEnvironment), nullptr);
    EXPECT_FALSE(theSecond.EndPage());
}

TEST_F(PageHeapTest, ManyPagesOnOneHeapKeepItsMemoryBounded)
{
    PageHeap theHeap;
    ScriptEnvironment theEnvironment;
    std::size_t theAfterWarmUp = 0;
    for (int i = 0; i < 600; ++i) {
        duk_context* thePage = theHeap.BeginPage(&theEnvironment);
        ASSERT_NE(thePage, nullptr);
        ASSERT_EQ(duk_peval_string(thePage, "var big = new Array(2000).join('y'); var o = { self: null }; o.self = o;"), 0);
        ASSERT_TRUE(theHeap.EndPage());
        if (i == 99)
            theAfterWarmUp = theHeap.Allocated();
    }
    // Garbage of earlier pages is collected as pages go; it does not pile up.
    EXPECT_LT(theHeap.Allocated(), 3 * theAfterWarmUp + 1024 * 1024);
}

// The component module, registered in a scratch registry, so pages can create objects.
class PageObjectsTest : public PageHeapTest {
protected:
    void SetUp() override
    {
        setenv("FERROLIFT_REGISTRY", (mMachine / "registry.reg").c_str(), 1);
        setenv("FERROLIFT_EVENTLOG", (mMachine / "eventlog.jsonl").c_str(), 1);
        mModule = LoadLibraryA(FERROLIFT_MODULE_PATH);
        ASSERT_NE(mModule, nullptr);
        ASSERT_EQ(Call("DllRegisterServer"), S_OK);
    }
    void TearDown() override
    {
        if (mModule != nullptr)
            FreeLibrary(mModule);
        unsetenv("FERROLIFT_REGISTRY");
        unsetenv("FERROLIFT_EVENTLOG");
    }
    HRESULT Call(const char* inEntry)
    {
        using EntryPoint = HRESULT (*)();
        auto theEntry = reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(GetProcAddress(mModule, inEntry)));
        return theEntry != nullptr ? theEntry() : E_UNEXPECTED;
    }

    ferrolift::test::ScopedTempFolder mMachine;
    HMODULE mModule = nullptr;
};

TEST_F(PageObjectsTest, ObjectsAPageHeldAreReleasedWhenItEnds)
{
    // The probe: the module cannot unload while one of its objects lives.
    {
        CLSID theClsid{};
        ASSERT_EQ(CLSIDFromProgID(u"Ferrolift4.XProgress", &theClsid), S_OK);
        IDispatch* theObject = nullptr;
        ASSERT_EQ(CoCreateInstance(theClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&theObject)), S_OK);
        EXPECT_EQ(Call("DllCanUnloadNow"), S_FALSE);
        theObject->Release();
        EXPECT_EQ(Call("DllCanUnloadNow"), S_OK);
    }
    // Kept in a global, in a cycle, and in an enumerator-free closure; the page ends
    // normally, then with an error.
    EXPECT_EQ(Run("<% var p = Server.CreateObject('Ferrolift4.XProgress'); var c = { p: p }; c.self = c; "
                  "var f = function () { return p; }; p.ID = 7; %>"),
              "ok");
    EXPECT_EQ(Call("DllCanUnloadNow"), S_OK);
    EXPECT_NE(Run("<% kept = Server.CreateObject('Ferrolift4.XProgress'); throw new Error('late'); %>"), "ok");
    EXPECT_EQ(Call("DllCanUnloadNow"), S_OK);
    EXPECT_EQ(Run("<% throw new Error(typeof kept + typeof p); %>"), "undefinedundefined");
}

TEST_F(PageHeapTest, ImpersonationLeftOnTheThreadIsRevertedWhenThePageEnds)
{
    for (const char* theSource : {"<% var x = 1; %>", "<% throw new Error('failed'); %>", "<% Response.End(); %>"}) {
        HANDLE theProcess = nullptr;
        ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE, &theProcess));
        ASSERT_TRUE(ImpersonateLoggedOnUser(theProcess)) << GetLastError();
        CloseHandle(theProcess);
        HANDLE theThread = nullptr;
        ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &theThread)) << "impersonating";
        CloseHandle(theThread);

        Run(theSource);
        theThread = nullptr;
        EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &theThread)) << theSource;
        EXPECT_EQ(GetLastError(), 1008u) << theSource;
        if (theThread != nullptr)
            CloseHandle(theThread);
        RevertToSelf();
    }
}

}  // namespace

// PageCompiler.h: turns a script page (.asp) and its includes into one JavaScript
// program whose lines can be traced back to the file and line they came from.
//
//   ferrolift::host::PageCompiler theCompiler("/srv/site");
//   ferrolift::host::CompiledPage thePage;
//   ferrolift::host::CompileError theError;
//   if (!theCompiler.Compile("/srv/site/upload.asp", thePage, theError)) ...
//   // thePage.script calls Response.Write(__ferroliftText[n]) for static text.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace ferrolift::host {

/// Where one line of the generated program came from.
struct LineOrigin {
    int file = 0;   // index into CompiledPage::files
    int line = 1;   // 1-based line in that file
};

/// A file the page was built from, with the modification stamp seen when compiling.
struct PageDependency {
    std::string path;
    struct timespec mtime {};
    long long size = 0;
};

/// The result of compiling one page.
struct CompiledPage {
    std::string script;                   // ES5 program
    std::vector<std::string> texts;       // static text blocks, written by index
    std::vector<LineOrigin> lines;        // lines[k] = origin of generated line k+1
    std::vector<std::string> files;       // site-relative paths ("/inc/head.inc")
    std::vector<PageDependency> dependencies;

    /// Origin of a generated line (1-based); the last known line when out of range.
    LineOrigin Origin(int inGeneratedLine) const;
};

/// Why a page did not compile, and where.
struct CompileError {
    std::string file;          // site-relative path
    int line = 0;
    std::string description;
};

/// Compiles pages below one site root. Include directives never reach outside it.
class PageCompiler {
public:
    /// The name of the array of static texts that the generated program reads.
    static constexpr const char* kTextArray = "__ferroliftText";
    /// How deep includes may nest before the page is refused.
    static constexpr int kMaxIncludeDepth = 16;

    explicit PageCompiler(std::string inRoot);

    /// Compiles the page at the physical path inPath (inside the root). On failure
    /// returns false with outError naming the file, line and reason.
    bool Compile(const std::string& inPath, CompiledPage& outPage, CompileError& outError) const;

private:
    struct State;
    bool CompileFile(State& inOutState, const std::string& inPath, int inDepth) const;
    bool EmitText(State& inOutState, const std::string& inText, const std::string& inPath, int inFile,
                  int& inOutLine, int inDepth) const;
    bool ResolveInclude(const std::string& inFromFile, bool inVirtual, const std::string& inTarget,
                        std::string& outPath) const;

    std::string mRoot;
};

}  // namespace ferrolift::host

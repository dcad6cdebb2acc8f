// PageCompiler.h: turns a script page (.asp) and its includes into one JavaScript
// program whose lines can be traced back to the file and line they came from, compiled
// to the engine's bytecode. Files that came from visitors (they carry the upload mark,
// see UploadMark.h) are never compiled: neither as the page nor as an include.
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

/// A file the page was built from, with the stamps seen when compiling.
struct PageDependency {
    std::string path;
    struct timespec mtime {};
    struct timespec ctime {};   // also moves when attributes (the upload mark) change
    long long size = 0;
    unsigned long long device = 0;
    unsigned long long inode = 0;
};

/// The result of compiling one page.
struct CompiledPage {
    std::string script;                   // ES5 program
    std::vector<std::string> texts;       // static text blocks (UTF-8), written by index
    std::vector<std::string> scriptTexts; // the same in the engine's encoding
    std::string bytecode;                 // the program compiled; empty when it does not
                                          // compile (running it then reports the error)
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
    /// returns false with outError naming the file, line and reason. A script syntax
    /// error is no failure here: the page gets no bytecode, and running it reports it.
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

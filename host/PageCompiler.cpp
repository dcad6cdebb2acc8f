#include "host/PageCompiler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <duktape.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "host/ScriptHeap.h"
#include "host/ScriptText.h"
#include "host/SitePaths.h"
#include "host/UploadMark.h"

namespace ferrolift::host {

namespace {

// Pages are hand-written; anything bigger is a mistake or an attack on the compiler.
constexpr long long kMaxPageBytes = 4 * 1024 * 1024;

bool StartsWithNoCase(std::string_view inText, std::size_t inPos, std::string_view inPrefix)
{
    if (inText.size() - inPos < inPrefix.size())
        return false;
    for (std::size_t i = 0; i < inPrefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(inText[inPos + i])) != inPrefix[i])
            return false;
    }
    return true;
}

std::size_t SkipSpace(std::string_view inText, std::size_t inPos)
{
    while (inPos < inText.size() && std::isspace(static_cast<unsigned char>(inText[inPos])))
        ++inPos;
    return inPos;
}

int CountLines(std::string_view inText)
{
    return static_cast<int>(std::count(inText.begin(), inText.end(), '\n'));
}

// One parsed <!-- #include file|virtual="..." --> directive.
struct IncludeDirective {
    std::size_t end = 0;   // position after "-->"
    bool isVirtual = false;
    std::string target;
};

// Parses an include directive starting at inPos ("<!--"); false when the comment is
// not one, so that it stays ordinary text.
bool ParseInclude(std::string_view inText, std::size_t inPos, IncludeDirective& outInclude)
{
    std::size_t thePos = SkipSpace(inText, inPos + 4);
    if (!StartsWithNoCase(inText, thePos, "#include"))
        return false;
    thePos = SkipSpace(inText, thePos + 8);
    if (StartsWithNoCase(inText, thePos, "file")) {
        thePos += 4;
    } else if (StartsWithNoCase(inText, thePos, "virtual")) {
        outInclude.isVirtual = true;
        thePos += 7;
    } else {
        return false;
    }
    thePos = SkipSpace(inText, thePos);
    if (thePos >= inText.size() || inText[thePos] != '=')
        return false;
    thePos = SkipSpace(inText, thePos + 1);
    if (thePos >= inText.size() || inText[thePos] != '"')
        return false;
    std::size_t theClose = inText.find('"', thePos + 1);
    if (theClose == std::string_view::npos)
        return false;
    outInclude.target = std::string(inText.substr(thePos + 1, theClose - thePos - 1));
    thePos = SkipSpace(inText, theClose + 1);
    if (inText.compare(thePos, 3, "-->") != 0)
        return false;
    outInclude.end = thePos + 3;
    return true;
}

// The LANGUAGE attribute of a <%@ %> directive, lower-cased; empty when absent.
std::string DirectiveLanguage(std::string_view inDirective)
{
    std::string theLower(inDirective);
    std::transform(theLower.begin(), theLower.end(), theLower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::size_t thePos = theLower.find("language");
    if (thePos == std::string::npos)
        return {};
    thePos = SkipSpace(theLower, thePos + 8);
    if (thePos >= theLower.size() || theLower[thePos] != '=')
        return {};
    thePos = SkipSpace(theLower, thePos + 1);
    std::size_t theEnd = thePos;
    if (thePos < theLower.size() && theLower[thePos] == '"') {
        ++thePos;
        theEnd = theLower.find('"', thePos);
    } else {
        while (theEnd < theLower.size() && !std::isspace(static_cast<unsigned char>(theLower[theEnd])))
            ++theEnd;
    }
    if (theEnd == std::string::npos)
        theEnd = theLower.size();
    return theLower.substr(thePos, theEnd - thePos);
}

// Closes a file descriptor on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int inDescriptor) : mDescriptor(inDescriptor) {}
    ~FileDescriptor()
    {
        if (mDescriptor >= 0)
            ::close(mDescriptor);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return mDescriptor; }

private:
    int mDescriptor;
};

enum class ReadResult { Ok, Unreadable, Visitor };

// Reads a page file. The mark, the stamps and the text all come from one open file, so
// a file swapped between the checks cannot slip through.
ReadResult ReadWholeFile(const std::string& inPath, std::string& outText, PageDependency& outDependency)
{
    FileDescriptor theFile(::open(inPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat theStat {};
    if (theFile.Get() < 0 || ::fstat(theFile.Get(), &theStat) != 0 || !S_ISREG(theStat.st_mode) ||
        theStat.st_size > kMaxPageBytes)
        return ReadResult::Unreadable;
    if (IsVisitorDescriptor(theFile.Get()))
        return ReadResult::Visitor;
    outText.resize(static_cast<std::size_t>(theStat.st_size));
    std::size_t theDone = 0;
    while (theDone < outText.size()) {
        ssize_t theRead = ::read(theFile.Get(), outText.data() + theDone, outText.size() - theDone);
        if (theRead < 0 && errno == EINTR)
            continue;
        if (theRead <= 0)
            break;   // the file shrank meanwhile: take what is there
        theDone += static_cast<std::size_t>(theRead);
    }
    outText.resize(theDone);
    outDependency.path = inPath;
    outDependency.mtime = theStat.st_mtim;
    outDependency.ctime = theStat.st_ctim;
    outDependency.size = theStat.st_size;
    outDependency.device = theStat.st_dev;
    outDependency.inode = theStat.st_ino;
    return ReadResult::Ok;
}

// Compiles the generated program and keeps its bytecode (runs inside duk_safe_call).
duk_ret_t DumpProgram(duk_context* inContext, void* inUserData)
{
    auto* thePage = static_cast<CompiledPage*>(inUserData);
    duk_push_string(inContext, thePage->files.empty() ? "" : thePage->files[0].c_str());
    duk_compile_lstring_filename(inContext, 0, thePage->script.data(), thePage->script.size());
    duk_dump_function(inContext);
    duk_size_t theSize = 0;
    const auto* theBytes = static_cast<const char*>(duk_get_buffer(inContext, -1, &theSize));
    thePage->bytecode.assign(theBytes, theSize);
    return 0;
}

// Everything that running the page needs and that does not change from run to run.
void PrepareForRunning(CompiledPage& inOutPage)
{
    inOutPage.scriptTexts.clear();
    for (const std::string& theText : inOutPage.texts)
        inOutPage.scriptTexts.push_back(Utf8ToScript(theText));
    inOutPage.bytecode.clear();
    ScriptHeap theHeap(nullptr);
    if (theHeap.Valid() && duk_safe_call(theHeap.Context(), DumpProgram, &inOutPage, 0, 1) != DUK_EXEC_SUCCESS)
        inOutPage.bytecode.clear();
}

}  // namespace

LineOrigin CompiledPage::Origin(int inGeneratedLine) const
{
    if (lines.empty())
        return {};
    std::size_t theIndex = inGeneratedLine < 1 ? 0 : static_cast<std::size_t>(inGeneratedLine - 1);
    return lines[std::min(theIndex, lines.size() - 1)];
}

// What one compilation carries from file to file.
struct PageCompiler::State {
    CompiledPage page;
    CompileError error;
    std::vector<std::string> includeStack;

    // Appends generated code that came from (inFile, inOutLine); each newline starts a
    // generated line mapped to the next source line.
    void Emit(std::string_view inCode, int inFile, int& inOutLine)
    {
        for (char c : inCode) {
            page.script += c;
            if (c == '\n')
                page.lines.push_back({inFile, ++inOutLine});
        }
    }
    // A newline of our own, which keeps the source line.
    void EmitBreak(int inFile, int inLine)
    {
        page.script += '\n';
        page.lines.push_back({inFile, inLine});
    }
    bool Fail(int inFile, int inLine, std::string inDescription)
    {
        error.file = inFile < static_cast<int>(page.files.size()) ? page.files[inFile] : std::string();
        error.line = inLine;
        error.description = std::move(inDescription);
        return false;
    }
};

PageCompiler::PageCompiler(std::string inRoot) : mRoot(std::move(inRoot)) {}

bool PageCompiler::Compile(const std::string& inPath, CompiledPage& outPage, CompileError& outError) const
{
    State theState;
    theState.page.lines.push_back({0, 1});
    if (!CompileFile(theState, inPath, 0)) {
        outError = theState.error;
        return false;
    }
    outPage = std::move(theState.page);
    PrepareForRunning(outPage);
    return true;
}

bool PageCompiler::CompileFile(State& inOutState, const std::string& inPath, int inDepth) const
{
    SitePaths thePaths(mRoot);
    int theFile = static_cast<int>(inOutState.page.files.size());
    std::string theVirtual = inPath.size() > thePaths.Root().size() ? inPath.substr(thePaths.Root().size()) : "/";
    inOutState.page.files.push_back(theVirtual);
    std::string theSource;
    PageDependency theDependency;
    ReadResult theRead = ReadWholeFile(inPath, theSource, theDependency);
    if (theRead == ReadResult::Visitor && inDepth == 0)
        return inOutState.Fail(theFile, 0, "The page '" + theVirtual + "' was uploaded by a visitor and is never run.");
    if (theRead == ReadResult::Visitor)
        return inOutState.Fail(theFile, 0, "The include file '" + theVirtual +
                                               "' was uploaded by a visitor and is never included.");
    if (theRead != ReadResult::Ok)
        return inOutState.Fail(theFile, 0, "The page '" + theVirtual + "' cannot be read.");
    inOutState.page.dependencies.push_back(theDependency);
    inOutState.includeStack.push_back(inPath);
    if (inDepth > 0)
        inOutState.EmitBreak(theFile, 1);   // the include starts on a line of its own

    int theLine = 1;
    std::size_t thePos = 0;
    while (thePos < theSource.size()) {
        std::size_t theOpen = theSource.find("<%", thePos);
        std::string theText = theSource.substr(thePos, theOpen == std::string::npos ? std::string::npos : theOpen - thePos);
        if (!EmitText(inOutState, theText, inPath, theFile, theLine, inDepth))
            return false;
        if (theOpen == std::string::npos)
            break;
        std::size_t theClose = theSource.find("%>", theOpen + 2);
        if (theClose == std::string::npos)
            return inOutState.Fail(theFile, theLine, "The script block is missing its closing '%>'.");
        std::string_view theBlock = std::string_view(theSource).substr(theOpen + 2, theClose - theOpen - 2);
        if (!theBlock.empty() && theBlock[0] == '@') {
            std::string theLanguage = DirectiveLanguage(theBlock.substr(1));
            if (!theLanguage.empty() && theLanguage != "jscript" && theLanguage != "javascript" &&
                theLanguage != "ecmascript")
                return inOutState.Fail(theFile, theLine, "The script language '" + theLanguage + "' is not supported.");
            for (int i = CountLines(theBlock); i > 0; --i)
                inOutState.Emit("\n", theFile, theLine);
        } else if (!theBlock.empty() && theBlock[0] == '=') {
            inOutState.Emit("Response.Write(", theFile, theLine);
            inOutState.Emit(theBlock.substr(1), theFile, theLine);
            inOutState.Emit(");", theFile, theLine);
        } else {
            inOutState.Emit(theBlock, theFile, theLine);
            // A block may end in a line comment or without a semicolon.
            inOutState.EmitBreak(theFile, theLine);
        }
        thePos = theClose + 2;
    }
    inOutState.includeStack.pop_back();
    return true;
}

bool PageCompiler::EmitText(State& inOutState, const std::string& inText, const std::string& inPath, int inFile,
                            int& inOutLine, int inDepth) const
{
    std::size_t thePos = 0;
    while (thePos < inText.size()) {
        std::size_t theComment = inText.find("<!--", thePos);
        IncludeDirective theInclude;
        while (theComment != std::string::npos && !ParseInclude(inText, theComment, theInclude))
            theComment = inText.find("<!--", theComment + 4);
        std::string theChunk = inText.substr(thePos, theComment == std::string::npos ? std::string::npos : theComment - thePos);
        if (!theChunk.empty()) {
            std::string theWrite = "Response.Write(" + std::string(kTextArray) + "[" +
                                   std::to_string(inOutState.page.texts.size()) + "]);";
            inOutState.Emit(theWrite, inFile, inOutLine);
            inOutState.page.texts.push_back(theChunk);
            for (int i = CountLines(theChunk); i > 0; --i)
                inOutState.Emit("\n", inFile, inOutLine);
        }
        if (theComment == std::string::npos)
            break;
        if (inDepth + 1 > kMaxIncludeDepth)
            return inOutState.Fail(inFile, inOutLine, "Includes nest deeper than " + std::to_string(kMaxIncludeDepth) + " levels.");
        std::string theTarget;
        if (!ResolveInclude(inPath, theInclude.isVirtual, theInclude.target, theTarget))
            return inOutState.Fail(inFile, inOutLine, "The include file '" + theInclude.target + "' was not found.");
        if (IsVisitorData(theTarget))
            return inOutState.Fail(inFile, inOutLine, "The include file '" + theInclude.target +
                                                          "' was uploaded by a visitor and is never included.");
        if (std::find(inOutState.includeStack.begin(), inOutState.includeStack.end(), theTarget) !=
            inOutState.includeStack.end())
            return inOutState.Fail(inFile, inOutLine, "The include file '" + theInclude.target + "' includes itself.");
        if (!CompileFile(inOutState, theTarget, inDepth + 1))
            return false;
        // Back in this file: the next generated line continues where the directive was.
        inOutState.EmitBreak(inFile, inOutLine);
        std::string_view theDirective = std::string_view(inText).substr(theComment, theInclude.end - theComment);
        for (int i = CountLines(theDirective); i > 0; --i)
            inOutState.Emit("\n", inFile, inOutLine);
        thePos = theInclude.end;
    }
    return true;
}

bool PageCompiler::ResolveInclude(const std::string& inFromFile, bool inVirtual, const std::string& inTarget,
                                  std::string& outPath) const
{
    SitePaths thePaths(mRoot);
    if (!thePaths.Valid())
        return false;
    std::string theFromVirtual = inFromFile.substr(std::min(inFromFile.size(), thePaths.Root().size()));
    std::string theBase = SitePaths::VirtualFolder(theFromVirtual);
    // file= is always relative to the including file; virtual= with a leading slash
    // starts at the root, as MapPath does.
    std::string theTarget = inTarget;
    if (!inVirtual && !theTarget.empty() && (theTarget[0] == '/' || theTarget[0] == '\\'))
        theTarget.erase(0, 1);
    if (!thePaths.MapPath(theTarget, theBase, outPath))
        return false;
    struct stat theStat {};
    return stat(outPath.c_str(), &theStat) == 0 && S_ISREG(theStat.st_mode);
}

}  // namespace ferrolift::host

// TestFiles.h: a scratch folder for one test, files read whole, and the ImageMagick
// tools that make real images for the detection tests.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ferrolift::test {

/// A temporary folder, removed with everything in it when the object goes.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string theTemplate = (std::filesystem::temp_directory_path() / "ferdecodeXXXXXX").string();
        if (::mkdtemp(theTemplate.data()) != nullptr)
            mPath = theTemplate;
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder()
    {
        std::error_code theIgnored;
        if (!mPath.empty())
            std::filesystem::remove_all(mPath, theIgnored);
    }

    /// The full path of inName inside the folder.
    std::string operator/(const std::string& inName) const { return (mPath / inName).string(); }

private:
    std::filesystem::path mPath;
};

inline std::vector<unsigned char> ReadFileBytes(const std::string& inPath)
{
    std::ifstream theFile(inPath, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(theFile), std::istreambuf_iterator<char>());
}

/// Runs a shell command; true when it exits with 0.
inline bool RunCommand(const std::string& inCommand)
{
    return std::system(("(" + inCommand + ") >/dev/null 2>&1").c_str()) == 0;
}

/// The first line a shell command prints.
inline std::string Output(const std::string& inCommand)
{
    std::string theText;
    FILE* thePipe = ::popen(inCommand.c_str(), "r");
    if (thePipe == nullptr)
        return theText;
    char theBuffer[256];
    if (std::fgets(theBuffer, sizeof theBuffer, thePipe) != nullptr)
        theText = theBuffer;
    ::pclose(thePipe);
    while (!theText.empty() && (theText.back() == '\n' || theText.back() == '\r'))
        theText.pop_back();
    return theText;
}

/// True when a program of that name is on the PATH.
inline bool HaveTool(const std::string& inName)
{
    return RunCommand("command -v " + inName);
}

/// "W H" as ImageMagick's identify reports the first frame of a file.
inline std::string IdentifySize(const std::string& inPath)
{
    return Output("identify -format '%w %h\\n' '" + inPath + "[0]'");
}

} // namespace ferrolift::test

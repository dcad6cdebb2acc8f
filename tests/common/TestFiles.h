// TestFiles.h: scratch folders (TempFolder.h), files read whole, and the ImageMagick
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

#include "common/TempFolder.h"

namespace ferrolift::test {

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

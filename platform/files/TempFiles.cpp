// TempFiles.cpp: the temporary folder and unique temporary file names.
#include "platform/files/Files.h"

#include "platform/errors/Errors.h"
#include "platform/files/FilePath.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>

using namespace ferrolift::platform;

namespace {

std::string TempFolder()
{
    const char* theDir = getenv("TMPDIR");
    std::string theFolder = theDir && *theDir ? theDir : "/tmp";
    if (theFolder.back() != '/')
        theFolder += '/';
    return theFolder;
}

std::string FormName(const std::string& inFolder, const std::string& inPrefix, UINT inUnique)
{
    std::string theName = inFolder;
    if (!theName.empty() && theName.back() != '/' && theName.back() != '\\')
        theName += '/';
    char theTail[16];
    snprintf(theTail, sizeof theTail, "%04X.TMP", inUnique & 0xFFFF);
    return theName + inPrefix + theTail;
}

// Picks a free number from a random start and creates the file exclusively, so two
// callers never get the same name. Returns the number, 0 with the last error on failure.
UINT CreateUniqueName(const std::string& inFolder, const std::string& inPrefix, std::string& outName)
{
    static thread_local std::minstd_rand theRandom{std::random_device{}()};
    const UINT theStart = static_cast<UINT>(theRandom() % 0xFFFF) + 1;
    for (UINT theTry = 0; theTry < 0xFFFF; ++theTry) {
        const UINT theUnique = (theStart + theTry - 1) % 0xFFFF + 1;   // 1..0xFFFF
        outName = FormName(inFolder, inPrefix, theUnique);
        FilePath thePath;
        if (!ParseFilePath(outName.c_str(), thePath))
            return 0;
        const int theFd = ::open(thePath.file.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (theFd >= 0) {
            ::close(theFd);
            SetLastError(ERROR_SUCCESS);
            return theUnique;
        }
        if (errno != EEXIST) {
            SetLastErrorFromErrnoForPath(errno, "open", thePath.file.c_str());
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

// The shared body of both forms; outName is the full name in UTF-8.
UINT TempFileName(LPCSTR inFolder, LPCSTR inPrefix, UINT inUnique, std::string& outName)
{
    if (!inFolder) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string thePrefix = inPrefix ? inPrefix : "";
    // "<folder>/<prefix>XXXX.TMP" and its terminator must fit a MAX_PATH buffer.
    if (strlen(inFolder) + thePrefix.size() + 10 > MAX_PATH) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }
    if (inUnique != 0) {
        outName = FormName(inFolder, thePrefix, inUnique);
        return inUnique & 0xFFFF;
    }
    return CreateUniqueName(inFolder, thePrefix, outName);
}

}  // namespace

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer)
{
    return CopyOutWithSize(TempFolder(), lpBuffer, nBufferLength);
}

DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer)
{
    return CopyOutWithSize(TempFolder(), lpBuffer, nBufferLength);
}

UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName)
{
    if (!lpTempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string thePrefix = lpPrefixString ? std::string(lpPrefixString).substr(0, 3) : "";
    std::string theName;
    const UINT theResult = TempFileName(lpPathName, thePrefix.c_str(), uUnique, theName);
    if (theResult != 0)
        CopyOutWithSize(theName, lpTempFileName, MAX_PATH);
    return theResult;
}

UINT WINAPI GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR lpTempFileName)
{
    if (!lpPathName || !lpTempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string theFolder = Utf8FromUtf16(lpPathName);
    std::u16string thePrefix = lpPrefixString ? std::u16string(lpPrefixString).substr(0, 3) : u"";
    const std::string thePrefixUtf8 = Utf8FromUtf16(thePrefix.c_str());
    std::string theName;
    const UINT theResult = TempFileName(theFolder.c_str(), thePrefixUtf8.c_str(), uUnique, theName);
    if (theResult != 0)
        CopyOutWithSize(theName, lpTempFileName, MAX_PATH);
    return theResult;
}

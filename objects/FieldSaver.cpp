// FieldSaver.cpp: writing uploaded bytes to disk.
#include "objects/FieldSaver.h"

#include <cstring>

#include "intake/Names.h"
#include "support/FileUtilities.h"
#include "support/Utilities.h"

namespace {

/// Capacity of a stream path: the target plus the longest stream suffix.
constexpr size_t kStreamPathLength = 276;

/// Stores inValue little-endian at inOut.
void PutLong(BYTE* inOut, DWORD inValue)
{
    for (int i = 0; i < 4; ++i)
        inOut[i] = static_cast<BYTE>(inValue >> (8 * i));
}

/// Writes the Finder information stream, merging into a record that is already there.
void WriteAfpInfo(const MacBinaryView& inView, LPCWSTR inPath, BOOL inOverwrite)
{
    BYTE theRecord[kAfpInfoLength] = {};
    bool theFresh = true;
    BYTE* theOld = nullptr;
    DWORD theOldLength = 0;
    if (ReadWholeFile(inPath, &theOld, &theOldLength)) {
        if (theOldLength >= kAfpInfoLength) {
            std::memcpy(theRecord, theOld, kAfpInfoLength);
            theFresh = false;
        }
        FreeWholeFile(theOld);
    }
    FillAfpInfo(inView, theFresh, theRecord);
    WriteWholeFile(inPath, theRecord, kAfpInfoLength, inOverwrite);
}

}  // namespace

std::string AnsiFromWide(const WCHAR* inText, int inLength)
{
    if (inText == nullptr)
        return {};
    if (inLength < 0)
        inLength = static_cast<int>(std::char_traits<WCHAR>::length(inText));
    if (inLength == 0)
        return {};
    const UINT theCodePage = GetACP();   // one reading for both calls
    const int theSize = WideCharToMultiByte(theCodePage, 0, inText, inLength, nullptr, 0, nullptr, nullptr);
    if (theSize <= 0)
        return {};
    std::string theAnsi(static_cast<size_t>(theSize), '\0');
    WideCharToMultiByte(theCodePage, 0, inText, inLength, theAnsi.data(), theSize, nullptr, nullptr);
    return theAnsi;
}

bool DecodePhysicalPath(const WCHAR* inPath, UINT inCodePage, WCHAR* outTarget)
{
    outTarget[0] = 0;
    const size_t theLength = inPath != nullptr ? std::char_traits<WCHAR>::length(inPath) : 0;
    if (theLength == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    // A path cut to fit would name another file, so one that does not fit is refused.
    if (theLength >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (HasWideCharacters(inPath)) {
        CopyWideString(outTarget, inPath, MAX_PATH);
        return true;
    }
    const std::string theBytes = AnsiFromWide(inPath);
    if (!DecodeCodePage(theBytes.c_str(), outTarget, MAX_PATH, inCodePage)) {
        outTarget[0] = 0;
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return true;
}

void FillAfpInfo(const MacBinaryView& inView, bool inFresh, BYTE* inOutRecord)
{
    if (inFresh) {
        std::memset(inOutRecord, 0, kAfpInfoLength);
        PutLong(inOutRecord, 0x00504641);       // "AFP\0"
        PutLong(inOutRecord + 4, 0x00010000);   // version
        PutLong(inOutRecord + 12, 0x80000000);  // never backed up
    }
    std::memcpy(inOutRecord + 16, inView.FileType(), 4);
    std::memcpy(inOutRecord + 20, inView.FileCreator(), 4);
    // The low two bits are the Finder's own (on desk, colour) and not the file's.
    inOutRecord[24] = inView.FinderFlagsHigh() & 0xFC;
    inOutRecord[25] = inView.FinderFlagsLow() & 0xFC;
}

bool SaveMacBinary(const MacBinaryView& inView, LPCWSTR inTarget, BOOL inOverwrite, BOOL inStreams)
{
    const bool theUseStreams = inStreams && SupportsStreams(inTarget);
    WCHAR theDataPath[MAX_PATH];
    WCHAR theResourcePath[kStreamPathLength];
    WCHAR theInfoPath[kStreamPathLength];
    CopyWideString(theDataPath, inTarget, MAX_PATH);
    CopyWideString(theResourcePath, theDataPath, kStreamPathLength);
    AppendWideString(theResourcePath, OLESTR(":AFP_Resource"), kStreamPathLength);
    CopyWideString(theInfoPath, theDataPath, kStreamPathLength);
    AppendWideString(theInfoPath, OLESTR(":AFP_AfpInfo"), kStreamPathLength);

    const bool theOk = WriteVisitorFile(theDataPath, inView.DataFork(), static_cast<DWORD>(DataForkLength(inView)),
                                      inOverwrite);
    DWORD theError = GetLastError();
    if (theOk && theUseStreams) {
        const BYTE* theFork = FindResourceFork(inView);
        const LONG theForkLength = ResourceForkLength(inView);
        if (theForkLength > 0 && theFork != nullptr) {
            WriteWholeFile(theResourcePath, theFork, static_cast<DWORD>(theForkLength), inOverwrite);
            theError = GetLastError();
        }
        WriteAfpInfo(inView, theInfoPath, inOverwrite);
        theError = GetLastError();
    }
    SetLastError(theError);
    return theOk;
}

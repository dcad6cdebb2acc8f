// FileUtilities.cpp: whole-file write and read, and the storage test for streams.
#include "support/FileUtilities.h"

#include "platform/common/UniqueHandle.h"
#include "support/EventLogWriter.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

namespace {

constexpr size_t kRootCapacity = 260;
constexpr size_t kMaxRootUnits = 244;

// Cleared by the first failed storage query of the process, so only that one is logged.
std::atomic<bool> gStreamsCheckUnlogged{true};

// The mark Windows gives files from the Internet (zone 3); the page engine never runs,
// includes or serves inline a file that carries it.
constexpr char kZoneStreamText[] = "[ZoneTransfer]\r\nZoneId=3\r\n";
constexpr WCHAR kZoneStreamSuffix[] = OLESTR(":Zone.Identifier");

/// Writes the "Zone.Identifier" stream of the file inPath. True when it is written or
/// the storage keeps no streams at all.
bool MarkAsVisitorData(LPCWSTR inPath)
{
    std::basic_string<WCHAR> theStream(inPath);
    theStream += kZoneStreamSuffix;
    if (WriteWholeFile(theStream.c_str(), kZoneStreamText, sizeof kZoneStreamText - 1, TRUE))
        return true;
    return GetLastError() == ERROR_NOT_SUPPORTED;
}

/// WriteWholeFile, marking the file as visitor data in between when inMark.
bool WriteFileContent(LPCWSTR inPath, const void* inData, DWORD inLength, BOOL inOverwrite, bool inMark)
{
    SetLastError(0);
    UniqueHandle theFile(CreateFileW(inPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     inOverwrite ? OPEN_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!theFile.valid())
        return false;
    const bool theExisted = GetLastError() == ERROR_ALREADY_EXISTS;
    if (inMark && !MarkAsVisitorData(inPath)) {
        const DWORD theError = GetLastError();
        theFile.reset();
        if (!theExisted)
            DeleteFileW(inPath);
        SetLastError(theError);
        return false;
    }
    SetLastError(0);   // OPEN_ALWAYS notes an existing file with 183; that is no failure
    bool theResult = false;
    SetFilePointer(theFile.get(), 0, nullptr, FILE_BEGIN);
    const bool theLocked = LockFile(theFile.get(), 0, 0, inLength, 0) != FALSE;
    if (theLocked) {
        DWORD theWritten = 0;
        theResult = WriteFile(theFile.get(), inData, inData ? inLength : 0, &theWritten, nullptr) != FALSE;
        SetEndOfFile(theFile.get());
        UnlockFile(theFile.get(), 0, 0, inLength, 0);
    }
    // Closing must not hide the error of the write from the caller.
    const DWORD theError = GetLastError();
    theFile.reset();
    // A file this call made and could not fill (a full volume) would pass for the
    // upload: it goes. An existing file was already changed and stays, and so does one
    // this call made but another writer holds: that writer's content must not vanish.
    if (!theResult && !theExisted && theLocked)
        DeleteFileW(inPath);
    SetLastError(theError);
    return theResult;
}

}  // namespace

bool WriteWholeFile(LPCWSTR inPath, const void* inData, DWORD inLength, BOOL inOverwrite)
{
    return WriteFileContent(inPath, inData, inLength, inOverwrite, false);
}

bool WriteVisitorFile(LPCWSTR inPath, const void* inData, DWORD inLength, BOOL inOverwrite)
{
    return WriteFileContent(inPath, inData, inLength, inOverwrite, true);
}

bool ReadWholeFile(LPCWSTR inPath, BYTE** outData, DWORD* outLength)
{
    *outData = nullptr;
    *outLength = 0;
    UniqueHandle theFile(CreateFileW(inPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!theFile.valid())
        return false;
    DWORD theHigh = 0;
    const DWORD theSize = GetFileSize(theFile.get(), &theHigh);
    if ((theSize == INVALID_FILE_SIZE && GetLastError() != 0) || theHigh != 0)
        return false;
    std::unique_ptr<BYTE[]> theBuffer(new (std::nothrow) BYTE[theSize]);
    if (!theBuffer) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    DWORD theRead = 0;
    if (!ReadFile(theFile.get(), theBuffer.get(), theSize, &theRead, nullptr) || theRead != theSize)
        return false;
    *outData = theBuffer.release();
    *outLength = theSize;
    return true;
}

void FreeWholeFile(BYTE* inData)
{
    std::unique_ptr<BYTE[]> theOwner(inData);
}

void VolumeRoot(LPCWSTR inPath, WCHAR* outRoot)
{
    size_t theLength = 0;
    if (inPath && inPath[0] != 0 && inPath[1] == u':') {
        theLength = inPath[2] != 0 ? 3 : 2;
    } else if (inPath) {
        int theBackslashes = 0;
        for (; inPath[theLength] != 0 && theLength < kMaxRootUnits; ++theLength) {
            if (inPath[theLength] == u'\\' && ++theBackslashes == 4)
                break;
        }
    }
    for (size_t i = 0; i < theLength; ++i)
        outRoot[i] = inPath[i];
    // The drive form already ends in its separator; the others get one.
    if (theLength == 0 || inPath[1] != u':')
        outRoot[theLength++] = u'\\';
    outRoot[theLength] = 0;
    static_assert(kMaxRootUnits + 2 <= kRootCapacity);
}

bool SupportsStreams(LPCWSTR inPath)
{
    WCHAR theRoot[kRootCapacity];
    VolumeRoot(inPath, theRoot);
    WCHAR theFileSystem[kRootCapacity] = {};
    if (GetVolumeInformationW(theRoot, nullptr, 0, nullptr, nullptr, nullptr, theFileSystem, kRootCapacity)) {
        static const WCHAR kNtfs[] = OLESTR("NTFS");
        for (size_t i = 0; i < sizeof kNtfs / sizeof kNtfs[0]; ++i) {
            if (theFileSystem[i] != kNtfs[i])
                return false;
        }
        return true;
    }
    const DWORD theError = GetLastError();
    if (gStreamsCheckUnlogged.exchange(false)) {
        char theText[128];
        snprintf(theText, sizeof theText, "Unable to determine whether storage supports NTFS streams (0x%08lx)",
                 static_cast<unsigned long>(theError));
        LogEvent(theText, EVENTLOG_ERROR_TYPE);
    }
    SetLastError(theError);
    return false;
}

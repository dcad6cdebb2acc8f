#include "intake/BodyReader.h"

#include "intake/CacheWriter.h"
#include "progress/ProgressRegistry.h"
#include "support/EventLogWriter.h"
#include "intake/MappedFileStream.h"
#include "intake/MemoryByteSource.h"
#include "support/Settings.h"
#include "platform/common/UniqueVariant.h"
#include "support/Utilities.h"

#include <asptlb.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

/// Set by the first attempt to create a read cache, so that only the very first failure
/// of the process is logged. Relaxed: a lost update can at most log twice.
std::atomic<bool> gReadCacheLogged{false};

/// Closes a file handle unless it was handed on.
class FileHandle {
public:
    explicit FileHandle(HANDLE inHandle) : mHandle(inHandle) {}
    ~FileHandle()
    {
        if (valid())
            CloseHandle(mHandle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool valid() const { return mHandle != INVALID_HANDLE_VALUE && mHandle != nullptr; }
    HANDLE get() const { return mHandle; }
    HANDLE release()
    {
        HANDLE theHandle = mHandle;
        mHandle = INVALID_HANDLE_VALUE;
        return theHandle;
    }

private:
    HANDLE mHandle;
};

HRESULT SystemErrorResult(DWORD inCode)
{
    return static_cast<HRESULT>(inCode | 0x80040000u);
}

/// Asks the request for inCount bytes; outCount holds what the request says it read.
HRESULT ReadChunk(IRequest* inRequest, DWORD inCount, UniqueVariant& outCount, UniqueVariant& outBytes)
{
    VARIANT* theCount = outCount.put();
    V_VT(theCount) = VT_I4;
    V_I4(theCount) = static_cast<LONG>(inCount);
    return inRequest->BinaryRead(theCount, outBytes.put());
}

FileHandle CreateReadCache()
{
    char theFolder[MAX_PATH] = "";
    char theName[MAX_PATH] = "";
    HANDLE theFile = INVALID_HANDLE_VALUE;
    DWORD theFolderLength = GetTempPathA(MAX_PATH, theFolder);
    if (theFolderLength != 0 && theFolderLength < MAX_PATH && GetTempFileNameA(theFolder, "fer", 0, theName) != 0) {
        theFile = CreateFileA(theName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (theFile == INVALID_HANDLE_VALUE) {
            // The unique name was created empty; do not leave it behind.
            DWORD theError = GetLastError();
            DeleteFileA(theName);
            SetLastError(theError);
        }
    }
    if (theFile == INVALID_HANDLE_VALUE && !gReadCacheLogged.load(std::memory_order_relaxed)) {
        char theText[MAX_PATH + 64];
        std::snprintf(theText, sizeof theText, "Unable to create Binary Read Cache %s (0x%08lx)", theName,
                      static_cast<unsigned long>(GetLastError() | 0x80040000u));
        LogEvent(theText, EVENTLOG_ERROR_TYPE);
    }
    gReadCacheLogged.store(true, std::memory_order_relaxed);
    return FileHandle(theFile);
}

HRESULT ReadToCache(IRequest* inRequest, LONG inID, DWORD inNumBytes, DWORD inChunk, HANDLE inFile)
{
    SetProgressBytes(inID, 0, static_cast<LONG>(inNumBytes));
    CacheWriter theWriter(inFile, inNumBytes);
    DWORD theRemaining = inNumBytes;
    HRESULT hr = S_OK;
    while (theRemaining != 0) {
        DWORD theCount = theRemaining <= inChunk ? theRemaining : inChunk;
        theRemaining -= theCount;
        UniqueVariant theReported;
        UniqueVariant theBytes;
        hr = ReadChunk(inRequest, theCount, theReported, theBytes);
        if (FAILED(hr))
            return hr;
        // The file takes exactly what was delivered; a short delivery shows up later as
        // a cache shorter than the announced length.
        void* theData = nullptr;
        LONG theLength = 0;
        bool theWritten = true;
        DWORD theWriteError = 0;
        hr = AccessVARIANT(theBytes.get(), &theData, &theLength);
        if (SUCCEEDED(hr)) {
            theWritten = theWriter.Append(theData, static_cast<DWORD>(theLength));
            theWriteError = theWritten ? 0 : GetLastError();
            hr = UnaccessVARIANT(theBytes.get());
        }
        theBytes.reset();
        if (!theWritten)
            return FAILED(hr) ? hr : SystemErrorResult(theWriteError);
        if (FAILED(hr))
            return hr;
        SetProgressBytes(inID, static_cast<LONG>(inNumBytes - theRemaining), static_cast<LONG>(inNumBytes));
    }
    if (!theWriter.Flush())
        return SystemErrorResult(GetLastError());
    return hr;
}

HRESULT MapReadCache(FileHandle& inOutFile, std::unique_ptr<ByteSource>& outByteSource)
{
    if (GetFileSize(inOutFile.get(), nullptr) == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return SystemErrorResult(GetLastError());
    auto theStream = std::make_unique<MappedFileStream>();
    theStream->OpenHandle(inOutFile.release());
    if (theStream->Data() == nullptr)
        return SystemErrorResult(GetLastError());
    outByteSource = std::move(theStream);
    return S_OK;
}

/// Reads a small body into one block of memory with the read cache's rules: the block
/// takes exactly the bytes delivered, so a short or long delivery shows up later as a
/// length that differs, and a delivery of nothing fails as an empty cache would. False
/// in outFitted when no block could be had, and the caller uses the cache instead.
HRESULT ReadToBlock(IRequest* inRequest, LONG inID, DWORD inNumBytes, DWORD inChunk,
                    std::unique_ptr<ByteSource>& outByteSource, bool& outFitted)
{
    // One byte more than announced, so that a longer delivery still differs in length.
    const DWORD theCapacity = inNumBytes + 1;
    auto theStream = std::make_unique<MemoryByteSource>();
    outFitted = theStream->Allocate(theCapacity) != 0;
    if (!outFitted)
        return S_OK;
    BYTE* theBlock = theStream->Data();
    DWORD theHeld = 0;
    SetProgressBytes(inID, 0, static_cast<LONG>(inNumBytes));
    DWORD theRemaining = inNumBytes;
    while (theRemaining != 0) {
        DWORD theCount = theRemaining <= inChunk ? theRemaining : inChunk;
        theRemaining -= theCount;
        UniqueVariant theReported;
        UniqueVariant theBytes;
        HRESULT hr = ReadChunk(inRequest, theCount, theReported, theBytes);
        if (FAILED(hr))
            return hr;
        void* theData = nullptr;
        LONG theLength = 0;
        hr = AccessVARIANT(theBytes.get(), &theData, &theLength);
        if (SUCCEEDED(hr)) {
            DWORD theTake = theLength > 0 ? static_cast<DWORD>(theLength) : 0;
            if (theTake > theCapacity - theHeld)
                theTake = theCapacity - theHeld;
            if (theTake != 0)
                std::memcpy(theBlock + theHeld, theData, theTake);
            theHeld += theTake;
            hr = UnaccessVARIANT(theBytes.get());
        }
        theBytes.reset();
        if (FAILED(hr))
            return hr;
        SetProgressBytes(inID, static_cast<LONG>(inNumBytes - theRemaining), static_cast<LONG>(inNumBytes));
    }
    if (theHeld == 0)
        return SystemErrorResult(ERROR_HANDLE_EOF);
    theStream->SetRange(theBlock, theHeld);
    outByteSource = std::move(theStream);
    return S_OK;
}

/// The number of bytes a request reported in its count VARIANT, or inDefault when the
/// count cannot be read as a 32-bit integer.
LONG ReportedCount(UniqueVariant& inCount, LONG inDefault)
{
    if (inCount.vt() == VT_I4)
        return V_I4(inCount.get());
    UniqueVariant theConverted;
    if (FAILED(VariantChangeType(theConverted.get(), inCount.get(), 0, VT_I4)))
        return inDefault;
    return V_I4(theConverted.get());
}

HRESULT ReadToMemory(IRequest* inRequest, LONG inID, DWORD inNumBytes, DWORD inChunk,
                     std::unique_ptr<ByteSource>& outByteSource)
{
    auto theStream = std::make_unique<MemoryByteSource>();
    if (theStream->Allocate(inNumBytes) == 0) {
        DWORD theError = GetLastError();
        return SystemErrorResult(theError != 0 ? theError : ERROR_NOT_ENOUGH_MEMORY);
    }
    BYTE* theBlock = static_cast<BYTE*>(theStream->Data());
    SetProgressBytes(inID, 0, static_cast<LONG>(inNumBytes));
    DWORD theRemaining = inNumBytes;
    HRESULT hr = S_OK;
    while (theRemaining != 0) {
        DWORD theCount = theRemaining <= inChunk ? theRemaining : inChunk;
        theRemaining -= theCount;
        UniqueVariant theReported;
        UniqueVariant theBytes;
        hr = ReadChunk(inRequest, theCount, theReported, theBytes);
        if (FAILED(hr))
            break;
        void* theData = nullptr;
        LONG theLength = 0;
        hr = AccessVARIANT(theBytes.get(), &theData, &theLength);
        if (SUCCEEDED(hr)) {
            // Take what both the array and the count admit, never more than was asked:
            // the bytes end where the requested window ends and stay inside the block.
            LONG theTake = theLength;
            LONG theGot = ReportedCount(theReported, theLength);
            if (theGot < theTake)
                theTake = theGot;
            if (theTake > static_cast<LONG>(theCount))
                theTake = static_cast<LONG>(theCount);
            if (theTake > 0)
                std::memcpy(theBlock + (inNumBytes - theRemaining - static_cast<DWORD>(theTake)), theData,
                            static_cast<size_t>(theTake));
            hr = UnaccessVARIANT(theBytes.get());
        }
        theBytes.reset();
        if (FAILED(hr))
            break;
        SetProgressBytes(inID, static_cast<LONG>(inNumBytes - theRemaining), static_cast<LONG>(inNumBytes));
    }
    if (SUCCEEDED(hr))
        outByteSource = std::move(theStream);
    return hr;
}

}  // namespace

DWORD EffectiveChunkSize(DWORD inSetting)
{
    // A chunk of 0 would ask for nothing forever; take the usual size instead.
    return inSetting != 0 ? inSetting : kDefaultReadChunkSize;
}

HRESULT ReadBody(IRequest* inRequest, LONG inProgressID, LONG inNumBytes, std::unique_ptr<ByteSource>& outByteSource,
                 DWORD inMemoryLimit)
{
    DWORD theChunk = EffectiveChunkSize(RefreshReadChunkSize());
    if (inNumBytes < 1 || inRequest == nullptr)
        return S_OK;
    DWORD theNumBytes = static_cast<DWORD>(inNumBytes);
    // A small body skips the file system. The first body of the process still goes
    // through the cache, so that a temporary folder that cannot be written is reported
    // when it always was: at the first upload.
    if (theNumBytes <= inMemoryLimit && gReadCacheLogged.load(std::memory_order_relaxed)) {
        bool theFitted = false;
        HRESULT hr = ReadToBlock(inRequest, inProgressID, theNumBytes, theChunk, outByteSource, theFitted);
        if (theFitted)
            return hr;
    }
    FileHandle theFile = CreateReadCache();
    if (!theFile.valid())
        return ReadToMemory(inRequest, inProgressID, theNumBytes, theChunk, outByteSource);
    HRESULT hr = ReadToCache(inRequest, inProgressID, theNumBytes, theChunk, theFile.get());
    if (SUCCEEDED(hr))
        hr = MapReadCache(theFile, outByteSource);
    return hr;
}

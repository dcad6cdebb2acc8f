// XProgress.cpp: a view of the progress of one upload.
#include "progress/XProgress.h"

#include <string>

#include "progress/ProgressRegistry.h"
#include "support/TypeLibrary.h"
#include "support/Utilities.h"

namespace {

// The source module named in system-exception texts.
constexpr const char* kSource = "XProgress";

/// Notes are handed to pages through a buffer of this many bytes, terminator included.
constexpr size_t kNoteBufferSize = 260;

/// inText in the system ANSI code page (a null text is empty).
std::string ToAnsi(BSTR inText)
{
    const int theLength = static_cast<int>(SysStringLen(inText));
    if (theLength == 0)
        return {};
    const int theSize = WideCharToMultiByte(CP_ACP, 0, inText, theLength, nullptr, 0, nullptr, nullptr);
    if (theSize <= 0)
        return {};
    std::string theAnsi(static_cast<size_t>(theSize), '\0');
    WideCharToMultiByte(CP_ACP, 0, inText, theLength, theAnsi.data(), theSize, nullptr, nullptr);
    return theAnsi;
}

}  // namespace

XProgress::XProgress() : mID(NewProgressID()) {}

const ClassIdentity& XProgress::Identity()
{
    static const ClassIdentity theIdentity = {&CLSID_XProgress, &IID_IXProgress, "Ferrolift4.XProgress.4", &kIXProgressDesc};
    return theIdentity;
}

ProgressReading XProgress::ReadFigures()
{
    ProgressReading theReading;
    VARIANT_BOOL theFinished = VARIANT_FALSE;
    GetProgress(mID, &theReading.mDone, &theReading.mTotal, &theReading.mElapsed, nullptr, &theFinished);
    theReading.mFinished = theFinished != VARIANT_FALSE;
    return theReading;
}

HRESULT XProgress::get_ID(LONG* outID)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outID);
        *outID = mID;
        return S_OK;
    });
}

HRESULT XProgress::put_ID(LONG inID)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        mID = inID;
        return S_OK;
    });
}

HRESULT XProgress::get_Note(BSTR* outNote)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outNote);
        *outNote = nullptr;
        std::string theNote;
        GetProgress(mID, nullptr, nullptr, nullptr, nullptr, nullptr, &theNote);
        char theBuffer[kNoteBufferSize];
        CopyString(theBuffer, theNote.c_str(), sizeof theBuffer);
        CleanNote(theBuffer);
        *outNote = MultiByteToBSTR(CP_ACP, theBuffer, -1);
        return *outNote != nullptr ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT XProgress::put_Note(BSTR inNote)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        SetProgressNote(mID, ToAnsi(inNote).c_str());
        return S_OK;
    });
}

HRESULT XProgress::get_Started(VARIANT_BOOL* outTruth)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outTruth);
        *outTruth = VARIANT_FALSE;
        GetProgress(mID, nullptr, nullptr, nullptr, outTruth);
        return S_OK;
    });
}

HRESULT XProgress::get_BytesTotal(LONG* outBytes)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outBytes);
        *outBytes = 0;
        GetProgress(mID, nullptr, outBytes);
        return S_OK;
    });
}

HRESULT XProgress::get_BytesDone(LONG* outBytes)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outBytes);
        *outBytes = 0;
        GetProgress(mID, outBytes);
        return S_OK;
    });
}

HRESULT XProgress::get_PercentDone(LONG* outPercent)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outPercent);
        *outPercent = 0;
        *outPercent = PercentDone(ReadFigures());
        return S_OK;
    });
}

HRESULT XProgress::get_ElapsedSeconds(LONG* outSeconds)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outSeconds);
        *outSeconds = 0;
        *outSeconds = ElapsedSeconds(ReadFigures());
        return S_OK;
    });
}

HRESULT XProgress::get_SecondsLeft(LONG* outSeconds)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outSeconds);
        *outSeconds = 0;
        *outSeconds = SecondsLeft(ReadFigures());
        return S_OK;
    });
}

HRESULT XProgress::get_BytesPerSecond(LONG* outBytesPS)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outBytesPS);
        *outBytesPS = 0;
        *outBytesPS = BytesPerSecond(ReadFigures());
        return S_OK;
    });
}

// XProgress.cpp: a view of the progress of one upload.
#include "progress/XProgress.h"

#include "server/TypeLibrary.h"

namespace {

// The source module named in system-exception texts.
constexpr const char* kSource = "XProgress";

}  // namespace

const ClassIdentity& XProgress::Identity()
{
    static const ClassIdentity theIdentity = {&CLSID_XProgress, &IID_IXProgress, "Ferrolift4.XProgress.4", &kIXProgressDesc};
    return theIdentity;
}

HRESULT XProgress::get_ID(LONG* outID)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outID);
        return E_NOTIMPL;
    });
}

HRESULT XProgress::put_ID(LONG /*inID*/)
{
    return RunMember(this, kSource, __LINE__, []() -> HRESULT { return E_NOTIMPL; });
}

HRESULT XProgress::get_Note(BSTR* outNote)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outNote);
        return E_NOTIMPL;
    });
}

HRESULT XProgress::put_Note(BSTR /*inNote*/)
{
    return RunMember(this, kSource, __LINE__, []() -> HRESULT { return E_NOTIMPL; });
}

HRESULT XProgress::get_Started(VARIANT_BOOL* outTruth)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outTruth);
        return E_NOTIMPL;
    });
}

HRESULT XProgress::get_BytesTotal(LONG* outBytes)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outBytes);
        return E_NOTIMPL;
    });
}

HRESULT XProgress::get_BytesDone(LONG* outBytes)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outBytes);
        return E_NOTIMPL;
    });
}

HRESULT XProgress::get_PercentDone(LONG* outPercent)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outPercent);
        return E_NOTIMPL;
    });
}

HRESULT XProgress::get_ElapsedSeconds(LONG* outSeconds)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outSeconds);
        return E_NOTIMPL;
    });
}

HRESULT XProgress::get_SecondsLeft(LONG* outSeconds)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outSeconds);
        return E_NOTIMPL;
    });
}

HRESULT XProgress::get_BytesPerSecond(LONG* outBytesPS)
{
    return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
        RequireOut(outBytesPS);
        return E_NOTIMPL;
    });
}

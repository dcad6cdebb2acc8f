#include "intake/Multipart.h"

#include "intake/BodyReader.h"
#include "intake/MultipartParser.h"
#include "intake/UrlEncodedParser.h"
#include "progress/ProgressRegistry.h"
#include "support/EventLogWriter.h"
#include "intake/MappedFileStream.h"
#include "support/SException.h"
#include "platform/common/ReturnIfFailed.h"
#include "platform/common/UniqueBstr.h"
#include "platform/common/UniqueVariant.h"
#include "support/Utilities.h"

#include <asptlb.h>
#include <comsvcs.h>

// The page's context comes from comsvcs.dll's GetObjectContext, which page engines
// provide; some comsvcs.h make the name a macro for CoGetObjectContext instead.
#undef GetObjectContext
extern "C" HRESULT WINAPI GetObjectContext(IObjectContext** outContext);

namespace {

constexpr char kExceptionMessage[] = "Initialization of Multipart failed because an exception was thrown.";
constexpr char kFormLimit[] = "A form holds at most 2147483647 bytes";
constexpr char kFileTooLarge[] = "File is larger than 2147483647 bytes, the most a form can hold";
constexpr char kFieldTooLarge[] = "A field is larger than 2147483647 bytes, the most a form can hold";

/// Gets one named object of the page ("Request", "Server") and asks it for inIid.
template <class T>
HRESULT GetPageObject(IGetContextProperties* inProperties, const OLECHAR* inName, REFIID inIid, ComPtr<T>& outObject)
{
    UniqueBstr theName = UniqueBstr::copy_of(inName);
    UniqueVariant theValue;
    RETURN_IF_FAILED(inProperties->GetProperty(theName.get(), theValue.put()));
    if (theValue.vt() != VT_DISPATCH || V_DISPATCH(theValue.get()) == nullptr)
        return E_FAIL;
    HRESULT hr = V_DISPATCH(theValue.get())->QueryInterface(inIid, outObject.put_void());
    if (SUCCEEDED(hr) && !outObject)
        hr = E_UNEXPECTED;
    return hr;
}

}  // namespace

Multipart::Multipart()
{
    mProgressID = NewProgressID();
    UnregisterProgress(mProgressID);
    RegisterProgress(mProgressID);
}

Multipart::~Multipart()
{
    Clear();
}

void Multipart::Note(const char* inText) const
{
    SetProgressNote(mProgressID, inText);
}

bool Multipart::Initialize(const WCHAR* inPath, bool inIsPhysical)
{
    if (!mProcessed) {
        mProcessed = true;
        // A fault while reading or splitting (a cache file cut short under the mapping,
        // say) fails this upload only; the form reports it like any other failure.
        try {
            RunIntake(inPath != nullptr && *inPath != 0 ? inPath : nullptr, inIsPhysical);
        } catch (SException&) {
            mErrors.AddMessage(kExceptionMessage);
        }
    }
    return mErrors.HasError();
}

void Multipart::RunIntake(const WCHAR* inPath, bool inIsPhysical)
{
    // A physical file needs no page; the request and MapPath do.
    if (inPath == nullptr || !inIsPhysical)
        InitContext();
    if (!mErrors.HasError()) {
        if (inPath != nullptr)
            ReadFromFile(inPath, inIsPhysical);
        else
            ReadRequest();
    }
    if (!mErrors.HasError())
        CheckLength();
    Note("Processing upload...");
    if (!mErrors.HasError())
        GetMultipartItems();
    Note("Finishing...");
    if (mErrors.HasError())
        Note(mErrors.Describe());
}

void Multipart::InitContext()
{
    HRESULT hr = S_OK;
    if (!mContext) {
        hr = GetObjectContext(mContext.put());
        if (SUCCEEDED(hr) && !mContext)
            hr = E_UNEXPECTED;
        if (FAILED(hr))
            mErrors.AddMessage("Unable to get Object Context");
    }
    if (mContext && !mContextProperties) {
        if (SUCCEEDED(hr)) {
            hr = mContext->QueryInterface(IID_IGetContextProperties, mContextProperties.put_void());
            if (SUCCEEDED(hr) && !mContextProperties)
                hr = E_UNEXPECTED;
        }
        if (!mContextProperties)
            mErrors.AddMessage("Unable to get Context Properties");
    }
    if (mContextProperties && !mRequest) {
        if (SUCCEEDED(hr))
            hr = GetPageObject(mContextProperties.get(), OLESTR("Request"), IID_IRequest, mRequest);
        if (!mRequest)
            mErrors.AddMessage("Unable to get Request Object");
    }
    if (mRequest && !mServer) {
        if (SUCCEEDED(hr))
            hr = GetPageObject(mContextProperties.get(), OLESTR("Server"), IID_IServer, mServer);
        if (!mServer)
            mErrors.AddMessage("Unable to get Server Object");
    }
    if (FAILED(hr))
        mErrors.SetResultCode(static_cast<DWORD>(hr));
}

void Multipart::ReadRequest()
{
    Note("Getting upload size...");
    if (mRequest)
        ReadTotalBytes();
    SetProgressBytes(mProgressID, 0, mLength);
    Note("Transferring data...");
    if (mErrors.HasError()) {
        // No usable length: nothing is read, so nothing can be lost in part.
    } else if (mLength > mMaxUploadSize) {
        // Refused bodies are not drained: the page engine deals with the rest.
        mErrors.AddMessage("Upload size is greater than the maximum allowed");
    } else if (mLength >= 1) {
        if (FAILED(ReadBody(mRequest.get(), mProgressID, mLength, mStream))) {
            mStream.reset();
            mErrors.AddMessage("Upload stopped unexpectedly");
        }
    }
    Note("Data transferred...");
}

void Multipart::ReadTotalBytes()
{
    long theTotal = 0;
    const HRESULT hr = mRequest->get_TotalBytes(&theTotal);
    // A body the 32-bit length cannot describe would be read in part and its cut field
    // lost without a word, so it is refused; so is a body whose length is unknown.
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE) ||
        (SUCCEEDED(hr) && (theTotal > kMaxBodyLength || theTotal < -kMaxBodyLength - 1))) {
        mErrors.AddMessage("Upload size is greater than the maximum allowed");
        mErrors.AddMessage(kFormLimit);
        return;
    }
    if (FAILED(hr)) {
        mErrors.SetResultCode(static_cast<DWORD>(hr));
        mErrors.AddMessage("Unable to get upload size");
        return;
    }
    mLength = static_cast<LONG>(theTotal);
}

void Multipart::ReadFromFile(const WCHAR* inPath, bool inIsPhysical)
{
    WCHAR thePhysical[MAX_PATH] = {0};
    if (!inIsPhysical) {
        HRESULT hr = MapPath(inPath, thePhysical);
        if (FAILED(hr)) {
            mErrors.SetResultCode(static_cast<DWORD>(hr));
            mErrors.AddMessage("Unable to resolve URL");
        }
    } else {
        CopyWideString(thePhysical, inPath, MAX_PATH);
    }
    if (!mErrors.HasError()) {
        auto theStream = std::make_unique<MappedFileStream>();
        theStream->Open(thePhysical);
        if (theStream->Data() != nullptr && theStream->Size() > static_cast<DWORD>(kMaxBodyLength)) {
            mErrors.SetResultCode(ERROR_FILE_TOO_LARGE);
            mErrors.AddMessage(kFileTooLarge);
        } else if (theStream->Data() != nullptr) {
            mLength = static_cast<LONG>(theStream->Size());
            mStream = std::move(theStream);
        } else if (theStream->ErrorText() != nullptr) {
            mErrors.SetResultCode(GetLastError());
            mErrors.AddMessage(theStream->ErrorText());
        }
    }
    SetProgressBytes(mProgressID, mLength, mLength);
}

void Multipart::CheckLength()
{
    if (mStream && mStream->Size() != static_cast<DWORD>(mLength)) {
        mErrors.AddMessage("Reported data length different from length read.");
        mLength = 0;
    }
}

void Multipart::GetMultipartItems()
{
    if (!mStream)
        return;
    try {
        mData = static_cast<const BYTE*>(mStream->Data());
        MultipartParser theParser(mGroups, mCodePage);
        theParser.ParseMultipart(mData, mData + mStream->Size() - 1);
        if (theParser.FoundOversizedField()) {
            mErrors.SetResultCode(ERROR_FILE_TOO_LARGE);
            mErrors.AddMessage(kFieldTooLarge);
            return;
        }
        if (GroupCount() == 0)
            ParseURLEncoded();
    } catch (SException&) {
        // Groups found before the fault stay; the fault is always logged.
        mErrors.AddMessage("GetMultipartItems raised an exception.");
        LogEvent(mErrors.Describe(), EVENTLOG_ERROR_TYPE);
        mErrors.SetResultCode(static_cast<DWORD>(E_FAIL));
    }
}

void Multipart::ParseURLEncoded()
{
    if (mDataCopy || !mStream)
        return;
    mDataCopy = ::ParseURLEncoded(mData, mStream->Size(), mGroups, mCodePage);
}

HRESULT Multipart::MapPath(const WCHAR* inVirtualPath, WCHAR* outPhysicalPath)
{
    outPhysicalPath[0] = 0;
    if (!mServer)
        return CONTEXT_E_NOCONTEXT;
    UniqueBstr theVirtual = UniqueBstr::copy_of(inVirtualPath);
    UniqueBstr thePhysical;
    const HRESULT hr = mServer->MapPath(theVirtual.get(), thePhysical.put());
    RETURN_IF_FAILED(hr);
    if (thePhysical.get() == nullptr)
        return E_FAIL;
    CopyWideString(outPhysicalPath, thePhysical.get(), MAX_PATH);
    return hr;
}

void Multipart::SetProgressID(LONG inID)
{
    UnregisterProgress(inID);
    UnregisterProgress(mProgressID);
    mProgressID = inID;
    RegisterProgress(inID);
}

void Multipart::Clear()
{
    mContext.reset();
    mContextProperties.reset();
    mRequest.reset();
    mServer.reset();
    mGroups.Clear();
    mStream.reset();
    mDataCopy.reset();
    mErrors.Reset();
    mProcessed = false;
    mLength = 0;
    mData = nullptr;
    MarkProgressFinished(mProgressID);
}

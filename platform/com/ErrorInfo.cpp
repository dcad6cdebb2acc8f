// Error info: the object CreateErrorInfo makes (ICreateErrorInfo to fill it, IErrorInfo
// to read it) and the per-thread slot that SetErrorInfo fills and GetErrorInfo empties.
#include "platform/com/Com.h"
#include "platform/com/ComObject.h"

#include <mutex>
#include <new>
#include <string>

#include "platform/automation/OleAuto.h"

namespace {

// IUnknown is served by IErrorInfo.
class ErrorInfoObject final : public ferrolift::platform::ComObject<IErrorInfo, ICreateErrorInfo> {
public:
    // ICreateErrorInfo
    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID inGuid) override
    {
        std::lock_guard theLock(mMutex);
        mGuid = inGuid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR inText) override { return Store(mSource, inText); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR inText) override { return Store(mDescription, inText); }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR inText) override { return Store(mHelpFile, inText); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD inContext) override
    {
        std::lock_guard theLock(mMutex);
        mHelpContext = inContext;
        return S_OK;
    }

    // IErrorInfo
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* outGuid) override
    {
        if (!outGuid)
            return E_INVALIDARG;
        std::lock_guard theLock(mMutex);
        *outGuid = mGuid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* outText) override { return Load(mSource, outText); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* outText) override { return Load(mDescription, outText); }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* outText) override { return Load(mHelpFile, outText); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* outContext) override
    {
        if (!outContext)
            return E_INVALIDARG;
        std::lock_guard theLock(mMutex);
        *outContext = mHelpContext;
        return S_OK;
    }

private:
    ~ErrorInfoObject() = default;

    HRESULT Store(std::u16string& outField, LPCOLESTR inText)
    {
        std::lock_guard theLock(mMutex);
        if (inText)
            outField = inText;
        else
            outField.clear();
        return S_OK;
    }

    // An unset text reads as the null BSTR.
    HRESULT Load(const std::u16string& inField, BSTR* outText)
    {
        if (!outText)
            return E_INVALIDARG;
        std::lock_guard theLock(mMutex);
        *outText = nullptr;
        if (inField.empty())
            return S_OK;
        *outText = SysAllocStringLen(inField.data(), static_cast<UINT>(inField.size()));
        return *outText ? S_OK : E_OUTOFMEMORY;
    }

    std::mutex mMutex;
    GUID mGuid{};
    std::u16string mSource;
    std::u16string mDescription;
    std::u16string mHelpFile;
    DWORD mHelpContext = 0;
};

// The thread's current error info; released when the thread ends.
struct ThreadErrorInfo {
    IErrorInfo* mInfo = nullptr;
    ~ThreadErrorInfo()
    {
        if (mInfo)
            mInfo->Release();
    }
};

thread_local ThreadErrorInfo tErrorInfo;

}  // namespace

extern "C" {

HRESULT WINAPI CreateErrorInfo(ICreateErrorInfo** pperrinfo)
{
    if (!pperrinfo)
        return E_INVALIDARG;
    *pperrinfo = new (std::nothrow) ErrorInfoObject();
    return *pperrinfo ? S_OK : E_OUTOFMEMORY;
}

HRESULT WINAPI SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo)
{
    if (dwReserved != 0)
        return E_INVALIDARG;
    if (perrinfo)
        perrinfo->AddRef();
    IErrorInfo* theOld = tErrorInfo.mInfo;
    tErrorInfo.mInfo = perrinfo;
    if (theOld)
        theOld->Release();
    return S_OK;
}

HRESULT WINAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo)
{
    if (dwReserved != 0 || !pperrinfo)
        return E_INVALIDARG;
    *pperrinfo = tErrorInfo.mInfo;
    tErrorInfo.mInfo = nullptr;
    return *pperrinfo ? S_OK : S_FALSE;
}

}  // extern "C"

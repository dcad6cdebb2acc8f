#include "host/RequestObject.h"

#include <string>

#include "host/HttpExchange.h"
#include "platform/common/UniqueVariant.h"

namespace ferrolift::host {

namespace {

HRESULT NoDictionary(IRequestDictionary** outDictionary)
{
    if (outDictionary == nullptr)
        return E_POINTER;
    *outDictionary = nullptr;
    return E_NOTIMPL;
}

}  // namespace

RequestObject::RequestObject(std::shared_ptr<HttpExchange> inExchange) : mExchange(std::move(inExchange)) {}

HRESULT RequestObject::get_Item(BSTR, IDispatch** outObject)
{
    if (outObject == nullptr)
        return E_POINTER;
    *outObject = nullptr;
    return E_NOTIMPL;
}

HRESULT RequestObject::get_QueryString(IRequestDictionary** outDictionary) { return NoDictionary(outDictionary); }
HRESULT RequestObject::get_Form(IRequestDictionary** outDictionary) { return NoDictionary(outDictionary); }
HRESULT RequestObject::get_Body(IRequestDictionary** outDictionary) { return NoDictionary(outDictionary); }
HRESULT RequestObject::get_ServerVariables(IRequestDictionary** outDictionary) { return NoDictionary(outDictionary); }
HRESULT RequestObject::get_ClientCertificate(IRequestDictionary** outDictionary) { return NoDictionary(outDictionary); }
HRESULT RequestObject::get_Cookies(IRequestDictionary** outDictionary) { return NoDictionary(outDictionary); }

HRESULT RequestObject::get_TotalBytes(long* outTotal)
{
    if (outTotal == nullptr)
        return E_POINTER;
    const std::int64_t theTotal = mExchange->TotalBytes();
    // The interface counts in 32 bits. Reporting a smaller count for a larger body would
    // make the reader take its first 2 GiB as the whole upload and lose the rest
    // silently, so such a body has no count: the caller gets an error to refuse it by.
    if (theTotal > 0x7FFFFFFF) {
        *outTotal = 0;
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    }
    *outTotal = static_cast<long>(theTotal);
    return S_OK;
}

HRESULT RequestObject::BinaryRead(VARIANT* inOutCount, VARIANT* outBytes)
{
    if (inOutCount == nullptr || outBytes == nullptr)
        return E_POINTER;
    UniqueVariant theCount;
    HRESULT hr = VariantChangeType(theCount.put(), inOutCount, 0, VT_I4);
    if (FAILED(hr))
        return hr;
    std::int64_t theWanted = mExchange->Clamp(V_I4(theCount.get()));
    SAFEARRAY* theArray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(theWanted));
    if (theArray == nullptr)
        return E_OUTOFMEMORY;
    void* theData = nullptr;
    SafeArrayAccessData(theArray, &theData);
    std::int64_t theRead = 0;
    std::string theError;
    bool theOk = mExchange->BinaryRead(theWanted, static_cast<char*>(theData), theRead, theError);
    SafeArrayUnaccessData(theArray);
    if (!theOk) {
        SafeArrayDestroy(theArray);
        return E_FAIL;
    }
    VariantClear(outBytes);
    V_VT(outBytes) = VT_ARRAY | VT_UI1;
    V_ARRAY(outBytes) = theArray;
    VariantClear(inOutCount);
    V_VT(inOutCount) = VT_I4;
    V_I4(inOutCount) = static_cast<LONG>(theRead);
    return S_OK;
}

}  // namespace ferrolift::host

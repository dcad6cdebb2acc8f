// TestRequest.cpp: the request body read from a file.
#include "TestRequest.h"

TestRequest::TestRequest(const std::wstring& inBodyPath)
    : PageObject(IID_IRequest),
      mFile(CreateFileW(inBodyPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
{
}

TestRequest::~TestRequest()
{
    if (mFile != INVALID_HANDLE_VALUE)
        CloseHandle(mFile);
}

HRESULT STDMETHODCALLTYPE TestRequest::get_TotalBytes(LONG* outTotal)
{
    if (outTotal == nullptr)
        return E_POINTER;
    LARGE_INTEGER theSize{};
    *outTotal = mFile != INVALID_HANDLE_VALUE && GetFileSizeEx(mFile, &theSize) ? static_cast<LONG>(theSize.QuadPart)
                                                                               : 0;
    return S_OK;
}

// The count comes in as any number (the component passes VT_I4) and goes out as the
// number of bytes actually read; the bytes arrive as a one-dimensional byte array.
HRESULT STDMETHODCALLTYPE TestRequest::BinaryRead(VARIANT* inOutCount, VARIANT* outBytes)
{
    if (inOutCount == nullptr || outBytes == nullptr)
        return E_POINTER;
    VARIANT theCount;
    VariantInit(&theCount);
    HRESULT hr = VariantChangeType(&theCount, inOutCount, 0, VT_I4);
    if (FAILED(hr))
        return hr;
    const LONG theWanted = V_I4(&theCount) > 0 ? V_I4(&theCount) : 0;
    SAFEARRAY* theArray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(theWanted));
    if (theArray == nullptr)
        return E_OUTOFMEMORY;
    DWORD theRead = 0;
    if (theWanted > 0 && mFile != INVALID_HANDLE_VALUE)
        ReadFile(mFile, theArray->pvData, static_cast<DWORD>(theWanted), &theRead, nullptr);
    if (theRead < static_cast<DWORD>(theWanted)) {
        SAFEARRAYBOUND theBound{theRead, 0};
        SafeArrayRedim(theArray, &theBound);
    }
    VariantClear(inOutCount);
    V_VT(inOutCount) = VT_I4;
    V_I4(inOutCount) = static_cast<LONG>(theRead);
    VariantInit(outBytes);
    V_VT(outBytes) = VT_ARRAY | VT_UI1;
    V_ARRAY(outBytes) = theArray;
    return S_OK;
}

// TestServer.cpp: MapPath under the site folder.
#include "TestServer.h"

HRESULT STDMETHODCALLTYPE TestServer::MapPath(BSTR inPath, BSTR* outPhysical)
{
    if (outPhysical == nullptr)
        return E_POINTER;
    *outPhysical = nullptr;
    std::wstring thePath = inPath != nullptr ? inPath : L"";
    if (thePath.find(L"..") != std::wstring::npos)
        return E_INVALIDARG;
    for (wchar_t& c : thePath) {
        if (c == L'/')
            c = L'\\';
    }
    if (thePath.empty() || thePath[0] != L'\\')
        thePath.insert(thePath.begin(), L'\\');
    const std::wstring theFull = mRoot + thePath;
    *outPhysical = SysAllocStringLen(theFull.data(), static_cast<UINT>(theFull.size()));
    return *outPhysical != nullptr ? S_OK : E_OUTOFMEMORY;
}

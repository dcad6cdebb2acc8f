// TestRequest.h: a Request object whose body is a file: TotalBytes is the file's size and
// BinaryRead hands out its bytes in order, as a page engine hands out a request body.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <asptlb.h>

#include <string>

#include "PageObject.h"

class TestRequest : public PageObject<IRequest> {
public:
    /// Opens inBodyPath; a body that cannot be opened reads as an empty one.
    explicit TestRequest(const std::wstring& inBodyPath);
    ~TestRequest() override;

    HRESULT STDMETHODCALLTYPE get_TotalBytes(LONG* outTotal) override;
    HRESULT STDMETHODCALLTYPE BinaryRead(VARIANT* inOutCount, VARIANT* outBytes) override;

    // Collections the component never reads.
    HRESULT STDMETHODCALLTYPE get_Item(BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_QueryString(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Form(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Body(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ServerVariables(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ClientCertificate(IRequestDictionary**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Cookies(IRequestDictionary**) override { return E_NOTIMPL; }

private:
    HANDLE mFile;
};

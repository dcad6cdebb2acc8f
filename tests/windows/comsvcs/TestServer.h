// TestServer.h: a Server object whose MapPath puts a virtual path under a site folder:
// "/a/b.txt" and "a/b.txt" both become ROOT\a\b.txt. A path that climbs with ".." fails
// as a page engine refuses paths outside its site.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <asptlb.h>

#include <string>

#include "PageObject.h"

class TestServer : public PageObject<IServer> {
public:
    explicit TestServer(const std::wstring& inRoot) : PageObject(IID_IServer), mRoot(inRoot) {}

    HRESULT STDMETHODCALLTYPE MapPath(BSTR inPath, BSTR* outPhysical) override;

    // Members the component never calls.
    HRESULT STDMETHODCALLTYPE get_ScriptTimeout(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ScriptTimeout(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateObject(BSTR, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE HTMLEncode(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE URLEncode(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE URLPathEncode(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Execute(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Transfer(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLastError(IASPError**) override { return E_NOTIMPL; }

private:
    std::wstring mRoot;
};

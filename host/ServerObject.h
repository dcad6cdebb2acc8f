// ServerObject.h: the page's Server as an automation object (IServer): MapPath for the
// component's virtual save paths, CreateObject through registry activation, and the
// encoders.
//
//   ComPtr<IServer> theServer;
//   theServer.attach(new ServerObject(thePaths, "/dir/"));
//   theServer->MapPath(thePath, &thePhysical);   // E_FAIL outside the site
#pragma once

#include <atomic>
#include <string>

#include <windows.h>
#include <comsvcs.h>

#include "host/VtableObject.h"

namespace ferrolift::host {

class SitePaths;

/// IServer for one page: paths resolve against the page's folder and the site root.
class ServerObject final : public VtableObject<IServer, IID_IServer> {
public:
    /// inPaths must outlive the object (it is the server's); inVirtualFolder is the
    /// page's folder ("/dir/").
    ServerObject(const SitePaths& inPaths, std::string inVirtualFolder);

    // IServer
    HRESULT STDMETHODCALLTYPE get_ScriptTimeout(long* outSeconds) override;
    HRESULT STDMETHODCALLTYPE put_ScriptTimeout(long inSeconds) override;
    HRESULT STDMETHODCALLTYPE CreateObject(BSTR inProgId, IDispatch** outObject) override;
    HRESULT STDMETHODCALLTYPE HTMLEncode(BSTR inText, BSTR* outEncoded) override;
    HRESULT STDMETHODCALLTYPE MapPath(BSTR inPath, BSTR* outPhysical) override;
    HRESULT STDMETHODCALLTYPE URLEncode(BSTR inText, BSTR* outEncoded) override;
    HRESULT STDMETHODCALLTYPE URLPathEncode(BSTR inText, BSTR* outEncoded) override;

private:
    ~ServerObject() = default;

    const SitePaths& mPaths;
    std::string mVirtualFolder;
    std::atomic<long> mScriptTimeout{90};
};

}  // namespace ferrolift::host

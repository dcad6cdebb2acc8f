// RequestObject.h: the page's Request as an automation object (IRequest), which the
// component finds through the object context and reads the body from in chunks.
//
//   ComPtr<IRequest> theRequest;
//   theRequest.attach(new RequestObject(theExchange));
//   ferrolift::platform::ObjectContextScope theScope(theRequest.get(), theServer.get());
#pragma once

#include <memory>

#include <windows.h>
#include <comsvcs.h>

#include "host/VtableObject.h"

namespace ferrolift::host {

class HttpExchange;

/// IRequest over one HTTP exchange. Free-threaded; after the page the exchange refuses
/// further reads, so a script that kept the object cannot reach a finished connection.
class RequestObject final : public VtableObject<IRequest, IID_IRequest> {
public:
    explicit RequestObject(std::shared_ptr<HttpExchange> inExchange);

    // IRequest: the collections are script-side only.
    HRESULT STDMETHODCALLTYPE get_Item(BSTR, IDispatch** outObject) override;
    HRESULT STDMETHODCALLTYPE get_QueryString(IRequestDictionary** outDictionary) override;
    HRESULT STDMETHODCALLTYPE get_Form(IRequestDictionary** outDictionary) override;
    HRESULT STDMETHODCALLTYPE get_Body(IRequestDictionary** outDictionary) override;
    HRESULT STDMETHODCALLTYPE get_ServerVariables(IRequestDictionary** outDictionary) override;
    HRESULT STDMETHODCALLTYPE get_ClientCertificate(IRequestDictionary** outDictionary) override;
    HRESULT STDMETHODCALLTYPE get_Cookies(IRequestDictionary** outDictionary) override;
    HRESULT STDMETHODCALLTYPE get_TotalBytes(long* outTotal) override;
    HRESULT STDMETHODCALLTYPE BinaryRead(VARIANT* inOutCount, VARIANT* outBytes) override;

private:
    ~RequestObject() = default;

    std::shared_ptr<HttpExchange> mExchange;
};

}  // namespace ferrolift::host

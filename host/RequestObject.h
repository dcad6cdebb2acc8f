// RequestObject.h: the page's Request as an automation object (IRequest), which the
// component finds through the object context and reads the body from in chunks.
//
//   ComPtr<IRequest> theRequest;
//   theRequest.attach(new RequestObject(theExchange));
//   ferrolift::platform::ObjectContextScope theScope(theRequest.get(), theServer.get());
#pragma once

#include <atomic>
#include <memory>

#include <windows.h>
#include <comsvcs.h>

namespace ferrolift::host {

class HttpExchange;

/// IRequest over one HTTP exchange. Free-threaded; after the page the exchange refuses
/// further reads, so a script that kept the object cannot reach a finished connection.
class RequestObject final : public IRequest {
public:
    explicit RequestObject(std::shared_ptr<HttpExchange> inExchange);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch: the component binds to the vtable; late binding is not offered.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** outInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT inCount, LCID, DISPID* outIds) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
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

    std::atomic<ULONG> mRefs{1};
    std::shared_ptr<HttpExchange> mExchange;
};

}  // namespace ferrolift::host

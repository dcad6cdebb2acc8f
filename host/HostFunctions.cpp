#include "host/HostFunctions.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include <windows.h>

#include "host/DispatchBridge.h"
#include "host/HttpExchange.h"
#include "host/ScriptEnvironment.h"
#include "host/ScriptFailure.h"
#include "host/ScriptHeap.h"
#include "host/ScriptText.h"
#include "host/SitePaths.h"
#include "host/WebText.h"
#include "platform/common/ComPtr.h"
#include "platform/common/UniqueVariant.h"

namespace ferrolift::host {

namespace {

constexpr const char* kEnumKey = DUK_HIDDEN_SYMBOL("enum");
constexpr const char* kItemKey = DUK_HIDDEN_SYMBOL("item");
constexpr const char* kEndKey = DUK_HIDDEN_SYMBOL("end");
constexpr const char* kHostKey = "ferroliftHostFunctions";

HttpExchange& Exchange(duk_context* inContext)
{
    return *ScriptHeap::Environment(inContext).exchange;
}

// Request and Response need the page's HTTP exchange; a page run without one (a
// benchmark, a test) gets an error instead of a crash.
template <int (*Body)(duk_context*, ScriptFailure&)>
int WithExchange(duk_context* inContext, ScriptFailure& outFailure)
{
    if (ScriptHeap::Environment(inContext).exchange == nullptr)
        return outFailure.Set(E_UNEXPECTED, "Page engine", "This page runs without an HTTP request.");
    return Body(inContext, outFailure);
}

std::string ArgText(duk_context* inContext, duk_idx_t inIndex)
{
    if (duk_is_undefined(inContext, inIndex) || duk_is_null(inContext, inIndex))
        return {};
    duk_size_t theLength = 0;
    duk_dup(inContext, inIndex);
    const char* theText = duk_safe_to_lstring(inContext, -1, &theLength);
    std::string theResult(theText, theLength);
    duk_pop(inContext);
    return theResult;
}

int Write(duk_context* inContext, ScriptFailure& outFailure)
{
    ScriptEnvironment& theEnvironment = ScriptHeap::Environment(inContext);
    if (theEnvironment.ended)
        return 0;
    if (theEnvironment.exchange == nullptr && theEnvironment.output != nullptr) {
        *theEnvironment.output += ScriptToUtf8(ArgText(inContext, 0));
        return 0;
    }
    if (theEnvironment.exchange == nullptr)
        return outFailure.Set(E_UNEXPECTED, "Page engine", "This page runs without an HTTP request.");
    theEnvironment.exchange->Write(ScriptToUtf8(ArgText(inContext, 0)));
    return 0;
}

int BinaryWrite(duk_context* inContext, ScriptFailure& outFailure)
{
    if (ScriptHeap::Environment(inContext).ended)
        return 0;
    if (duk_is_buffer_data(inContext, 0)) {
        duk_size_t theSize = 0;
        auto* theData = static_cast<const char*>(duk_get_buffer_data(inContext, 0, &theSize));
        Exchange(inContext).Write(std::string_view(theData, theSize));
        return 0;
    }
    if (IDispatch* theDispatch = GetDispatch(inContext, 0)) {
        UniqueVariant theValue;
        std::vector<VARIANT> theNone;
        if (!InvokeDispatch(theDispatch, DISPID_VALUE, DISPATCH_PROPERTYGET, theNone, theValue.put(), outFailure))
            return kNativeFailed;
        if (V_VT(theValue.get()) == (VT_ARRAY | VT_UI1) && V_ARRAY(theValue.get()) != nullptr) {
            SAFEARRAY* theArray = V_ARRAY(theValue.get());
            void* theData = nullptr;
            if (SUCCEEDED(SafeArrayAccessData(theArray, &theData))) {
                Exchange(inContext).Write(std::string_view(static_cast<const char*>(theData), theArray->rgsabound[0].cElements));
                SafeArrayUnaccessData(theArray);
            }
            return 0;
        }
    }
    // Text: each character is one byte, as a byte string would be.
    std::u16string theUnits = ScriptToUtf16(ArgText(inContext, 0));
    std::string theBytes(theUnits.begin(), theUnits.end());
    Exchange(inContext).Write(theBytes);
    return 0;
}

int HeadersAlreadySent(ScriptFailure& outFailure)
{
    return outFailure.Set(E_FAIL, "Response object", "The HTTP headers are already written to the client browser.");
}

int AddHeader(duk_context* inContext, ScriptFailure& outFailure)
{
    if (Exchange(inContext).HeadersSent())
        return HeadersAlreadySent(outFailure);
    Exchange(inContext).AddHeader(ScriptToUtf8(ArgText(inContext, 0)), ScriptToUtf8(ArgText(inContext, 1)));
    return 0;
}

int End(duk_context* inContext, ScriptFailure& outFailure)
{
    ScriptHeap::Environment(inContext).ended = true;
    outFailure.endPage = true;
    return kNativeFailed;
}

int Redirect(duk_context* inContext, ScriptFailure& outFailure)
{
    HttpExchange& theExchange = Exchange(inContext);
    if (theExchange.HeadersSent())
        return HeadersAlreadySent(outFailure);
    std::string theUrl = ScriptToUtf8(ArgText(inContext, 0));
    theExchange.Clear();
    theExchange.SetStatus(302, "Object moved");
    theExchange.AddHeader("Location", theUrl);
    // The URL often carries what a visitor sent: escaped, so the body cannot inject markup.
    theExchange.Write("<html><body><a href=\"" + HtmlEscape(theUrl) + "\">Object moved</a></body></html>");
    return End(inContext, outFailure);
}

int Clear(duk_context* inContext, ScriptFailure&)
{
    Exchange(inContext).Clear();
    return 0;
}

int Flush(duk_context* inContext, ScriptFailure&)
{
    Exchange(inContext).Flush();
    return 0;
}

int ResponseGet(duk_context* inContext, ScriptFailure&)
{
    HttpExchange& theExchange = Exchange(inContext);
    std::string theName = ArgText(inContext, 0);
    std::string theValue = theName == "ContentType" ? theExchange.ContentType()
                         : theName == "Charset"     ? theExchange.Charset()
                         : std::to_string(theExchange.Status()) + " " + theExchange.StatusText();
    duk_push_string(inContext, Utf8ToScript(theValue).c_str());
    return 1;
}

int ResponseSet(duk_context* inContext, ScriptFailure& outFailure)
{
    HttpExchange& theExchange = Exchange(inContext);
    if (theExchange.HeadersSent())
        return HeadersAlreadySent(outFailure);
    std::string theName = ArgText(inContext, 0);
    std::string theValue = ScriptToUtf8(ArgText(inContext, 1));
    if (theName == "ContentType") {
        theExchange.SetContentType(theValue);
    } else if (theName == "Charset") {
        theExchange.SetCharset(theValue);
    } else {
        char* theEnd = nullptr;
        long theCode = std::strtol(theValue.c_str(), &theEnd, 10);
        if (theCode < 100 || theCode > 999)
            return outFailure.Set(E_FAIL, "Response object", "The status '" + ArgText(inContext, 1) + "' is not valid.");
        std::string theText = theEnd;
        theText.erase(0, theText.find_first_not_of(' '));
        theExchange.SetStatus(static_cast<int>(theCode), theText.empty() ? "Status" : theText);
    }
    return 0;
}

int TotalBytes(duk_context* inContext, ScriptFailure&)
{
    duk_push_number(inContext, static_cast<double>(Exchange(inContext).TotalBytes()));
    return 1;
}

int BinaryRead(duk_context* inContext, ScriptFailure& outFailure)
{
    double theCount = duk_is_number(inContext, 0) ? duk_get_number(inContext, 0) : 0;
    std::string theBytes;
    std::string theError;
    if (!Exchange(inContext).BinaryRead(theCount > 0 ? static_cast<std::int64_t>(theCount) : 0, theBytes, theError))
        return outFailure.Set(E_FAIL, "Request object", theError);
    void* theBuffer = duk_push_fixed_buffer(inContext, theBytes.size());
    if (!theBytes.empty())
        std::memcpy(theBuffer, theBytes.data(), theBytes.size());
    duk_push_buffer_object(inContext, -1, 0, theBytes.size(), DUK_BUFOBJ_UINT8ARRAY);
    return 1;
}

int BuildCollection(duk_context* inContext, int inKind, ScriptFailure& outFailure);

// The collection of kind 0 (QueryString), 1 (Form) or 2 (ServerVariables) as
// { names, values }, built once per page and kept on the page's global object under a
// key that scripts cannot name.
int Collection(duk_context* inContext, ScriptFailure& outFailure)
{
    static constexpr const char* kCacheKeys[] = {DUK_HIDDEN_SYMBOL("query"), DUK_HIDDEN_SYMBOL("form"),
                                                 DUK_HIDDEN_SYMBOL("variables")};
    int theKind = duk_get_int(inContext, 0);
    if (theKind < 0 || theKind > 2)
        return outFailure.Set(E_INVALIDARG, "Request object", "No such collection.");
    duk_push_global_object(inContext);
    if (duk_get_prop_string(inContext, -1, kCacheKeys[theKind])) {
        duk_remove(inContext, -2);
        return 1;
    }
    duk_pop(inContext);
    if (BuildCollection(inContext, theKind, outFailure) == kNativeFailed)
        return kNativeFailed;
    duk_dup_top(inContext);
    duk_put_prop_string(inContext, -3, kCacheKeys[theKind]);
    duk_remove(inContext, -2);
    return 1;
}

int BuildCollection(duk_context* inContext, int inKind, ScriptFailure& outFailure)
{
    HttpExchange& theExchange = Exchange(inContext);
    int theKind = inKind;
    const ValueCollection* theCollection = theKind == 0 ? &theExchange.Query() : &theExchange.ServerVariables();
    if (theKind == 1) {
        std::string theError;
        if (!theExchange.Form(theCollection, theError))
            return outFailure.Set(E_FAIL, "Request object", theError);
    }
    duk_push_object(inContext);
    duk_push_array(inContext);
    duk_push_array(inContext);
    for (std::size_t i = 0; i < theCollection->Count(); ++i) {
        auto theIndex = static_cast<duk_uarridx_t>(i);
        duk_push_string(inContext, Utf8ToScript(theCollection->NameAt(i)).c_str());
        duk_put_prop_index(inContext, -3, theIndex);
        duk_push_array(inContext);
        const ValueCollection::Values& theValues = theCollection->ValuesAt(i);
        for (std::size_t j = 0; j < theValues.size(); ++j) {
            std::string theValue = Utf8ToScript(theValues[j]);
            duk_push_lstring(inContext, theValue.data(), theValue.size());
            duk_put_prop_index(inContext, -2, static_cast<duk_uarridx_t>(j));
        }
        duk_put_prop_index(inContext, -2, theIndex);
    }
    duk_put_prop_string(inContext, -3, "values");
    duk_put_prop_string(inContext, -2, "names");
    return 1;
}

int CollectionText(duk_context* inContext, ScriptFailure& outFailure)
{
    int theKind = duk_get_int(inContext, 0);
    if (theKind == 0) {
        duk_push_string(inContext, Utf8ToScript(Exchange(inContext).QueryText()).c_str());
        return 1;
    }
    // Form and ServerVariables: name=value pairs of the collection.
    if (Collection(inContext, outFailure) == kNativeFailed)
        return kNativeFailed;
    std::string theText;
    duk_get_prop_string(inContext, -1, "names");
    duk_get_prop_string(inContext, -2, "values");
    duk_size_t theCount = duk_get_length(inContext, -2);
    for (duk_size_t i = 0; i < theCount; ++i) {
        duk_get_prop_index(inContext, -2, static_cast<duk_uarridx_t>(i));
        duk_get_prop_index(inContext, -2, static_cast<duk_uarridx_t>(i));
        duk_get_prop_index(inContext, -1, 0);
        theText += (i > 0 ? "&" : "") + std::string(duk_get_string_default(inContext, -3, "")) + "=" +
                   duk_get_string_default(inContext, -1, "");
        duk_pop_3(inContext);
    }
    duk_push_string(inContext, theText.c_str());
    return 1;
}

int CreateObject(duk_context* inContext, ScriptFailure& outFailure)
{
    std::string theProgId = ArgText(inContext, 0);
    std::u16string theWide = ScriptToUtf16(theProgId);
    CLSID theClsid{};
    HRESULT hr = CLSIDFromProgID(theWide.c_str(), &theClsid);
    ComPtr<IDispatch> theObject;
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(theClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, theObject.put_void());
    if (FAILED(hr) || !theObject)
        return outFailure.Set(FAILED(hr) ? hr : E_NOINTERFACE, "Server object",
                              "Server.CreateObject Failed for '" + theProgId + "': " + DescribeHresult(hr));
    PushDispatch(inContext, theObject.get());
    return 1;
}

int MapPath(duk_context* inContext, ScriptFailure& outFailure)
{
    ScriptEnvironment& theEnv = ScriptHeap::Environment(inContext);
    if (theEnv.paths == nullptr)
        return outFailure.Set(E_UNEXPECTED, "Server object", "This page runs without a site.");
    std::string thePath = ScriptToUtf8(ArgText(inContext, 0));
    std::string thePhysical;
    if (!theEnv.paths->MapPath(thePath, theEnv.virtualFolder, thePhysical))
        return outFailure.Set(E_FAIL, "Server object",
                              "The Path parameter for the MapPath method must stay inside the site: '" +
                                  ArgText(inContext, 0) + "'.");
    duk_push_string(inContext, Utf8ToScript(thePhysical).c_str());
    return 1;
}

int ScriptTimeout(duk_context* inContext, ScriptFailure&)
{
    ScriptEnvironment& theEnv = ScriptHeap::Environment(inContext);
    if (duk_is_number(inContext, 0) && duk_get_number(inContext, 0) >= 1)
        theEnv.scriptTimeout = static_cast<long>(duk_get_number(inContext, 0));
    duk_push_int(inContext, static_cast<duk_int_t>(theEnv.scriptTimeout));
    return 1;
}

duk_ret_t FinalizeEnumerator(duk_context* inContext)
{
    if (IUnknown* theEnum = TakeHeldObject(inContext, 0, kEnumKey))
        theEnum->Release();
    return 0;
}

int Enumerate(duk_context* inContext, ScriptFailure& outFailure)
{
    IDispatch* theDispatch = GetDispatch(inContext, 0);
    if (theDispatch == nullptr) {
        outFailure.typeError = true;
        outFailure.description = "Enumerator needs a collection";
        return kNativeFailed;
    }
    UniqueVariant theResult;
    std::vector<VARIANT> theNone;
    if (!InvokeDispatch(theDispatch, DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, theNone, theResult.put(),
                        outFailure))
        return kNativeFailed;
    ComPtr<IEnumVARIANT> theEnum;
    VARTYPE theType = V_VT(theResult.get());
    IUnknown* theUnknown = theType == VT_UNKNOWN ? V_UNKNOWN(theResult.get())
                         : theType == VT_DISPATCH ? V_DISPATCH(theResult.get()) : nullptr;
    if (theUnknown == nullptr || FAILED(theUnknown->QueryInterface(IID_IEnumVARIANT, theEnum.put_void())))
        return outFailure.Set(DISP_E_NOTACOLLECTION, "", "Object is not a collection");
    duk_push_object(inContext);
    duk_push_c_function(inContext, FinalizeEnumerator, 2);
    duk_set_finalizer(inContext, -2);
    HoldObject(inContext, -1, kEnumKey, theEnum.detach());
    return 1;
}

// Fetches the next item into the handle at index 0.
int EnumNext(duk_context* inContext, ScriptFailure& outFailure)
{
    duk_get_prop_string(inContext, 0, kEnumKey);
    auto* theEnum = static_cast<IEnumVARIANT*>(duk_get_pointer(inContext, -1));
    duk_pop(inContext);
    UniqueVariant theItem;
    ULONG theFetched = 0;
    bool theEnd = theEnum == nullptr || theEnum->Next(1, theItem.put(), &theFetched) != S_OK || theFetched != 1;
    duk_push_boolean(inContext, theEnd);
    duk_put_prop_string(inContext, 0, kEndKey);
    if (theEnd)
        duk_push_undefined(inContext);
    else if (!PushVariant(inContext, theItem.get(), outFailure))
        return kNativeFailed;
    duk_put_prop_string(inContext, 0, kItemKey);
    return 0;
}

int EnumReset(duk_context* inContext, ScriptFailure& outFailure)
{
    duk_get_prop_string(inContext, 0, kEnumKey);
    auto* theEnum = static_cast<IEnumVARIANT*>(duk_get_pointer(inContext, -1));
    duk_pop(inContext);
    if (theEnum != nullptr)
        theEnum->Reset();
    return EnumNext(inContext, outFailure);
}

int EnumAtEnd(duk_context* inContext, ScriptFailure&)
{
    duk_get_prop_string(inContext, 0, kEndKey);
    return 1;
}

int EnumItem(duk_context* inContext, ScriptFailure&)
{
    duk_get_prop_string(inContext, 0, kItemKey);
    return 1;
}

struct HostFunction {
    const char* name;
    duk_c_function function;
    duk_idx_t arguments;
};

const HostFunction kFunctions[] = {
    {"write", NativeFunction<Write>, 1},
    {"binaryWrite", NativeFunction<WithExchange<BinaryWrite>>, 1},
    {"addHeader", NativeFunction<WithExchange<AddHeader>>, 2},
    {"redirect", NativeFunction<WithExchange<Redirect>>, 1},
    {"end", NativeFunction<End>, 0},
    {"clear", NativeFunction<WithExchange<Clear>>, 0},
    {"flush", NativeFunction<WithExchange<Flush>>, 0},
    {"responseGet", NativeFunction<WithExchange<ResponseGet>>, 1},
    {"responseSet", NativeFunction<WithExchange<ResponseSet>>, 2},
    {"totalBytes", NativeFunction<WithExchange<TotalBytes>>, 0},
    {"binaryRead", NativeFunction<WithExchange<BinaryRead>>, 1},
    {"collection", NativeFunction<WithExchange<Collection>>, 1},
    {"collectionText", NativeFunction<WithExchange<CollectionText>>, 1},
    {"createObject", NativeFunction<CreateObject>, 1},
    {"mapPath", NativeFunction<MapPath>, 1},
    {"scriptTimeout", NativeFunction<ScriptTimeout>, 1},
    {"enumerate", NativeFunction<Enumerate>, 1},
    {"enumNext", NativeFunction<EnumNext>, 1},
    {"enumReset", NativeFunction<EnumReset>, 1},
    {"enumAtEnd", NativeFunction<EnumAtEnd>, 1},
    {"enumItem", NativeFunction<EnumItem>, 1},
};

}  // namespace

void PushHostFunctions(duk_context* inContext)
{
    // One frozen set per heap: the functions keep no state of their own (they find the
    // page through the heap), and pages never hold them, only the prelude's closures do.
    duk_push_heap_stash(inContext);
    if (duk_get_prop_string(inContext, -1, kHostKey)) {
        duk_remove(inContext, -2);
        return;
    }
    duk_pop(inContext);
    duk_push_object(inContext);
    for (const HostFunction& theFunction : kFunctions) {
        duk_push_c_function(inContext, theFunction.function, theFunction.arguments);
        duk_freeze(inContext, -1);
        duk_put_prop_string(inContext, -2, theFunction.name);
    }
    duk_freeze(inContext, -1);
    duk_dup_top(inContext);
    duk_put_prop_string(inContext, -3, kHostKey);
    duk_remove(inContext, -2);
}

}  // namespace ferrolift::host

#include "host/ServerObject.h"

#include <cstdio>

#include "host/ScriptText.h"
#include "host/SitePaths.h"

namespace ferrolift::host {

namespace {

std::u16string FromBstr(BSTR inText)
{
    return inText != nullptr ? std::u16string(inText, SysStringLen(inText)) : std::u16string();
}

HRESULT ToBstr(const std::u16string& inText, BSTR* outText)
{
    *outText = SysAllocStringLen(inText.data(), static_cast<UINT>(inText.size()));
    return *outText != nullptr ? S_OK : E_OUTOFMEMORY;
}

// Percent-encodes the UTF-8 bytes of inText except those that inKeep accepts.
template <class Keep>
std::u16string PercentEncode(BSTR inText, Keep inKeep, bool inSpaceAsPlus)
{
    std::string theBytes = ScriptToUtf8(Utf16ToScript(FromBstr(inText)));
    std::u16string theResult;
    for (unsigned char c : theBytes) {
        if (inKeep(c)) {
            theResult += static_cast<char16_t>(c);
        } else if (c == ' ' && inSpaceAsPlus) {
            theResult += u'+';
        } else {
            char theEscape[4];
            std::snprintf(theEscape, sizeof theEscape, "%%%02X", c);
            theResult.append(theEscape, theEscape + 3);
        }
    }
    return theResult;
}

bool IsUnreserved(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.';
}

}  // namespace

ServerObject::ServerObject(const SitePaths& inPaths, std::string inVirtualFolder)
    : mPaths(inPaths), mVirtualFolder(std::move(inVirtualFolder))
{
}

HRESULT ServerObject::get_ScriptTimeout(long* outSeconds)
{
    if (outSeconds == nullptr)
        return E_POINTER;
    *outSeconds = mScriptTimeout;
    return S_OK;
}

HRESULT ServerObject::put_ScriptTimeout(long inSeconds)
{
    if (inSeconds < 1)
        return E_INVALIDARG;
    mScriptTimeout = inSeconds;
    return S_OK;
}

HRESULT ServerObject::CreateObject(BSTR inProgId, IDispatch** outObject)
{
    if (outObject == nullptr)
        return E_POINTER;
    *outObject = nullptr;
    std::u16string theProgId = FromBstr(inProgId);
    CLSID theClsid{};
    HRESULT hr = CLSIDFromProgID(theProgId.c_str(), &theClsid);
    if (FAILED(hr))
        return hr;
    return CoCreateInstance(theClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(outObject));
}

HRESULT ServerObject::HTMLEncode(BSTR inText, BSTR* outEncoded)
{
    if (outEncoded == nullptr)
        return E_POINTER;
    std::u16string theResult;
    for (char16_t c : FromBstr(inText)) {
        switch (c) {
        case u'&': theResult += u"&amp;"; break;
        case u'<': theResult += u"&lt;"; break;
        case u'>': theResult += u"&gt;"; break;
        case u'"': theResult += u"&quot;"; break;
        default: theResult += c; break;
        }
    }
    return ToBstr(theResult, outEncoded);
}

HRESULT ServerObject::MapPath(BSTR inPath, BSTR* outPhysical)
{
    if (outPhysical == nullptr)
        return E_POINTER;
    *outPhysical = nullptr;
    std::string thePath = ScriptToUtf8(Utf16ToScript(FromBstr(inPath)));
    std::string thePhysical;
    if (!mPaths.MapPath(thePath, mVirtualFolder, thePhysical))
        return E_FAIL;
    return ToBstr(ScriptToUtf16(Utf8ToScript(thePhysical)), outPhysical);
}

HRESULT ServerObject::URLEncode(BSTR inText, BSTR* outEncoded)
{
    if (outEncoded == nullptr)
        return E_POINTER;
    return ToBstr(PercentEncode(inText, IsUnreserved, true), outEncoded);
}

HRESULT ServerObject::URLPathEncode(BSTR inText, BSTR* outEncoded)
{
    if (outEncoded == nullptr)
        return E_POINTER;
    auto theKeep = [](unsigned char c) { return IsUnreserved(c) || c == '/' || c == '~' || c == ':'; };
    return ToBstr(PercentEncode(inText, theKeep, false), outEncoded);
}

}  // namespace ferrolift::host

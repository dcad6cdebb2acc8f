// Activation: ProgID <-> CLSID through HKEY_CLASSES_ROOT, and class objects from the
// module named by HKCR\CLSID\{...}\InprocServer32, loaded with dlopen once per path.
#include "platform/com/Com.h"

#include <dlfcn.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"

namespace {

constexpr int kGuidBuffer = 39;

struct LoadedModule {
    void* mHandle = nullptr;
    LPFNGETCLASSOBJECT mGetClassObject = nullptr;
    LPFNCANUNLOADNOW mCanUnloadNow = nullptr;
};

// Modules loaded so far, by path. Entries leave only through CoFreeUnusedLibraries.
struct ModuleTable {
    std::mutex mMutex;
    std::map<std::string, LoadedModule> mModules;
};

ModuleTable& Modules()
{
    static ModuleTable theTable;
    return theTable;
}

// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD).
std::string ToUtf8(const OLECHAR* inText)
{
    std::string theOut;
    for (size_t i = 0; inText[i]; ++i) {
        uint32_t theCode = inText[i];
        if (theCode >= 0xD800 && theCode <= 0xDBFF && inText[i + 1] >= 0xDC00 && inText[i + 1] <= 0xDFFF) {
            theCode = 0x10000 + ((theCode - 0xD800) << 10) + (inText[i + 1] - 0xDC00);
            ++i;
        } else if (theCode >= 0xD800 && theCode <= 0xDFFF) {
            theCode = 0xFFFD;
        }
        if (theCode < 0x80) {
            theOut += static_cast<char>(theCode);
        } else if (theCode < 0x800) {
            theOut += static_cast<char>(0xC0 | theCode >> 6);
            theOut += static_cast<char>(0x80 | (theCode & 0x3F));
        } else if (theCode < 0x10000) {
            theOut += static_cast<char>(0xE0 | theCode >> 12);
            theOut += static_cast<char>(0x80 | (theCode >> 6 & 0x3F));
            theOut += static_cast<char>(0x80 | (theCode & 0x3F));
        } else {
            theOut += static_cast<char>(0xF0 | theCode >> 18);
            theOut += static_cast<char>(0x80 | (theCode >> 12 & 0x3F));
            theOut += static_cast<char>(0x80 | (theCode >> 6 & 0x3F));
            theOut += static_cast<char>(0x80 | (theCode & 0x3F));
        }
    }
    return theOut;
}

std::string GuidText(REFGUID inGuid)
{
    OLECHAR theText[kGuidBuffer];
    StringFromGUID2(inGuid, theText, kGuidBuffer);
    return ToUtf8(theText);
}

// The default string value of HKCR\<inPath>; false when the key or value is missing.
bool ReadClassesString(const std::string& inPath, std::string& outValue)
{
    HKEY theKey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, inPath.c_str(), 0, KEY_QUERY_VALUE, &theKey) != ERROR_SUCCESS)
        return false;
    DWORD theType = 0;
    DWORD theSize = 0;
    LSTATUS theStatus = RegQueryValueExA(theKey, nullptr, nullptr, &theType, nullptr, &theSize);
    std::vector<char> theData(theSize + 1, 0);
    if (theStatus == ERROR_SUCCESS && (theType == REG_SZ || theType == REG_EXPAND_SZ))
        theStatus = RegQueryValueExA(theKey, nullptr, nullptr, &theType, reinterpret_cast<LPBYTE>(theData.data()), &theSize);
    else if (theStatus == ERROR_SUCCESS)
        theStatus = ERROR_INVALID_DATA;
    RegCloseKey(theKey);
    if (theStatus != ERROR_SUCCESS)
        return false;
    outValue.assign(theData.data());
    return true;
}

// Loads inPath (once) and finds its DllGetClassObject.
HRESULT LoadModule(const std::string& inPath, LPFNGETCLASSOBJECT& outGetClassObject)
{
    ModuleTable& theTable = Modules();
    std::lock_guard theLock(theTable.mMutex);
    auto theFound = theTable.mModules.find(inPath);
    if (theFound != theTable.mModules.end()) {
        outGetClassObject = theFound->second.mGetClassObject;
        return S_OK;
    }
    if (access(inPath.c_str(), F_OK) != 0)
        return CO_E_DLLNOTFOUND;
    void* theHandle = dlopen(inPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!theHandle)
        return CO_E_ERRORINDLL;
    LoadedModule theModule;
    theModule.mHandle = theHandle;
    theModule.mGetClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(theHandle, "DllGetClassObject"));
    theModule.mCanUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(theHandle, "DllCanUnloadNow"));
    if (!theModule.mGetClassObject) {
        dlclose(theHandle);
        return CO_E_ERRORINDLL;
    }
    theTable.mModules.emplace(inPath, theModule);
    outGetClassObject = theModule.mGetClassObject;
    return S_OK;
}

}  // namespace

extern "C" {

HRESULT WINAPI CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid)
{
    if (!lpszProgID || !lpclsid)
        return E_INVALIDARG;
    *lpclsid = IID_NULL;
    if (*lpszProgID == 0)
        return CO_E_CLASSSTRING;
    std::string theText;
    if (!ReadClassesString(ToUtf8(lpszProgID) + "\\CLSID", theText))
        return CO_E_CLASSSTRING;
    std::u16string theWide(theText.begin(), theText.end());
    CLSID theClsid{};
    if (theWide.empty() || theWide[0] != u'{' || FAILED(CLSIDFromString(theWide.c_str(), &theClsid)))
        return CO_E_CLASSSTRING;
    *lpclsid = theClsid;
    return S_OK;
}

HRESULT WINAPI ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID)
{
    if (!lplpszProgID)
        return E_INVALIDARG;
    *lplpszProgID = nullptr;
    std::string theProgId;
    if (!ReadClassesString("CLSID\\" + GuidText(clsid) + "\\ProgID", theProgId))
        return REGDB_E_CLASSNOTREG;
    // ProgIDs are ASCII; anything else is not one this layer wrote.
    for (char theCh : theProgId)
        if (static_cast<unsigned char>(theCh) >= 0x80)
            return REGDB_E_CLASSNOTREG;
    auto* theOut = static_cast<LPOLESTR>(CoTaskMemAlloc((theProgId.size() + 1) * sizeof(OLECHAR)));
    if (!theOut)
        return E_OUTOFMEMORY;
    for (size_t i = 0; i <= theProgId.size(); ++i)
        theOut[i] = static_cast<OLECHAR>(theProgId.c_str()[i]);
    *lplpszProgID = theOut;
    return S_OK;
}

HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv)
{
    (void)pvReserved;
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (!(dwClsContext & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)))
        return REGDB_E_CLASSNOTREG;
    std::string thePath;
    if (!ReadClassesString("CLSID\\" + GuidText(rclsid) + "\\InprocServer32", thePath))
        return REGDB_E_CLASSNOTREG;
    if (thePath.empty())
        return CO_E_DLLNOTFOUND;
    LPFNGETCLASSOBJECT theGetClassObject = nullptr;
    const HRESULT hr = LoadModule(thePath, theGetClassObject);
    if (FAILED(hr))
        return hr;
    return theGetClassObject(rclsid, riid, ppv);
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    IClassFactory* theFactory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&theFactory));
    if (FAILED(hr))
        return hr;
    if (!theFactory)
        return E_NOINTERFACE;
    hr = theFactory->CreateInstance(pUnkOuter, riid, ppv);
    theFactory->Release();
    return hr;
}

void WINAPI CoFreeUnusedLibraries()
{
    ModuleTable& theTable = Modules();
    std::lock_guard theLock(theTable.mMutex);
    for (auto theIt = theTable.mModules.begin(); theIt != theTable.mModules.end();) {
        const LoadedModule& theModule = theIt->second;
        if (theModule.mCanUnloadNow && theModule.mCanUnloadNow() == S_OK) {
            dlclose(theModule.mHandle);
            theIt = theTable.mModules.erase(theIt);
        } else {
            ++theIt;
        }
    }
}

}  // extern "C"

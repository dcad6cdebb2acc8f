// Activation: ProgID <-> CLSID through HKEY_CLASSES_ROOT, and class objects from the
// module named by HKCR\CLSID\{...}\InprocServer32, loaded with dlopen once per path.
#include "platform/com/Com.h"

#include <dlfcn.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/common/ComPtr.h"
#include "platform/common/RegistryKey.h"
#include "platform/common/ReturnIfFailed.h"
#include "platform/registry/Registry.h"
#include "platform/registry/RegistryStore.h"

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
    RegistryKey theKey;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, inPath.c_str(), 0, KEY_QUERY_VALUE, theKey.put()) != ERROR_SUCCESS)
        return false;
    DWORD theType = 0;
    DWORD theSize = 0;
    LSTATUS theStatus = RegQueryValueExA(theKey.get(), nullptr, nullptr, &theType, nullptr, &theSize);
    std::vector<char> theData(theSize + 1, 0);
    if (theStatus == ERROR_SUCCESS && (theType == REG_SZ || theType == REG_EXPAND_SZ))
        theStatus = RegQueryValueExA(theKey.get(), nullptr, nullptr, &theType, reinterpret_cast<LPBYTE>(theData.data()), &theSize);
    else if (theStatus == ERROR_SUCCESS)
        theStatus = ERROR_INVALID_DATA;
    if (theStatus != ERROR_SUCCESS)
        return false;
    outValue.assign(theData.data());
    return true;
}

// The HKCR strings that activation reads (a ProgID's CLSID, a class's module path), kept
// with the registry generation they were read at: a page that creates objects walks no
// keys while the registry stays as it is, and sees a change at its next call.
class ClassesCache {
public:
    bool Read(const std::string& inPath, std::string& outValue)
    {
        // Taken first: a value read after a change is kept under the older generation at
        // worst, and read again by the next call.
        const unsigned long long theGeneration = ferrolift::platform::reg::Store::Instance().Generation();
        {
            std::lock_guard theLock(mMutex);
            if (theGeneration == mGeneration) {
                auto theFound = mValues.find(inPath);
                if (theFound != mValues.end()) {
                    outValue = theFound->second.value;
                    return theFound->second.found;
                }
            }
        }
        Entry theEntry;
        theEntry.found = ReadClassesString(inPath, theEntry.value);
        std::lock_guard theLock(mMutex);
        if (theGeneration != mGeneration) {
            mValues.clear();
            mGeneration = theGeneration;
        }
        if (mValues.size() < kMaxEntries)
            mValues.emplace(inPath, theEntry);
        outValue = theEntry.value;
        return theEntry.found;
    }

private:
    struct Entry {
        bool found = false;
        std::string value;
    };
    // Pages name ProgIDs from their own text: a page naming a new one at every request
    // must not grow the cache without end.
    static constexpr std::size_t kMaxEntries = 256;

    std::mutex mMutex;
    unsigned long long mGeneration = ~0ULL;
    std::unordered_map<std::string, Entry> mValues;
};

bool ReadClassesValue(const std::string& inPath, std::string& outValue)
{
    static ClassesCache theCache;
    return theCache.Read(inPath, outValue);
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
    if (!ReadClassesValue(ToUtf8(lpszProgID) + "\\CLSID", theText))
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
    if (!ReadClassesValue("CLSID\\" + GuidText(rclsid) + "\\InprocServer32", thePath))
        return REGDB_E_CLASSNOTREG;
    if (thePath.empty())
        return CO_E_DLLNOTFOUND;
    LPFNGETCLASSOBJECT theGetClassObject = nullptr;
    RETURN_IF_FAILED(LoadModule(thePath, theGetClassObject));
    return theGetClassObject(rclsid, riid, ppv);
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    ComPtr<IClassFactory> theFactory;
    RETURN_IF_FAILED(CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, theFactory.put_void()));
    if (!theFactory)
        return E_NOINTERFACE;
    return theFactory->CreateInstance(pUnkOuter, riid, ppv);
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

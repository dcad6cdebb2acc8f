// Modules: an HMODULE is the load base address of a shared object (or of the program).
#include "platform/system/System.h"

#include "platform/errors/Errors.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <map>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

// References this layer holds on modules, by base address: LoadLibraryA and
// GetModuleHandleExA add one, FreeLibrary drops one.
struct ModuleTable {
    std::mutex mutex;
    std::multimap<void*, void*> handles;  // base -> dlopen handle
};

ModuleTable& Table()
{
    static ModuleTable theTable;
    return theTable;
}

void* BaseOfHandle(void* inHandle)
{
    link_map* theMap = nullptr;
    if (::dlinfo(inHandle, RTLD_DI_LINKMAP, &theMap) != 0 || theMap == nullptr)
        return nullptr;
    Dl_info theInfo {};
    if (::dladdr(theMap->l_ld, &theInfo) == 0)
        return nullptr;
    return theInfo.dli_fbase;
}

void* ProgramBase()
{
    void* theSelf = ::dlopen(nullptr, RTLD_LAZY);
    void* theBase = theSelf ? BaseOfHandle(theSelf) : nullptr;
    if (theSelf)
        ::dlclose(theSelf);
    return theBase;
}

// A dlopen handle for the module at inBase (a new reference), or null.
void* OpenByBase(void* inBase)
{
    Dl_info theInfo {};
    if (::dladdr(inBase, &theInfo) == 0 || theInfo.dli_fbase != inBase)
        return nullptr;
    if (inBase == ProgramBase())
        return ::dlopen(nullptr, RTLD_LAZY);
    return ::dlopen(theInfo.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
}

void Remember(void* inBase, void* inHandle)
{
    std::lock_guard theLock(Table().mutex);
    Table().handles.emplace(inBase, inHandle);
}

}  // namespace

extern "C" BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule)
{
    if (phModule == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phModule = nullptr;
    void* theBase = nullptr;
    if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
        Dl_info theInfo {};
        if (lpModuleName == nullptr || ::dladdr(lpModuleName, &theInfo) == 0) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        theBase = theInfo.dli_fbase;
    } else {
        theBase = GetModuleHandleA(lpModuleName);
        if (theBase == nullptr)
            return FALSE;
    }
    if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) == 0) {
        void* theHandle = OpenByBase(theBase);
        if (theHandle != nullptr)
            Remember(theBase, theHandle);
    }
    *phModule = theBase;
    return TRUE;
}

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName)
{
    if (lpModuleName == nullptr)
        return ProgramBase();
    void* theHandle = ::dlopen(lpModuleName, RTLD_LAZY | RTLD_NOLOAD);
    if (theHandle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* theBase = BaseOfHandle(theHandle);
    ::dlclose(theHandle);
    return theBase;
}

extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    std::string thePath;
    if (hModule == nullptr || hModule == ProgramBase()) {
        char theLink[PATH_MAX];
        const ssize_t theLength = ::readlink("/proc/self/exe", theLink, sizeof theLink - 1);
        if (theLength > 0)
            thePath.assign(theLink, static_cast<size_t>(theLength));
    } else {
        Dl_info theInfo {};
        if (::dladdr(hModule, &theInfo) != 0 && theInfo.dli_fbase == hModule && theInfo.dli_fname != nullptr) {
            char theReal[PATH_MAX];
            thePath = ::realpath(theInfo.dli_fname, theReal) ? theReal : theInfo.dli_fname;
        }
    }
    if (thePath.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (nSize == 0 || lpFilename == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (thePath.size() + 1 > nSize) {
        // Cut and terminated, as the system does it.
        std::memcpy(lpFilename, thePath.data(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, thePath.c_str(), thePath.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(thePath.size());
}

extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    if (lpLibFileName == nullptr || *lpLibFileName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* theHandle = ::dlopen(lpLibFileName, RTLD_NOW);
    if (theHandle == nullptr) {
        const bool theExists = std::strchr(lpLibFileName, '/') != nullptr && ::access(lpLibFileName, F_OK) == 0;
        SetLastError(theExists ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* theBase = BaseOfHandle(theHandle);
    Remember(theBase, theHandle);
    return theBase;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    void* theHandle = hModule != nullptr ? OpenByBase(hModule) : ::dlopen(nullptr, RTLD_LAZY);
    if (theHandle == nullptr || lpProcName == nullptr) {
        if (theHandle)
            ::dlclose(theHandle);
        SetLastError(theHandle == nullptr ? ERROR_MOD_NOT_FOUND : ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* theSymbol = ::dlsym(theHandle, lpProcName);
    // Our own reference keeps the module loaded while the caller holds it.
    ::dlclose(theHandle);
    if (theSymbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(theSymbol);
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    void* theHandle = nullptr;
    {
        std::lock_guard theLock(Table().mutex);
        const auto theIt = Table().handles.find(hLibModule);
        if (theIt == Table().handles.end()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        theHandle = theIt->second;
        Table().handles.erase(theIt);
    }
    ::dlclose(theHandle);
    return TRUE;
}

extern "C" BOOL WINAPI DisableThreadLibraryCalls(HMODULE)
{
    return TRUE;
}

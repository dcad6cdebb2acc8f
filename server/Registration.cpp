// Registration.cpp: DllRegisterServer and DllUnregisterServer.
#include "server/Exports.h"

#include "server/ClassTable.h"
#include "server/RegistryWriter.h"
#include "server/TypeLibRegistration.h"
#include "support/TypeLibrary.h"
#include "support/EventLogWriter.h"
#include "support/Settings.h"

namespace {

HRESULT FromStatus(LSTATUS inStatus)
{
    return inStatus == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(inStatus));
}

// HKCR\<inProgId> with its description, CLSID and, for the version-independent one, CurVer.
LSTATUS RegisterProgId(const char* inProgId, const ClassEntry& inEntry, const char* inCurVer)
{
    const std::string theClsid = GuidText(inEntry.clsid);
    LSTATUS theStatus = SetKeyValue(HKEY_CLASSES_ROOT, inProgId, nullptr, inEntry.description);
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, std::string(inProgId) + "\\CLSID", nullptr, theClsid.c_str());
    if (theStatus == ERROR_SUCCESS && inCurVer != nullptr)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, std::string(inProgId) + "\\CurVer", nullptr, inCurVer);
    return theStatus;
}

// HKCR\CLSID\{..}, written anew: an old registration's leftovers must not survive.
LSTATUS RegisterClsid(const ClassEntry& inEntry, const std::string& inModulePath)
{
    const std::string theKey = "CLSID\\" + GuidText(inEntry.clsid);
    const std::string theLibId = GuidText(*FerroliftTypeLibrary().libid);
    LSTATUS theStatus = DeleteKeyTree(HKEY_CLASSES_ROOT, theKey);
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey, nullptr, inEntry.description);
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\ProgID", nullptr, inEntry.progId);
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\VersionIndependentProgID", nullptr,
                                inEntry.independentProgId);
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\Programmable", nullptr, nullptr);
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\InprocServer32", nullptr, inModulePath.c_str());
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\InprocServer32", "ThreadingModel", "Both");
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\TypeLib", nullptr, theLibId.c_str());
    return theStatus;
}

LSTATUS RegisterClass(const ClassEntry& inEntry, const std::string& inModulePath)
{
    LSTATUS theStatus = RegisterProgId(inEntry.progId, inEntry, nullptr);
    if (theStatus == ERROR_SUCCESS)
        theStatus = RegisterProgId(inEntry.independentProgId, inEntry, inEntry.progId);
    if (theStatus == ERROR_SUCCESS)
        theStatus = RegisterClsid(inEntry, inModulePath);
    return theStatus;
}

}  // namespace

HRESULT STDMETHODCALLTYPE DllRegisterServer()
{
    const std::string theModulePath = ModuleFilePath();
    if (theModulePath.empty())
        return HRESULT_FROM_WIN32(GetLastError() != 0 ? GetLastError() : ERROR_MOD_NOT_FOUND);
    for (const ClassEntry& theEntry : ClassTable()) {
        if (LSTATUS theStatus = RegisterClass(theEntry, theModulePath))
            return FromStatus(theStatus);
    }
    HRESULT hr = RegisterTypeLibrary(theModulePath);
    if (FAILED(hr))
        return hr;
    // Conveniences: none of them may make registration fail.
    WriteModulePath();
    EnsureEventSource(nullptr, kEventSourceName);
    LogEvent("Ferrolift Registered Successfully", EVENTLOG_INFORMATION_TYPE);
    return hr;
}

HRESULT STDMETHODCALLTYPE DllUnregisterServer()
{
    for (const ClassEntry& theEntry : ClassTable()) {
        DeleteKeyTree(HKEY_CLASSES_ROOT, theEntry.progId);
        DeleteKeyTree(HKEY_CLASSES_ROOT, theEntry.independentProgId);
        DeleteKeyTree(HKEY_CLASSES_ROOT, "CLSID\\" + GuidText(theEntry.clsid));
    }
    UnregisterTypeLibrary();
    return S_OK;
}

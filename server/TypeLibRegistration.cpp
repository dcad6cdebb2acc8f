// TypeLibRegistration.cpp: TypeLib and Interface keys for the component's library.
#include "server/TypeLibRegistration.h"

#include "support/Interfaces.h"
#include "server/RegistryWriter.h"
#include "support/TypeLibrary.h"

namespace {

// Dual interfaces are marshaled by the automation marshaler described by the library.
constexpr const char* kAutomationMarshaler = "{00020424-0000-0000-C000-000000000046}";

std::string LibraryKey()
{
    const auto& theLibrary = FerroliftTypeLibrary();
    return "TypeLib\\" + GuidText(*theLibrary.libid) + "\\" + std::to_string(theLibrary.majorVersion) + "." +
           std::to_string(theLibrary.minorVersion);
}

std::string Folder(const std::string& inPath)
{
    const size_t theSlash = inPath.find_last_of("/\\");
    return theSlash == std::string::npos ? std::string(".") : inPath.substr(0, theSlash);
}

LSTATUS RegisterInterface(const ferrolift::automation::InterfaceDesc& inInterface, const std::string& inVersion)
{
    const std::string theKey = "Interface\\" + GuidText(*inInterface.iid);
    const std::string theLibId = GuidText(*FerroliftTypeLibrary().libid);
    LSTATUS theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey, nullptr, inInterface.name);
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\ProxyStubClsid", nullptr, kAutomationMarshaler);
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\ProxyStubClsid32", nullptr, kAutomationMarshaler);
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\TypeLib", nullptr, theLibId.c_str());
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\TypeLib", "Version", inVersion.c_str());
    return theStatus;
}

}  // namespace

HRESULT RegisterTypeLibrary(const std::string& inModulePath)
{
    const auto& theLibrary = FerroliftTypeLibrary();
    const std::string theKey = LibraryKey();
    const std::string theVersion = theKey.substr(theKey.rfind('\\') + 1);
    const std::string theHelpDir = Folder(inModulePath);
    LSTATUS theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey, nullptr, theLibrary.help);
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\0\\win32", nullptr, inModulePath.c_str());
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\FLAGS", nullptr, "0");
    if (theStatus == ERROR_SUCCESS)
        theStatus = SetKeyValue(HKEY_CLASSES_ROOT, theKey + "\\HELPDIR", nullptr, theHelpDir.c_str());
    for (const auto* theInterface : theLibrary.interfaces) {
        if (theStatus != ERROR_SUCCESS)
            break;
        theStatus = RegisterInterface(*theInterface, theVersion);
    }
    return theStatus == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(theStatus));
}

HRESULT UnregisterTypeLibrary()
{
    const auto& theLibrary = FerroliftTypeLibrary();
    LSTATUS theFirst = ERROR_SUCCESS;
    auto theNote = [&theFirst](LSTATUS inStatus) {
        if (theFirst == ERROR_SUCCESS)
            theFirst = inStatus;
    };
    for (const auto* theInterface : theLibrary.interfaces)
        theNote(DeleteKeyTree(HKEY_CLASSES_ROOT, "Interface\\" + GuidText(*theInterface->iid)));
    theNote(DeleteKeyTree(HKEY_CLASSES_ROOT, LibraryKey()));
    // The LIBID key goes too once no other version is registered under it.
    const std::string theLibraryRoot = "TypeLib\\" + GuidText(*theLibrary.libid);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, theLibraryRoot.c_str());
    return theFirst == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(theFirst));
}

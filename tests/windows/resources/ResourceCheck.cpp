// ResourceCheck.cpp: what ferrolift.dll carries besides code, read the way Windows reads
// it: the type library (TYPELIB 1), the event log's message table and source name, and
// the version record that announces self-registration.
// Usage: resource_check.exe PATH-OF-DLL; prints "N passed, M failed".
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

namespace {

int gPassed = 0;
int gFailed = 0;

void Check(const char* inWhat, bool inOk, const std::string& inGot)
{
    if (inOk) {
        ++gPassed;
        return;
    }
    ++gFailed;
    std::printf("not ok - %s (got: %s)\n", inWhat, inGot.c_str());
}

std::string Message(HMODULE inModule, DWORD inId, const char* inArgument)
{
    char theText[256] = {};
    DWORD_PTR theArguments[1] = {reinterpret_cast<DWORD_PTR>(inArgument)};
    const DWORD theLength =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, inModule, inId,
                       MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), theText, sizeof theText,
                       reinterpret_cast<va_list*>(theArguments));
    return theLength == 0 ? "<none>" : std::string(theText, theLength);
}

std::string VersionValue(const std::wstring& inPath, const char* inName)
{
    DWORD theHandle = 0;
    const DWORD theSize = GetFileVersionInfoSizeW(inPath.c_str(), &theHandle);
    std::string theInfo(theSize, '\0');
    if (theSize == 0 || !GetFileVersionInfoW(inPath.c_str(), 0, theSize, theInfo.data()))
        return "<no version record>";
    const std::string theKey = std::string("\\StringFileInfo\\040904B0\\") + inName;
    char* theValue = nullptr;
    UINT theLength = 0;
    if (!VerQueryValueA(theInfo.data(), theKey.c_str(), reinterpret_cast<void**>(&theValue), &theLength))
        return "<missing>";
    return theLength > 0 ? std::string(theValue) : std::string();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::printf("usage: resource_check.exe PATH-OF-DLL\n");
        return 2;
    }
    const std::wstring thePath = argv[1];
    HMODULE theModule = LoadLibraryExW(thePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    Check("the module loads as data", theModule != nullptr, std::to_string(GetLastError()));

    std::string theText = Message(theModule, 0x1000, "Upload failed");
    Check("event 0x1000 shows its insertion string", theText == "Upload failed\r\n", theText);
    theText = Message(theModule, 1, nullptr);
    Check("category 1 is Misc", theText == "Misc\r\n", theText);
    char theName[64] = {};
    LoadStringA(theModule, 100, theName, sizeof theName);
    Check("string 100 names the event source", std::string(theName) == "Ferrolift", theName);

    ITypeLib* theLibrary = nullptr;
    const HRESULT hr = LoadTypeLibEx(thePath.c_str(), REGKIND_NONE, &theLibrary);
    Check("the type library loads from the module", SUCCEEDED(hr), std::to_string(hr));
    if (theLibrary != nullptr) {
        BSTR theLibraryName = nullptr;
        theLibrary->GetDocumentation(-1, &theLibraryName, nullptr, nullptr, nullptr);
        Check("the library is Ferrolift4", theLibraryName != nullptr && std::wstring(theLibraryName) == L"Ferrolift4",
              "other");
        SysFreeString(theLibraryName);
        TLIBATTR* theAttributes = nullptr;
        theLibrary->GetLibAttr(&theAttributes);
        Check("version 4.0", theAttributes && theAttributes->wMajorVerNum == 4 && theAttributes->wMinorVerNum == 0,
              "other");
        theLibrary->ReleaseTLibAttr(theAttributes);
        theLibrary->Release();
    }

    theText = VersionValue(thePath, "FileVersion");
    Check("FileVersion", theText == "4, 1, 0, 1", theText);
    theText = VersionValue(thePath, "OriginalFilename");
    Check("OriginalFilename", theText == "Ferrolift.DLL", theText);
    theText = VersionValue(thePath, "OLESelfRegister");
    Check("OLESelfRegister is announced", theText != "<missing>" && theText != "<no version record>", theText);

    std::printf("%d passed, %d failed\n", gPassed, gFailed);
    return gFailed == 0 ? 0 : 1;
}

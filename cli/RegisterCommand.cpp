// RegisterCommand.cpp: `ferrolift register [MODULE]` and `ferrolift unregister [MODULE]`:
// load the module and call its self-registration entry, as an administrator would.
#include "cli/Commands.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstdio>
#include <string>

#include <windows.h>

namespace {

// The component installed beside this program: <prefix>/lib/ferrolift/libferrolift.so
// in a package (a private library), <prefix>/lib/libferrolift.so in a build folder.
// Resolved to a canonical path, since the registry keeps it as InprocServer32.
std::string DefaultModulePath()
{
    char theExe[PATH_MAX];
    const ssize_t theLength = readlink("/proc/self/exe", theExe, sizeof theExe - 1);
    if (theLength <= 0)
        return "libferrolift.so";
    std::string thePath(theExe, static_cast<size_t>(theLength));
    const size_t theSlash = thePath.rfind('/');
    const std::string theBin = theSlash == std::string::npos ? std::string(".") : thePath.substr(0, theSlash);
    for (const char* theCandidate : {"/../lib/ferrolift/libferrolift.so", "/../lib/libferrolift.so"}) {
        char theResolved[PATH_MAX];
        if (realpath((theBin + theCandidate).c_str(), theResolved) != nullptr)
            return theResolved;
    }
    return theBin + "/../lib/libferrolift.so";
}

int CallEntry(int argc, char** argv, const char* inEntry, const char* inVerb)
{
    if (argc > 1) {
        std::fprintf(stderr, "usage: ferrolift %s [MODULE]\n", inVerb);
        return 2;
    }
    const std::string theModule = argc == 1 ? argv[0] : DefaultModulePath();
    HMODULE theHandle = LoadLibraryA(theModule.c_str());
    if (theHandle == nullptr) {
        std::fprintf(stderr, "ferrolift %s: cannot load %s (error %lu)\n", inVerb, theModule.c_str(),
                     static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    using EntryPoint = HRESULT (*)();
    // Through void (*)() as the function-pointer cast that any signature allows.
    auto theEntry = reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(GetProcAddress(theHandle, inEntry)));
    if (theEntry == nullptr) {
        std::fprintf(stderr, "ferrolift %s: %s has no %s\n", inVerb, theModule.c_str(), inEntry);
        FreeLibrary(theHandle);
        return 1;
    }
    const HRESULT hr = theEntry();
    if (SUCCEEDED(hr))
        std::printf("%s in %s succeeded.\n", inEntry, theModule.c_str());
    else
        std::fprintf(stderr, "%s in %s failed: 0x%08lx\n", inEntry, theModule.c_str(),
                     static_cast<unsigned long>(static_cast<DWORD>(hr)));
    FreeLibrary(theHandle);
    return SUCCEEDED(hr) ? 0 : 1;
}

}  // namespace

namespace ferrolift::cli {

int RunRegisterCommand(int argc, char** argv)
{
    return CallEntry(argc, argv, "DllRegisterServer", "register");
}

int RunUnregisterCommand(int argc, char** argv)
{
    return CallEntry(argc, argv, "DllUnregisterServer", "unregister");
}

}  // namespace ferrolift::cli

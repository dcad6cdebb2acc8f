// IdlMain.cpp: `ferrolift-idl FILE` writes the component's type library as IDL to FILE.
// The Windows cross build runs it on the build machine and compiles the result with widl,
// so the .tlb embedded in ferrolift.dll comes from the same description that drives
// IDispatch on Linux and that `ferrolift typelib` prints.
#include <cstdio>
#include <string>

#include "support/TypeLibrary.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ferrolift-idl FILE\n");
        return 2;
    }
    const std::string theIdl = ferrolift::automation::WriteIdl(FerroliftTypeLibrary());
    std::FILE* theFile = std::fopen(argv[1], "wb");
    if (theFile == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool theWritten = std::fwrite(theIdl.data(), 1, theIdl.size(), theFile) == theIdl.size();
    if (std::fclose(theFile) != 0 || !theWritten) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}

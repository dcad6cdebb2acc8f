// TypelibCommand.cpp: `ferrolift typelib`: the component's type library as IDL.
#include "cli/Commands.h"

#include <cstdio>
#include <string>

#include "support/TypeLibrary.h"

namespace ferrolift::cli {

int RunTypelibCommand(int argc, char**)
{
    if (argc != 0) {
        std::fprintf(stderr, "usage: ferrolift typelib\n");
        return 2;
    }
    const std::string theIdl = ferrolift::automation::WriteIdl(FerroliftTypeLibrary());
    std::fwrite(theIdl.data(), 1, theIdl.size(), stdout);
    return 0;
}

}  // namespace ferrolift::cli

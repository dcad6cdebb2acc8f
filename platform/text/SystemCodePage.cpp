// The system's ANSI and OEM code pages. Interim: the defaults, until the registry lands.
#include "CodePages.h"

extern "C" {

UINT WINAPI GetACP(void)
{
    return 1252;
}

UINT WINAPI GetOEMCP(void)
{
    return 437;
}

} // extern "C"

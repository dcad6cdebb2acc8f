// SException.cpp: the description of a system exception.
#include "support/SException.h"

// <typeinfo> first: some <eh.h> name std::type_info without including it.
#include <typeinfo>
#include <eh.h>

#include <cstdio>
#include <cstring>

SException::SException(DWORD inCode, DWORD_PTR inCodeAddress, DWORD inAccessKind, DWORD_PTR inDataAddress,
                       DWORD_PTR inModuleBase)
    : code(inCode), codeAddress(inCodeAddress), moduleBase(inModuleBase)
{
    if (inCode != EXCEPTION_ACCESS_VIOLATION)
        return;
    accessKind = inAccessKind;
    dataAddress = inDataAddress;
    isRead = inAccessKind == 0 ? 1 : 0;
}

const char* SException::Describe(const char* inSourceFile, long inLine)
{
    const unsigned long long theCodeAddress = codeAddress;
    const unsigned long long theDataAddress = dataAddress;
    if (isRead == 1)
        std::snprintf(text, sizeof text, "Code at 0x%08llx attempted to read from 0x%08llx. ", theCodeAddress,
                      theDataAddress);
    else if (accessKind == 0)
        std::snprintf(text, sizeof text, "Code at 0x%08llx caused a System Exception 0x%08lx. ", theCodeAddress,
                      static_cast<unsigned long>(code));
    else
        std::snprintf(text, sizeof text, "Code at 0x%08llx attempted to write to 0x%08llx. ", theCodeAddress,
                      theDataAddress);
    char theWhere[256];
    std::snprintf(theWhere, sizeof theWhere, "System Error caught at line %ld of %s. Base at 0x%08llx.", inLine,
                  inSourceFile != nullptr ? inSourceFile : "", static_cast<unsigned long long>(moduleBase));
    // Rather one whole sentence than a cut second one.
    if (std::strlen(text) + std::strlen(theWhere) <= 255)
        std::strcat(text, theWhere);
    return text;
}

// The system's message texts and FormatMessageA over them.
#include "platform/errors/Errors.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

struct MessageText {
    DWORD code;
    const char* text;
};

// Sorted by code: Win32 codes first, then HRESULTs (as unsigned numbers).
constexpr MessageText kMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough memory resources are available to complete this operation.\r\n"},
    {15, "The system cannot find the drive specified.\r\n"},
    {17, "The system cannot move the file to a different disk drive.\r\n"},
    {18, "There are no more files.\r\n"},
    {19, "The media is write protected.\r\n"},
    {21, "The device is not ready.\r\n"},
    {23, "Data error (cyclic redundancy check).\r\n"},
    {25, "The drive cannot locate a specific area or track on the disk.\r\n"},
    {29, "The system cannot write to the specified device.\r\n"},
    {30, "The system cannot read from the specified device.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {33, "The process cannot access the file because another process has locked a portion of the file.\r\n"},
    {38, "Reached the end of the file.\r\n"},
    {39, "The disk is full.\r\n"},
    {50, "The request is not supported.\r\n"},
    {53, "The network path was not found.\r\n"},
    {65, "Network access is denied.\r\n"},
    {67, "The network name cannot be found.\r\n"},
    {80, "The file exists.\r\n"},
    {82, "The directory or file cannot be created.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {109, "The pipe has been ended.\r\n"},
    {110, "The system cannot open the device or file specified.\r\n"},
    {111, "The file name is too long.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {127, "The specified procedure could not be found.\r\n"},
    {131, "An attempt was made to move the file pointer before the beginning of the file.\r\n"},
    {145, "The directory is not empty.\r\n"},
    {161, "The specified path is invalid.\r\n"},
    {170, "The requested resource is in use.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {186, "The flag passed is not correct.\r\n"},
    {193, "%1 is not a valid Win32 application.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {223, "The file size exceeds the limit allowed and cannot be saved.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {267, "The directory name is invalid.\r\n"},
    {277, "The extended attribute table file is full.\r\n"},
    {288, "Attempt to release mutex not owned by caller.\r\n"},
    {298, "Too many posts were made to a semaphore.\r\n"},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {995, "The I/O operation has been aborted because of either a thread exit or an application request.\r\n"},
    {998, "Invalid access to memory location.\r\n"},
    {1004, "Invalid flags.\r\n"},
    {1008, "An attempt was made to reference a token that does not exist.\r\n"},
    {1009, "The configuration registry database is corrupt.\r\n"},
    {1010, "The configuration registry key is invalid.\r\n"},
    {1011, "The configuration registry key could not be opened.\r\n"},
    {1012, "The configuration registry key could not be read.\r\n"},
    {1013, "The configuration registry key could not be written.\r\n"},
    {1015, "The registry is corrupted. The structure of one of the files containing registry data is corrupted, "
           "or the system's memory image of the file is corrupted, or the file could not be recovered because the "
           "alternate copy or log was absent or corrupted.\r\n"},
    {1016, "An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or "
           "write out, or flush, one of the files that contain the system's image of the registry.\r\n"},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
    {1117, "The request could not be performed because of an I/O device error.\r\n"},
    {1314, "A required privilege is not held by the client.\r\n"},
    {1315, "The name provided is not a properly formed account name.\r\n"},
    {1317, "The specified account does not exist.\r\n"},
    {1326, "The user name or password is incorrect.\r\n"},
    {1327, "Account restrictions are preventing this user from signing in. For example: blank passwords aren't "
           "allowed, sign-in times are limited, or a policy restriction has been enforced.\r\n"},
    {1332, "No mapping between account names and security IDs was done.\r\n"},
    {1349, "The type of the token is inappropriate for its attempted use.\r\n"},
    {1450, "Insufficient system resources exist to complete the requested service.\r\n"},
    {1460, "This operation returned because the timeout period expired.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
    {1813, "The specified resource type cannot be found in the image file.\r\n"},
    {1815, "The specified resource language ID cannot be found in the image file.\r\n"},
    {1816, "Not enough quota is available to process this command.\r\n"},
    {1920, "The file cannot be accessed by the system.\r\n"},
    {1921, "The name of the file cannot be resolved by the system.\r\n"},
    {4390, "The file or directory is not a reparse point.\r\n"},
    {0x80004001, "Not implemented\r\n"},
    {0x80004002, "No such interface supported\r\n"},
    {0x80004003, "Invalid pointer\r\n"},
    {0x80004004, "Operation aborted\r\n"},
    {0x80004005, "Unspecified error\r\n"},
    {0x8000FFFF, "Catastrophic failure\r\n"},
    {0x80020001, "Unknown interface.\r\n"},
    {0x80020003, "Member not found.\r\n"},
    {0x80020004, "Parameter not found.\r\n"},
    {0x80020005, "Type mismatch.\r\n"},
    {0x80020006, "Unknown name.\r\n"},
    {0x80020007, "No named arguments.\r\n"},
    {0x80020008, "Bad variable type.\r\n"},
    {0x80020009, "Exception occurred.\r\n"},
    {0x8002000A, "Out of present range.\r\n"},
    {0x8002000B, "Invalid index.\r\n"},
    {0x8002000C, "Unknown language.\r\n"},
    {0x8002000D, "Memory is locked.\r\n"},
    {0x8002000E, "Invalid number of parameters.\r\n"},
    {0x8002000F, "Parameter not optional.\r\n"},
    {0x80020010, "Invalid callee.\r\n"},
    {0x80020011, "Does not support a collection.\r\n"},
    {0x80020012, "Division by zero.\r\n"},
    {0x8002801C, "Error accessing the OLE registry.\r\n"},
    {0x8002801D, "Library not registered.\r\n"},
    {0x8002802B, "Element not found.\r\n"},
    {0x80040110, "Class does not support aggregation (or class object is remote)\r\n"},
    {0x80040111, "ClassFactory cannot supply requested class\r\n"},
    {0x80040150, "Could not read key from registry\r\n"},
    {0x80040151, "Could not write key to registry\r\n"},
    {0x80040154, "Class not registered\r\n"},
    {0x80040155, "Interface not registered\r\n"},
    {0x800401F0, "CoInitialize has not been called.\r\n"},
    {0x800401F3, "Invalid class string\r\n"},
    {0x800401F8, "DLL for class not found\r\n"},
    {0x800401F9, "Error in the DLL\r\n"},
    {0x8004E004, "There is no MTS object context\r\n"},
};

const char* FindText(DWORD inCode)
{
    const auto theEnd = std::end(kMessages);
    const auto theIt = std::lower_bound(std::begin(kMessages), theEnd, inCode,
                                        [](const MessageText& inEntry, DWORD inKey) { return inEntry.code < inKey; });
    return theIt != theEnd && theIt->code == inCode ? theIt->text : nullptr;
}

}  // namespace

namespace ferrolift::platform {

const char* SystemMessageText(DWORD inCode)
{
    if (const char* theText = FindText(inCode))
        return theText;
    // An HRESULT wrapping a Win32 code reads as that code.
    if ((inCode & 0xFFFF0000U) == 0x80070000U)
        if (const char* theText = FindText(inCode & 0xFFFFU))
            return theText;
    return "";
}

}  // namespace ferrolift::platform

extern "C" DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                                       LPSTR lpBuffer, DWORD nSize, va_list* Arguments)
{
    (void)lpSource;
    (void)Arguments;
    if ((dwFlags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) != 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || lpBuffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    if (dwLanguageId != 0 && dwLanguageId != 0x400 && dwLanguageId != 0x409) {
        SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
        return 0;
    }
    const char* theText = ferrolift::platform::SystemMessageText(dwMessageId);
    const size_t theLength = std::strlen(theText);
    if (theLength == 0) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    char* theTarget = lpBuffer;
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        // nSize is then the least size to allocate.
        theTarget = static_cast<char*>(LocalAlloc(LMEM_FIXED, std::max<size_t>(theLength + 1, nSize)));
        if (theTarget == nullptr)
            return 0;
        *reinterpret_cast<char**>(lpBuffer) = theTarget;
    } else if (nSize < theLength + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(theTarget, theText, theLength + 1);
    return static_cast<DWORD>(theLength);
}

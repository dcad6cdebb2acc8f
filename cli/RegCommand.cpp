// `ferrolift reg query|add|delete`: the settings store from the command line, with the
// syntax and output of the system's own registry tool.
#include "cli/Commands.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const kNotFound = "ERROR: The system was unable to find the specified registry key or value.";

// The parsed command line.
struct RegArguments {
    std::string operation;
    HKEY root = nullptr;
    std::string rootName;   // HKEY_LOCAL_MACHINE, ...
    std::string subkey;     // below the root, may be empty
    bool hasValue = false;  // /v or /ve
    std::string valueName;  // "" with /ve
    bool allValues = false; // /va
    bool recurse = false;   // /s (query)
    bool force = false;     // /f
    bool hasType = false;
    DWORD type = REG_SZ;
    bool hasData = false;
    std::string data;
    std::string separator = "\\0";
};

int Fail(const std::string& inMessage)
{
    std::fprintf(stderr, "%s\n", inMessage.c_str());
    return 1;
}

int SyntaxError(const std::string& inOperation)
{
    std::string theUpper = inOperation;
    for (char& theChar : theUpper)
        theChar = static_cast<char>(std::toupper(static_cast<unsigned char>(theChar)));
    return Fail("ERROR: Invalid syntax.\nType \"REG " + theUpper + " /?\" for usage.");
}

std::string Upper(std::string inText)
{
    for (char& theChar : inText)
        theChar = static_cast<char>(std::toupper(static_cast<unsigned char>(theChar)));
    return inText;
}

// "HKLM\Software\X" -> root handle, full root name and "Software\X".
bool SplitKey(const std::string& inKey, RegArguments& outArguments)
{
    const size_t theSlash = inKey.find('\\');
    const std::string theRoot = Upper(inKey.substr(0, theSlash));
    struct RootName {
        const char* shortName;
        const char* longName;
        HKEY key;
    };
    const RootName kRoots[] = {{"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                               {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                               {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                               {"HKU", "HKEY_USERS", HKEY_USERS}};
    for (const RootName& theEntry : kRoots) {
        if (theRoot != theEntry.shortName && theRoot != theEntry.longName)
            continue;
        outArguments.root = theEntry.key;
        outArguments.rootName = theEntry.longName;
        outArguments.subkey = theSlash == std::string::npos ? "" : inKey.substr(theSlash + 1);
        while (!outArguments.subkey.empty() && outArguments.subkey.back() == '\\')
            outArguments.subkey.pop_back();
        return true;
    }
    return false;
}

bool ParseType(const std::string& inName, DWORD& outType)
{
    const std::string theName = Upper(inName);
    const std::pair<const char*, DWORD> kTypes[] = {{"REG_SZ", REG_SZ},         {"REG_EXPAND_SZ", REG_EXPAND_SZ},
                                                    {"REG_MULTI_SZ", REG_MULTI_SZ}, {"REG_DWORD", REG_DWORD},
                                                    {"REG_QWORD", REG_QWORD},   {"REG_BINARY", REG_BINARY},
                                                    {"REG_NONE", REG_NONE}};
    for (const auto& theEntry : kTypes)
        if (theName == theEntry.first) {
            outType = theEntry.second;
            return true;
        }
    return false;
}

// Options after the key; false for anything the operation does not take.
bool ParseOptions(int argc, char** argv, RegArguments& ioArguments)
{
    const bool theQuery = ioArguments.operation == "QUERY", theAdd = ioArguments.operation == "ADD";
    for (int i = 2; i < argc; ++i) {
        const std::string theOption = Upper(argv[i]);
        const bool theHasNext = i + 1 < argc;
        if (theOption == "/V" && theHasNext && !ioArguments.hasValue) {
            ioArguments.hasValue = true;
            ioArguments.valueName = argv[++i];
        } else if (theOption == "/VE" && !ioArguments.hasValue) {
            ioArguments.hasValue = true;
        } else if (theOption == "/VA" && ioArguments.operation == "DELETE") {
            ioArguments.allValues = true;
        } else if (theOption == "/S" && theQuery) {
            ioArguments.recurse = true;
        } else if (theOption == "/S" && theAdd && theHasNext) {
            ioArguments.separator = argv[++i];
        } else if (theOption == "/F" && !theQuery) {
            ioArguments.force = true;
        } else if (theOption == "/T" && theAdd && theHasNext && ParseType(argv[i + 1], ioArguments.type)) {
            ioArguments.hasType = true;
            ++i;
        } else if (theOption == "/D" && theAdd && theHasNext) {
            ioArguments.hasData = true;
            ioArguments.data = argv[++i];
        } else {
            return false;
        }
    }
    return !(ioArguments.allValues && ioArguments.hasValue) && (ioArguments.separator.size() == 1 ||
                                                                ioArguments.separator == "\\0");
}

// The message for a failed call: the corrupt file named, or the system's text.
int ReportFailure(LSTATUS inStatus)
{
    if (inStatus == ERROR_FILE_NOT_FOUND || inStatus == ERROR_PATH_NOT_FOUND)
        return Fail(kNotFound);
    const std::string theProblem = ferrolift::platform::RegistryFileProblem();
    if (!theProblem.empty())
        return Fail("ERROR: " + theProblem);
    std::string theText = ferrolift::platform::SystemMessageText(static_cast<DWORD>(inStatus));
    while (!theText.empty() && (theText.back() == '\n' || theText.back() == '\r'))
        theText.pop_back();
    return Fail("ERROR: " + (theText.empty() ? "error " + std::to_string(inStatus) : theText));
}

bool Confirm(const std::string& inQuestion)
{
    std::printf("%s (Yes/No)? ", inQuestion.c_str());
    std::fflush(stdout);
    std::string theAnswer;
    if (!std::getline(std::cin, theAnswer))
        return false;
    theAnswer = Upper(theAnswer);
    return theAnswer == "Y" || theAnswer == "YES";
}

// Owns an open key.
class KeyHolder {
public:
    KeyHolder() = default;
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;
    ~KeyHolder()
    {
        if (mKey != nullptr)
            RegCloseKey(mKey);
    }
    HKEY get() const { return mKey; }
    PHKEY put() { return &mKey; }

private:
    HKEY mKey = nullptr;
};

std::string TypeName(DWORD inType)
{
    switch (inType) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return "REG_UNKNOWN(" + std::to_string(inType) + ")";
    }
}

std::string FormatData(DWORD inType, const std::vector<BYTE>& inData)
{
    std::string theText;
    char theBuffer[32];
    if ((inType == REG_DWORD && inData.size() == 4) || (inType == REG_QWORD && inData.size() == 8)) {
        unsigned long long theNumber = 0;
        for (size_t i = inData.size(); i-- > 0;)
            theNumber = (theNumber << 8) | inData[i];
        std::snprintf(theBuffer, sizeof theBuffer, "0x%llx", theNumber);
        return theBuffer;
    }
    if (inType == REG_SZ || inType == REG_EXPAND_SZ || inType == REG_MULTI_SZ) {
        std::string theString(inData.begin(), inData.end());
        while (!theString.empty() && theString.back() == '\0')
            theString.pop_back();
        for (char theChar : theString)
            theText += theChar == '\0' ? std::string("\\0") : std::string(1, theChar);
        return theText;
    }
    for (BYTE theByte : inData) {
        std::snprintf(theBuffer, sizeof theBuffer, "%02X", theByte);
        theText += theBuffer;
    }
    return theText;
}

void PrintValue(const std::string& inName, DWORD inType, const std::vector<BYTE>& inData)
{
    std::printf("    %s    %s    %s\n", inName.empty() ? "(Default)" : inName.c_str(), TypeName(inType).c_str(),
                FormatData(inType, inData).c_str());
}

// Reads one value; the buffer grows until it fits.
LSTATUS ReadValue(HKEY inKey, const std::string& inName, DWORD& outType, std::vector<BYTE>& outData)
{
    DWORD theSize = 0;
    LSTATUS theStatus = RegQueryValueExA(inKey, inName.c_str(), nullptr, &outType, nullptr, &theSize);
    while (theStatus == ERROR_SUCCESS || theStatus == ERROR_MORE_DATA) {
        outData.resize(theSize);
        theStatus = RegQueryValueExA(inKey, inName.c_str(), nullptr, &outType, outData.data(), &theSize);
        if (theStatus == ERROR_SUCCESS) {
            outData.resize(theSize);
            break;
        }
    }
    return theStatus;
}

// The value names of a key, in order.
LSTATUS ValueNames(HKEY inKey, std::vector<std::string>& outNames)
{
    std::vector<char> theName(16384);
    for (DWORD theIndex = 0;; ++theIndex) {
        DWORD theLength = static_cast<DWORD>(theName.size());
        const LSTATUS theStatus =
            RegEnumValueA(inKey, theIndex, theName.data(), &theLength, nullptr, nullptr, nullptr, nullptr);
        if (theStatus == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (theStatus != ERROR_SUCCESS)
            return theStatus;
        outNames.emplace_back(theName.data(), theLength);
    }
}

LSTATUS SubkeyNames(HKEY inKey, std::vector<std::string>& outNames)
{
    char theName[1024];
    for (DWORD theIndex = 0;; ++theIndex) {
        DWORD theLength = sizeof theName;
        const LSTATUS theStatus =
            RegEnumKeyExA(inKey, theIndex, theName, &theLength, nullptr, nullptr, nullptr, nullptr);
        if (theStatus == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (theStatus != ERROR_SUCCESS)
            return theStatus;
        outNames.emplace_back(theName, theLength);
    }
}

// Prints one key (and, with /s, everything below it). Counts what matched.
LSTATUS QueryKey(HKEY inKey, const std::string& inFullName, const RegArguments& inArguments, size_t& ioMatches)
{
    std::vector<std::string> theNames;
    if (inArguments.hasValue)
        theNames.push_back(inArguments.valueName);
    else if (LSTATUS theStatus = ValueNames(inKey, theNames); theStatus != ERROR_SUCCESS)
        return theStatus;
    bool theHeader = false;
    for (const std::string& theName : theNames) {
        DWORD theType = 0;
        std::vector<BYTE> theData;
        const LSTATUS theStatus = ReadValue(inKey, theName, theType, theData);
        if (theStatus == ERROR_FILE_NOT_FOUND && inArguments.hasValue)
            continue;
        if (theStatus != ERROR_SUCCESS)
            return theStatus;
        if (!theHeader)
            std::printf("\n%s\n", inFullName.c_str());
        theHeader = true;
        PrintValue(theName, theType, theData);
        ++ioMatches;
    }
    if (!theHeader && !inArguments.hasValue) {
        std::printf("\n%s\n", inFullName.c_str());
        ++ioMatches;
    }
    std::vector<std::string> theSubkeys;
    if (LSTATUS theStatus = SubkeyNames(inKey, theSubkeys); theStatus != ERROR_SUCCESS)
        return theStatus;
    if (!inArguments.recurse) {
        if (inArguments.hasValue)
            return theHeader ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        std::printf("\n");
        for (const std::string& theSubkey : theSubkeys)
            std::printf("%s\\%s\n", inFullName.c_str(), theSubkey.c_str());
        return ERROR_SUCCESS;
    }
    for (const std::string& theSubkey : theSubkeys) {
        KeyHolder theChild;
        LSTATUS theStatus = RegOpenKeyExA(inKey, theSubkey.c_str(), 0, KEY_READ, theChild.put());
        if (theStatus == ERROR_SUCCESS)
            theStatus = QueryKey(theChild.get(), inFullName + "\\" + theSubkey, inArguments, ioMatches);
        if (theStatus != ERROR_SUCCESS)
            return theStatus;
    }
    return ERROR_SUCCESS;
}

std::string FullName(const RegArguments& inArguments)
{
    return inArguments.subkey.empty() ? inArguments.rootName : inArguments.rootName + "\\" + inArguments.subkey;
}

int RunQuery(const RegArguments& inArguments)
{
    KeyHolder theKey;
    LSTATUS theStatus = RegOpenKeyExA(inArguments.root, inArguments.subkey.c_str(), 0, KEY_READ, theKey.put());
    size_t theMatches = 0;
    if (theStatus == ERROR_SUCCESS)
        theStatus = QueryKey(theKey.get(), FullName(inArguments), inArguments, theMatches);
    if (theStatus != ERROR_SUCCESS)
        return ReportFailure(theStatus);
    if (inArguments.recurse)
        std::printf("\nEnd of search: %zu match(es) found.\n", theMatches);
    return 0;
}

bool ParseNumber(const std::string& inText, unsigned long long inMaximum, unsigned long long& outNumber)
{
    if (inText.empty() || inText[0] == '-' || inText[0] == '+')
        return false;
    char* theEnd = nullptr;
    errno = 0;
    outNumber = std::strtoull(inText.c_str(), &theEnd, 0);
    return errno == 0 && *theEnd == '\0' && outNumber <= inMaximum;
}

// The bytes that /t and /d describe; false when /d does not fit the type.
bool EncodeData(const RegArguments& inArguments, std::vector<BYTE>& outData)
{
    const std::string& theText = inArguments.data;
    switch (inArguments.type) {
    case REG_DWORD:
    case REG_QWORD: {
        const bool theWide = inArguments.type == REG_QWORD;
        unsigned long long theNumber = 0;
        if (!ParseNumber(theText.empty() ? "0" : theText, theWide ? ~0ULL : 0xFFFFFFFFULL, theNumber))
            return false;
        for (int i = 0; i < (theWide ? 8 : 4); ++i)
            outData.push_back(static_cast<BYTE>(theNumber >> (8 * i)));
        return true;
    }
    case REG_BINARY:
    case REG_NONE:
        if (theText.size() % 2 != 0)
            return false;
        for (size_t i = 0; i < theText.size(); i += 2) {
            unsigned long long theByte = 0;
            if (!std::isxdigit(static_cast<unsigned char>(theText[i])) ||
                !std::isxdigit(static_cast<unsigned char>(theText[i + 1])) ||
                !ParseNumber("0x" + theText.substr(i, 2), 0xFF, theByte))
                return false;
            outData.push_back(static_cast<BYTE>(theByte));
        }
        return true;
    case REG_MULTI_SZ: {
        std::string theJoined;
        for (size_t thePos = 0; thePos <= theText.size();) {
            size_t theNext = theText.find(inArguments.separator, thePos);
            if (theNext == std::string::npos)
                theNext = theText.size();
            theJoined.append(theText, thePos, theNext - thePos);
            theJoined += '\0';
            thePos = theNext + inArguments.separator.size();
        }
        theJoined += '\0';
        outData.assign(theJoined.begin(), theJoined.end());
        return true;
    }
    default:
        outData.assign(theText.begin(), theText.end());
        outData.push_back('\0');
        return true;
    }
}

int RunAdd(const RegArguments& inArguments)
{
    std::vector<BYTE> theData;
    const bool theSetsValue = inArguments.hasValue || inArguments.hasType || inArguments.hasData;
    if (theSetsValue && !EncodeData(inArguments, theData))
        return SyntaxError("add");
    KeyHolder theKey;
    LSTATUS theStatus = RegCreateKeyExA(inArguments.root, inArguments.subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                        nullptr, theKey.put(), nullptr);
    if (theStatus != ERROR_SUCCESS)
        return ReportFailure(theStatus);
    if (theSetsValue) {
        const std::string& theName = inArguments.valueName;
        DWORD theSize = 0;
        const bool theExists =
            RegQueryValueExA(theKey.get(), theName.c_str(), nullptr, nullptr, nullptr, &theSize) == ERROR_SUCCESS;
        if (theExists && !inArguments.force &&
            !Confirm("Value " + (theName.empty() ? std::string("(Default)") : theName) + " exists, overwrite"))
            return Fail("The operation was cancelled by the user.");
        theStatus = RegSetValueExA(theKey.get(), theName.c_str(), 0, inArguments.type, theData.data(),
                                   static_cast<DWORD>(theData.size()));
        if (theStatus != ERROR_SUCCESS)
            return ReportFailure(theStatus);
    }
    std::printf("The operation completed successfully.\n");
    return 0;
}

int DeleteValues(const RegArguments& inArguments)
{
    KeyHolder theKey;
    LSTATUS theStatus =
        RegOpenKeyExA(inArguments.root, inArguments.subkey.c_str(), 0, KEY_READ | KEY_SET_VALUE, theKey.put());
    std::vector<std::string> theNames;
    if (theStatus == ERROR_SUCCESS && inArguments.hasValue) {
        DWORD theSize = 0;
        theStatus = RegQueryValueExA(theKey.get(), inArguments.valueName.c_str(), nullptr, nullptr, nullptr, &theSize);
        theNames.push_back(inArguments.valueName);
    } else if (theStatus == ERROR_SUCCESS) {
        theStatus = ValueNames(theKey.get(), theNames);
    }
    if (theStatus != ERROR_SUCCESS)
        return ReportFailure(theStatus);
    const std::string theQuestion =
        inArguments.hasValue ? "Delete the registry value " +
                                   (inArguments.valueName.empty() ? std::string("(Default)") : inArguments.valueName)
                             : "Delete all values under the registry key " + FullName(inArguments);
    if (!inArguments.force && !Confirm(theQuestion))
        return Fail("The operation was cancelled by the user.");
    for (const std::string& theName : theNames)
        if ((theStatus = RegDeleteValueA(theKey.get(), theName.c_str())) != ERROR_SUCCESS)
            return ReportFailure(theStatus);
    std::printf("The operation completed successfully.\n");
    return 0;
}

int RunDelete(const RegArguments& inArguments)
{
    if (inArguments.hasValue || inArguments.allValues)
        return DeleteValues(inArguments);
    if (inArguments.subkey.empty())
        return ReportFailure(ERROR_ACCESS_DENIED);
    KeyHolder theKey;
    LSTATUS theStatus = RegOpenKeyExA(inArguments.root, inArguments.subkey.c_str(), 0, KEY_READ, theKey.put());
    if (theStatus != ERROR_SUCCESS)
        return ReportFailure(theStatus);
    if (!inArguments.force && !Confirm("Permanently delete the registry key " + FullName(inArguments)))
        return Fail("The operation was cancelled by the user.");
    theStatus = RegDeleteTreeA(inArguments.root, inArguments.subkey.c_str());
    if (theStatus != ERROR_SUCCESS)
        return ReportFailure(theStatus);
    std::printf("The operation completed successfully.\n");
    return 0;
}

}  // namespace

namespace ferrolift::cli {

int RunRegCommand(int argc, char** argv)
{
    if (argc < 1)
        return Fail("ERROR: Invalid syntax.\nusage: ferrolift reg query|add|delete KEY [options]");
    RegArguments theArguments;
    theArguments.operation = Upper(argv[0]);
    const bool theKnown =
        theArguments.operation == "QUERY" || theArguments.operation == "ADD" || theArguments.operation == "DELETE";
    if (!theKnown || argc < 2 || !ParseOptions(argc, argv, theArguments))
        return SyntaxError(theKnown ? argv[0] : "");
    if (!SplitKey(argv[1], theArguments))
        return Fail("ERROR: Invalid key name.\nType \"REG " + theArguments.operation + " /?\" for usage.");
    if (theArguments.operation == "QUERY")
        return RunQuery(theArguments);
    if (theArguments.operation == "ADD")
        return RunAdd(theArguments);
    return RunDelete(theArguments);
}

}  // namespace ferrolift::cli

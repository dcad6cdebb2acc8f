#include "decode/MacFileTypes.h"

#include <cstring>

namespace {

/// One row of the built-in table. "----" in the type or creator matches any code; the
/// description is kept for whoever reads the table.
struct MacTypeRow {
    char type[5];
    char creator[5];
    char extension[4];
    const char* description;
};

constexpr char kAnyCode[] = "----";

// Searched in order: specific rows come before the wildcard rows they would shadow.
constexpr MacTypeRow kMacTypeTable[54] = {
    {"AB65", "AD65", "P65", "Pagemaker 6.5"},
    {"ALB4", "ALD4", "PM4", "Pagemaker 4"},
    {"ALB5", "ALD5", "PM5", "Pagemaker 5"},
    {"ALB6", "ALD6", "PM6", "Pagemaker 6"},
    {"ART3", "TEXT", "AI", "Illustrator 3"},
    {"ART4", "TEXT", "AI", "Illustrator"},
    {"ART5", "TEXT", "AI", "Illustrator"},
    {"DPRO", "dDOC", "MDP", "MacDraw Pro"},
    {"FH50", "AGD1", "FH5", "Freehand 5"},
    {"FHD3", "FHA3", "FH3", "Freehand 3"},
    {"FMP3", "FMP3", "FP3", "FileMaker Pro"},
    {"FXTC", "EggP", "AEP", "After Effects Project"},
    {"InDd", "inDn", "IND", "Indesign Document"},
    {"MV93", "MD93", "DIR", "Macromedia Director"},
    {"StMI", "TEXT", "HTM", "PageMill HTML page"},
    {"TEXT", "BNHQ", "HQX", "BinHex"},
    {"WP42", "SSIW", "WP4", "Wordperfect 4"},
    {"WP50", "SSIW", "WP5", "Wordperfect 5"},
    {"ZIP ", "ZIP ", "ZIP", "Zip Archive"},
    {"PICT", "----", "PCT", "Generic PICT"},
    {"JPEG", "----", "JPG", "Generic JPEG"},
    {"GIFf", "----", "GIF", "Generic GIF"},
    {"PNGf", "----", "PNG", "Generic PNG"},
    {"BMP ", "----", "BMP", "Generic BMP"},
    {"TIFF", "----", "TIF", "Generic TIFF"},
    {"EPSF", "----", "EPS", "Generic EPS"},
    {"MooV", "----", "MOV", "Generic Movie"},
    {"TEXT", "----", "TXT", "Generic Text"},
    {"HTML", "----", "HTM", "Generic HTML"},
    {"PDF ", "----", "PDF", "Portable Document Format"},
    {"RTF ", "----", "RTF", "Rich Text Format"},
    {"FMP3", "----", "FP3", "FileMaker Pro"},
    {"XLBN", "----", "XLS", "Excel 1"},
    {"XLS4", "----", "XLS", "Excel 4"},
    {"XLS5", "----", "XLS", "Excel 5"},
    {"XLS8", "----", "XLS", "Excel 98"},
    {"sLS8", "----", "XLS", "Excel 98 Template"},
    {"SLD3", "----", "PPT", "Power Point 3"},
    {"SLD8", "----", "PPT", "Power Point 98"},
    {"PPOT", "----", "PPT", "Power Point 98 Template"},
    {"XDOC", "----", "QXD", "Quark Xpress (all versions)"},
    {"W6BN", "----", "DOC", "Microsoft Word 6"},
    {"W8BN", "----", "DOC", "Microsoft Word 98"},
    {"WDBN", "----", "DOC", "Microsoft Word 3/4/5"},
    {"WTBN", "----", "DOT", "Microsoft Word Template"},
    {"8BIM", "----", "PSD", "Photoshop 3"},
    {"8BPS", "----", "PSD", "Photoshop 3 (calques)"},
    {"----", "BOBO", "CWK", "Claris Works"},
    {"----", "FMP3", "FP3", "FileMaker Pro"},
    {"----", "XCEL", "XLS", "Excel"},
    {"----", "PPT3", "PPT", "Power Point"},
    {"----", "XPR3", "QXD", "Quark Xpress"},
    {"----", "MSWD", "DOC", "Microsoft Word"},
    {"----", "8BIM", "PSD", "Photoshop Document"},
};

constexpr const char* kTypeCreatorsKey = "SYSTEM\\CurrentControlSet\\Services\\MacFile\\Parameters\\Type_Creators\\";
constexpr const char* kExtensionsKey = "SYSTEM\\CurrentControlSet\\Services\\MacFile\\Parameters\\Extensions\\";
constexpr DWORD kRegistryBuffer = 256;

bool CodeMatches(const char* inPattern, const BYTE* inCode)
{
    return std::memcmp(inPattern, kAnyCode, 4) == 0 || std::memcmp(inPattern, inCode, 4) == 0;
}

/// Copies at most kMacExtensionLength - 1 characters of inText and terminates.
void CopyExtension(const char* inText, char* outExtension)
{
    size_t theLength = 0;
    while (inText[theLength] != '\0' && theLength < kMacExtensionLength - 1) {
        outExtension[theLength] = inText[theLength];
        ++theLength;
    }
    outExtension[theLength] = '\0';
}

/// The four-character code at inData: zero bytes read as blanks.
void CodeAt(const BYTE* inData, BYTE (&outCode)[4])
{
    for (int i = 0; i < 4; ++i)
        outCode[i] = inData[i] == 0 ? ' ' : inData[i];
}

/// Enumerates the values of key inKeyPath until inMatches(name, data) holds; the name of
/// that value lands in outName. ERROR_SUCCESS, or the code that ended the enumeration.
template <typename Predicate>
LONG FindRegistryValue(const char* inKeyPath, Predicate inMatches, char (&outName)[kRegistryBuffer + 1])
{
    HKEY theKey = nullptr;
    LONG theResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, inKeyPath, 0, KEY_READ, &theKey);
    if (theResult != ERROR_SUCCESS)
        return theResult;
    for (DWORD theIndex = 0;; ++theIndex) {
        // Zeroed each time: short data reads as zero bytes, and text in it stays terminated.
        BYTE theData[kRegistryBuffer + 1] = {};
        char theName[kRegistryBuffer + 1] = {};
        DWORD theNameSize = kRegistryBuffer;
        DWORD theDataSize = kRegistryBuffer;
        theResult = RegEnumValueA(theKey, theIndex, theName, &theNameSize, nullptr, nullptr, theData, &theDataSize);
        if (theResult != ERROR_SUCCESS)
            break;
        if (inMatches(theData)) {
            std::memcpy(outName, theName, sizeof outName);
            break;
        }
    }
    RegCloseKey(theKey);
    return theResult;
}

} // namespace

LONG LookupMacFileExtension(const BYTE* inType, const BYTE* inCreator, char* outExtension)
{
    char theIdentifier[kRegistryBuffer + 1] = {};
    LONG theResult = FindRegistryValue(
        kTypeCreatorsKey,
        [&](const BYTE* inData) {
            BYTE theCode[4];
            CodeAt(inData + 8, theCode);
            if (std::memcmp(theCode, inCreator, 4) != 0)
                return false;
            CodeAt(inData + 18, theCode);
            return std::memcmp(theCode, inType, 4) == 0;
        },
        theIdentifier);
    if (theResult != ERROR_SUCCESS)
        return theResult;
    char theExtension[kRegistryBuffer + 1] = {};
    theResult = FindRegistryValue(
        kExtensionsKey,
        [&](const BYTE* inData) { return std::strcmp(reinterpret_cast<const char*>(inData + 3), theIdentifier) == 0; },
        theExtension);
    if (theResult != ERROR_SUCCESS)
        return theResult;
    CopyExtension(theExtension, outExtension);
    return ERROR_SUCCESS;
}

bool LookupBuiltInMacType(const BYTE* inType, const BYTE* inCreator, char* outExtension)
{
    outExtension[0] = '\0';
    for (const MacTypeRow& theRow : kMacTypeTable) {
        if (CodeMatches(theRow.type, inType) && CodeMatches(theRow.creator, inCreator)) {
            CopyExtension(theRow.extension, outExtension);
            return true;
        }
    }
    return false;
}

char* MacTypeToExtension(const BYTE* inType, const BYTE* inCreator, char* outExtension)
{
    outExtension[0] = '\0';
    if (LookupMacFileExtension(inType, inCreator, outExtension) == ERROR_SUCCESS)
        return outExtension;
    if (LookupBuiltInMacType(inType, inCreator, outExtension))
        return outExtension;
    // The type code itself, as it stands; a zero byte ends it early.
    for (int i = 0; i < 4; ++i)
        outExtension[i] = static_cast<char>(inType[i]);
    outExtension[4] = '\0';
    return outExtension;
}

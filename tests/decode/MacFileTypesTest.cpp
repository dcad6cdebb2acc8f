// Extensions for Macintosh type and creator codes: the Macintosh file service's registry
// mapping first, then the built-in table, then the type code itself.
#include "decode/MacFileTypes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/TestFiles.h"

namespace {

constexpr const char* kParameters = "SYSTEM\\CurrentControlSet\\Services\\MacFile\\Parameters";

/// Points the registry at an empty file of the test's own for its lifetime.
class MacFileTypes : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("FERROLIFT_REGISTRY", (mFolder / "registry.reg").c_str(), 1); }
    void TearDown() override { ::unsetenv("FERROLIFT_REGISTRY"); }

    static void SetBinary(const std::string& inKey, const char* inName, const std::string& inData)
    {
        HKEY theKey = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kParameters) + "\\" + inKey).c_str(), 0, nullptr,
                                  0, KEY_ALL_ACCESS, nullptr, &theKey, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(theKey, inName, 0, REG_BINARY, reinterpret_cast<const BYTE*>(inData.data()),
                                 static_cast<DWORD>(inData.size())),
                  ERROR_SUCCESS);
        RegCloseKey(theKey);
    }

    /// A Type_Creators value: creator at bytes 8-11, type at 18-21.
    static void AddTypeCreator(const char* inIdentifier, const std::string& inType, const std::string& inCreator)
    {
        std::string theData(24, '\0');
        theData.replace(8, 4, inCreator);
        theData.replace(18, 4, inType);
        SetBinary("Type_Creators", inIdentifier, theData);
    }

    /// An Extensions value named after the extension; the identifier from byte 3.
    static void AddExtension(const char* inExtension, const std::string& inIdentifier)
    {
        SetBinary("Extensions", inExtension, std::string(3, '\x01') + inIdentifier + std::string(1, '\0'));
    }

    static std::string Extension(const std::string& inType, const std::string& inCreator)
    {
        char theExtension[kMacExtensionLength];
        std::memset(theExtension, 'x', sizeof theExtension);
        return MacTypeToExtension(reinterpret_cast<const BYTE*>(inType.data()),
                                  reinterpret_cast<const BYTE*>(inCreator.data()), theExtension);
    }

    ferrolift::test::ScratchFolder mFolder;
};

TEST_F(MacFileTypes, TableRowsInOrderThenTheTypeCode)
{
    EXPECT_EQ(Extension("TEXT", "ttxt"), "TXT");
    EXPECT_EQ(Extension("TEXT", "BNHQ"), "HQX");   // a specific row shadows the wildcard
    EXPECT_EQ(Extension("FMP3", "FMP3"), "FP3");
    EXPECT_EQ(Extension("FMP3", "abcd"), "FP3");
    EXPECT_EQ(Extension("ZIP ", "ZIP "), "ZIP");
    EXPECT_EQ(Extension("PDF ", "CARO"), "PDF");
    EXPECT_EQ(Extension("abcd", "MSWD"), "DOC");   // creator-only row
    EXPECT_EQ(Extension("InDd", "inDn"), "IND");
    EXPECT_EQ(Extension("indd", "inDn"), "indd");   // codes are case-sensitive
    EXPECT_EQ(Extension(std::string("PDF\0", 4), "CARO"), "PDF");   // no blank: no row; type up to the zero
    EXPECT_EQ(Extension("QRST", "WXYZ"), "QRST");
    EXPECT_EQ(Extension(std::string(4, '\0'), std::string(4, '\0')), "");
    EXPECT_EQ(Extension(std::string("AB\0C", 4), "WXYZ"), "AB");
}

TEST_F(MacFileTypes, RegistryMappingComesFirst)
{
    AddTypeCreator("7", "TEXT", "ttxt");
    AddTypeCreator("9", "QRST", "WXYZ");
    AddExtension("TXT2", "7");
    AddExtension("QRSTEXTENSIONLONGNAME", "9");
    EXPECT_EQ(Extension("TEXT", "ttxt"), "TXT2");
    EXPECT_EQ(Extension("QRST", "WXYZ"), "QRSTEXTENSIONLO");   // cut to 15 characters
    char theExtension[kMacExtensionLength] = {};
    EXPECT_EQ(LookupMacFileExtension(reinterpret_cast<const BYTE*>("TEXT"), reinterpret_cast<const BYTE*>("BNHQ"),
                                     theExtension),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(Extension("TEXT", "BNHQ"), "HQX");
}

TEST_F(MacFileTypes, ZeroBytesInTheRegistryReadAsBlanks)
{
    AddTypeCreator("3", std::string("ZIP\0", 4), std::string("ZIP\0", 4));
    AddExtension("ZZZ", "3");
    EXPECT_EQ(Extension("ZIP ", "ZIP "), "ZZZ");
    // A short value: the missing type bytes are zeros, so blanks.
    SetBinary("Type_Creators", "4", std::string(8, '\0') + "blnk");
    AddExtension("BLK", "4");
    EXPECT_EQ(Extension("    ", "blnk"), "BLK");
}

TEST_F(MacFileTypes, UnmatchedIdentifierFallsBackToTheTable)
{
    AddTypeCreator("5", "TEXT", "ttxt");
    AddExtension("NOPE", "6");
    EXPECT_EQ(Extension("TEXT", "ttxt"), "TXT");
    char theExtension[kMacExtensionLength] = {};
    EXPECT_FALSE(LookupBuiltInMacType(reinterpret_cast<const BYTE*>("QRST"), reinterpret_cast<const BYTE*>("WXYZ"),
                                      theExtension));
    EXPECT_STREQ(theExtension, "");
}

} // namespace

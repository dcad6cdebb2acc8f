// Reading and writing the registry file format on its own.
#include "platform/registry/RegFile.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

using namespace ferrolift::platform::reg;

TEST(RegFile, WritesWhatItReadsBack)
{
    Tree theTree;
    Key& theKey = theTree.Root(RootId::LocalMachine).CreatePath({"SOFTWARE", "A]b"});
    theKey.SetValue("", REG_SZ, {'x', 0, 0, 0});
    theKey.SetValue("with \"quote\"", REG_DWORD, {1, 2, 3, 4});
    theKey.SetValue("line", REG_SZ, {'a', 0, '\n', 0, 0, 0});  // no "text" form: hex(1)
    theKey.SetValue("long", REG_BINARY, std::vector<BYTE>(100, 0xAB));
    theKey.SetValue("q", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});
    theTree.Root(RootId::Users).CreatePath({"S-1-5-18"});
    const std::string theText = WriteRegFile(theTree);
    EXPECT_NE(theText.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]b]\n@=\"x\"\n\"with \\\"quote\\\"\"=dword:04030201\n"
                           "\"line\"=hex(1):61,00,0a,00,00,00\n\"long\"=hex:ab,"),
              std::string::npos)
        << theText;
    EXPECT_NE(theText.find(",\\\n  ab,"), std::string::npos);  // long data continues on the next line
    EXPECT_NE(theText.find("\"q\"=hex(b):01,00,00,00,00,00,00,00\n"), std::string::npos);
    EXPECT_NE(theText.find("[HKEY_USERS\\S-1-5-18]\n"), std::string::npos);

    Tree theAgain;
    ASSERT_TRUE(ParseRegFile(theText, theAgain).ok);
    EXPECT_EQ(WriteRegFile(theAgain), theText);
    const Value* theLong = theAgain.Root(RootId::LocalMachine).FindPath({"software", "a]B"})->FindValue("LONG");
    ASSERT_NE(theLong, nullptr);
    EXPECT_EQ(theLong->data, std::vector<BYTE>(100, 0xAB));
}

TEST(RegFile, ReadsExportsFromTheOtherSystem)
{
    // UTF-16LE with its mark and CRLF, comments, deletions and continued hex data.
    const std::u16string theSource =
        u"Windows Registry Editor Version 5.00\r\n\r\n; exported\r\n[HKEY_CLASSES_ROOT\\Ferrolift4.XForm]\r\n"
        u"@=\"XForm Class \u20ac\"\r\n\"Data\"=hex:01,\\\r\n  02,03\r\n\"Gone\"=dword:1\r\n\"Gone\"=-\r\n"
        u"[HKEY_CURRENT_USER\\Temp\\Sub]\r\n[-HKEY_CURRENT_USER\\Temp]\r\n";
    std::string theBytes = "\xff\xfe";
    for (char16_t theUnit : theSource) {
        theBytes += static_cast<char>(theUnit & 0xFF);
        theBytes += static_cast<char>(theUnit >> 8);
    }
    Tree theTree;
    const ParseResult theResult = ParseRegFile(theBytes, theTree);
    ASSERT_TRUE(theResult.ok) << theResult.line << ": " << theResult.message;
    const Key* theKey = theTree.Root(RootId::LocalMachine).FindPath({"SOFTWARE", "Classes", "Ferrolift4.XForm"});
    ASSERT_NE(theKey, nullptr);
    ASSERT_EQ(theKey->Values().size(), 2u);
    EXPECT_EQ(theKey->FindValue("data")->data, (std::vector<BYTE> {1, 2, 3}));
    EXPECT_EQ(theKey->FindValue("")->data.size(), 28u);  // 13 units and the terminator
    EXPECT_EQ(theTree.Root(RootId::CurrentUser).FindSubkey("Temp"), nullptr);
    Tree theEmpty;
    EXPECT_TRUE(ParseRegFile(" \n\n", theEmpty).ok);
}

TEST(RegFile, NamesTheLineOfEachProblem)
{
    const std::string kHead = "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n";
    const std::pair<std::string, size_t> kCases[] = {
        {"REGEDIT4\n", 1},
        {"Windows Registry Editor Version 5.00\n\"v\"=dword:1\n", 2},
        {"Windows Registry Editor Version 5.00\n[HKEY_NOWHERE\\K]\n", 2},
        {"Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A\\\\B]\n", 2},
        {"Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K\n", 2},
        {"Windows Registry Editor Version 5.00\n[-HKEY_LOCAL_MACHINE]\n", 2},
        {kHead + "\"v\"=\"bad \\n escape\"\n", 3},
        {kHead + "\"v\"=\"unterminated\n", 3},
        {kHead + "\"v\"=\"x\" trailing\n", 3},
        {kHead + "\"v\"=dword:123456789\n", 3},
        {kHead + "\"v\"=dword:\n", 3},
        {kHead + "\"v\"=hex:1,zz\n", 3},
        {kHead + "\"v\"=hex:123\n", 3},
        {kHead + "\"v\"=hex(x):00\n", 3},
        {kHead + "\"v\" dword:1\n", 3},
        {kHead + "\"\"=dword:1\n", 3},
        {kHead + "v=1\n", 3},
        {kHead + "\"v\"=hex:00,\\\n  01,\\\n  zz\n", 5},
    };
    for (const auto& [theText, theLine] : kCases) {
        Tree theTree;
        const ParseResult theResult = ParseRegFile(theText, theTree);
        EXPECT_FALSE(theResult.ok) << theText;
        EXPECT_EQ(theResult.line, theLine) << theText;
        EXPECT_FALSE(theResult.message.empty());
    }
    std::string theDeep = "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE";
    for (int i = 0; i < 513; ++i)
        theDeep += "\\k";
    Tree theTree;
    EXPECT_FALSE(ParseRegFile(theDeep + "]\n", theTree).ok);
}

}  // namespace

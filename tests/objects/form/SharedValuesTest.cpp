// The values of tests/common/uploads/values.tsv, read through the form as a script reads
// them. The Windows build checks the same table under Wine with VBScript and JScript
// (tests/windows), so both targets must give every value alike.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/Script.h"

namespace {

using Script::Get;
using Script::Long;
using Script::Object;
using Script::Text;

const std::string kUploads = FERROLIFT_SOURCE_DIR "/tests/common/uploads/";

struct Row {
    int line;
    std::string field;
    std::string index;
    std::string property;
    std::string expected;
};

// Text as the table writes it: printable ASCII as is, every other UTF-16 unit (and a
// backslash that would read as an escape) as \uXXXX.
std::string Escaped(const std::u16string& inText)
{
    std::string theOut;
    for (size_t i = 0; i < inText.size(); ++i) {
        const char16_t c = inText[i];
        const bool theLooksLikeEscape = c == u'\\' && i + 1 < inText.size() && inText[i + 1] == u'u';
        if (c >= 0x20 && c < 0x7F && !theLooksLikeEscape) {
            theOut += static_cast<char>(c);
            continue;
        }
        char theUnit[8];
        std::snprintf(theUnit, sizeof theUnit, "\\u%04X", static_cast<unsigned>(c));
        theOut += theUnit;
    }
    return theOut;
}

// A result as the table writes it: True/False, a decimal number, or escaped text.
std::string Canonical(const Script::Outcome& inOutcome)
{
    if (FAILED(inOutcome.hr))
        return "<error " + std::to_string(static_cast<unsigned long>(static_cast<ULONG>(inOutcome.hr))) + ">";
    const VARIANT* theValue = inOutcome.value.get();
    switch (V_VT(theValue)) {
    case VT_BOOL: return V_BOOL(theValue) ? "True" : "False";
    case VT_I4: return std::to_string(V_I4(theValue));
    case VT_BSTR: {
        BSTR theText = V_BSTR(theValue);
        return Escaped(theText != nullptr ? std::u16string(theText, SysStringLen(theText)) : std::u16string());
    }
    default: return "<type " + std::to_string(V_VT(theValue)) + ">";
    }
}

std::vector<std::string> Columns(const std::string& inLine)
{
    std::vector<std::string> theColumns(1);
    for (char c : inLine) {
        if (c == '\t')
            theColumns.emplace_back();
        else if (c != '\r')
            theColumns.back() += c;
    }
    return theColumns;
}

// Rows by body file, in table order.
std::map<std::string, std::vector<Row>> ReadTable()
{
    std::map<std::string, std::vector<Row>> theTable;
    std::ifstream theFile(kUploads + "values.tsv");
    std::string theLine;
    for (int theNumber = 1; std::getline(theFile, theLine); ++theNumber) {
        if (theLine.empty() || theLine[0] == '#')
            continue;
        std::vector<std::string> c = Columns(theLine);
        if (c.size() != 5) {
            ADD_FAILURE() << "values.tsv line " << theNumber << ": " << c.size() << " columns";
            continue;
        }
        theTable[c[0]].push_back(Row{theNumber, c[1], c[2], c[3], c[4]});
    }
    return theTable;
}

// The object a row reads from: the form, a collection by name, or a field by number.
ComPtr<IDispatch> Target(IDispatch* inForm, const Row& inRow)
{
    if (inRow.field.empty())
        return ComPtr<IDispatch>(inForm);
    UniqueVariant theName = Text(ferrolift::platform::Utf16FromUtf8(inRow.field));
    ComPtr<IDispatch> theGroup = Object(inForm, u"Item", {theName.get()});
    if (inRow.index.empty() || !theGroup)
        return theGroup;
    UniqueVariant theIndex = Long(std::stol(inRow.index));
    return Object(theGroup.get(), u"Item", {theIndex.get()});
}

TEST(SharedValuesTest, EveryBodyGivesTheTabledValues)
{
    const auto theTable = ReadTable();
    ASSERT_GE(theTable.size(), 3u);
    for (const auto& [theBody, theRows] : theTable) {
        ComPtr<IDispatch> theForm = Script::NewForm();
        Script::Put(theForm.get(), u"CodePage", Long(65001));
        Script::Put(theForm.get(), u"AbsolutePath", Script::Bool(true));
        UniqueVariant thePath = Text(ferrolift::platform::Utf16FromUtf8(kUploads + theBody));
        ASSERT_EQ(Script::Run(theForm.get(), u"Read", {thePath.get()}).hr, S_OK) << theBody;
        for (const Row& theRow : theRows) {
            ComPtr<IDispatch> theTarget = Target(theForm.get(), theRow);
            ASSERT_TRUE(theTarget) << "values.tsv line " << theRow.line;
            const std::string theActual =
                Canonical(Get(theTarget.get(), ferrolift::platform::Utf16FromUtf8(theRow.property)));
            EXPECT_EQ(theActual, theRow.expected)
                << "values.tsv line " << theRow.line << ": " << theBody << "\t" << theRow.field << "\t"
                << theRow.index << "\t" << theRow.property << "\t" << theActual;
        }
    }
}

}  // namespace

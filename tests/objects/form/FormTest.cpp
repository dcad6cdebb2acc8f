// The form as a page script uses it: options, the intake rule, Item by name then number,
// For Each over names, the whole body as text, Save and Read, and the size limit.
#include "objects/XForm.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/TestPage.h"
#include "common/Script.h"
#include "common/UploadBody.h"
#include "common/ScratchMachine.h"

namespace {

using Script::Get;
using Script::Long;
using Script::NumberOf;
using Script::Object;
using Script::Text;
using Script::TextOf;
using Script::TruthOf;
using ferrolift::test::TestPage;
using ferrolift::test::Wide;

std::string FileText(const std::string& inPath)
{
    std::ifstream theFile(inPath, std::ios::binary);
    std::ostringstream theText;
    theText << theFile.rdbuf();
    return theText.str();
}

class FormTest : public ::testing::Test {
protected:
    void Open(const std::string& inBody)
    {
        mPage = std::make_unique<TestPage>(inBody);
        mForm = Script::NewForm();
    }

    /// Item with one argument.
    Script::Outcome Item(const UniqueVariant& inIndex) { return Get(mForm.get(), u"Item", {inIndex.get()}); }

    /// The Content of every value of the group inIndex selects.
    std::vector<std::string> Values(const UniqueVariant& inIndex)
    {
        std::vector<std::string> theValues;
        ComPtr<IDispatch> theGroup = Object(mForm.get(), u"Item", {inIndex.get()});
        if (!theGroup)
            return {"<error>"};
        for (UniqueVariant& theField : Script::ForEach(theGroup.get()))
            theValues.push_back(TextOf(V_DISPATCH(theField.get()), u"Content"));
        return theValues;
    }

    ScratchMachine mMachine;
    std::unique_ptr<TestPage> mPage;
    ComPtr<IDispatch> mForm;
};

TEST_F(FormTest, NewFormHasItsDefaultsAndAnEmptyRequestHasNoFields)
{
    Open("");
    EXPECT_EQ(TruthOf(mForm.get(), u"AbsolutePath"), VARIANT_FALSE);
    EXPECT_EQ(TruthOf(mForm.get(), u"Overwrite"), VARIANT_FALSE);
    EXPECT_EQ(TruthOf(mForm.get(), u"Streams"), VARIANT_TRUE);
    EXPECT_EQ(NumberOf(mForm.get(), u"MaxUploadSize"), 8388608);
    EXPECT_EQ(NumberOf(mForm.get(), u"CodePage"), 0);
    EXPECT_GE(NumberOf(mForm.get(), u"ID"), 1);
    EXPECT_TRUE(mPage->Request().RequestedCounts().empty());   // nothing read yet

    Script::Put(mForm.get(), u"ID", Long(424242));
    EXPECT_EQ(NumberOf(mForm.get(), u"ID"), 424242);
    EXPECT_EQ(NumberOf(mForm.get(), u"Count"), 0);
    EXPECT_EQ(TruthOf(mForm.get(), u"Multipart"), VARIANT_FALSE);
    EXPECT_EQ(TextOf(mForm.get(), u"Item"), "");
}

TEST_F(FormTest, ItemTriesANameBeforeANumber)
{
    Open(UploadBody().Value("a", "1").Value("b", "2").Value("a", "3").Value("2", "named two").Text());
    EXPECT_EQ(NumberOf(mForm.get(), u"Count"), 3);
    EXPECT_EQ(TruthOf(mForm.get(), u"Multipart"), VARIANT_TRUE);
    EXPECT_EQ(Values(Text(u"A")), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(Values(Long(2)), (std::vector<std::string>{"named two"}));   // the group named 2
    EXPECT_EQ(Values(Text(u"2")), (std::vector<std::string>{"named two"}));
    EXPECT_EQ(Values(Long(3)), (std::vector<std::string>{"named two"}));
    EXPECT_EQ(Values(Long(1)), (std::vector<std::string>{"1", "3"}));
    EXPECT_TRUE(Values(Long(4)).empty());
    EXPECT_TRUE(Values(Long(0)).empty());

    Script::Outcome theMismatch = Item(Text(u"photo"));
    EXPECT_EQ(theMismatch.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(theMismatch.value.vt(), VT_EMPTY);

    std::vector<std::string> theNames;
    for (UniqueVariant& theName : Script::ForEach(mForm.get()))
        theNames.push_back(theName.vt() == VT_BSTR ? ferrolift::platform::Utf8FromUtf16(V_BSTR(theName.get())) : "?");
    EXPECT_EQ(theNames, (std::vector<std::string>{"a", "b", "2"}));
}

TEST_F(FormTest, ItemWithoutIndexIsTheWholeBodyInTheFormsCodePage)
{
    Open("name=caf%E9&x=caf\xc3\xa9");
    Script::Put(mForm.get(), u"CodePage", Long(65001));
    EXPECT_EQ(TextOf(mForm.get(), u"Item"), "name=caf%E9&x=caf\xc3\xa9");
    EXPECT_EQ(TruthOf(mForm.get(), u"Multipart"), VARIANT_FALSE);
    EXPECT_EQ(NumberOf(mForm.get(), u"Count"), 2);
}

TEST_F(FormTest, UploadOverTheLimitFailsEveryReadingMemberAlike)
{
    const std::string theBody = UploadBody().Value("a", std::string(101, 'x')).Text();
    Open(theBody.substr(0, 101));
    Script::Put(mForm.get(), u"MaxUploadSize", Long(100));
    Script::Outcome theCount = Get(mForm.get(), u"Count");
    EXPECT_EQ(theCount.hr, E_FAIL);
    EXPECT_NE(theCount.description.find("Upload size is greater than the maximum allowed"), std::string::npos);
    Script::Put(mForm.get(), u"MaxUploadSize", Long(1000));   // too late for this upload
    UniqueVariant theOne = Long(1);
    UniqueVariant thePath = Text(u"/saved.body");
    const Script::Outcome theOthers[] = {Item(theOne), Get(mForm.get(), u"Multipart"),
                                         Get(mForm.get(), u"_NewEnum"),
                                         Script::Run(mForm.get(), u"Save", {thePath.get()})};
    for (const Script::Outcome& theOutcome : theOthers) {
        EXPECT_EQ(theOutcome.hr, E_FAIL);
        EXPECT_EQ(theOutcome.description, theCount.description);
    }
    EXPECT_FALSE(std::ifstream(mPage->Physical("saved.body")).good());
}

TEST_F(FormTest, SmallestNumberNamesNothingAsNumberOrText)
{
    Open(UploadBody().Value("a", "1").Value("b", "2").Text());
    const LONG kSmallest = -2147483647 - 1;
    EXPECT_TRUE(Values(Long(kSmallest)).empty());
    EXPECT_TRUE(Values(Text(u"-2147483648")).empty());

    UniqueVariant theFirst = Long(1);
    ComPtr<IDispatch> theGroup = Object(mForm.get(), u"Item", {theFirst.get()});
    ASSERT_TRUE(theGroup);
    const UniqueVariant theIndexes[] = {Long(kSmallest), Text(u"-2147483648")};
    for (const UniqueVariant& theIndex : theIndexes) {
        ComPtr<IDispatch> theField = Object(theGroup.get(), u"Item", {theIndex.get()});
        ASSERT_TRUE(theField);
        EXPECT_EQ(TextOf(theField.get(), u"Content"), "");
        EXPECT_EQ(NumberOf(theField.get(), u"Length"), 0);
    }
}

TEST_F(FormTest, ReadOfAFileTooLargeForTheFormFailsAndLeavesNoBodyToScan)
{
    Open("");
    // A hole of 3 GiB after a valid body: a length that turns negative in 32 bits.
    const std::string thePath = mPage->Physical("huge.body");
    std::ofstream(thePath, std::ios::binary) << UploadBody().Value("a", "1").Text();
    std::filesystem::resize_file(thePath, std::uintmax_t{3} << 30);
    Script::Put(mForm.get(), u"AbsolutePath", Script::Bool(true));
    UniqueVariant theTarget = Text(Wide(thePath));
    Script::Outcome theRead = Script::Run(mForm.get(), u"Read", {theTarget.get()});
    EXPECT_EQ(theRead.hr, E_FAIL);
    EXPECT_NE(theRead.description.find("File is larger than 2147483647 bytes, the most a form can hold."),
              std::string::npos)
        << theRead.description;
    // The whole body as text: the failure again, and no text from past the mapping.
    Script::Outcome theWhole = Get(mForm.get(), u"Item");
    EXPECT_EQ(theWhole.hr, E_FAIL);
    EXPECT_EQ(theWhole.description, theRead.description);
    EXPECT_EQ(Get(mForm.get(), u"Count").hr, E_FAIL);
}

TEST_F(FormTest, SaveThenReadGivesTheSameFields)
{
    const std::string theBody = UploadBody().Value("a", "1").File("f", "C:\\x\\y.bin", "application/x-y", "data").Text();
    Open(theBody);
    UniqueVariant thePath = Text(u"/up/raw.body");
    std::filesystem::create_directory(mPage->Physical("up"));
    ASSERT_EQ(Script::Run(mForm.get(), u"Save", {thePath.get()}).hr, S_OK);
    EXPECT_EQ(FileText(mPage->Physical("up/raw.body")), theBody);

    Script::Outcome theExists = Script::Run(mForm.get(), u"Save", {thePath.get()});
    EXPECT_EQ(theExists.hr, static_cast<HRESULT>(0x80040050));

    ComPtr<IDispatch> theReader = Script::NewForm();
    ASSERT_EQ(Script::Run(theReader.get(), u"Read", {thePath.get()}).hr, S_OK);
    EXPECT_EQ(NumberOf(theReader.get(), u"Count"), 2);
    UniqueVariant theName = Text(u"f");
    ComPtr<IDispatch> theGroup = Object(theReader.get(), u"Item", {theName.get()});
    UniqueVariant theFirst = Long(1);
    ComPtr<IDispatch> theField = Object(theGroup.get(), u"Item", {theFirst.get()});
    EXPECT_EQ(TextOf(theField.get(), u"Content"), "data");
    EXPECT_EQ(TextOf(theField.get(), u"RawFilePath"), "C:\\x\\y.bin");
    EXPECT_EQ(TextOf(theField.get(), u"MIMEType"), "application/x-y");

    UniqueVariant theMissing = Text(u"/up/missing.body");
    Script::Outcome theFailed = Script::Run(theReader.get(), u"Read", {theMissing.get()});
    EXPECT_EQ(theFailed.hr, E_FAIL);
    EXPECT_NE(theFailed.description.find("Unable to read file.\nA Windows error occurred that indicates that a file could not be found"), std::string::npos)
        << theFailed.description;
    EXPECT_EQ(NumberOf(theReader.get(), u"Count"), -99999);   // the failure repeats
}

TEST_F(FormTest, SetUserIsRefusedUnlessEnabled)
{
    Open("");
    UniqueVariant theName = Text(u"nobody");
    UniqueVariant thePassword = Text(u"x");
    Script::Outcome theOutcome = Script::Run(mForm.get(), u"SetUser", {theName.get(), thePassword.get()});
    EXPECT_EQ(theOutcome.hr, E_FAIL);
    EXPECT_EQ(theOutcome.description, "Ferrolift impersonation is not enabled via registry");
    EXPECT_FALSE(TextOf(mForm.get(), u"User").empty());
    EXPECT_NE(TextOf(mForm.get(), u"User"), "<error>");
}

}  // namespace

// Fields and field collections as a page script sees them: a browser upload read through
// the form, every property by name, Item and For Each, MacBinary and image parts.
#include "objects/XField.h"

#include <gtest/gtest.h>

#include <string>

#include "common/TestPage.h"
#include "common/MacBinaryBuilder.h"
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
using ferrolift::test::BuildMacBinary;
using ferrolift::test::MacBinaryParts;
using ferrolift::test::MakeResourceFork;
using ferrolift::test::TestPage;

/// A 1x1 GIF header (all that the image check reads).
std::string TinyGif()
{
    return std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13) + std::string(20, '\0') + ";";
}

std::string AsText(const ferrolift::test::Bytes& inBytes)
{
    return std::string(inBytes.begin(), inBytes.end());
}

class FieldTest : public ::testing::Test {
protected:
    /// Makes the page for inBody and a form that has read it.
    void Upload(const std::string& inBody, LONG inCodePage = 0)
    {
        mPage = std::make_unique<TestPage>(inBody);
        mForm = Script::NewForm();
        Script::Put(mForm.get(), u"CodePage", Long(inCodePage));
        ASSERT_GE(NumberOf(mForm.get(), u"Count"), 0);
    }

    /// The field at 1-based inValue of the group inName.
    ComPtr<IDispatch> Field(const std::u16string& inName, LONG inValue = 1)
    {
        UniqueVariant theName = Text(inName);
        ComPtr<IDispatch> theFields = Object(mForm.get(), u"Item", {theName.get()});
        if (!theFields)
            return nullptr;
        UniqueVariant theIndex = Long(inValue);
        return Object(theFields.get(), u"Item", {theIndex.get()});
    }

    ScratchMachine mMachine;
    std::unique_ptr<TestPage> mPage;
    ComPtr<IDispatch> mForm;
};

TEST_F(FieldTest, BrowserUploadAnswersEveryProperty)
{
    Upload(UploadBody()
               .Value("title", "Holiday")
               .File("doc", "C:\\Docs\\My Report?.TXT", "text/plain", "hello")
               .File("empty", "", "application/octet-stream", "")
               .File("zero", "C:\\z\\none.bin", "application/octet-stream", "")
               .Text());

    ComPtr<IDispatch> theDoc = Field(u"doc");
    ASSERT_TRUE(theDoc);
    EXPECT_EQ(TextOf(theDoc.get(), u"Name"), "doc");
    EXPECT_EQ(TextOf(theDoc.get(), u"RawFilePath"), "C:\\Docs\\My Report?.TXT");
    EXPECT_EQ(TextOf(theDoc.get(), u"RawFileName"), "My Report?.TXT");
    EXPECT_EQ(TextOf(theDoc.get(), u"SafeFileName"), "My Report.TXT");
    EXPECT_EQ(TextOf(theDoc.get(), u"FileName"), "my_report_.txt");
    EXPECT_EQ(TextOf(theDoc.get(), u"RawFileType"), "TXT");
    EXPECT_EQ(TextOf(theDoc.get(), u"FileType"), "TXT");
    EXPECT_EQ(TextOf(theDoc.get(), u"MIMEType"), "text/plain");
    EXPECT_EQ(TextOf(theDoc.get(), u"Content"), "hello");
    EXPECT_EQ(NumberOf(theDoc.get(), u"Length"), 5);
    EXPECT_EQ(NumberOf(theDoc.get(), u"RawLength"), 5);
    EXPECT_EQ(TruthOf(theDoc.get(), u"FileExists"), VARIANT_TRUE);
    EXPECT_EQ(TruthOf(theDoc.get(), u"MacBinary"), VARIANT_FALSE);
    EXPECT_EQ(Script::BytesOf(theDoc.get(), u"Data"), "hello");
    EXPECT_EQ(Script::BytesOf(theDoc.get(), u"RawData"), "hello");
    EXPECT_EQ(Script::BytesOf(theDoc.get(), u"Resource"), "");

    ComPtr<IDispatch> theTitle = Field(u"TITLE");   // names ignore letter case
    ASSERT_TRUE(theTitle);
    EXPECT_EQ(TextOf(theTitle.get(), u"Content"), "Holiday");
    EXPECT_EQ(TextOf(theTitle.get(), u"MIMEType"), "");
    EXPECT_EQ(TruthOf(theTitle.get(), u"FileExists"), VARIANT_FALSE);

    ComPtr<IDispatch> theEmpty = Field(u"empty");
    EXPECT_EQ(TruthOf(theEmpty.get(), u"FileExists"), VARIANT_FALSE);
    EXPECT_EQ(TextOf(theEmpty.get(), u"RawFilePath"), "");
    EXPECT_EQ(NumberOf(theEmpty.get(), u"Length"), 0);
    ComPtr<IDispatch> theZero = Field(u"zero");
    EXPECT_EQ(TruthOf(theZero.get(), u"FileExists"), VARIANT_FALSE);
    EXPECT_EQ(TextOf(theZero.get(), u"RawFileName"), "none.bin");
}

TEST_F(FieldTest, ContentFollowsTheFormsCodePage)
{
    Upload(UploadBody().Value("w", "caf\xe9").Value("u", "caf\xc3\xa9").Text(), 1252);
    ComPtr<IDispatch> theWestern = Field(u"w");
    EXPECT_EQ(TextOf(theWestern.get(), u"Content"), "caf\xc3\xa9");
    Script::Put(mForm.get(), u"CodePage", Long(65001));
    EXPECT_EQ(TextOf(Field(u"u").get(), u"Content"), "caf\xc3\xa9");
    // The same field object follows a later change of the form's code page.
    Script::Put(mForm.get(), u"CodePage", Long(1252));
    EXPECT_EQ(TextOf(Field(u"u").get(), u"Content"), "caf\xc3\x83\xc2\xa9");
}

TEST_F(FieldTest, CollectionsCountFromOneAndEnumerateInBodyOrder)
{
    Upload(UploadBody().Value("a", "one").Value("b", "x").Value("A", "two").Value("a", "three").Text());
    UniqueVariant theName = Text(u"a");
    ComPtr<IDispatch> theGroup = Object(mForm.get(), u"Item", {theName.get()});
    ASSERT_TRUE(theGroup);
    EXPECT_EQ(NumberOf(theGroup.get(), u"Count"), 3);

    std::vector<std::string> theContents;
    for (UniqueVariant& theItem : Script::ForEach(theGroup.get())) {
        ASSERT_EQ(theItem.vt(), VT_DISPATCH);
        theContents.push_back(TextOf(V_DISPATCH(theItem.get()), u"Content"));
    }
    EXPECT_EQ(theContents, (std::vector<std::string>{"one", "two", "three"}));

    UniqueVariant theTwoText = Text(u"2");
    EXPECT_EQ(TextOf(Object(theGroup.get(), u"Item", {theTwoText.get()}).get(), u"Content"), "two");
    UniqueVariant theWord = Text(u"photo");
    EXPECT_EQ(Get(theGroup.get(), u"Item", {theWord.get()}).hr, DISP_E_TYPEMISMATCH);

    // Out of range: no error, empty values, the name still answers.
    for (LONG thePosition : {0L, 4L}) {
        UniqueVariant theIndex = Long(thePosition);
        ComPtr<IDispatch> theField = Object(theGroup.get(), u"Item", {theIndex.get()});
        ASSERT_TRUE(theField);
        EXPECT_EQ(TextOf(theField.get(), u"Name"), "a");
        EXPECT_EQ(TextOf(theField.get(), u"Content"), "");
        EXPECT_EQ(NumberOf(theField.get(), u"Length"), 0);
        EXPECT_EQ(TruthOf(theField.get(), u"FileExists"), VARIANT_FALSE);
        EXPECT_EQ(Script::BytesOf(theField.get(), u"RawData"), "");
        EXPECT_EQ(NumberOf(theField.get(), u"ImageType"), ferUnknown);
    }
}

TEST_F(FieldTest, MissingGroupHasNoValuesAndNoName)
{
    Upload(UploadBody().Value("a", "1").Text());
    UniqueVariant theIndex = Long(7);
    ComPtr<IDispatch> theGroup = Object(mForm.get(), u"Item", {theIndex.get()});
    ASSERT_TRUE(theGroup);
    EXPECT_EQ(NumberOf(theGroup.get(), u"Count"), 0);
    EXPECT_TRUE(Script::ForEach(theGroup.get()).empty());
    UniqueVariant theOne = Long(1);
    ComPtr<IDispatch> theField = Object(theGroup.get(), u"Item", {theOne.get()});
    EXPECT_EQ(TextOf(theField.get(), u"Name"), "");
}

TEST_F(FieldTest, MacBinaryPartIsUnpackedOnlyWhenSentAsMacBinary)
{
    MacBinaryParts theParts;
    theParts.type = "GIFf";
    theParts.creator = "8BIM";
    const std::string theGif = TinyGif();
    theParts.data.assign(theGif.begin(), theGif.end());
    theParts.resource = MakeResourceFork("icon");
    const std::string theStream = AsText(BuildMacBinary(theParts));
    Upload(UploadBody()
               .File("mac", "Beach", "application/x-macbinary", theStream)
               .File("other", "Beach.bin", "application/octet-stream", theStream)
               .Text(),
           1252);

    ComPtr<IDispatch> theMac = Field(u"mac");
    EXPECT_EQ(TruthOf(theMac.get(), u"MacBinary"), VARIANT_TRUE);
    EXPECT_EQ(NumberOf(theMac.get(), u"Length"), static_cast<LONG>(theGif.size()));
    EXPECT_EQ(NumberOf(theMac.get(), u"RawLength"), static_cast<LONG>(theStream.size()));
    EXPECT_EQ(Script::BytesOf(theMac.get(), u"Data"), theGif);
    EXPECT_EQ(Script::BytesOf(theMac.get(), u"Resource"), AsText(theParts.resource));
    EXPECT_EQ(Script::BytesOf(theMac.get(), u"RawData"), theStream);
    EXPECT_EQ(TextOf(theMac.get(), u"FileType"), "GIF");
    EXPECT_EQ(TextOf(theMac.get(), u"RawFileType"), "");
    Script::Outcome theContent = Get(theMac.get(), u"Content");
    ASSERT_EQ(theContent.value.vt(), VT_BSTR);
    EXPECT_EQ(SysStringLen(V_BSTR(theContent.value.get())), theGif.size());   // zero bytes decoded too
    EXPECT_EQ(NumberOf(theMac.get(), u"ImageWidth"), 1);
    EXPECT_EQ(NumberOf(theMac.get(), u"ImageType"), ferGIF);

    ComPtr<IDispatch> theOther = Field(u"other");
    EXPECT_EQ(TruthOf(theOther.get(), u"MacBinary"), VARIANT_FALSE);
    EXPECT_EQ(Script::BytesOf(theOther.get(), u"Data"), theStream);
    EXPECT_EQ(Script::BytesOf(theOther.get(), u"Resource"), "");
    EXPECT_EQ(TextOf(theOther.get(), u"FileType"), "bin");
    EXPECT_EQ(NumberOf(theOther.get(), u"ImageType"), ferUnknown);
}

TEST_F(FieldTest, ImageIsAnalysedOnceAndFieldWithoutFormRefuses)
{
    Upload(UploadBody().File("pic", "a.gif", "image/gif", TinyGif()).Text());
    ComPtr<IDispatch> thePic = Field(u"pic");
    EXPECT_EQ(NumberOf(thePic.get(), u"ImageHeight"), 1);
    EXPECT_EQ(NumberOf(thePic.get(), u"ImageType"), ferGIF);
    // After Read replaces the upload the kept analysis still answers.
    Script::Put(mForm.get(), u"AbsolutePath", Script::Bool(true));
    UniqueVariant theMissing = Text(ferrolift::test::Wide(mPage->Physical("missing.body")));
    EXPECT_NE(Script::Run(mForm.get(), u"Read", {theMissing.get()}).hr, S_OK);
    EXPECT_EQ(NumberOf(thePic.get(), u"ImageType"), ferGIF);
    EXPECT_EQ(NumberOf(thePic.get(), u"Length"), 0);

    ComPtr<IDispatch> theLoose;
    ASSERT_EQ(XField::CreateInstance(nullptr, IID_IDispatch, theLoose.put_void()), S_OK);
    EXPECT_EQ(Get(theLoose.get(), u"Length").hr, E_POINTER);
    EXPECT_EQ(Get(theLoose.get(), u"Name").hr, E_POINTER);
}

}  // namespace

// A field's Save as a page uses it: virtual and physical paths, the overwrite rule, the
// failures a script sees, and MacBinary files unpacked into a file and its streams on a
// volume with user extended attributes.
#include "objects/XField.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/TestPage.h"
#include "common/MacBinaryBuilder.h"
#include "common/Script.h"
#include "common/UploadBody.h"
#include "common/ScratchMachine.h"

namespace {

using Script::Long;
using Script::Object;
using Script::Text;
using ferrolift::test::BuildMacBinary;
using ferrolift::test::MacBinaryParts;
using ferrolift::test::MakeResourceFork;
using ferrolift::test::TestPage;
using ferrolift::test::Wide;

constexpr const char* kResourceStream = "user.DosStream.AFP_Resource:$DATA";
constexpr const char* kInfoStream = "user.DosStream.AFP_AfpInfo:$DATA";
constexpr const char* kZoneStream = "user.DosStream.Zone.Identifier:$DATA";
constexpr const char* kZoneText = "[ZoneTransfer]\r\nZoneId=3\r\n";

std::string FileText(const std::string& inPath)
{
    std::ifstream theFile(inPath, std::ios::binary);
    std::ostringstream theText;
    theText << theFile.rdbuf();
    return theText.str();
}

/// The stream's bytes without the terminating zero the volume stores; "<none>" when absent.
std::string StreamOf(const std::string& inPath, const char* inName)
{
    char theBuffer[70000];
    const ssize_t theSize = getxattr(inPath.c_str(), inName, theBuffer, sizeof theBuffer);
    if (theSize <= 0)
        return "<none>";
    return std::string(theBuffer, static_cast<size_t>(theSize) - 1);
}

class SaveTest : public ::testing::Test {
protected:
    void Upload(const std::string& inBody)
    {
        // One page per thread at a time: the old one goes first.
        mForm.reset();
        mPage.reset();
        mPage = std::make_unique<TestPage>(inBody);
        mForm = Script::NewForm();
        ASSERT_GE(Script::NumberOf(mForm.get(), u"Count"), 0);
    }

    ComPtr<IDispatch> Field(const std::u16string& inName, LONG inValue = 1)
    {
        UniqueVariant theName = Text(inName);
        ComPtr<IDispatch> theFields = Object(mForm.get(), u"Item", {theName.get()});
        UniqueVariant theIndex = Long(inValue);
        return theFields ? Object(theFields.get(), u"Item", {theIndex.get()}) : nullptr;
    }

    Script::Outcome Save(IDispatch* inField, const std::string& inPath)
    {
        UniqueVariant thePath = Text(Wide(inPath));
        return Script::Run(inField, u"Save", {thePath.get()});
    }

    /// A MacBinary upload of a data fork and a resource fork of inResourceSize bytes.
    void UploadMac(size_t inResourceSize, const std::string& inType = "TEXT")
    {
        MacBinaryParts theParts;
        theParts.type = inType;
        theParts.creator = "ttxt";
        theParts.data.assign(3000, 'd');
        theParts.resource = MakeResourceFork(std::string(inResourceSize, 'r'));
        mResource.assign(theParts.resource.begin(), theParts.resource.end());
        const ferrolift::test::Bytes theStream = BuildMacBinary(theParts);
        Upload(UploadBody()
                   .File("mac", "Notes", "application/x-macbinary", std::string(theStream.begin(), theStream.end()))
                   .Text());
    }

    ScratchMachine mMachine;
    ferrolift::test::ScopedTempFolder mFolder;
    std::unique_ptr<TestPage> mPage;
    ComPtr<IDispatch> mForm;
    std::string mResource;
};

TEST_F(SaveTest, VirtualPathsAndTheOverwriteRule)
{
    Upload(UploadBody().File("f", "a.txt", "text/plain", "new data").Value("v", "x").Text());
    ComPtr<IDispatch> theField = Field(u"f");
    ASSERT_EQ(Save(theField.get(), "/a.txt").hr, S_OK);
    EXPECT_EQ(FileText(mPage->Physical("a.txt")), "new data");

    Script::Outcome theExists = Save(theField.get(), "/a.txt");
    EXPECT_EQ(theExists.hr, static_cast<HRESULT>(0x80040050));
    EXPECT_FALSE(theExists.description.empty());

    std::ofstream(mPage->Physical("long.txt")) << "a much longer old content";
    Script::Put(mForm.get(), u"Overwrite", Script::Bool(true));
    ASSERT_EQ(Save(theField.get(), "/long.txt").hr, S_OK);
    EXPECT_EQ(FileText(mPage->Physical("long.txt")), "new data");

    EXPECT_EQ(Save(theField.get(), "/no/such/folder/a.txt").hr, static_cast<HRESULT>(0x80040003));

    // A position beyond the group saves an empty file.
    ComPtr<IDispatch> theBeyond = Field(u"v", 5);
    ASSERT_EQ(Save(theBeyond.get(), "/empty.txt").hr, S_OK);
    EXPECT_EQ(FileText(mPage->Physical("empty.txt")), "");
}

TEST_F(SaveTest, PhysicalPathsAndFailedMapping)
{
    Upload(UploadBody().File("f", "a.txt", "text/plain", "bytes").Text());
    ComPtr<IDispatch> theField = Field(u"f");
    mPage->Server().SetMapPathResult(E_ACCESSDENIED);
    Script::Outcome theRefused = Save(theField.get(), "/a.txt");
    EXPECT_EQ(theRefused.hr, E_ACCESSDENIED);
    EXPECT_NE(theRefused.description.find("Unable to convert virtual to physical path"), std::string::npos);

    Script::Put(mForm.get(), u"AbsolutePath", Script::Bool(true));
    Script::Put(mForm.get(), u"CodePage", Long(65001));
    // Characters below 256 are taken as bytes of the form's code page.
    std::u16string theLatin1Utf8 = Wide(mPage->Root() + "/");
    for (unsigned char theByte : std::string("caf\xc3\xa9.txt"))
        theLatin1Utf8.push_back(theByte);
    UniqueVariant thePath = Text(theLatin1Utf8);
    ASSERT_EQ(Script::Run(theField.get(), u"Save", {thePath.get()}).hr, S_OK);
    EXPECT_EQ(FileText(mPage->Physical("caf\xc3\xa9.txt")), "bytes");
    // A character above U+00FF keeps the path as given.
    ASSERT_EQ(Save(theField.get(), mPage->Physical("\xe5\x86\x99.txt")).hr, S_OK);
    EXPECT_EQ(FileText(mPage->Physical("\xe5\x86\x99.txt")), "bytes");
    EXPECT_EQ(Save(theField.get(), "").hr, static_cast<HRESULT>(0x80040003));
}

TEST_F(SaveTest, WithoutAPageContextVirtualPathsCannotBeMapped)
{
    ferrolift::test::ScopedTempFolder theFolder;
    const std::string theBody = UploadBody().File("f", "a.txt", "text/plain", "bytes").Text();
    std::ofstream(theFolder / "body.txt", std::ios::binary) << theBody;
    mForm = Script::NewForm();
    Script::Put(mForm.get(), u"AbsolutePath", Script::Bool(true));
    UniqueVariant theBodyPath = Text(Wide(theFolder / "body.txt"));
    ASSERT_EQ(Script::Run(mForm.get(), u"Read", {theBodyPath.get()}).hr, S_OK);
    Script::Put(mForm.get(), u"AbsolutePath", Script::Bool(false));
    Script::Outcome theOutcome = Save(Field(u"f").get(), "/a.txt");
    EXPECT_EQ(theOutcome.hr, static_cast<HRESULT>(0x8004E004));
    EXPECT_NE(theOutcome.description.find("Unable to convert virtual to physical path"), std::string::npos);
}

TEST_F(SaveTest, MacBinaryWithoutStreamsKeepsOnlyTheDataFork)
{
    UploadMac(100);
    Script::Put(mForm.get(), u"Streams", Script::Bool(false));
    ASSERT_EQ(Save(Field(u"mac").get(), "/notes.txt").hr, S_OK);
    const std::string thePath = mPage->Physical("notes.txt");
    EXPECT_EQ(FileText(thePath), std::string(3000, 'd'));
    EXPECT_EQ(StreamOf(thePath, kResourceStream), "<none>");
    EXPECT_EQ(StreamOf(thePath, kInfoStream), "<none>");
}

TEST_F(SaveTest, MacBinaryWithStreamsWritesForksAndMergesFinderInformation)
{
    UploadMac(100);
    const std::string thePath = mFolder / "notes.txt";
    Script::Put(mForm.get(), u"AbsolutePath", Script::Bool(true));
    ASSERT_EQ(Save(Field(u"mac").get(), thePath).hr, S_OK);
    EXPECT_EQ(FileText(thePath), std::string(3000, 'd'));
    EXPECT_EQ(StreamOf(thePath, kResourceStream), mResource);
    std::string theInfo = StreamOf(thePath, kInfoStream);
    ASSERT_EQ(theInfo.size(), 60u);
    EXPECT_EQ(theInfo.substr(0, 4), std::string("AFP\0", 4));
    EXPECT_EQ(theInfo.substr(16, 8), "TEXTttxt");
    EXPECT_EQ(static_cast<unsigned char>(theInfo[24]), 0x00);   // 0x01 loses its low bits
    EXPECT_EQ(static_cast<unsigned char>(theInfo[25]), 0x20);

    // Finder bytes kept by someone else survive a second save over the file.
    for (size_t i = 26; i < 60; ++i)
        theInfo[i] = static_cast<char>(i);
    theInfo[8] = 'k';
    const std::string theStored = theInfo + '\0';
    ASSERT_EQ(setxattr(thePath.c_str(), kInfoStream, theStored.data(), theStored.size(), 0), 0);
    UploadMac(100, "PICT");
    Script::Put(mForm.get(), u"Overwrite", Script::Bool(true));
    Script::Put(mForm.get(), u"AbsolutePath", Script::Bool(true));
    ASSERT_EQ(Save(Field(u"mac").get(), thePath).hr, S_OK);
    const std::string theMerged = StreamOf(thePath, kInfoStream);
    ASSERT_EQ(theMerged.size(), 60u);
    EXPECT_EQ(theMerged.substr(0, 16), theInfo.substr(0, 16));
    EXPECT_EQ(theMerged.substr(16, 8), "PICTttxt");
    EXPECT_EQ(theMerged.substr(26), theInfo.substr(26));
}

TEST_F(SaveTest, ResourceForkBeyondOneAttributeStillSavesTheDataFork)
{
    UploadMac(70000);
    const std::string thePath = mPage->Physical("big.txt");
    // The information record written after the failed fork leaves success behind.
    EXPECT_EQ(Save(Field(u"mac").get(), "/big.txt").hr, S_OK);
    EXPECT_EQ(FileText(thePath), std::string(3000, 'd'));
    // The volume refused the fork: at most the empty stream that was opened is left.
    EXPECT_LE(StreamOf(thePath, kResourceStream).size(), 6u);
    EXPECT_EQ(StreamOf(thePath, kInfoStream).substr(0, 4), std::string("AFP\0", 4));
}

/// The names of the user extended attributes (the streams) of inPath, sorted.
std::vector<std::string> AttributesOf(const std::string& inPath)
{
    char theList[4096];
    const ssize_t theSize = listxattr(inPath.c_str(), theList, sizeof theList);
    std::vector<std::string> theNames;
    for (ssize_t i = 0; i < theSize; i += static_cast<ssize_t>(std::strlen(theList + i)) + 1) {
        if (std::strncmp(theList + i, "user.", 5) == 0)
            theNames.emplace_back(theList + i);
    }
    std::sort(theNames.begin(), theNames.end());
    return theNames;
}

TEST_F(SaveTest, EverySavedFileCarriesTheVisitorMarkButItsStreamsDoNot)
{
    Upload(UploadBody().File("f", "a.asp", "text/plain", "<% evil %>").Value("v", "x").Text());
    ASSERT_EQ(Save(Field(u"f").get(), "/a.asp").hr, S_OK);
    EXPECT_EQ(StreamOf(mPage->Physical("a.asp"), kZoneStream), kZoneText);
    ASSERT_EQ(Save(Field(u"v", 5).get(), "/empty.asp").hr, S_OK);   // an empty file too
    EXPECT_EQ(StreamOf(mPage->Physical("empty.asp"), kZoneStream), kZoneText);

    // A site page overwritten by an upload is marked from then on.
    std::ofstream(mPage->Physical("page.asp")) << "<% site code that is much longer %>";
    EXPECT_EQ(StreamOf(mPage->Physical("page.asp"), kZoneStream), "<none>");
    Script::Put(mForm.get(), u"Overwrite", Script::Bool(true));
    ASSERT_EQ(Save(Field(u"f").get(), "/page.asp").hr, S_OK);
    EXPECT_EQ(FileText(mPage->Physical("page.asp")), "<% evil %>");
    EXPECT_EQ(StreamOf(mPage->Physical("page.asp"), kZoneStream), kZoneText);

    // The raw body the form saves.
    UniqueVariant theRaw = Text(u"/raw.body");
    ASSERT_EQ(Script::Run(mForm.get(), u"Save", {theRaw.get()}).hr, S_OK);
    EXPECT_EQ(StreamOf(mPage->Physical("raw.body"), kZoneStream), kZoneText);

    // A MacBinary data fork is marked; its fork and Finder streams are data, not files.
    UploadMac(100);
    ASSERT_EQ(Save(Field(u"mac").get(), "/notes.txt").hr, S_OK);
    EXPECT_EQ(AttributesOf(mPage->Physical("notes.txt")),
              (std::vector<std::string>{kInfoStream, kResourceStream, kZoneStream}));
    EXPECT_EQ(StreamOf(mPage->Physical("notes.txt"), kZoneStream), kZoneText);
    Script::Put(mForm.get(), u"Streams", Script::Bool(false));
    ASSERT_EQ(Save(Field(u"mac").get(), "/plain.txt").hr, S_OK);
    EXPECT_EQ(AttributesOf(mPage->Physical("plain.txt")), (std::vector<std::string>{kZoneStream}));
}

TEST_F(SaveTest, ContentIsNeverWrittenWhenTheMarkCannotBe)
{
    Upload(UploadBody().File("f", "a.asp", "text/plain", "<% evil %>").Text());
    // Fill the file's attribute space so that the mark no longer fits.
    const std::string thePath = mPage->Physical("full.asp");
    std::ofstream(thePath) << "old content";
    int theFillers = 0;
    for (const size_t theSize : {65000, 16000, 4000, 1000, 250, 60, 16, 4, 1}) {
        const std::string theValue(theSize, 'f');
        while (theFillers < 1000 && setxattr(thePath.c_str(), ("user.f" + std::to_string(theFillers)).c_str(),
                                             theValue.data(), theValue.size(), XATTR_CREATE) == 0)
            ++theFillers;
    }
    if (setxattr(thePath.c_str(), kZoneStream, "x", 1, XATTR_CREATE) == 0)
        GTEST_SKIP() << "this volume has room for the mark beside " << theFillers << " attributes";

    Script::Put(mForm.get(), u"Overwrite", Script::Bool(true));
    const Script::Outcome theOutcome = Save(Field(u"f").get(), "/full.asp");
    EXPECT_TRUE(FAILED(theOutcome.hr));
    EXPECT_EQ(FileText(thePath), "old content");
    EXPECT_EQ(StreamOf(thePath, kZoneStream), "<none>");
}

TEST_F(SaveTest, VolumeWithoutStreamsSavesUnmarked)
{
    ferrolift::test::ScopedMount theRamfs("ramfs");
    if (!theRamfs.Mounted())
        GTEST_SKIP() << theRamfs.Failure();
    Upload(UploadBody().File("f", "a.txt", "text/plain", "bytes").Text());
    Script::Put(mForm.get(), u"AbsolutePath", Script::Bool(true));
    const std::string thePath = theRamfs.Path() + "/a.txt";
    ASSERT_EQ(Save(Field(u"f").get(), thePath).hr, S_OK);
    EXPECT_EQ(FileText(thePath), "bytes");
    EXPECT_EQ(StreamOf(thePath, kZoneStream), "<none>");
}

}  // namespace

// MacBinary streams as Macintosh browsers send them, and the ways they go wrong.
#include "decode/MacBinary.h"

#include <gtest/gtest.h>

#include "common/MacBinaryBuilder.h"
#include "common/TestFiles.h"
#include "decode/ImageInfo.h"

namespace {

using ferrolift::test::Bytes;
using ferrolift::test::BuildMacBinary;
using ferrolift::test::MacBinaryParts;
using ferrolift::test::MakeResourceFork;
using ferrolift::test::PutBigEndian32;

constexpr const WCHAR* kMacBinary = u"application/x-macbinary";

Bytes Filled(size_t inLength, unsigned char inFirst = 'd')
{
    Bytes theBytes(inLength);
    for (size_t i = 0; i < inLength; ++i)
        theBytes[i] = static_cast<unsigned char>(inFirst + i % 7);
    return theBytes;
}

bool IsMac(const Bytes& inStream, const WCHAR* inContentType = kMacBinary)
{
    return IsMacBinary(inContentType, inStream.data(), static_cast<LONG>(inStream.size()));
}

TEST(MacBinary, WellFormedStreamGivesItsForks)
{
    MacBinaryParts theParts;
    theParts.data = Filled(300);
    theParts.resource = MakeResourceFork("icon bits");
    const Bytes theStream = BuildMacBinary(theParts);
    ASSERT_TRUE(IsMac(theStream));
    const MacBinaryView theView(theStream.data(), static_cast<LONG>(theStream.size()));
    EXPECT_EQ(DataForkLength(theView), 300);
    EXPECT_EQ(ResourceForkLength(theView), static_cast<LONG>(theParts.resource.size()));
    EXPECT_EQ(theView.DataFork(), theStream.data() + 128);
    EXPECT_EQ(Bytes(theView.DataFork(), theView.DataFork() + 300), theParts.data);
    EXPECT_EQ(FindResourceFork(theView), theStream.data() + 512);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(theView.FileType()), 4), "TEXT");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(theView.FileCreator()), 4), "ttxt");
    EXPECT_EQ(theView.FinderFlagsHigh(), 0x01);
    EXPECT_EQ(theView.FinderFlagsLow(), 0x20);
}

TEST(MacBinary, ContentTypeMustMatchExactlyOrBeAbsent)
{
    MacBinaryParts theParts;
    theParts.data = Filled(10);
    theParts.resource = MakeResourceFork("r");
    const Bytes theStream = BuildMacBinary(theParts);
    EXPECT_TRUE(IsMac(theStream, nullptr));
    EXPECT_TRUE(IsMac(theStream, u""));
    EXPECT_FALSE(IsMac(theStream, u"Application/X-MacBinary"));
    EXPECT_FALSE(IsMac(theStream, u"application/octet-stream"));
    EXPECT_FALSE(IsMac(theStream, u"application/x-macbinary "));
    EXPECT_FALSE(IsMac(theStream, u"application/x-macbin"));
}

TEST(MacBinary, ForkWithoutFillerIsFoundByTheWindowSearch)
{
    MacBinaryParts theParts;
    theParts.data = Filled(1000);
    theParts.resource = MakeResourceFork("resource payload");
    theParts.pad = false;
    const Bytes theStream = BuildMacBinary(theParts);
    ASSERT_TRUE(IsMac(theStream));
    const MacBinaryView theView(theStream.data(), static_cast<LONG>(theStream.size()));
    EXPECT_EQ(FindResourceFork(theView), theStream.data() + 1128);
}

TEST(MacBinary, DamagedStreamsArePlainData)
{
    MacBinaryParts theParts;
    theParts.data = Filled(200);
    theParts.resource = MakeResourceFork("payload");
    const Bytes theGood = BuildMacBinary(theParts);
    ASSERT_TRUE(IsMac(theGood));

    Bytes theStream = theGood;
    PutBigEndian32(theStream, 83, 0x80000000u | 200);   // data fork length with the top bit
    EXPECT_FALSE(IsMac(theStream));
    theStream = theGood;
    PutBigEndian32(theStream, 87, 0xFFFFFFF0u);
    EXPECT_FALSE(IsMac(theStream));
    theStream = theGood;
    PutBigEndian32(theStream, 83, 0x7FFFFFF0u);   // data fork far past the end
    EXPECT_FALSE(IsMac(theStream));
    // Resource fork cut short: its header still matches, its end lies past the bytes.
    const size_t theForkEnd = 128 + 256 + theParts.resource.size();
    theStream.assign(theGood.begin(), theGood.begin() + static_cast<long>(theForkEnd) - 1);
    EXPECT_FALSE(IsMac(theStream));
    theStream.assign(theGood.begin(), theGood.begin() + static_cast<long>(theForkEnd));
    EXPECT_TRUE(IsMac(theStream));
    // Fewer than 128 bytes, whatever the content type.
    theStream.assign(theGood.begin(), theGood.begin() + 127);
    EXPECT_FALSE(IsMac(theStream));
    EXPECT_FALSE(IsMac(theStream, nullptr));
    EXPECT_FALSE(IsMacBinary(nullptr, nullptr, 0));
}

TEST(MacBinary, EmptyResourceForkIsNotMacBinary)
{
    MacBinaryParts theParts;
    theParts.data = Filled(64);
    EXPECT_FALSE(IsMac(BuildMacBinary(theParts)));
}

TEST(MacBinary, ResourceForkHeaderRules)
{
    Bytes theHeader(16, 0);
    const auto Set = [&](uint32_t inDataOffset, uint32_t inMapOffset, uint32_t inDataLength, uint32_t inMapLength) {
        PutBigEndian32(theHeader, 0, inDataOffset);
        PutBigEndian32(theHeader, 4, inMapOffset);
        PutBigEndian32(theHeader, 8, inDataLength);
        PutBigEndian32(theHeader, 12, inMapLength);
    };
    Set(256, 300, 44, 30);
    EXPECT_TRUE(IsResourceForkHeader(theHeader.data(), 330));
    EXPECT_FALSE(IsResourceForkHeader(theHeader.data(), 331));
    Set(256, 300, 45, 30);   // data runs into the map
    EXPECT_FALSE(IsResourceForkHeader(theHeader.data(), 330));
    Set(100, 16, 50, 84);    // map first, data last
    EXPECT_TRUE(IsResourceForkHeader(theHeader.data(), 150));
    Set(8, 16, 0, 0);        // offsets inside the header
    EXPECT_FALSE(IsResourceForkHeader(theHeader.data(), 16));
    Set(16, 16, 0, 0);
    EXPECT_TRUE(IsResourceForkHeader(theHeader.data(), 16));
    EXPECT_FALSE(IsResourceForkHeader(theHeader.data(), 15));
}

TEST(MacBinary, ImageDetectionRunsOnTheDataFork)
{
    if (!ferrolift::test::HaveTool("convert"))
        GTEST_SKIP() << "ImageMagick is not installed";
    ferrolift::test::ScratchFolder theFolder;
    ASSERT_TRUE(ferrolift::test::RunCommand("convert -size 90x45 -seed 1 plasma:fractal '" + theFolder / "p.jpg" + "'"));
    MacBinaryParts theParts;
    theParts.type = "JPEG";
    theParts.data = ferrolift::test::ReadFileBytes(theFolder / "p.jpg");
    theParts.resource = MakeResourceFork("preview");
    const Bytes theStream = BuildMacBinary(theParts);
    ASSERT_TRUE(IsMac(theStream));
    const MacBinaryView theView(theStream.data(), static_cast<LONG>(theStream.size()));
    ImageInfo theInfo;
    DetectImage(theInfo, theView.DataFork(), static_cast<DWORD>(DataForkLength(theView)));
    EXPECT_EQ(theInfo.type, ferJPEG);
    EXPECT_EQ(theInfo.width, 90);
    DetectImage(theInfo, theStream.data(), static_cast<DWORD>(theStream.size()));
    EXPECT_EQ(theInfo.type, ferUnknown);
}

} // namespace

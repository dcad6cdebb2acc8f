// Image kind and size of files made by real encoders, checked against what ImageMagick's
// identify reports, and of damaged files made from them.
#include "decode/ImageInfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestFiles.h"

namespace {

using ferrolift::test::HaveTool;
using ferrolift::test::IdentifySize;
using ferrolift::test::ReadFileBytes;

using ferrolift::test::ScratchFolder;

ImageInfo Detect(const std::vector<unsigned char>& inBytes)
{
    ImageInfo theInfo;
    DetectImage(theInfo, inBytes.data(), static_cast<DWORD>(inBytes.size()));
    EXPECT_TRUE(theInfo.computed);
    return theInfo;
}

std::string SizeText(const ImageInfo& inInfo)
{
    return std::to_string(inInfo.width) + " " + std::to_string(inInfo.height);
}

class EncodedImages : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveTool("convert") || !HaveTool("identify"))
            GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
    }

    /// Makes inName with "convert <inArguments> [FORMAT:]<path>"; inName may carry an
    /// ImageMagick format prefix ("BMP3:v3.bmp"). Empty when the encoder failed.
    std::vector<unsigned char> Make(const std::string& inArguments, const std::string& inName)
    {
        const size_t theColon = inName.find(':');
        const std::string theFormat = theColon == std::string::npos ? "" : inName.substr(0, theColon + 1);
        const std::string thePath = mFolder / FileName(inName);
        EXPECT_TRUE(ferrolift::test::RunCommand("convert " + inArguments + " '" + theFormat + thePath + "'")) << inArguments;
        return ReadFileBytes(thePath);
    }

    /// inName without its format prefix.
    static std::string FileName(const std::string& inName) { return inName.substr(inName.find(':') + 1); }

    ScratchFolder mFolder;
};

TEST_F(EncodedImages, JpegKindsAndSizesMatchIdentify)
{
    const struct {
        const char* arguments;
        const char* name;
        ferImageType type;
    } theCases[] = {
        {"-size 640x480 -seed 1 plasma:fractal", "baseline.jpg", ferJPEG},
        {"-size 333x77 -seed 2 plasma:fractal -interlace JPEG", "progressive.jpg", ferJPEG},
        {"-size 120x90 gradient: -colorspace Gray", "gray.jpg", ferJPEGgray},
        {"-size 121x91 gradient: -colorspace Gray -interlace JPEG", "grayprog.jpg", ferJPEGgray},
        {"-size 64x48 -seed 3 plasma:fractal -colorspace CMYK", "cmyk.jpg", ferJPEGcmyk},
        {"-size 65x49 -seed 4 plasma:fractal -colorspace CMYK -interlace JPEG", "cmykprog.jpg", ferJPEGcmyk},
        {"-size 50x40 -seed 5 plasma:fractal -set comment 'made for a test'", "comment.jpg", ferJPEG},
        {"-size 4000x3 xc:orange -quality 100", "wide.jpg", ferJPEG},
    };
    for (const auto& theCase : theCases) {
        const std::vector<unsigned char> theBytes = Make(theCase.arguments, theCase.name);
        const ImageInfo theInfo = Detect(theBytes);
        EXPECT_EQ(theInfo.type, theCase.type) << theCase.name;
        EXPECT_EQ(SizeText(theInfo), IdentifySize(mFolder / theCase.name)) << theCase.name;
    }
}

TEST_F(EncodedImages, RestartMarkersInsideScansDoNotEndTheWalk)
{
    if (!HaveTool("cjpeg"))
        GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    const std::string thePath = mFolder / "restart.jpg";
    ASSERT_TRUE(ferrolift::test::RunCommand("convert -size 97x61 -seed 6 plasma:fractal ppm:- | cjpeg -restart 1 > '" + thePath + "'"));
    ASSERT_TRUE(ferrolift::test::RunCommand("convert -size 97x61 -seed 6 plasma:fractal ppm:- | cjpeg -restart 1 -progressive > '" +
                    mFolder / "restartprog.jpg" + "'"));
    for (const std::string& theName : {std::string("restart.jpg"), std::string("restartprog.jpg")}) {
        const ImageInfo theInfo = Detect(ReadFileBytes(mFolder / theName));
        EXPECT_EQ(theInfo.type, ferJPEG) << theName;
        EXPECT_EQ(SizeText(theInfo), "97 61") << theName;
    }
}

TEST_F(EncodedImages, GifPngBmpByHeader)
{
    const struct {
        const char* arguments;
        const char* name;
        ferImageType type;
    } theCases[] = {
        {"-size 31x17 xc:red", "GIF87:old.gif", ferGIF},
        {"-size 32x18 xc:red", "GIF:new.gif", ferGIF},
        {"-size 300x200 gradient:", "PNG:image.png", ferPNG},
        {"-size 100x50 xc:blue", "BMP3:v3.bmp", ferBMP},
        {"-size 101x51 xc:blue", "BMP2:core.bmp", ferBMP},
        {"-size 102x52 xc:blue", "BMP:v5.bmp", ferBMP},
    };
    for (const auto& theCase : theCases) {
        const std::vector<unsigned char> theBytes = Make(theCase.arguments, theCase.name);
        const ImageInfo theInfo = Detect(theBytes);
        EXPECT_EQ(theInfo.type, theCase.type) << theCase.name;
        EXPECT_EQ(SizeText(theInfo), IdentifySize(mFolder / FileName(theCase.name))) << theCase.name;
    }
    // Both signatures really were written.
    EXPECT_EQ(ReadFileBytes(mFolder / "old.gif")[4], '7');
    EXPECT_EQ(ReadFileBytes(mFolder / "new.gif")[4], '9');
    // The core header really is the 12-byte one, so its 16-bit fields were used.
    EXPECT_EQ(ReadFileBytes(mFolder / "core.bmp")[14], 12);
}

TEST_F(EncodedImages, TopDownBitmapIsNotRecognised)
{
    std::vector<unsigned char> theBytes = Make("-size 100x50 xc:blue", "BMP3:bottomup.bmp");
    ASSERT_GE(theBytes.size(), 26u);
    // Same pixels stored top-down: the height becomes -50.
    const uint32_t theHeight = static_cast<uint32_t>(-50);
    for (int i = 0; i < 4; ++i)
        theBytes[22 + i] = static_cast<unsigned char>(theHeight >> (8 * i));
    const ImageInfo theInfo = Detect(theBytes);
    EXPECT_EQ(theInfo.type, ferUnknown);
    EXPECT_EQ(SizeText(theInfo), "0 0");
}

TEST_F(EncodedImages, DamagedJpegKeepsItsFrameSize)
{
    const std::vector<unsigned char> theWhole = Make("-size 640x480 -seed 7 plasma:fractal", "cut.jpg");
    ASSERT_GT(theWhole.size(), 1000u);
    const std::vector<unsigned char> theCut(theWhole.begin(), theWhole.end() - 200);
    ImageInfo theInfo = Detect(theCut);
    EXPECT_EQ(theInfo.type, ferUnknown);
    EXPECT_EQ(SizeText(theInfo), "640 480");
    // Fill bytes before the start-of-image marker: not a JPEG at all.
    std::vector<unsigned char> thePadded = {0xFF};
    thePadded.insert(thePadded.end(), theWhole.begin(), theWhole.end());
    theInfo = Detect(thePadded);
    EXPECT_EQ(theInfo.type, ferUnknown);
    EXPECT_EQ(SizeText(theInfo), "0 0");
    // Every prefix of a real file stays inside its bytes and never claims a JPEG.
    for (size_t theLength = 0; theLength < 700; theLength += 7) {
        const std::vector<unsigned char> thePrefix(theWhole.begin(), theWhole.begin() + theLength);
        EXPECT_EQ(Detect(thePrefix).type, ferUnknown) << theLength;
    }
}

TEST(HeaderRules, ShortAndZeroSizedHeaders)
{
    EXPECT_EQ(SizeText(Detect({})), "0 0");
    ImageInfo theInfo;
    DetectImage(theInfo, nullptr, 0);
    EXPECT_TRUE(theInfo.computed);
    EXPECT_EQ(theInfo.type, ferUnknown);
    // GIF with width 0 falls through every test.
    std::vector<unsigned char> theGif = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 5, 0, 0, 0, 0, 0};
    EXPECT_EQ(Detect(theGif).type, ferUnknown);
    theGif[6] = 7;
    EXPECT_EQ(SizeText(Detect(theGif)), "7 5");
    theGif.pop_back();
    EXPECT_EQ(Detect(theGif).type, ferUnknown);   // 13 bytes
    // A PNG signature with a 23-byte header is not PNG; at 24 bytes the fields are read.
    std::vector<unsigned char> thePng = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H',
                                         'D',  'R', 0,   0,   1,    0,    0,    0,    0};
    EXPECT_EQ(Detect(thePng).type, ferUnknown);
    thePng.push_back(2);
    EXPECT_EQ(SizeText(Detect(thePng)), "256 2");
    EXPECT_EQ(Detect(thePng).type, ferPNG);
}

} // namespace

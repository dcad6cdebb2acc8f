// The JPEG marker walk on hand-made streams: the shapes encoders never write (two
// components, bad lengths, cut-off data), its failure messages and its trace.
#include "decode/JpegReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/ImageInfo.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes operator+(Bytes inLeft, const Bytes& inRight)
{
    inLeft.insert(inLeft.end(), inRight.begin(), inRight.end());
    return inLeft;
}

const Bytes kStart = {0xFF, 0xD8};
const Bytes kEnd = {0xFF, 0xD9};

/// A frame header (SOF0 unless inMarker says otherwise) of inComponents components.
Bytes Frame(int inWidth, int inHeight, int inComponents, int inMarker = 0xC0, int inLengthDelta = 0)
{
    const int theLength = 8 + 3 * inComponents + inLengthDelta;
    Bytes theFrame = {0xFF,
                      static_cast<unsigned char>(inMarker),
                      static_cast<unsigned char>(theLength >> 8),
                      static_cast<unsigned char>(theLength),
                      8,
                      static_cast<unsigned char>(inHeight >> 8),
                      static_cast<unsigned char>(inHeight),
                      static_cast<unsigned char>(inWidth >> 8),
                      static_cast<unsigned char>(inWidth),
                      static_cast<unsigned char>(inComponents)};
    for (int i = 0; i < inComponents; ++i)
        theFrame = theFrame + Bytes{static_cast<unsigned char>(i + 1), 0x11, 0};
    return theFrame;
}

/// A scan header of one component followed by inData as entropy-coded data.
Bytes Scan(const Bytes& inData, int inLengthDelta = 0)
{
    const int theLength = 8 + inLengthDelta;
    return Bytes{0xFF, 0xDA, 0, static_cast<unsigned char>(theLength), 1, 1, 0, 0, 63, 0} + inData;
}

struct WalkResult {
    bool complete;
    std::string error;
    LONG width;
    LONG height;
    LONG components;
};

WalkResult Walk(const Bytes& inBytes)
{
    JpegMemoryReader theReader;
    const bool theComplete = theReader.Parse(inBytes.data(), static_cast<DWORD>(inBytes.size()));
    return {theComplete, theReader.ErrorText(), theReader.Width(), theReader.Height(), theReader.Components()};
}

TEST(JpegWalk, ComponentCountDecidesTheKind)
{
    const Bytes theTwo = kStart + Frame(320, 200, 2) + Scan({1, 2, 3}) + kEnd;
    const WalkResult theWalk = Walk(theTwo);
    EXPECT_TRUE(theWalk.complete);
    EXPECT_EQ(theWalk.components, 2);
    ImageInfo theInfo;
    DetectImage(theInfo, theTwo.data(), static_cast<DWORD>(theTwo.size()));
    EXPECT_EQ(theInfo.type, ferUnknown);
    EXPECT_EQ(theInfo.width, 320);
    EXPECT_EQ(theInfo.height, 200);
    // The last frame header wins.
    const Bytes theTwice = kStart + Frame(1, 2, 1) + Frame(3, 4, 3, 0xC2) + kEnd;
    DetectImage(theInfo, theTwice.data(), static_cast<DWORD>(theTwice.size()));
    EXPECT_EQ(theInfo.type, ferJPEG);
    EXPECT_EQ(theInfo.width, 3);
}

TEST(JpegWalk, EntropyDataIsPassedOverUpToTheRealMarker)
{
    // Stuffed FF 00, fill FFs before a marker, restart markers and a reserved marker 01.
    const Bytes theData = {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xFF, 0xD0, 0x56, 0xFF, 0x00, 0xFF, 0xD7, 0x78};
    const Bytes theBytes = kStart + Bytes{0xFF, 0x01} + Frame(8, 8, 3) + Scan(theData) + kEnd;
    EXPECT_TRUE(Walk(theBytes).complete);
    // Outside a scan, FF 00 is a marker of its own with a length.
    const Bytes theZero = kStart + Bytes{0xFF, 0x00, 0x00, 0x04, 0xAA, 0xBB} + Frame(8, 8, 1) + kEnd;
    EXPECT_TRUE(Walk(theZero).complete);
    // Segments skip by their length, so marker bytes inside them are not seen.
    const Bytes theHidden = kStart + Bytes{0xFF, 0xE1, 0x00, 0x06, 0xFF, 0xD9, 0xFF, 0xD9} + Frame(9, 9, 3) + kEnd;
    EXPECT_EQ(Walk(theHidden).width, 9);
}

TEST(JpegWalk, FailuresStoreTheirMessage)
{
    const struct {
        const char* what;
        Bytes bytes;
        const char* message;
    } theCases[] = {
        {"empty", {}, "No JPEG provided"},
        {"no SOI", Bytes{0x00, 0xFF, 0xD8} + kEnd, "JPEG header missing"},
        {"one byte", {0xFF}, "JPEG header missing"},
        {"DQT length 1", kStart + Bytes{0xFF, 0xDB, 0x00, 0x01}, "Bad JPEG marker length"},
        {"comment length 0", kStart + Bytes{0xFF, 0xFE, 0x00, 0x00}, "Bad JPEG marker length"},
        {"SOF length", kStart + Frame(5, 6, 3, 0xC0, 1) + kEnd, "Bad SOF marker length"},
        {"SOS length", kStart + Frame(5, 6, 3) + Scan({}, 2) + kEnd, "Bad SOS marker length"},
        {"segment past end", kStart + Bytes{0xFF, 0xDB, 0x10, 0x00, 1, 2}, "JPEG file too short"},
        {"no EOI", kStart + Frame(5, 6, 3) + Scan({1, 2, 3}), "JPEG file too short"},
        {"cut length", kStart + Bytes{0xFF, 0xDB, 0x00}, "JPEG file too short"},
        {"cut frame", kStart + Bytes{0xFF, 0xC0, 0x00, 0x11, 8, 0}, "JPEG file too short"},
    };
    for (const auto& theCase : theCases) {
        const WalkResult theWalk = Walk(theCase.bytes);
        EXPECT_FALSE(theWalk.complete) << theCase.what;
        EXPECT_EQ(theWalk.error, theCase.message) << theCase.what;
    }
    // Values read before the failure stay.
    const WalkResult theWalk = Walk(kStart + Frame(5, 6, 3, 0xC0, 1) + kEnd);
    EXPECT_EQ(theWalk.width, 5);
    EXPECT_EQ(theWalk.height, 6);
}

TEST(JpegWalk, FrameHeaderCutShortReportsNoMixOfTwoFrames)
{
    // Cut after the height, inside the width, and before the component count.
    const Bytes theCuts[] = {{0xFF, 0xC2, 0x00, 0x11, 8, 0x00, 0x09},
                             {0xFF, 0xC2, 0x00, 0x11, 8, 0x00, 0x09, 0x00},
                             {0xFF, 0xC2, 0x00, 0x11, 8, 0x00, 0x09, 0x00, 0x07}};
    for (const Bytes& theCut : theCuts) {
        const WalkResult theAfterFrame = Walk(kStart + Frame(3, 4, 1) + theCut);
        EXPECT_EQ(theAfterFrame.error, "JPEG file too short");
        EXPECT_EQ(theAfterFrame.width, 3) << theCut.size();
        EXPECT_EQ(theAfterFrame.height, 4) << theCut.size();
        EXPECT_EQ(theAfterFrame.components, 1) << theCut.size();
        const WalkResult theAlone = Walk(kStart + theCut);
        EXPECT_EQ(theAlone.width, 0) << theCut.size();
        EXPECT_EQ(theAlone.height, 0) << theCut.size();
        EXPECT_EQ(theAlone.components, 0) << theCut.size();
    }
    // Once the component count is read, the new frame's values are kept whole.
    const WalkResult theCounted = Walk(kStart + Frame(3, 4, 1) + Bytes{0xFF, 0xC2, 0x00, 0x11, 8, 0, 9, 0, 7, 3});
    EXPECT_EQ(theCounted.width, 7);
    EXPECT_EQ(theCounted.height, 9);
    EXPECT_EQ(theCounted.components, 3);
}

/// A memory reader that records its trace lines instead of printing them.
class TracingReader : public JpegMemoryReader {
public:
    std::vector<std::string> lines;

protected:
    void Trace(const char* inText) override { lines.emplace_back(inText); }
};

TEST(JpegWalk, TraceNamesSegmentsAndFrameValues)
{
    const Bytes theComment = {0xFF, 0xFE, 0x00, 0x07, 'h', 'e', 'l', 'l', 'o'};
    const Bytes theBytes = kStart + theComment + Frame(2, 1, 3, 0xC2) + Bytes{0xFF, 0xC4, 0x00, 0x02} + kEnd;
    TracingReader theReader;
    theReader.SetTrace(true);
    ASSERT_TRUE(theReader.Parse(theBytes.data(), static_cast<DWORD>(theBytes.size())));
    const std::vector<std::string> theExpected = {
        "Comment", "hello", "Start of Frame", "JPEG image: 2 by 1, 3 components, 8 bits per sample",
        "JPEG Process: Progressive", "DHT", "Length = 2", "End of Image"};
    EXPECT_EQ(theReader.lines, theExpected);
}

} // namespace

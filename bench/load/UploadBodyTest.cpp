// The slow-upload client reports how many uploads a server saved intact; these tests make
// sure that figure can be trusted: the body is one well-formed multipart body however it
// is read, and the check refuses any file that differs from what was sent.
#include "UploadBody.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string WholeBody(const UploadBody& inBody, size_t inPiece)
{
    std::string theText;
    std::string theBuffer(inPiece, '\0');
    for (size_t theOffset = 0;;) {
        const size_t theCount = inBody.Read(theOffset, theBuffer.data(), inPiece);
        if (theCount == 0)
            return theText;
        theText.append(theBuffer, 0, theCount);
        theOffset += theCount;
    }
}

std::string FileBytes(int inNumber, size_t inSize)
{
    std::string theBytes;
    for (size_t i = 0; i < inSize; ++i)
        theBytes.push_back(static_cast<char>(UploadBody::FileByte(inNumber, i)));
    return theBytes;
}

class SavedFile {
public:
    explicit SavedFile(const std::string& inBytes)
    {
        char theName[] = "/tmp/upload-body-test-XXXXXX";
        const int theFd = ::mkstemp(theName);
        ::close(theFd);
        mPath = theName;
        std::ofstream(mPath, std::ios::binary) << inBytes;
    }
    ~SavedFile() { std::remove(mPath.c_str()); }
    const std::string& Path() const { return mPath; }

private:
    std::string mPath;
};

TEST(UploadBody, ReadsTheSameBytesInAnyPieceSize)
{
    const UploadBody theBody(3, 70001);
    const std::string theWhole = WholeBody(theBody, theBody.Size() + 10);
    ASSERT_EQ(theWhole.size(), theBody.Size());
    for (size_t thePiece : {1u, 7u, 4096u, 16384u})
        EXPECT_EQ(WholeBody(theBody, thePiece), theWhole) << "piece " << thePiece;
    EXPECT_EQ(theBody.Read(theBody.Size(), nullptr, 100), 0u);
}

TEST(UploadBody, IsMultipartWithTwoTextFieldsAndTheFile)
{
    const UploadBody theBody(41, 10000);
    const std::string theText = WholeBody(theBody, 999);
    const std::string theType = theBody.ContentType();
    const std::string theDivider = "--" + theType.substr(theType.find("boundary=") + 9);
    EXPECT_EQ(theText.rfind(theDivider + "\r\n", 0), 0u);
    EXPECT_NE(theText.find("name=\"title\"\r\n\r\nUpload number 41\r\n"), std::string::npos);
    EXPECT_NE(theText.find("name=\"note\"\r\n\r\n"), std::string::npos);
    const size_t theFileStart = theText.find("Content-Type: application/octet-stream\r\n\r\n") + 42;
    const size_t theFileEnd = theText.size() - (theDivider.size() + 6);
    EXPECT_EQ(theText.substr(theFileEnd), "\r\n" + theDivider + "--\r\n");
    EXPECT_EQ(theText.substr(theFileStart, theFileEnd - theFileStart), FileBytes(41, 10000));
}

TEST(UploadBody, FilesOfDifferentUploadsDiffer)
{
    EXPECT_NE(FileBytes(1, 4096), FileBytes(2, 4096));
    // Not one repeated block: a server that saved one block over and over must not pass.
    const std::string theBytes = FileBytes(5, 4096);
    EXPECT_NE(theBytes.substr(0, 2048), theBytes.substr(2048));
}

TEST(UploadBody, MatchesOnlyTheExactFile)
{
    const UploadBody theBody(9, 200000);
    const std::string theGood = FileBytes(9, 200000);
    EXPECT_TRUE(theBody.MatchesFile(SavedFile(theGood).Path()));

    std::string theFlipped = theGood;
    theFlipped[123457] ^= 0x01;
    EXPECT_FALSE(theBody.MatchesFile(SavedFile(theFlipped).Path()));
    EXPECT_FALSE(theBody.MatchesFile(SavedFile(theGood.substr(0, theGood.size() - 1)).Path()));
    EXPECT_FALSE(theBody.MatchesFile(SavedFile(theGood + "x").Path()));
    EXPECT_FALSE(theBody.MatchesFile(SavedFile(FileBytes(10, 200000)).Path()));
    EXPECT_FALSE(theBody.MatchesFile("/nonexistent/slow-9.bin"));
}

TEST(UploadBody, EmptyFileMatchesAnEmptySavedFile)
{
    const UploadBody theBody(0, 0);
    EXPECT_TRUE(theBody.MatchesFile(SavedFile("").Path()));
    EXPECT_FALSE(theBody.MatchesFile(SavedFile("a").Path()));
}

}  // namespace

// UploadBody: the multipart body of one benchmark upload, made on demand.
//
// Two short text fields and a file whose bytes follow from the upload's number, so a
// thousand 400 KB uploads need no memory of their own and a saved copy can be checked
// byte for byte afterwards.
//
//   UploadBody theBody(7, 409600);
//   std::string theHead = "Content-Type: " + theBody.ContentType() + "\r\n";
//   char theBuffer[4096];
//   size_t theCount = theBody.Read(0, theBuffer, sizeof theBuffer);
//   bool theIntact = theBody.MatchesFile("site/uploads/slow-7.bin");
#pragma once

#include <cstddef>
#include <string>

class UploadBody {
public:
    UploadBody(int inNumber, size_t inFileSize);

    // Value of the Content-Type request header, with the divider.
    std::string ContentType() const;
    size_t Size() const { return mHead.size() + mFileSize + mTail.size(); }
    size_t FileSize() const { return mFileSize; }

    // Copies up to inCount body bytes from inOffset into outBuffer; returns how many.
    size_t Read(size_t inOffset, char* outBuffer, size_t inCount) const;

    // True when the file at inPath holds exactly this upload's file bytes.
    bool MatchesFile(const std::string& inPath) const;

    // The file's byte at inPosition for upload inNumber.
    static unsigned char FileByte(int inNumber, size_t inPosition);

private:
    int mNumber;
    size_t mFileSize;
    std::string mHead;   // text fields and the file part's headers
    std::string mTail;   // CR LF, closing divider
};

// UploadBody.cpp: see UploadBody.h.
#include "UploadBody.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <vector>

namespace {

// Random bytes cannot contain this line by chance in any useful lifetime.
constexpr const char* kDivider = "----FerroliftLoadBench5f0c2a9e";

uint64_t Mix(uint64_t inValue)
{
    // splitmix64 finaliser: every input bit reaches every output bit.
    inValue += 0x9E3779B97F4A7C15ull;
    inValue = (inValue ^ (inValue >> 30)) * 0xBF58476D1CE4E5B9ull;
    inValue = (inValue ^ (inValue >> 27)) * 0x94D049BB133111EBull;
    return inValue ^ (inValue >> 31);
}

}  // namespace

UploadBody::UploadBody(int inNumber, size_t inFileSize) : mNumber(inNumber), mFileSize(inFileSize)
{
    const std::string theDivider = std::string("--") + kDivider;
    mHead = theDivider + "\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nUpload number " +
            std::to_string(inNumber) + "\r\n" + theDivider +
            "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nA slow upload from the load benchmark; "
            "its bytes follow from its number.\r\n" +
            theDivider + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"upload-" +
            std::to_string(inNumber) + ".bin\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    mTail = "\r\n" + theDivider + "--\r\n";
}

std::string UploadBody::ContentType() const
{
    return std::string("multipart/form-data; boundary=") + kDivider;
}

unsigned char UploadBody::FileByte(int inNumber, size_t inPosition)
{
    const uint64_t theWord = Mix((static_cast<uint64_t>(inNumber) << 40) ^ (inPosition / 8));
    return static_cast<unsigned char>(theWord >> (8 * (inPosition % 8)));
}

size_t UploadBody::Read(size_t inOffset, char* outBuffer, size_t inCount) const
{
    size_t theCopied = 0;
    while (theCopied < inCount && inOffset < Size()) {
        if (inOffset < mHead.size()) {
            const size_t theTake = std::min(inCount - theCopied, mHead.size() - inOffset);
            std::copy_n(mHead.data() + inOffset, theTake, outBuffer + theCopied);
            theCopied += theTake;
            inOffset += theTake;
        } else if (inOffset < mHead.size() + mFileSize) {
            const size_t thePosition = inOffset - mHead.size();
            const size_t theTake = std::min(inCount - theCopied, mFileSize - thePosition);
            for (size_t i = 0; i < theTake; ++i)
                outBuffer[theCopied + i] = static_cast<char>(FileByte(mNumber, thePosition + i));
            theCopied += theTake;
            inOffset += theTake;
        } else {
            const size_t thePosition = inOffset - mHead.size() - mFileSize;
            const size_t theTake = std::min(inCount - theCopied, mTail.size() - thePosition);
            std::copy_n(mTail.data() + thePosition, theTake, outBuffer + theCopied);
            theCopied += theTake;
            inOffset += theTake;
        }
    }
    return theCopied;
}

bool UploadBody::MatchesFile(const std::string& inPath) const
{
    std::ifstream theFile(inPath, std::ios::binary);
    if (!theFile)
        return false;
    std::vector<char> theBuffer(65536);
    size_t thePosition = 0;
    while (theFile) {
        theFile.read(theBuffer.data(), static_cast<std::streamsize>(theBuffer.size()));
        const size_t theCount = static_cast<size_t>(theFile.gcount());
        if (thePosition + theCount > mFileSize)
            return false;
        for (size_t i = 0; i < theCount; ++i) {
            if (static_cast<unsigned char>(theBuffer[i]) != FileByte(mNumber, thePosition + i))
                return false;
        }
        thePosition += theCount;
    }
    return thePosition == mFileSize;
}

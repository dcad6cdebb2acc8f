// The wide search must agree with a plain search at every alignment and length, where a
// wrong loop bound would read past the buffer or miss a match in the last block.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/ByteScan.h"

namespace {

const char* PlainSearch(const char* inText, size_t inLength, const std::string& inPattern)
{
    for (size_t i = 0; i + inPattern.size() <= inLength; ++i)
        if (std::memcmp(inText + i, inPattern.data(), inPattern.size()) == 0)
            return inText + i;
    return nullptr;
}

// The text sits at the very end of its allocation, so ASan catches any read past it.
struct TightBuffer {
    explicit TightBuffer(const std::string& inText) : mBytes(inText.begin(), inText.end()) {}
    const char* data() const { return mBytes.data(); }
    size_t size() const { return mBytes.size(); }
    std::vector<char> mBytes;
};

TEST(ByteScan, AgreesWithPlainSearchOnEveryPlacement)
{
    const std::string thePatterns[] = {"\r\n", "--", "\r\n--x", "-a-",
                                       std::string("\0\0\1", 3), "--------------------------abcdef"};
    for (const std::string& thePattern : thePatterns) {
        for (size_t theLength : {0u, 1u, 2u, 15u, 16u, 17u, 31u, 32u, 63u, 64u, 65u, 97u, 130u, 300u}) {
            for (size_t thePlace = 0; thePlace <= theLength; ++thePlace) {
                std::string theText(theLength, 'x');
                // Near misses all over: the first and last bytes agree, the middle does not.
                for (size_t i = 0; i + thePattern.size() <= theLength; i += 7) {
                    theText[i] = thePattern.front();
                    theText[i + thePattern.size() - 1] = thePattern.back();
                }
                if (thePlace + thePattern.size() <= theLength)
                    theText.replace(thePlace, thePattern.size(), thePattern);
                TightBuffer theBuffer(theText);
                const char* theExpected = PlainSearch(theBuffer.data(), theBuffer.size(), thePattern);
                ASSERT_EQ(ScanBytes(theBuffer.data(), theBuffer.size(), thePattern.data(), thePattern.size()),
                          theExpected)
                    << "pattern of " << thePattern.size() << " bytes, text of " << theLength << ", placed at "
                    << thePlace;
            }
        }
    }
}

TEST(ByteScan, AgreesWithPlainSearchOnRandomText)
{
    // A four-letter alphabet makes partial matches frequent at every offset.
    std::mt19937 theRandom(7);
    for (int theRound = 0; theRound < 2000; ++theRound) {
        std::string theText(theRandom() % 400, ' ');
        for (char& c : theText)
            c = "ab-\r"[theRandom() % 4];
        std::string thePattern(1 + theRandom() % 6, ' ');
        for (char& c : thePattern)
            c = "ab-\r"[theRandom() % 4];
        TightBuffer theBuffer(theText);
        ASSERT_EQ(ScanBytes(theBuffer.data(), theBuffer.size(), thePattern.data(), thePattern.size()),
                  PlainSearch(theBuffer.data(), theBuffer.size(), thePattern))
            << "text '" << theText << "' pattern '" << thePattern << "'";
    }
}

TEST(ByteScan, EdgeLengths)
{
    const char theText[] = "abc";
    EXPECT_EQ(ScanBytes(theText, 3, "", 0), theText);
    EXPECT_EQ(ScanBytes(theText, 3, "abcd", 4), nullptr);
    EXPECT_EQ(ScanBytes(theText, 3, "abc", 3), theText);
    EXPECT_EQ(ScanBytes(theText, 3, "c", 1), theText + 2);
    EXPECT_EQ(ScanBytes(theText, 0, "a", 1), nullptr);
}

}  // namespace

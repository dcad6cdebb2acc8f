// How failures are put into words: error records, system-exception texts, host versions.
#include "support/ErrorRecord.h"

#include <gtest/gtest.h>

#include <string>

#include "support/SException.h"
#include "support/SystemExceptions.h"

#include <eh.h>

// Faults must reach the component's translator, not the sanitizer's report; and a
// translated fault leaves its signal handler by throwing, which the thread sanitizer
// would otherwise take for staying inside the handler.
extern "C" const char* __asan_default_options()
{
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0";
}
extern "C" const char* __tsan_default_options()
{
    return "report_signal_unsafe=0";
}

namespace {

std::string SystemText(DWORD inCode)
{
    LPSTR theText = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, inCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&theText), 0,
                   nullptr);
    std::string theResult = theText != nullptr ? theText : "";
    if (theText != nullptr)
        LocalFree(theText);
    return theResult;
}

TEST(ErrorRecordTest, MessagesAreJoinedIntoSentences)
{
    ErrorRecord theRecord;
    EXPECT_FALSE(theRecord.HasError());
    EXPECT_STREQ(theRecord.Describe(), "No errors occurred");

    theRecord.AddMessage("The upload was incomplete");
    EXPECT_TRUE(theRecord.HasError());
    EXPECT_STREQ(theRecord.Describe(), "The upload was incomplete.\n");

    theRecord.AddMessage("Unable to read.");
    EXPECT_EQ(theRecord.MessageCount(), 2);
    EXPECT_STREQ(theRecord.Describe(), "The upload was incomplete. Unable to read.\n");

    theRecord.AddMessage("");
    EXPECT_STREQ(theRecord.Describe(), "The upload was incomplete. Unable to read. \n");
}

TEST(ErrorRecordTest, ResetLeavesASpaceBeforeTheNextMessage)
{
    ErrorRecord theRecord;
    theRecord.AddMessage("First");
    theRecord.SetSystemError(2);
    theRecord.SetResultCode(0x80070005);
    theRecord.Reset();
    EXPECT_FALSE(theRecord.HasError());
    EXPECT_EQ(theRecord.SystemError(), 0u);
    EXPECT_EQ(theRecord.ResultCode(), 0u);
    theRecord.AddMessage("Second");
    EXPECT_STREQ(theRecord.Describe(), " Second.\n");
}

TEST(ErrorRecordTest, CodesWithPhrasesAndSystemTexts)
{
    const struct {
        DWORD code;
        const char* phrase;
    } kPhrases[] = {{2, "a file could not be found"},
                    {3, "a file path could not be found"},
                    {8, "there was not enough memory"},
                    {14, "there was not enough memory"},
                    {15, "the drive did not exist"}};
    for (const auto& theCase : kPhrases) {
        ErrorRecord theRecord;
        theRecord.SetSystemError(theCase.code);
        char theHex[16];
        std::snprintf(theHex, sizeof theHex, "0x%08lx", static_cast<unsigned long>(theCase.code));
        EXPECT_EQ(std::string(theRecord.Describe()), std::string("A Windows error occurred that indicates that ") +
                                                          theCase.phrase + " (" + theHex + ").\n");
    }

    ErrorRecord theDenied;
    theDenied.SetSystemError(5);
    ASSERT_FALSE(SystemText(5).empty());
    EXPECT_EQ(std::string(theDenied.Describe()), "A Windows error - " + SystemText(5) + " - (0x00000005) occurred.\n");
}

TEST(ErrorRecordTest, MessagesThenSystemErrorThenResultCode)
{
    ErrorRecord theRecord;
    theRecord.AddMessage("Unable to save file");
    theRecord.SetSystemError(3);
    theRecord.SetResultCode(0x80070005);
    EXPECT_EQ(std::string(theRecord.Describe()),
              "Unable to save file.\n"
              "A Windows error occurred that indicates that a file path could not be found (0x00000003).\n"
              "A Windows error - " +
                  SystemText(0x80070005) + " - (0x80070005) occurred.\n");
}

TEST(ErrorRecordTest, DerivedResultPrefersResultCodeThenSystemError)
{
    ErrorRecord theRecord;
    EXPECT_EQ(theRecord.DerivedResult(), 0);
    theRecord.SetSystemError(5);
    EXPECT_EQ(static_cast<DWORD>(theRecord.DerivedResult()), 0x80040005u);
    theRecord.SetResultCode(0x80070005);
    EXPECT_EQ(static_cast<DWORD>(theRecord.DerivedResult()), 0x80070005u);
}

TEST(SExceptionTest, DescribesReadsWritesAndOtherCodes)
{
    SException theWrite(EXCEPTION_ACCESS_VIOLATION, 0x1234, 1, 0x10, 0x400000);
    EXPECT_EQ(theWrite.isRead, 0u);
    EXPECT_STREQ(theWrite.Describe("XForm", 42),
                 "Code at 0x00001234 attempted to write to 0x00000010. "
                 "System Error caught at line 42 of XForm. Base at 0x00400000.");

    SException theRead(EXCEPTION_ACCESS_VIOLATION, 0x1234, 0, 0x20, 0x400000);
    EXPECT_EQ(theRead.isRead, 1u);
    EXPECT_STREQ(theRead.Describe("XField", 7),
                 "Code at 0x00001234 attempted to read from 0x00000020. "
                 "System Error caught at line 7 of XField. Base at 0x00400000.");

    // Parameters of other codes are not access information.
    SException theDivide(EXCEPTION_INT_DIVIDE_BY_ZERO, 0x1234, 1, 0x30, 0x400000);
    EXPECT_EQ(theDivide.accessKind, 0u);
    EXPECT_EQ(theDivide.dataAddress, 0u);
    EXPECT_STREQ(theDivide.Describe("XProgress", 9),
                 "Code at 0x00001234 caused a System Exception 0xc0000094. "
                 "System Error caught at line 9 of XProgress. Base at 0x00400000.");
}

TEST(SExceptionTest, KeepsOnlyTheFirstSentenceWhenBothDoNotFit)
{
    SException theWrite(EXCEPTION_ACCESS_VIOLATION, 0x1234, 1, 0x10, 0x400000);
    const std::string theLongSource(220, 's');
    EXPECT_STREQ(theWrite.Describe(theLongSource.c_str(), 1), "Code at 0x00001234 attempted to write to 0x00000010. ");
}

TEST(SystemExceptionTest, TranslatorThrowsTheFaultAsSException)
{
    InstallSystemExceptionTranslator();
    static volatile uintptr_t theAddress = 0x10;
    volatile int* theBad = reinterpret_cast<volatile int*>(theAddress);
    try {
        *theBad = 1;
        FAIL() << "no fault";
    } catch (const SException& theException) {
        EXPECT_EQ(theException.code, EXCEPTION_ACCESS_VIOLATION);
        EXPECT_EQ(theException.accessKind, 1u);
        EXPECT_EQ(theException.dataAddress, 0x10u);
        EXPECT_NE(theException.codeAddress, 0u);
    }
}

}  // namespace

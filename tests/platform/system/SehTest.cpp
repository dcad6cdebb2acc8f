// Hardware faults become the translator's C++ exceptions on threads that installed one.
#include <windows.h>
#include <eh.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace {

struct Fault {
    unsigned int code;
    ULONG_PTR parameters[3];
    DWORD count;
    PVOID address;
};

void Translate(unsigned int inCode, EXCEPTION_POINTERS* inPointers)
{
    const EXCEPTION_RECORD& theRecord = *inPointers->ExceptionRecord;
    throw Fault {inCode,
                 {theRecord.ExceptionInformation[0], theRecord.ExceptionInformation[1],
                  theRecord.ExceptionInformation[2]},
                 theRecord.NumberParameters,
                 theRecord.ExceptionAddress};
}

// Runs inBody on this thread with the translator installed; returns the fault it raised.
template <typename Body>
Fault CatchFault(Body inBody)
{
    const _se_translator_function thePrevious = _set_se_translator(Translate);
    Fault theFault {};
    try {
        inBody();
        ADD_FAILURE() << "no fault";
    } catch (const Fault& inFault) {
        theFault = inFault;
    }
    _set_se_translator(thePrevious);
    return theFault;
}

[[gnu::noinline]] int ReadAt(uintptr_t inAddress)
{
    return *reinterpret_cast<volatile int*>(inAddress);
}

[[gnu::noinline]] void WriteAt(uintptr_t inAddress)
{
    *reinterpret_cast<volatile int*>(inAddress) = 1;
}

volatile int gQuotient = 0;

// The hardware must see the division, not the undefined-behaviour checker.
[[gnu::noinline, gnu::no_sanitize("undefined")]] void Divide(int inA, int inB)
{
    volatile int theA = inA, theB = inB;
    gQuotient = theA / theB;
}

TEST(StructuredExceptions, AccessViolationsTellReadFromWrite)
{
    const Fault theRead = CatchFault([] { ReadAt(0x10); });
    EXPECT_EQ(theRead.code, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_EQ(theRead.count, 2u);
    EXPECT_EQ(theRead.parameters[0], 0u);
    EXPECT_EQ(theRead.parameters[1], 0x10u);
    EXPECT_NE(theRead.address, nullptr);

    const Fault theWrite = CatchFault([] { WriteAt(0x10); });
    EXPECT_EQ(theWrite.code, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_EQ(theWrite.parameters[0], 1u);
    EXPECT_EQ(theWrite.parameters[1], 0x10u);

    // A page that exists but is read-only.
    void* thePage = ::mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(thePage, MAP_FAILED);
    const uintptr_t theTarget = reinterpret_cast<uintptr_t>(thePage) + 8;
    const Fault theReadOnly = CatchFault([&] { WriteAt(theTarget); });
    EXPECT_EQ(theReadOnly.parameters[0], 1u);
    EXPECT_EQ(theReadOnly.parameters[1], theTarget);
    ::munmap(thePage, 4096);
}

TEST(StructuredExceptions, DivisionByZeroAndRepeatedFaults)
{
    for (int i = 0; i < 3; ++i) {
        const Fault theFault = CatchFault([] { Divide(1, 0); });
        EXPECT_EQ(theFault.code, EXCEPTION_INT_DIVIDE_BY_ZERO);
        EXPECT_EQ(theFault.count, 0u);
    }
}

TEST(StructuredExceptions, PageOfAShrunkenMappedFileIsAnInPageError)
{
    char thePath[] = "/tmp/ferrolift-seh-XXXXXX";
    const int theFd = ::mkstemp(thePath);
    ASSERT_GE(theFd, 0);
    ASSERT_EQ(::ftruncate(theFd, 8192), 0);
    void* theView = ::mmap(nullptr, 8192, PROT_READ, MAP_SHARED, theFd, 0);
    ASSERT_NE(theView, MAP_FAILED);
    ASSERT_EQ(::ftruncate(theFd, 0), 0);
    const uintptr_t theTarget = reinterpret_cast<uintptr_t>(theView) + 4100;
    const Fault theFault = CatchFault([&] { ReadAt(theTarget); });
    EXPECT_EQ(theFault.code, EXCEPTION_IN_PAGE_ERROR);
    EXPECT_EQ(theFault.count, 3u);
    EXPECT_EQ(theFault.parameters[0], 0u);
    EXPECT_EQ(theFault.parameters[1], theTarget);
    ::munmap(theView, 8192);
    ::close(theFd);
    ::unlink(thePath);
}

TEST(StructuredExceptions, TranslatorIsPerThreadAndReturnsThePrevious)
{
    EXPECT_EQ(_set_se_translator(Translate), nullptr);
    _se_translator_function theOther = Translate;
    std::thread([&] { theOther = _set_se_translator(nullptr); }).join();
    EXPECT_EQ(theOther, nullptr);
    EXPECT_EQ(_set_se_translator(nullptr), Translate);
}

TEST(StructuredExceptionsDeathTest, ThreadWithoutTranslatorDies)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(
        {
            _set_se_translator(Translate);  // this thread only
            std::thread([] { WriteAt(0x20); }).join();
            std::_Exit(0);
        },
        "");
}

void ReturnWithoutThrowing(unsigned int, EXCEPTION_POINTERS*) {}

TEST(StructuredExceptionsDeathTest, TranslatorThatReturnsLeavesTheFaultUnhandled)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(
        {
            _set_se_translator(ReturnWithoutThrowing);
            ReadAt(0x30);
            std::_Exit(0);
        },
        "");
}

}  // namespace

// Ticks, version, process exit, locks, interlocked operations, modules and rand.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

ULONGLONG gFakeTicks = 0;
ULONGLONG FakeTicks() { return gFakeTicks; }

TEST(GetTickCount, WrapsAt32BitsWithTheTestSource)
{
    ferrolift::platform::SetTickCountSource(FakeTicks);
    gFakeTicks = 0xFFFFFFF0ULL;
    const DWORD theBefore = GetTickCount();
    gFakeTicks = 0x100000005ULL;
    const DWORD theAfter = GetTickCount();
    EXPECT_EQ(theBefore, 0xFFFFFFF0u);
    EXPECT_EQ(theAfter, 5u);
    EXPECT_EQ(static_cast<DWORD>(theAfter - theBefore), 21u);  // elapsed time survives the wrap
    EXPECT_EQ(GetTickCount64(), 0x100000005ULL);
    ferrolift::platform::SetTickCountSource(nullptr);
    const ULONGLONG theFirst = GetTickCount64();
    EXPECT_GE(GetTickCount64(), theFirst);
    EXPECT_NE(GetTickCount64(), 0x100000005ULL);
}

TEST(Rand, FollowsTheRuntimeSequencePerThread)
{
    ferrolift::srand(1);
    EXPECT_EQ(ferrolift::rand(), 41);
    EXPECT_EQ(ferrolift::rand(), 18467);
    EXPECT_EQ(ferrolift::rand(), 6334);
    ferrolift::srand(1);
    std::vector<int> theOther;
    // A new thread starts from seed 1 and does not disturb this one.
    std::thread([&] {
        for (int i = 0; i < 3; ++i)
            theOther.push_back(ferrolift::rand());
        ferrolift::srand(99);
    }).join();
    EXPECT_EQ(theOther, (std::vector<int> {41, 18467, 6334}));
    EXPECT_EQ(ferrolift::rand(), 41);
}

TEST(Rand, LeavesTheGlibcGeneratorAlone)
{
    ::srand(1);
    const int theGlibc = ::rand();
    ferrolift::srand(1);
    ferrolift::rand();
    ::srand(1);
    EXPECT_EQ(::rand(), theGlibc);
    EXPECT_NE(theGlibc, 41);
}

TEST(RandS, FillsTheValue)
{
    unsigned int theValues[4] = {};
    for (unsigned int& theValue : theValues)
        EXPECT_EQ(rand_s(&theValue), 0);
    EXPECT_FALSE(theValues[0] == theValues[1] && theValues[1] == theValues[2] && theValues[2] == theValues[3]);
    EXPECT_EQ(rand_s(nullptr), EINVAL);
}

TEST(GetVersionExA, ReportsNt10AndPinsBadSizes)
{
    OSVERSIONINFOEXA theEx {};
    theEx.dwOSVersionInfoSize = sizeof theEx;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&theEx)));
    EXPECT_EQ(theEx.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(theEx.dwMajorVersion, 10u);
    EXPECT_EQ(theEx.dwMinorVersion, 0u);
    EXPECT_EQ(theEx.wProductType, VER_NT_WORKSTATION);

    OSVERSIONINFOA thePlain;
    std::memset(&thePlain, 0xAB, sizeof thePlain);
    thePlain.dwOSVersionInfoSize = sizeof thePlain;
    ASSERT_TRUE(GetVersionExA(&thePlain));
    EXPECT_EQ(thePlain.dwMajorVersion, 10u);
    EXPECT_STREQ(thePlain.szCSDVersion, "");

    thePlain.dwOSVersionInfoSize = 12;
    EXPECT_FALSE(GetVersionExA(&thePlain));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetVersionExA(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

void PrintAtExit() { std::fputs("atexit ran\n", stderr); }

TEST(ExitProcessDeathTest, EndsAtOnceWithTheCode)
{
    EXPECT_EXIT(
        {
            std::atexit(PrintAtExit);
            ExitProcess(7);
        },
        ::testing::ExitedWithCode(7), "^$");
}

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads)
{
    CRITICAL_SECTION theLock;
    InitializeCriticalSection(&theLock);
    EnterCriticalSection(&theLock);
    EXPECT_TRUE(TryEnterCriticalSection(&theLock));
    EXPECT_EQ(theLock.RecursionCount, 2);
    EXPECT_EQ(theLock.OwningThread, GetCurrentThreadId());
    auto theTryOther = [&] {
        BOOL theTaken = FALSE;
        std::thread([&] {
            theTaken = TryEnterCriticalSection(&theLock);
            if (theTaken)
                LeaveCriticalSection(&theLock);
        }).join();
        return theTaken;
    };
    EXPECT_FALSE(theTryOther());
    LeaveCriticalSection(&theLock);
    EXPECT_FALSE(theTryOther());
    LeaveCriticalSection(&theLock);
    EXPECT_TRUE(theTryOther());

    long theCounter = 0;
    std::vector<std::thread> theThreads;
    for (int t = 0; t < 4; ++t)
        theThreads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                EnterCriticalSection(&theLock);
                ++theCounter;
                LeaveCriticalSection(&theLock);
            }
        });
    for (std::thread& theThread : theThreads)
        theThread.join();
    EXPECT_EQ(theCounter, 40000);
    DeleteCriticalSection(&theLock);
}

TEST(Interlocked, ReturnTheWin32Values)
{
    volatile LONG theValue = 5;
    EXPECT_EQ(InterlockedIncrement(&theValue), 6);
    EXPECT_EQ(InterlockedDecrement(&theValue), 5);
    EXPECT_EQ(InterlockedExchange(&theValue, 9), 5);
    EXPECT_EQ(InterlockedCompareExchange(&theValue, 1, 4), 9);  // no match: unchanged
    EXPECT_EQ(theValue, 9);
    EXPECT_EQ(InterlockedCompareExchange(&theValue, 1, 9), 9);
    EXPECT_EQ(theValue, 1);
    EXPECT_EQ(InterlockedExchangeAdd(&theValue, 10), 1);
    EXPECT_EQ(theValue, 11);

    volatile LONG theShared = 0;
    std::vector<std::thread> theThreads;
    for (int t = 0; t < 4; ++t)
        theThreads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i)
                InterlockedIncrement(&theShared);
        });
    for (std::thread& theThread : theThreads)
        theThread.join();
    EXPECT_EQ(theShared, 40000);
}

TEST(Modules, HandleIsTheLoadBaseAndGivesPathAndSymbols)
{
    HMODULE theModule = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCSTR>(&GetTickCount), &theModule));
    ASSERT_NE(theModule, nullptr);
    EXPECT_LT(reinterpret_cast<uintptr_t>(theModule), reinterpret_cast<uintptr_t>(&GetTickCount));
    EXPECT_EQ(std::memcmp(theModule, "\x7f" "ELF", 4), 0);

    char thePath[MAX_PATH];
    const DWORD theLength = GetModuleFileNameA(theModule, thePath, sizeof thePath);
    ASSERT_GT(theLength, 0u);
    EXPECT_EQ(thePath[0], '/');
    EXPECT_NE(std::string(thePath).find("libferrolift-platform.so"), std::string::npos);

    char theShort[8];
    EXPECT_EQ(GetModuleFileNameA(theModule, theShort, sizeof theShort), sizeof theShort);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(theShort), std::string(thePath, 7));

    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(theModule, "GetTickCount")),
              reinterpret_cast<void*>(&GetTickCount));
    EXPECT_EQ(GetProcAddress(theModule, "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    HMODULE theLoaded = LoadLibraryA(thePath);
    EXPECT_EQ(theLoaded, theModule);
    EXPECT_TRUE(FreeLibrary(theLoaded));
    EXPECT_FALSE(FreeLibrary(theLoaded));  // that reference is gone
    EXPECT_TRUE(DisableThreadLibraryCalls(theModule));

    char theProgram[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, theProgram, sizeof theProgram), 0u);
    EXPECT_NE(std::string(theProgram).find("test_platform_system"), std::string::npos);
}

TEST(Modules, PinTheResultForBadArguments)
{
    EXPECT_EQ(LoadLibraryA("/nonexistent/libnothing.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    char theFile[] = "/tmp/ferrolift-notelf-XXXXXX";
    const int theFd = ::mkstemp(theFile);
    ASSERT_GE(theFd, 0);
    ASSERT_EQ(::write(theFd, "not a library", 13), 13);
    ::close(theFd);
    EXPECT_EQ(LoadLibraryA(theFile), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    ::unlink(theFile);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    HMODULE theModule = reinterpret_cast<HMODULE>(1);
    EXPECT_FALSE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, nullptr, &theModule));
    EXPECT_EQ(theModule, nullptr);
    EXPECT_FALSE(GetModuleHandleExA(0, "libnothing-at-all.so", &theModule));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(GetModuleHandleExA(0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace

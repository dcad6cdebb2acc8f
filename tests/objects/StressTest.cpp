// Many pages at once: each thread has its own page, form and fields over its own body,
// reads every property and saves every file, while another thread polls the progress of
// all forms. Run under the thread sanitizer; every saved file must hash like its part.
#include "objects/XField.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/TestPage.h"
#include "common/Script.h"
#include "common/UploadBody.h"
#include "progress/ProgressRegistry.h"
#include "common/ScratchMachine.h"

namespace {

constexpr int kThreads = 16;
constexpr int kFilesPerThread = 3;

/// The SHA-256 of a file, as the system's tool prints it.
std::string Sha256Of(const std::string& inPath)
{
    std::string theCommand = "sha256sum '" + inPath + "'";
    FILE* thePipe = ::popen(theCommand.c_str(), "r");
    if (thePipe == nullptr)
        return "<error>";
    char theLine[128] = {};
    const bool theRead = std::fgets(theLine, sizeof theLine, thePipe) != nullptr;
    ::pclose(thePipe);
    return theRead ? std::string(theLine).substr(0, 64) : "<error>";
}

/// Different bytes for every thread and file, zero bytes and dividers' dashes included.
std::string PartBytes(int inThread, int inFile)
{
    std::string theBytes;
    const size_t theSize = 20000 + static_cast<size_t>(inThread) * 977 + static_cast<size_t>(inFile) * 131;
    uint32_t theState = static_cast<uint32_t>(inThread * 7919 + inFile * 104729 + 1);
    for (size_t i = 0; i < theSize; ++i) {
        theState = theState * 1103515245u + 12345u;
        theBytes.push_back(static_cast<char>(theState >> 24));
    }
    return theBytes;
}

/// One page's work; returns the number of failed checks.
int RunPage(int inThread, const std::string& inFolder, std::atomic<LONG>* outID)
{
    UploadBody theBody;
    theBody.Value("thread", std::to_string(inThread));
    for (int i = 0; i < kFilesPerThread; ++i)
        theBody.File("file", "C:\\up\\t" + std::to_string(inThread) + "_" + std::to_string(i) + ".bin",
                     "application/octet-stream", PartBytes(inThread, i));
    ferrolift::test::TestPage thePage(theBody.Text());
    ComPtr<IDispatch> theForm = Script::NewForm();
    outID->store(Script::NumberOf(theForm.get(), u"ID"));
    Script::Put(theForm.get(), u"AbsolutePath", Script::Bool(true));

    int theFailures = 0;
    UniqueVariant theName = Script::Text(u"file");
    ComPtr<IDispatch> theGroup = Script::Object(theForm.get(), u"Item", {theName.get()});
    if (!theGroup)
        return 1;
    theFailures += Script::NumberOf(theGroup.get(), u"Count") == kFilesPerThread ? 0 : 1;
    int theIndex = 0;
    for (UniqueVariant& theField : Script::ForEach(theGroup.get())) {
        IDispatch* theFile = V_DISPATCH(theField.get());
        theFailures += Script::NumberOf(theFile, u"Length") == static_cast<LONG>(PartBytes(inThread, theIndex).size()) ? 0 : 1;
        theFailures += Script::TextOf(theFile, u"FileType") == "bin" ? 0 : 1;
        Script::NumberOf(theFile, u"ImageType");
        const std::string thePath = inFolder + "/" + Script::TextOf(theFile, u"SafeFileName");
        UniqueVariant theTarget = Script::Text(ferrolift::test::Wide(thePath));
        theFailures += Script::Run(theFile, u"Save", {theTarget.get()}).hr == S_OK ? 0 : 1;
        ++theIndex;
    }
    return theFailures + (theIndex == kFilesPerThread ? 0 : 1);
}

TEST(StressTest, SixteenPagesAtOnceSaveEveryFileIntact)
{
    ScratchMachine theMachine;
    ferrolift::test::ScopedTempFolder theFolder;
    std::vector<std::atomic<LONG>> theIDs(kThreads);
    std::atomic<int> theFailures{0};
    std::atomic<bool> theDone{false};

    std::thread thePoller([&] {
        while (!theDone.load()) {
            for (std::atomic<LONG>& theID : theIDs) {
                LONG theBytes = 0, theTotal = 0;
                GetProgress(theID.load(), &theBytes, &theTotal);
                if (theTotal > 0 && theBytes > theTotal)
                    ++theFailures;
            }
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> thePages;
    for (int t = 0; t < kThreads; ++t)
        thePages.emplace_back([&, t] { theFailures += RunPage(t, theFolder.Path(), &theIDs[static_cast<size_t>(t)]); });
    for (std::thread& thePage : thePages)
        thePage.join();
    theDone = true;
    thePoller.join();
    EXPECT_EQ(theFailures.load(), 0);

    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kFilesPerThread; ++i) {
            const std::string theName = "t" + std::to_string(t) + "_" + std::to_string(i) + ".bin";
            const std::string theReference = theFolder / ("expected_" + theName);
            std::ofstream(theReference, std::ios::binary) << PartBytes(t, i);
            EXPECT_EQ(Sha256Of(theFolder / theName), Sha256Of(theReference)) << theName;
        }
    }
}

}  // namespace

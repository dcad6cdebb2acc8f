// IntakeFixture.h: a private registry, event log and temporary folder for each test, and
// helpers to read what the reader published.
#pragma once

#include "common/TestPage.h"
#include "intake/Multipart.h"
#include "progress/ProgressRegistry.h"
#include "support/Settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

class IntakeTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        // The next test's folders are made under the original temporary folder.
        if (OriginalTemp().empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", OriginalTemp().c_str(), 1);
    }

    static const std::string& OriginalTemp()
    {
        static const std::string theOriginal = ::getenv("TMPDIR") ? ::getenv("TMPDIR") : "";
        return theOriginal;
    }

    void SetUp() override
    {
        OriginalTemp();
        ::setenv("FERROLIFT_REGISTRY", (mState / "registry.reg").c_str(), 1);
        ::setenv("FERROLIFT_EVENTLOG", (mState / "events.jsonl").c_str(), 1);
        ::mkdir((mState / "tmp").c_str(), 0700);
        UseTempFolder(mState / "tmp");
    }

    /// Points the system's temporary folder (and so the read cache) at inPath.
    static void UseTempFolder(const std::string& inPath) { ::setenv("TMPDIR", (inPath + "/").c_str(), 1); }

    /// Sets the ReadChunkSize setting (a REG_DWORD under the settings key).
    static void SetChunkSize(DWORD inValue)
    {
        HKEY theKey = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &theKey,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(theKey, "ReadChunkSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&inValue), sizeof inValue);
        RegCloseKey(theKey);
    }

    /// Event-log lines that contain inText.
    int EventsWith(const std::string& inText) const
    {
        std::ifstream theLog(::getenv("FERROLIFT_EVENTLOG"));
        int theCount = 0;
        for (std::string theLine; std::getline(theLog, theLine);)
            theCount += theLine.find(inText) != std::string::npos ? 1 : 0;
        return theCount;
    }

    /// Files in the temporary folder whose names start with "fer".
    int CacheFiles() const
    {
        int theCount = 0;
        for (const auto& theEntry : std::filesystem::directory_iterator(mState / "tmp")) {
            std::string theName = theEntry.path().filename().string();
            theCount += theName.rfind("fer", 0) == 0 && theName.rfind("ferrolift-", 0) != 0 ? 1 : 0;
        }
        return theCount;
    }

    struct Progress {
        LONG done = -1;
        LONG total = -1;
        VARIANT_BOOL finished = VARIANT_FALSE;
        std::string note;
    };
    static Progress ReadProgress(LONG inID)
    {
        Progress theProgress;
        GetProgress(inID, &theProgress.done, &theProgress.total, nullptr, nullptr, &theProgress.finished,
                    &theProgress.note);
        return theProgress;
    }

    static std::string Value(Multipart& inReader, LONG inGroup, LONG inEntry)
    {
        const FieldEntry* theEntry = inReader.GetGroup(inGroup)->Entry(inEntry);
        return std::string(reinterpret_cast<const char*>(theEntry->data), static_cast<size_t>(theEntry->length));
    }

    static std::string ReadFile(const std::string& inPath)
    {
        std::ifstream theFile(inPath, std::ios::binary);
        std::ostringstream theText;
        theText << theFile.rdbuf();
        return theText.str();
    }

    ferrolift::test::ScopedTempFolder mState;
};

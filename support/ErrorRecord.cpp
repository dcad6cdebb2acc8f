// ErrorRecord.cpp: message collection and the rendering of Windows error codes.
#include "support/ErrorRecord.h"

#include <cstdio>

namespace {

// Codes whose system text is too technical for a page author get a plain phrase.
const char* PhraseForCode(DWORD inCode)
{
    switch (inCode) {
    case 2:
        return "a file could not be found";
    case 3:
        return "a file path could not be found";
    case 8:
    case 14:
        return "there was not enough memory";
    case 15:
        return "the drive did not exist";
    default:
        return nullptr;
    }
}

}  // namespace

void ErrorRecord::AddMessage(const char* inText)
{
    if (mMessageCount > 0)
        mMessages += ' ';
    const std::string theText = inText != nullptr ? inText : "";
    mMessages += theText;
    if (!theText.empty() && theText.back() != '.')
        mMessages += '.';
    ++mMessageCount;
}

bool ErrorRecord::HasError() const
{
    return mMessageCount != 0 || mSystemError != 0 || mResultCode != 0;
}

const char* ErrorRecord::Describe()
{
    if (!HasError()) {
        mDescription = "No errors occurred";
        return mDescription.c_str();
    }
    std::string theText;
    if (mMessageCount != 0) {
        theText += mMessages;
        theText += '\n';
    }
    AppendWindowsError(theText, mSystemError);
    AppendWindowsError(theText, mResultCode);
    mDescription = std::move(theText);
    return mDescription.c_str();
}

void ErrorRecord::Reset()
{
    mMessageCount = 0;
    mSystemError = 0;
    mResultCode = 0;
    mMessages = " ";
    mDescription = " ";
}

HRESULT ErrorRecord::DeriveResult(DWORD inSystemError, DWORD inResultCode)
{
    if (inResultCode != 0)
        return static_cast<HRESULT>(inResultCode);
    if (inSystemError != 0)
        return static_cast<HRESULT>(inSystemError | 0x80040000U);
    return 0;
}

void ErrorRecord::AppendWindowsError(std::string& inOutText, DWORD inCode)
{
    if (inCode == 0)
        return;
    char theHex[16];
    std::snprintf(theHex, sizeof theHex, "0x%08lx", static_cast<unsigned long>(inCode));
    if (const char* thePhrase = PhraseForCode(inCode)) {
        inOutText += "A Windows error occurred that indicates that ";
        inOutText += thePhrase;
        inOutText += " (";
        inOutText += theHex;
        inOutText += ").\n";
        return;
    }
    LPSTR theSystemText = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, inCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&theSystemText),
                   0, nullptr);
    inOutText += "A Windows error - ";
    if (theSystemText != nullptr)
        inOutText += theSystemText;
    inOutText += " - (";
    inOutText += theHex;
    inOutText += ") occurred.\n";
    if (theSystemText != nullptr)
        LocalFree(theSystemText);
}

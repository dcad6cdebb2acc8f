// ErrorRecord.h: collects the expected failures of one operation and renders them as
// the single description a script sees.
//
//   ErrorRecord theErrors;
//   theErrors.AddMessage("Unable to open file");
//   theErrors.SetSystemError(GetLastError());
//   if (theErrors.HasError())
//       return ReportError(theErrors.Describe(), theErrors.DerivedResult());
#pragma once

#include <string>

#include <windows.h>

/// Messages plus an optional system error code and result code.
class ErrorRecord {
public:
    ErrorRecord() = default;

    /// Appends a sentence: joined to earlier ones by one space, given a final "." when
    /// it lacks one. inText is ANSI.
    void AddMessage(const char* inText);

    /// True when a message, a system error or a result code has been recorded.
    bool HasError() const;

    /// The messages, then one line per code ("A Windows error ..."); "No errors
    /// occurred" when there is nothing. The text stays valid until the next Describe,
    /// Reset or the record's destruction.
    const char* Describe();

    /// Forgets everything; messages and description become a single space, so a message
    /// added afterwards follows that space.
    void Reset();

    /// The number of messages added since construction or Reset.
    LONG MessageCount() const { return mMessageCount; }

    /// The system error code (GetLastError after a failed call); 0 = none.
    DWORD SystemError() const { return mSystemError; }
    void SetSystemError(DWORD inCode) { mSystemError = inCode; }

    /// The failure code (an HRESULT or status) of a failed call; 0 = none.
    DWORD ResultCode() const { return mResultCode; }
    void SetResultCode(DWORD inCode) { mResultCode = inCode; }

    /// The code to report for this record: the result code when set, else the system
    /// error combined with 0x80040000, else 0 (which ReportError turns into
    /// DISP_E_EXCEPTION).
    HRESULT DerivedResult() const { return DeriveResult(mSystemError, mResultCode); }

    /// DerivedResult for given codes.
    static HRESULT DeriveResult(DWORD inSystemError, DWORD inResultCode);

    /// Appends the rendering of one Windows code to inOutText (nothing for 0): a phrase
    /// for the common file and memory codes, else the system's message text.
    static void AppendWindowsError(std::string& inOutText, DWORD inCode);

private:
    LONG mMessageCount = 0;
    std::string mMessages;
    DWORD mSystemError = 0;
    DWORD mResultCode = 0;
    std::string mDescription;
};

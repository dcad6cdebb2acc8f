// ReportError.cpp: the per-class error reporter behind every ObjectBase::ReportError.
#include "support/ObjectBase.h"

#include <string>

#include "platform/common/ComPtr.h"
#include "platform/common/UniqueCoTaskMem.h"
#include "support/EventLogWriter.h"
#include "support/Settings.h"

namespace {

// ANSI text to a zero-terminated UTF-16 string (system code page).
std::basic_string<WCHAR> FromAnsi(const char* inText)
{
    std::basic_string<WCHAR> theResult;
    if (inText == nullptr || inText[0] == '\0')
        return theResult;
    const int theCount = MultiByteToWideChar(CP_ACP, 0, inText, -1, nullptr, 0);
    if (theCount <= 1)
        return theResult;
    theResult.resize(static_cast<size_t>(theCount));
    MultiByteToWideChar(CP_ACP, 0, inText, -1, theResult.data(), theCount);
    theResult.resize(static_cast<size_t>(theCount - 1));
    return theResult;
}

// The source a script sees: the ProgID registered for the class, else its own.
std::basic_string<WCHAR> ErrorSource(const ClassIdentity& inIdentity)
{
    LPOLESTR theText = nullptr;
    const HRESULT hr = ProgIDFromCLSID(*inIdentity.clsid, &theText);
    UniqueCoTaskMem<OLECHAR> theProgId(theText);
    if (SUCCEEDED(hr) && theProgId)
        return std::basic_string<WCHAR>(theProgId.get());
    return FromAnsi(inIdentity.progId);
}

}  // namespace

HRESULT ReportErrorFor(const ClassIdentity& inIdentity, const char* inText, HRESULT inHr)
{
    DWORD theLogErrors = 0;
    ReadSettingDword("LogErrors", &theLogErrors);
    if (theLogErrors != 0)
        LogEvent(inText, EVENTLOG_WARNING_TYPE);
    ComPtr<ICreateErrorInfo> theCreate;
    if (SUCCEEDED(CreateErrorInfo(theCreate.put()))) {
        std::basic_string<WCHAR> theDescription = FromAnsi(inText);
        std::basic_string<WCHAR> theSource = ErrorSource(inIdentity);
        theCreate->SetGUID(*inIdentity.iid);
        theCreate->SetSource(theSource.data());
        theCreate->SetDescription(theDescription.data());
        ComPtr<IErrorInfo> theInfo;
        theCreate.query_to(IID_IErrorInfo, theInfo.put_void());
        if (theInfo)
            SetErrorInfo(0, theInfo.get());
    }
    return inHr != 0 ? inHr : DISP_E_EXCEPTION;
}

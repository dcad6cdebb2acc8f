// Logon.cpp: LogonUserA through PAM (service "ferrolift").
#include "platform/security/Security.h"

#include "platform/security/Account.h"
#include "platform/security/Token.h"
#include "platform/errors/Errors.h"

#include <security/pam_appl.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

using namespace ferrolift::platform;

const char kPamService[] = "ferrolift";

/// What the conversation function answers with.
struct Credentials {
    const char* mUser;
    const char* mPassword;
};

/// Answers PAM's prompts: the password where input is hidden, the name where it echoes.
/// PAM frees the answers, so they are malloc'd.
int Converse(int inCount, const pam_message** inMessages, pam_response** outResponses, void* inData)
{
    if (inCount <= 0 || inCount > PAM_MAX_NUM_MSG)
        return PAM_CONV_ERR;
    auto* theCreds = static_cast<const Credentials*>(inData);
    auto* theResponses = static_cast<pam_response*>(calloc(static_cast<size_t>(inCount), sizeof(pam_response)));
    if (theResponses == nullptr)
        return PAM_BUF_ERR;
    for (int i = 0; i < inCount; ++i) {
        const char* theAnswer = nullptr;
        if (inMessages[i]->msg_style == PAM_PROMPT_ECHO_OFF)
            theAnswer = theCreds->mPassword;
        else if (inMessages[i]->msg_style == PAM_PROMPT_ECHO_ON)
            theAnswer = theCreds->mUser;
        if (theAnswer == nullptr)
            continue;
        theResponses[i].resp = strdup(theAnswer);
        if (theResponses[i].resp == nullptr) {
            for (int j = 0; j < i; ++j)
                free(theResponses[j].resp);
            free(theResponses);
            return PAM_BUF_ERR;
        }
    }
    *outResponses = theResponses;
    return PAM_SUCCESS;
}

/// The Win32 code for a failed PAM step.
DWORD LogonErrorFromPam(int inPamResult)
{
    switch (inPamResult) {
    case PAM_ACCT_EXPIRED:
    case PAM_NEW_AUTHTOK_REQD:
    case PAM_PERM_DENIED:
        return ERROR_ACCOUNT_RESTRICTION;
    case PAM_BUF_ERR:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_LOGON_FAILURE;
    }
}

/// Authenticates and checks the account; PAM_SUCCESS or the failing step's result.
/// Serialised: PAM modules are not all safe to run on several threads at once.
int Authenticate(const char* inUser, const char* inPassword)
{
    static std::mutex theLock;
    std::lock_guard<std::mutex> theGuard(theLock);
    Credentials theCreds{inUser, inPassword};
    pam_conv theConv{Converse, &theCreds};
    pam_handle_t* thePam = nullptr;
    int theResult = pam_start(kPamService, inUser, &theConv, &thePam);
    if (theResult != PAM_SUCCESS)
        return theResult;
    theResult = pam_authenticate(thePam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (theResult == PAM_SUCCESS)
        theResult = pam_acct_mgmt(thePam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    pam_end(thePam, theResult);
    return theResult;
}

/// Local accounts only: no domain, ".", or this host's name.
bool IsLocalDomain(const char* inDomain)
{
    if (inDomain == nullptr || inDomain[0] == '\0' || strcmp(inDomain, ".") == 0)
        return true;
    return strcasecmp(inDomain, LocalDomainName().c_str()) == 0;
}

bool IsKnownLogonType(DWORD inType)
{
    return inType == LOGON32_LOGON_INTERACTIVE || inType == LOGON32_LOGON_NETWORK ||
           inType == LOGON32_LOGON_BATCH || inType == LOGON32_LOGON_SERVICE;
}

/// Authenticates the account and makes its token; null with the last error set.
HANDLE LogOn(const char* inUser, const char* inPassword)
{
    int theResult = Authenticate(inUser, inPassword);
    if (theResult != PAM_SUCCESS) {
        SetLastError(LogonErrorFromPam(theResult));
        return nullptr;
    }
    AccountPtr theAccount = FindAccountByName(inUser);
    if (!theAccount) {
        SetLastError(ERROR_LOGON_FAILURE);
        return nullptr;
    }
    HANDLE theHandle = InsertHandle(std::make_shared<Token>(std::move(theAccount)));
    if (theHandle == nullptr)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return theHandle;
}

}  // namespace

extern "C" BOOL LogonUserA(LPCSTR inUser, LPCSTR inDomain, LPCSTR inPassword, DWORD inLogonType,
                           DWORD inLogonProvider, PHANDLE outToken)
{
    if (outToken == nullptr || !IsKnownLogonType(inLogonType) || inLogonProvider != LOGON32_PROVIDER_DEFAULT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *outToken = nullptr;
    if (inUser == nullptr || inUser[0] == '\0' || !IsLocalDomain(inDomain)) {
        SetLastError(ERROR_LOGON_FAILURE);
        return FALSE;
    }
    HANDLE theHandle = nullptr;
    try {
        theHandle = LogOn(inUser, inPassword == nullptr ? "" : inPassword);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (theHandle == nullptr)
        return FALSE;
    *outToken = theHandle;
    return TRUE;
}

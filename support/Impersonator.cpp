// Impersonator.cpp: logging an account on for the calling thread, and naming the
// account of the thread's token.
#include "support/Impersonator.h"

#include <utility>

namespace {

/// Size of the buffer that receives the token's user (a TOKEN_USER and its SID).
constexpr DWORD kTokenUserBufferSize = 256;

}  // namespace

Impersonator::~Impersonator()
{
    StopImpersonating();
}

bool Impersonator::ImpersonateUser(LPCSTR inName, LPCSTR inPassword, LPCSTR inDomain)
{
    if (!StopImpersonating())
        return false;
    if (inName == nullptr || inName[0] == '\0')
        return true;
    // Drop whatever impersonation the thread had on entry, so a failed logon leaves it
    // on the process account.
    if (!RevertToSelf())
        return false;
    UniqueHandle theToken;
    if (!LogonUserA(inName, inDomain, inPassword, LOGON32_LOGON_BATCH, LOGON32_PROVIDER_DEFAULT, theToken.put()))
        return false;
    if (!ImpersonateLoggedOnUser(theToken.get())) {
        const DWORD theError = GetLastError();
        theToken.reset();
        SetLastError(theError);
        return false;
    }
    mToken = std::move(theToken);
    return true;
}

bool Impersonator::StopImpersonating()
{
    if (!mToken.valid())
        return true;
    const BOOL theReverted = RevertToSelf();
    const DWORD theError = GetLastError();
    mToken.reset();
    SetLastError(theError);
    return theReverted != FALSE;
}

bool GetTokenAccount(LPSTR outUser, LPSTR outDomain, bool& outUsedProcessToken)
{
    outUser[0] = '\0';
    outDomain[0] = '\0';
    outUsedProcessToken = false;

    UniqueHandle theToken;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | READ_CONTROL, TRUE, theToken.put())) {
        if (GetLastError() != ERROR_NO_TOKEN)
            return false;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, theToken.put()))
            return false;
        outUsedProcessToken = true;
    }

    // Ask for the size first, as callers of this call must; the buffer is fixed anyway.
    DWORD theNeeded = 0;
    GetTokenInformation(theToken.get(), TokenUser, nullptr, 0, &theNeeded);
    alignas(TOKEN_USER) BYTE theBuffer[kTokenUserBufferSize];
    if (!GetTokenInformation(theToken.get(), TokenUser, theBuffer, sizeof theBuffer, &theNeeded))
        return false;

    const auto* theUser = reinterpret_cast<const TOKEN_USER*>(theBuffer);
    DWORD theUserLen = kAccountNameSize;
    DWORD theDomainLen = kAccountNameSize;
    SID_NAME_USE theUse = SidTypeUnknown;
    return LookupAccountSidA(nullptr, theUser->User.Sid, outUser, &theUserLen, outDomain, &theDomainLen,
                             &theUse) != FALSE;
}

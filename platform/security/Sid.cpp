// Sid.cpp: SIDs of local accounts, token information and account lookup.
//
// A uid u is the SID S-1-22-1-u and a gid g is S-1-22-2-g: the identifier authority 22
// is the one commonly used for Unix users and groups, so the SIDs stay recognisable.
#include "platform/security/Security.h"

#include "platform/security/Account.h"
#include "platform/security/Token.h"
#include "platform/errors/Errors.h"

#include <strings.h>

#include <cstring>
#include <string>

namespace {

using namespace ferrolift::platform;

constexpr BYTE kUnixAuthority = 22;
constexpr DWORD kUnixUserKind = 1;
constexpr DWORD kUnixGroupKind = 2;
constexpr DWORD kUnixSidSize = 8 + 2 * sizeof(DWORD);

/// Writes S-1-22-<inKind>-<inId> at outSid (kUnixSidSize bytes).
void WriteUnixSid(void* outSid, DWORD inKind, DWORD inId)
{
    auto* theSid = static_cast<SID*>(outSid);
    theSid->Revision = SID_REVISION;
    theSid->SubAuthorityCount = 2;
    memset(theSid->IdentifierAuthority.Value, 0, sizeof theSid->IdentifierAuthority.Value);
    theSid->IdentifierAuthority.Value[5] = kUnixAuthority;
    DWORD theSubs[2] = {inKind, inId};
    memcpy(reinterpret_cast<BYTE*>(theSid) + 8, theSubs, sizeof theSubs);
}

/// Reads a SID of the Unix authority: its kind (user or group) and id.
bool ReadUnixSid(PSID inSid, DWORD& outKind, DWORD& outId)
{
    if (!IsValidSid(inSid))
        return false;
    const auto* theSid = static_cast<const SID*>(inSid);
    static const BYTE theUnix[6] = {0, 0, 0, 0, 0, kUnixAuthority};
    if (theSid->SubAuthorityCount != 2 || memcmp(theSid->IdentifierAuthority.Value, theUnix, 6) != 0)
        return false;
    DWORD theSubs[2];
    memcpy(theSubs, static_cast<const BYTE*>(inSid) + 8, sizeof theSubs);
    outKind = theSubs[0];
    outId = theSubs[1];
    return outKind == kUnixUserKind || outKind == kUnixGroupKind;
}

/// Local system names: none, empty, or this host.
bool IsLocalSystem(LPCSTR inSystemName)
{
    if (inSystemName == nullptr || inSystemName[0] == '\0')
        return true;
    const char* theName = inSystemName;
    while (*theName == '\\')
        ++theName;
    return strcasecmp(theName, LocalDomainName().c_str()) == 0;
}

/// Copies inText to a caller buffer with the size protocol of the lookup calls.
void CopyName(const std::string& inText, LPSTR outBuffer, LPDWORD inOutLength)
{
    memcpy(outBuffer, inText.c_str(), inText.size() + 1);
    *inOutLength = static_cast<DWORD>(inText.size());
}

}  // namespace

extern "C" BOOL IsValidSid(PSID inSid)
{
    if (inSid == nullptr)
        return FALSE;
    const auto* theSid = static_cast<const SID*>(inSid);
    return theSid->Revision == SID_REVISION && theSid->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES;
}

extern "C" DWORD GetLengthSid(PSID inSid)
{
    if (!IsValidSid(inSid))
        return 0;
    return 8 + static_cast<DWORD>(static_cast<const SID*>(inSid)->SubAuthorityCount) * sizeof(DWORD);
}

extern "C" BOOL GetTokenInformation(HANDLE inToken, TOKEN_INFORMATION_CLASS inClass, LPVOID outInformation,
                                    DWORD inLength, PDWORD outReturnLength)
{
    std::shared_ptr<Token> theToken = LookupHandle<Token>(inToken);
    if (!theToken)
        return FALSE;
    if (outReturnLength == nullptr || inClass != TokenUser) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD theNeeded = sizeof(TOKEN_USER) + kUnixSidSize;
    *outReturnLength = theNeeded;
    if (outInformation == nullptr || inLength < theNeeded) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* theUser = static_cast<TOKEN_USER*>(outInformation);
    void* theSid = static_cast<BYTE*>(outInformation) + sizeof(TOKEN_USER);
    WriteUnixSid(theSid, kUnixUserKind, theToken->account()->mUid);
    theUser->User.Sid = theSid;
    theUser->User.Attributes = 0;
    return TRUE;
}

extern "C" BOOL LookupAccountSidA(LPCSTR inSystemName, PSID inSid, LPSTR outName, LPDWORD inOutNameLength,
                                  LPSTR outDomain, LPDWORD inOutDomainLength, PSID_NAME_USE outUse)
{
    if (inOutNameLength == nullptr || inOutDomainLength == nullptr || !IsValidSid(inSid)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsLocalSystem(inSystemName)) {
        SetLastError(ERROR_BAD_NETPATH);
        return FALSE;
    }
    DWORD theKind = 0, theId = 0;
    std::string theName;
    if (ReadUnixSid(inSid, theKind, theId)) {
        if (theKind == kUnixUserKind) {
            AccountPtr theAccount = FindAccountByUid(static_cast<uid_t>(theId));
            if (theAccount)
                theName = theAccount->mName;
        } else {
            theName = FindGroupName(static_cast<gid_t>(theId));
        }
    }
    if (theName.empty()) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    const std::string theDomain = LocalDomainName();
    if (outName == nullptr || outDomain == nullptr || *inOutNameLength <= theName.size() ||
        *inOutDomainLength <= theDomain.size()) {
        *inOutNameLength = static_cast<DWORD>(theName.size() + 1);
        *inOutDomainLength = static_cast<DWORD>(theDomain.size() + 1);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    CopyName(theName, outName, inOutNameLength);
    CopyName(theDomain, outDomain, inOutDomainLength);
    if (outUse != nullptr)
        *outUse = theKind == kUnixUserKind ? SidTypeUser : SidTypeGroup;
    return TRUE;
}

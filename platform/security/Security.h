// Security.h: accounts, logon, per-thread impersonation and token queries (the advapi32
// subset), backed by PAM, the passwd/group databases and per-thread credentials.
//
//   HANDLE theToken = nullptr;
//   if (LogonUserA("alice", nullptr, "secret", LOGON32_LOGON_BATCH,
//                  LOGON32_PROVIDER_DEFAULT, &theToken) &&
//       ImpersonateLoggedOnUser(theToken)) {
//       // files created on this thread now belong to alice; other threads are unchanged
//       RevertToSelf();
//   }
//   CloseHandle(theToken);
//
// Accounts map to SIDs of the form S-1-22-1-<uid> (the usual Unix-user SID space), so a
// SID read from a token can be named again with LookupAccountSidA. Impersonation changes
// only the calling thread's effective uid, gid and supplementary groups; it needs root
// (a process that is not root can only "impersonate" its own account).
#pragma once

#include "platform/types/WinTypes.h"

// Access rights of tokens.
#define READ_CONTROL 0x00020000L
#define TOKEN_ASSIGN_PRIMARY 0x0001
#define TOKEN_DUPLICATE 0x0002
#define TOKEN_IMPERSONATE 0x0004
#define TOKEN_QUERY 0x0008
#define TOKEN_QUERY_SOURCE 0x0010
#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define TOKEN_ADJUST_GROUPS 0x0040
#define TOKEN_ADJUST_DEFAULT 0x0080
#define TOKEN_ALL_ACCESS 0x000F01FFL

// Logon types and providers of LogonUserA.
#define LOGON32_LOGON_INTERACTIVE 2
#define LOGON32_LOGON_NETWORK 3
#define LOGON32_LOGON_BATCH 4
#define LOGON32_LOGON_SERVICE 5
#define LOGON32_PROVIDER_DEFAULT 0

#define SID_REVISION 1
#define SID_MAX_SUB_AUTHORITIES 15
#define SECURITY_MAX_SID_SIZE 68

typedef void* PSID;

typedef struct _SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
} SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;

typedef struct _SID {
    BYTE Revision;
    BYTE SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[1];
} SID;

typedef struct _SID_AND_ATTRIBUTES {
    PSID Sid;
    DWORD Attributes;
} SID_AND_ATTRIBUTES, *PSID_AND_ATTRIBUTES;

typedef struct _TOKEN_USER {
    SID_AND_ATTRIBUTES User;
} TOKEN_USER, *PTOKEN_USER;

typedef enum _TOKEN_INFORMATION_CLASS {
    TokenUser = 1,
    TokenGroups,
    TokenPrivileges,
    TokenOwner,
    TokenPrimaryGroup,
    TokenDefaultDacl,
    TokenSource,
    TokenType,
    TokenImpersonationLevel,
    TokenStatistics
} TOKEN_INFORMATION_CLASS, *PTOKEN_INFORMATION_CLASS;

typedef enum _SID_NAME_USE {
    SidTypeUser = 1,
    SidTypeGroup,
    SidTypeDomain,
    SidTypeAlias,
    SidTypeWellKnownGroup,
    SidTypeDeletedAccount,
    SidTypeInvalid,
    SidTypeUnknown,
    SidTypeComputer,
    SidTypeLabel
} SID_NAME_USE, *PSID_NAME_USE;

/// Pseudo handle of the calling process, for OpenProcessToken (never closed).
extern "C" HANDLE GetCurrentProcess(void);
/// Pseudo handle of the calling thread, for OpenThreadToken (never closed).
extern "C" HANDLE GetCurrentThread(void);

/// Checks name and password through PAM (service "ferrolift": auth, then account) and
/// returns a token for the account in *outToken. Domain: null, "", "." or this host's
/// name. Wrong name or password: FALSE with ERROR_LOGON_FAILURE (1326). Close the token
/// with CloseHandle.
extern "C" BOOL LogonUserA(LPCSTR inUser, LPCSTR inDomain, LPCSTR inPassword,
                           DWORD inLogonType, DWORD inLogonProvider, PHANDLE outToken);

/// Makes the calling thread run as the token's account (effective uid, gid and groups of
/// this thread only) until RevertToSelf. The thread keeps its own reference to the
/// account, so the token handle may be closed meanwhile.
extern "C" BOOL ImpersonateLoggedOnUser(HANDLE inToken);

/// Ends the calling thread's impersonation: it runs as the process account again.
/// Succeeds when the thread does not impersonate. When the thread cannot be put back
/// (also after an ImpersonateLoggedOnUser that failed halfway and could not undo its
/// change), it fails, and every later call tries again until one succeeds.
extern "C" BOOL RevertToSelf(void);

/// Opens the calling thread's impersonation token (inThread = GetCurrentThread()).
/// Fails with ERROR_NO_TOKEN (1008) when the thread does not impersonate.
extern "C" BOOL OpenThreadToken(HANDLE inThread, DWORD inDesiredAccess, BOOL inOpenAsSelf,
                                PHANDLE outToken);

/// Opens the token of the process account (inProcess = GetCurrentProcess()).
extern "C" BOOL OpenProcessToken(HANDLE inProcess, DWORD inDesiredAccess, PHANDLE outToken);

/// Reads information of a token. Supported: TokenUser (a TOKEN_USER followed by its SID).
/// With a buffer that is null or too small: FALSE, ERROR_INSUFFICIENT_BUFFER (122) and the
/// needed size in *outReturnLength.
extern "C" BOOL GetTokenInformation(HANDLE inToken, TOKEN_INFORMATION_CLASS inClass,
                                    LPVOID outInformation, DWORD inLength,
                                    PDWORD outReturnLength);

/// Names the account of a SID on the local system (inSystemName null or empty): the
/// account name and, as its domain, this host's name (up to its first dot). The counts
/// are in characters: on entry the buffer sizes; on success the lengths without the
/// terminator; when a buffer is too small, ERROR_INSUFFICIENT_BUFFER (122) and the sizes
/// needed including the terminator. Unknown SID: ERROR_NONE_MAPPED (1332).
extern "C" BOOL LookupAccountSidA(LPCSTR inSystemName, PSID inSid, LPSTR outName,
                                  LPDWORD inOutNameLength, LPSTR outDomain,
                                  LPDWORD inOutDomainLength, PSID_NAME_USE outUse);

/// Checks a SID's structure.
extern "C" BOOL IsValidSid(PSID inSid);

/// Length in bytes of a valid SID.
extern "C" DWORD GetLengthSid(PSID inSid);

// Registry.h: the registry calls over a hierarchical store kept in one text file in the
// registry export format ("Windows Registry Editor Version 5.00"). The file is named by
// FERROLIFT_REGISTRY (read at every call, so tests can switch files), by default
// /var/lib/ferrolift/registry.reg for a process whose real user is root (so that threads
// impersonating other accounts can read it), else $XDG_STATE_HOME/ferrolift/registry.reg
// or ~/.local/state/ferrolift/registry.reg. The file is written with mode 0644 and new
// folders above it with 0755, whatever the umask.
//
//   HKEY theKey = nullptr;
//   if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tallowmere\\Ferrolift\\4.0", 0, KEY_READ, &theKey) == ERROR_SUCCESS) {
//       DWORD theValue = 0, theSize = sizeof theValue;
//       RegQueryValueExA(theKey, "LogErrors", nullptr, nullptr, reinterpret_cast<LPBYTE>(&theValue), &theSize);
//       RegCloseKey(theKey);
//   }
//
// Behaviour notes:
// - Key and value names compare case-insensitively (ASCII letters) and keep their case.
//   Subkeys enumerate in name order, values in the order they were created.
// - The A calls take and return UTF-8; string data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ)
//   is kept as UTF-16, as the W calls see it, and converted for the A calls.
// - Every call sees the file's latest content. Writes are atomic (temporary file and
//   rename, under a lock file "<file>.lock"), so concurrent writers in several processes
//   lose no update.
// - A file that does not parse makes every call fail with ERROR_BADDB (1009); it is
//   reported once per process to the event log and never rewritten.
// - A handle names its key by path: it stays valid across reloads of the file; once the
//   key is deleted, calls on it give ERROR_KEY_DELETED (1018).
// - HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\SOFTWARE\Classes. REG_OPTION_VOLATILE keys
//   are stored like the others.
#pragma once

#include "platform/types/WinTypes.h"

#include <string>

typedef LONG LSTATUS;
struct _SECURITY_ATTRIBUTES;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000000))))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001))))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000002))))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000003))))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_FULL_RESOURCE_DESCRIPTOR 9
#define REG_RESOURCE_REQUIREMENTS_LIST 10
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define WRITE_DAC 0x00040000L
#define WRITE_OWNER 0x00080000L
#define SYNCHRONIZE 0x00100000L
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_EXECUTE READ_CONTROL
#define STANDARD_RIGHTS_REQUIRED 0x000F0000L
#define STANDARD_RIGHTS_ALL 0x001F0000L

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_OPTION_CREATE_LINK 0x00000002L
#define REG_OPTION_BACKUP_RESTORE 0x00000004L
#define REG_OPTION_OPEN_LINK 0x00000008L

#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif
#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998L
#endif

extern "C" {

/// Opens an existing key. Null or "" opens the key itself again. Results: 0; 2 when the
/// key is missing; 6 for an invalid parent; 87 for a null phkResult or non-zero
/// ulOptions other than REG_OPTION_OPEN_LINK; 161 for a name starting with "\"; 1018
/// when the parent was deleted; 1009 when the file is corrupt.
LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);

/// Opens a key, creating it and any missing keys on its path. *lpdwDisposition (when not
/// null) receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. Class and security
/// attributes are ignored. 5 when the parent handle lacks KEY_CREATE_SUB_KEY and the
/// key must be created.
LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const struct _SECURITY_ATTRIBUTES* lpSecurityAttributes,
                               PHKEY phkResult, LPDWORD lpdwDisposition);
LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const struct _SECURITY_ATTRIBUTES* lpSecurityAttributes,
                               PHKEY phkResult, LPDWORD lpdwDisposition);

/// Reads a value (null or "" name: the key's default value). lpType, lpData and lpcbData
/// may each be null; with lpData null and lpcbData set, *lpcbData receives the size.
/// Results: 0; 2 when missing; 234 (ERROR_MORE_DATA) with the needed size in *lpcbData
/// when the buffer is too small; 87 for lpData without lpcbData or a non-null
/// lpReserved; 5 without KEY_QUERY_VALUE.
LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData);
LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData);

/// Creates or replaces a value. Results: 0; 5 without KEY_SET_VALUE; 87 for a name
/// longer than 16383 characters; 998 for null data with a non-zero size.
LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData);
LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData);

/// The subkey at dwIndex (name order). *lpcchName is the buffer size in characters with
/// the terminator on input, the name length without it on output. Results: 0; 259
/// (ERROR_NO_MORE_ITEMS) past the end; 234 when the name does not fit; 87 for a null name
/// or size; 5 without KEY_ENUMERATE_SUB_KEYS. Classes are empty.
LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);

/// The value at dwIndex (creation order), with the size rules of RegQueryValueExA for the
/// data and of RegEnumKeyExA for the name.
LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

/// Counts of subkeys and values and the longest names (characters, no terminator) and
/// data (bytes). Any pointer may be null.
LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);

/// Deletes a key that has no subkeys ("" deletes hKey itself). Results: 0; 2 when
/// missing; 5 when it has subkeys or is a root; 87 for a null name.
LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
/// Deletes a key with everything below it; a null name empties hKey (its subkeys and
/// values) but keeps it. 2 when missing.
LSTATUS WINAPI RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);
/// Deletes a value (null or "": the default value). 2 when missing; 5 without
/// KEY_SET_VALUE.
LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

/// Closes a handle. Closing a predefined root is allowed and does nothing. 6 for a handle
/// that is not open.
LSTATUS WINAPI RegCloseKey(HKEY hKey);

/// HKEY_LOCAL_MACHINE or HKEY_USERS of a machine: null, "", the host's own name (with or
/// without a leading "\\\\") or "localhost" connect to this machine and give a new handle
/// to close with RegCloseKey. Other names: 53 (ERROR_BAD_NETPATH). Other keys: 6.
LSTATUS WINAPI RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult);

}  // extern "C"

namespace ferrolift::platform {

/// The registry file in use now (FERROLIFT_REGISTRY or the default above).
std::string RegistryFilePath();

/// "" when the registry file is readable; otherwise a sentence naming the file and the
/// first problem (for a corrupt file: "line N: what was expected").
std::string RegistryFileProblem();

}  // namespace ferrolift::platform

/* The Win32 registry functions on POSIX, over one SQLite database (libzarn_registry).
 * Same signatures, error codes and case-insensitive key and value names as advapi32: names are single-byte text
 * of code page 1252, and its letters beyond ASCII compare without regard to case too ("\xC4" and "\xE4").
 * Every read sees every write committed before it, by this process or another.
 * The database is the file named by $ZARN_REGISTRY, else $XDG_DATA_HOME/Ostrevant/registry.sqlite3
 * (~/.local/share when XDG_DATA_HOME is unset). Every function may be called from any thread.
 * The path is looked up again whenever a predefined key is used, so each handle stays with the database it was
 * opened on. A database removed together with its -wal and -shm files starts afresh, and handles to the old one
 * give ERROR_KEY_DELETED; a database in use must not be replaced or restored, since its -wal file would be
 * replayed onto the new one.
 * A damaged file, or an SQLite file of another program, fails every call with ERROR_BADDB and is left alone.
 * RegEnumKeyA lists subkeys sorted by their upper-case names, as the Windows registry keeps them; RegEnumValueA
 * lists values in order of creation; replacing a value keeps its place and its name's case.
 * HKEY_CLASSES_ROOT is Windows' merged view of HKEY_CURRENT_USER\Software\Classes over
 * HKEY_LOCAL_MACHINE\Software\Classes: a key in both is one key whose per-user values win and whose subkeys are
 * both lists in one; values written through it go to the per-user key where it exists, else to the machine key,
 * and new keys to the machine layer; a key deleted through it is deleted where found, the per-user layer first.
 * Volatile keys are kept like any other. Handles do not cross fork(): a child opens its own (ERROR_INVALID_HANDLE).
 * Plain C: a component's DllRegisterServer includes this header and links libzarn_registry. */
#ifndef ZARN_REGISTRY_API_H
#define ZARN_REGISTRY_API_H

#include "WinTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define ZARN_REGISTRY_EXPORT __attribute__((visibility("default")))
#else
#define ZARN_REGISTRY_EXPORT
#endif

struct HKEY__;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME;

#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(uintptr_t)0x80000003u)

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_DWORD_BIG_ENDIAN 5u
#define REG_LINK 6u
#define REG_MULTI_SZ 7u
#define REG_RESOURCE_LIST 8u
#define REG_FULL_RESOURCE_DESCRIPTOR 9u
#define REG_RESOURCE_REQUIREMENTS_LIST 10u
#define REG_QWORD 11u

#define REG_OPTION_NON_VOLATILE 0x0u
#define REG_OPTION_VOLATILE 0x1u
#define REG_CREATED_NEW_KEY 0x1u
#define REG_OPENED_EXISTING_KEY 0x2u

/* Codes that only the registry functions give, beside those of WinTypes.h. */
#define ERROR_BAD_PATHNAME 161L
#define ERROR_KEY_DELETED 1018L

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_WOW64_64KEY 0x0100u
#define KEY_WOW64_32KEY 0x0200u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_EXECUTE 0x20019u
#define KEY_ALL_ACCESS 0xF003Fu

ZARN_REGISTRY_EXPORT LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                        PHKEY phkResult);
ZARN_REGISTRY_EXPORT LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                                          REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                          PHKEY phkResult, LPDWORD lpdwDisposition);
ZARN_REGISTRY_EXPORT LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                           LPBYTE lpData, LPDWORD lpcbData);
ZARN_REGISTRY_EXPORT LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                         const BYTE* lpData, DWORD cbData);
ZARN_REGISTRY_EXPORT LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
ZARN_REGISTRY_EXPORT LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
ZARN_REGISTRY_EXPORT LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);
ZARN_REGISTRY_EXPORT LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName);
ZARN_REGISTRY_EXPORT LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                                        LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
ZARN_REGISTRY_EXPORT LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                           LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                           LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                           LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
ZARN_REGISTRY_EXPORT LONG RegCloseKey(HKEY hKey);
ZARN_REGISTRY_EXPORT LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult);

/* Not a Win32 function: the database file that the predefined keys would open now, so that a tool can name it
 * in a message. Copies the path and its terminating zero into lpPath when *lpcchPath (in chars, terminator
 * included) is large enough, else gives ERROR_MORE_DATA; with lpPath NULL gives ERROR_SUCCESS. Either way
 * *lpcchPath becomes the path's length + 1. Any thread; ERROR_REGISTRY_IO_FAILED when no path can be formed. */
ZARN_REGISTRY_EXPORT LONG ZarnRegGetDatabasePathA(LPSTR lpPath, LPDWORD lpcchPath);

/* Not Win32 functions: a capture of this process's registry writes, so that a component's registration code takes
 * effect all together or not at all. ZarnRegBeginCapture opens one transaction on the database the predefined keys
 * open now, holding its write lock (other processes' writes wait for it, up to the usual busy timeout); every
 * registry call of this process then joins it, a failing call taking back only its own writes, and is seen by this
 * process's later reads but by no other process. ZarnRegEndCapture(TRUE) commits all of it in one step and
 * ZarnRegEndCapture(FALSE) rolls all of it back; a process that ends with a capture open has committed none of it.
 * ERROR_INVALID_FUNCTION: Begin with a capture open already, End with none open. A commit that fails (a failing
 * disk) applies nothing and gives the error. Any thread, but each capture takes in every thread's calls. */
ZARN_REGISTRY_EXPORT LONG ZarnRegBeginCapture(void);
ZARN_REGISTRY_EXPORT LONG ZarnRegEndCapture(BOOL bCommit);

#ifdef __cplusplus
}
#endif

#endif

// The registry: keys under three predefined roots, with named values.
//
// HKEY_CLASSES_ROOT is a hive of its own here. On Windows it is a view that
// merges HKEY_LOCAL_MACHINE\Software\Classes with the user's classes; nothing
// the system does depends on the merge, and a separate hive keeps a machine
// registration apart from the user's settings.
//
// All hives live in one text file (see stand_in/registry.h), written whole
// and atomically after each change. Key and value names are compared without
// regard to case and keep the case they were created with; the empty value
// name is the key's default value. As on Windows, an empty subkey path names
// the key itself. Strings are kept as UTF-16, as Windows keeps them; the
// functions below take and give this machine's wchar_t, and every size they
// speak of is in bytes of wchar_t data.
#pragma once

#include <windows.h>
#include <fileapi.h>

DECLARE_HANDLE(HKEY);
typedef HKEY* PHKEY;
typedef LONG LSTATUS;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef FILETIME* PFILETIME;

// LPSECURITY_ATTRIBUTES and FILETIME come from fileapi.h.

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

#ifndef DELETE
#define DELETE 0x00010000L
#endif
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
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003F
#define MAXIMUM_ALLOWED 0x02000000L

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#ifndef ERROR_MORE_DATA
#define ERROR_MORE_DATA 234L
#endif
#ifndef ERROR_NO_MORE_ITEMS
#define ERROR_NO_MORE_ITEMS 259L
#endif
#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif
#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998L
#endif
#define ERROR_BADDB 1009L
#define ERROR_BADKEY 1010L
#define ERROR_CANTOPEN 1011L
#define ERROR_CANTREAD 1012L
#define ERROR_CANTWRITE 1013L
#define ERROR_KEY_DELETED 1018L

// The key `sub_key` below `key`, made with every missing key on the way.
// Options other than REG_OPTION_NON_VOLATILE are refused.
LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD reserved, LPWSTR key_class, DWORD options,
                               REGSAM desired, const LPSECURITY_ATTRIBUTES security, PHKEY result,
                               LPDWORD disposition);
LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM desired, PHKEY result);
LSTATUS WINAPI RegCloseKey(HKEY key);
LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD size);
LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD size);
LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR value_name);
// Fails with ERROR_ACCESS_DENIED while the key has subkeys.
LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR sub_key);
// A null `sub_key` empties `key` (its values and subkeys) and keeps it.
LSTATUS WINAPI RegDeleteTreeW(HKEY key, LPCWSTR sub_key);
LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_chars, LPDWORD reserved,
                             LPWSTR key_class, LPDWORD class_chars, PFILETIME last_write);
LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_chars, LPDWORD reserved,
                             LPDWORD type, LPBYTE data, LPDWORD size);
LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR key_class, LPDWORD class_chars, LPDWORD reserved,
                                LPDWORD sub_keys, LPDWORD max_sub_key_chars, LPDWORD max_class_chars,
                                LPDWORD values, LPDWORD max_value_name_chars, LPDWORD max_value_size,
                                LPDWORD security_descriptor_size, PFILETIME last_write);

// Windows file search over the real file system. Patterns are a directory
// (any Windows path, mapped as stand_in/paths.h says) and a last component
// with "*" and "?" (and the file system's "<", ">" and "\""), matched without
// regard to case as Windows does. Entries whose names Windows forbids
// (holding \ / : * ? " < > | or a control character) are never found.
#pragma once

#include <windows.h>

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATAW;

// The first entry matching `pattern`, or INVALID_HANDLE_VALUE with the last
// error ERROR_PATH_NOT_FOUND (no such directory), ERROR_FILE_NOT_FOUND (no
// match) or ERROR_FILENAME_EXCED_RANGE (MAX_PATH characters or more without
// the \\?\ prefix). The entries are taken when the search starts and come
// in name order, so files deleted during the search don't disturb it.
HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
// The next entry; FALSE with ERROR_NO_MORE_FILES after the last one.
BOOL WINAPI FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data);
BOOL WINAPI FindClose(HANDLE search);

// Files by Windows path (mapped as stand_in/paths.h says). A file without
// its owner's write permission is read-only (FILE_ATTRIBUTE_READONLY), and
// Windows refuses to write or delete it even where this machine would let
// the caller. Paths of MAX_PATH characters or more need the \\?\ prefix.
// Sharing is honoured between the handles of this process.
struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

// Access: GENERIC_READ, GENERIC_WRITE or both (or 0); sharing: FILE_SHARE_*
// (winbase.h). Attributes other than those above and FILE_FLAG_* options
// are refused (ERROR_INVALID_PARAMETER); so are security attributes that
// ask for an inherited handle, and a template. An existing file opened by
// OPEN_ALWAYS or CREATE_ALWAYS leaves ERROR_ALREADY_EXISTS as the last error.
HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile);
// Synchronous only (a non-null OVERLAPPED is refused). Reading at the end of
// the file succeeds with 0 bytes.
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD count, DWORD* read, LPOVERLAPPED overlapped);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD count, DWORD* written, LPOVERLAPPED overlapped);
// ERROR_FILE_NOT_FOUND (ERROR_PATH_NOT_FOUND when the folder is missing),
// ERROR_ACCESS_DENIED for a read-only file or a directory,
// ERROR_SHARING_VIOLATION while a handle without FILE_SHARE_DELETE is open.
BOOL WINAPI DeleteFileW(LPCWSTR path);
// FILE_ATTRIBUTE_DIRECTORY, or FILE_ATTRIBUTE_ARCHIVE for a file, with
// FILE_ATTRIBUTE_READONLY; INVALID_FILE_ATTRIBUTES for a missing one.
DWORD WINAPI GetFileAttributesW(LPCWSTR path);
// Only FILE_ATTRIBUTE_READONLY changes anything here.
BOOL WINAPI SetFileAttributesW(LPCWSTR path, DWORD attributes);

// The folder for temporary files with a trailing backslash, in Windows
// form: the first of the environment variables TMP, TEMP and USERPROFILE
// that is set and not empty (a native path such as /var/tmp is given its
// Windows form), else /tmp. The result is its length without the zero; a
// buffer too small is left alone and the result is the length it needs,
// the zero included.
DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buffer);
// "<dir>\<up to 3 characters of prefix><hex>.TMP" into `name` (MAX_PATH
// characters). With `unique` 0 the number is one that names no file in the
// folder (without regard to case), and the file is created empty; the
// folder must exist (else ERROR_DIRECTORY). Another `unique` forms the name
// from its low 16 bits only, making no file. The result is the number used,
// 0 on failure.
UINT WINAPI GetTempFileNameW(LPCWSTR dir, LPCWSTR prefix, UINT unique, LPWSTR name);

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

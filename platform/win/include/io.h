// Low-level file CRT functions of Windows on wide paths.
#pragma once

#include <windows.h>

// Deletes the file at a Windows path; 0 on success, -1 with errno set:
// EACCES for a read-only file or a directory (as on Windows, even where this
// machine would allow it), ENOENT for no such file or a path of MAX_PATH
// characters or more without the \\?\ prefix.
int __cdecl _wunlink(const wchar_t* path);

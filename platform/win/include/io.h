// Low-level file CRT functions of Windows on wide paths.
#pragma once

#include <windows.h>

// Deletes the file at a Windows path; 0 on success, -1 with errno set.
int __cdecl _wunlink(const wchar_t* path);

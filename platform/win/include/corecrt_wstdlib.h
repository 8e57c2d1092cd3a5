// Wide CRT helpers that Windows declares in <stdlib.h>: number parsing and
// path splitting. Here <stdlib.h> is the C library's own, so <windows.h>
// pulls these in.
#pragma once

#include <windows.h>

#include <cstddef>

typedef int errno_t;

// Buffer sizes of the path components, each with its terminating zero.
#define _MAX_PATH 260
#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256

// Leading white space, an optional sign, then decimal digits up to the first
// other character; 0 without digits, INT_MAX or INT_MIN (errno ERANGE) when
// the number does not fit.
int __cdecl _wtoi(const wchar_t* text);

// Splits "X:\dir\name.ext" into drive "X:", directory "\dir\" (with its
// trailing separator; both separators count), base name and extension (from
// the last "." of the final component). Any output may be null. A buffer
// too small for its component makes every buffer empty and gives ERANGE; a
// null path or a null buffer with a size (or a buffer with size 0) gives
// EINVAL.
errno_t __cdecl _wsplitpath_s(const wchar_t* path, wchar_t* drive, size_t driveCount, wchar_t* dir, size_t dirCount,
                              wchar_t* fname, size_t fnameCount, wchar_t* ext, size_t extCount);
// The same into buffers of _MAX_DRIVE, _MAX_DIR, _MAX_FNAME and _MAX_EXT
// characters. A component that does not fit empties every output (errno
// ERANGE) instead of writing past the buffers.
void __cdecl _wsplitpath(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext);

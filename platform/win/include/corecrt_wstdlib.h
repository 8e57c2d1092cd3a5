// Wide CRT helpers that Windows declares in <stdlib.h>: number parsing and
// path splitting. Here <stdlib.h> is the C library's own, so <windows.h>
// pulls these in.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

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

// Called by the CRT for an argument it refuses: expression, function, file,
// line and a reserved value (a release CRT passes nulls and 0; ours names the
// expression and the function). Without a handler installed the process ends
// (here with a message on standard error and abort()); with one that returns,
// the function goes on to its documented error result.
typedef void(__cdecl* _invalid_parameter_handler)(const wchar_t* expression, const wchar_t* function,
                                                  const wchar_t* file, unsigned int line, uintptr_t reserved);
// Installs `handler` (null: the default) and gives the previous one.
_invalid_parameter_handler __cdecl _set_invalid_parameter_handler(_invalid_parameter_handler handler);

// Splits "X:\dir\name.ext" into drive "X:", directory "\dir\" (with its
// trailing separator; both separators count), base name and extension (from
// the last "." of the final component). Any output may be null. A buffer
// too small for its component, a null path, or a null buffer with a size (or
// a buffer with size 0) reaches the invalid-parameter handler, which by
// default ends the process; if the handler returns, every buffer is made
// empty and the result is ERANGE (too small) or EINVAL.
errno_t __cdecl _wsplitpath_s(const wchar_t* path, wchar_t* drive, size_t driveCount, wchar_t* dir, size_t dirCount,
                              wchar_t* fname, size_t fnameCount, wchar_t* ext, size_t extCount);
// The same into buffers of _MAX_DRIVE, _MAX_DIR, _MAX_FNAME and _MAX_EXT
// characters: a component that does not fit reaches the invalid-parameter
// handler too, never writing past the buffers.
void __cdecl _wsplitpath(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext);

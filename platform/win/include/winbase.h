// Windows base services: handles, global memory, and the access and sharing
// flags of the file functions (fileapi.h).
#pragma once

#include <windows.h>

// 64-bit integers as the file and stream interfaces pass them.
typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER;
typedef union _ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
} ULARGE_INTEGER;

#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#ifndef NO_ERROR
#define NO_ERROR 0L
#endif
#define ERROR_FILE_EXISTS 80L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_EOF 38L
#define ERROR_DISK_FULL 112L
#define ERROR_BUFFER_OVERFLOW 111L
#define ERROR_DISCARDED 157L
#define ERROR_NOT_LOCKED 158L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_DIRECTORY 267L

// FALSE with ERROR_INVALID_HANDLE for a handle that is not open (closed
// already, or never given out). Only file handles are closed here.
BOOL WINAPI CloseHandle(HANDLE object);

// Global memory. A fixed block's handle is its address; a moveable block's
// handle is not, and GlobalLock gives its address, counting the locks.
// Handles of moveable blocks are never given out twice, so a freed one
// stays invalid.
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GMEM_MODIFY 0x0080
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
// A moveable block keeps its handle; GMEM_MOVEABLE lets the block move,
// even while locked (the old address is then dead); without it a block
// that would have to move is not resized and the result is null. A fixed
// block that moves gets a new handle (its new address). GMEM_ZEROINIT clears
// the bytes added.
HGLOBAL WINAPI GlobalReAlloc(HGLOBAL memory, SIZE_T bytes, UINT flags);
// The block's address, the lock count one higher; null for a freed or
// unknown handle (ERROR_INVALID_HANDLE) or a moveable block of 0 bytes
// (ERROR_DISCARDED).
LPVOID WINAPI GlobalLock(HGLOBAL memory);
// TRUE while the block stays locked; FALSE when this unlock was the last
// one (last error NO_ERROR), or the block was not locked (ERROR_NOT_LOCKED).
BOOL WINAPI GlobalUnlock(HGLOBAL memory);
// The block's size; 0 with ERROR_INVALID_HANDLE for a freed handle.
SIZE_T WINAPI GlobalSize(HGLOBAL memory);
// Null once freed (locked or not); the handle itself when it names no block.
HGLOBAL WINAPI GlobalFree(HGLOBAL memory);

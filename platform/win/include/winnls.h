// Locales and code pages.
//
// The user's and the system's locale here are English (United States),
// 0x0409, whose ANSI code page is Windows-1252; a thread's locale starts as
// the user's. SetThreadLocale takes LOCALE_USER_DEFAULT (0x0400),
// LOCALE_SYSTEM_DEFAULT (0x0800) and LOCALE_INVARIANT and keeps them as
// given, and the locales whose ANSI code page is Windows-1252 (the Western
// European and American ones, default sort order); any other is refused
// (FALSE, ERROR_INVALID_PARAMETER), as this machine carries no other code page.
//
// Code pages: CP_ACP and CP_THREAD_ACP are both Windows-1252 (also as 1252),
// and CP_UTF8. Counts of wide characters are in this machine's wchar_t, which
// holds a whole code point. A character Windows-1252 lacks becomes the
// default character ("?" unless given), with no best-fit mapping.
#pragma once

#include <windows.h>

typedef WORD LANGID;
typedef BOOL* LPBOOL;

#define SORT_DEFAULT 0x0
#define MAKELCID(lang, sort) ((LCID)((((DWORD)(WORD)(sort)) << 16) | (DWORD)(WORD)(lang)))
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))
#define SORTIDFROMLCID(lcid) ((WORD)((((DWORD)(lcid)) >> 16) & 0xf))

#define LOCALE_NEUTRAL ((LCID)0x0000)
#define LOCALE_INVARIANT ((LCID)0x007F)
#define LOCALE_USER_DEFAULT ((LCID)0x0400)
#define LOCALE_SYSTEM_DEFAULT ((LCID)0x0800)

LCID WINAPI GetThreadLocale();
BOOL WINAPI SetThreadLocale(LCID locale);

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_NO_BEST_FIT_CHARS 0x00000400

#define ERROR_INVALID_FLAGS 1004L
#define ERROR_NO_UNICODE_TRANSLATION 1113L

// A source count of -1 reads up to and with the terminating zero. A
// destination size of 0 asks for the size needed; a smaller destination
// fails with ERROR_INSUFFICIENT_BUFFER. Invalid UTF-8 (or, in wide text, a
// surrogate or a value past U+10FFFF) becomes U+FFFD, or fails with
// ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS or
// WC_ERR_INVALID_CHARS. CP_UTF8 takes no default character.
int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_count, LPSTR multi,
                               int multi_size, LPCSTR default_char, LPBOOL used_default_char);
int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi, int multi_count, LPWSTR wide,
                               int wide_size);

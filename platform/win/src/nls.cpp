// The thread locale and the code page conversions of winnls.h.
#include <winnls.h>
#include <windows.h>

#include "stand_in/text.h"

#include <string>

namespace {

// The locale of every thread here starts as the user's.
thread_local LCID t_locale = 0x0409;

bool IsKnownLocale(LCID locale) {
  static const WORD kWindows1252[] = {
      0x0406, 0x0407, 0x0409, 0x040A, 0x040B, 0x040C, 0x040F, 0x0410, 0x0413, 0x0414, 0x0416, 0x041D,
      0x0807, 0x0809, 0x080A, 0x080C, 0x0810, 0x0813, 0x0816, 0x0C07, 0x0C09, 0x0C0A, 0x0C0C, 0x1007,
      0x1009, 0x100C, 0x1407, 0x1409, 0x140C, 0x1809, 0x2009, 0x2809, 0x2C09, 0x3009, 0x3409};
  if (locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT || locale == LOCALE_INVARIANT) return true;
  if (locale >> 16) return false;  // default sort order only
  for (WORD known : kWindows1252)
    if (known == locale) return true;
  return false;
}

// Windows-1252 at 0x80 to 0x9F; zero where the code page has no character
// (those bytes stand for the C1 control of the same value).
const wchar_t k1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

wchar_t From1252(unsigned char b) {
  if (b < 0x80 || b >= 0xA0) return b;
  return k1252High[b - 0x80] ? k1252High[b - 0x80] : b;
}

// -1 when the character has no byte.
int To1252(wchar_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  if (c >= 0x80 && c < 0xA0) return k1252High[c - 0x80] ? -1 : static_cast<int>(c);
  for (int i = 0; i < 32; ++i)
    if (k1252High[i] == c) return 0x80 + i;
  return -1;
}

bool IsAnsi(UINT code_page) { return code_page == CP_ACP || code_page == CP_THREAD_ACP || code_page == 1252; }

bool IsScalar(uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

LCID WINAPI GetThreadLocale() { return t_locale; }

BOOL WINAPI SetThreadLocale(LCID locale) {
  if (!IsKnownLocale(locale)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t_locale = locale;
  return TRUE;
}

int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_count, LPSTR multi,
                               int multi_size, LPCSTR default_char, LPBOOL used_default_char) {
  if (!wide || wide_count == 0 || wide_count < -1 || multi_size < 0 || (!multi && multi_size > 0) ||
      (multi && static_cast<const void*>(multi) == static_cast<const void*>(wide)))
    return Fail(ERROR_INVALID_PARAMETER);
  const bool utf8 = code_page == CP_UTF8;
  if (!utf8 && !IsAnsi(code_page)) return Fail(ERROR_INVALID_PARAMETER);
  if (utf8) {
    if (flags & ~DWORD(WC_ERR_INVALID_CHARS)) return Fail(ERROR_INVALID_FLAGS);
    if (default_char || used_default_char) return Fail(ERROR_INVALID_PARAMETER);
  } else if (flags & ~DWORD(WC_NO_BEST_FIT_CHARS)) {
    return Fail(ERROR_INVALID_FLAGS);
  }
  const size_t count = wide_count == -1 ? std::wcslen(wide) + 1 : static_cast<size_t>(wide_count);
  std::string out;
  try {
    out.reserve(count);
    bool usedDefault = false;
    const char fallback = default_char ? default_char[0] : '?';
    for (size_t i = 0; i < count; ++i) {
      const uint32_t c = static_cast<uint32_t>(wide[i]);
      if (utf8) {
        if (!IsScalar(c)) {
          if (flags & WC_ERR_INVALID_CHARS) return Fail(ERROR_NO_UNICODE_TRANSLATION);
          stand_in::AppendUtf8(out, 0xFFFD);
        } else {
          stand_in::AppendUtf8(out, c);
        }
      } else {
        const int b = To1252(static_cast<wchar_t>(c));
        if (b < 0) {
          out += fallback;
          usedDefault = true;
        } else {
          out += static_cast<char>(b);
        }
      }
    }
    if (used_default_char) *used_default_char = usedDefault ? TRUE : FALSE;
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  if (out.size() > 0x7FFFFFFF) return Fail(ERROR_INVALID_PARAMETER);
  if (multi_size == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(multi_size)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(multi, out.data(), out.size());
  return static_cast<int>(out.size());
}

int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi, int multi_count, LPWSTR wide,
                               int wide_size) {
  if (!multi || multi_count == 0 || multi_count < -1 || wide_size < 0 || (!wide && wide_size > 0) ||
      (wide && static_cast<const void*>(multi) == static_cast<const void*>(wide)))
    return Fail(ERROR_INVALID_PARAMETER);
  const bool utf8 = code_page == CP_UTF8;
  if (!utf8 && !IsAnsi(code_page)) return Fail(ERROR_INVALID_PARAMETER);
  if (flags & ~DWORD(utf8 ? MB_ERR_INVALID_CHARS : (MB_ERR_INVALID_CHARS | MB_PRECOMPOSED)))
    return Fail(ERROR_INVALID_FLAGS);
  const size_t count = multi_count == -1 ? std::strlen(multi) + 1 : static_cast<size_t>(multi_count);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(multi);
  std::wstring out;
  try {
    out.reserve(count);
    for (size_t i = 0; i < count;) {
      if (!utf8) {
        out += From1252(bytes[i++]);
        continue;
      }
      uint32_t c;
      bool valid;
      i += stand_in::DecodeUtf8(bytes + i, count - i, c, valid);
      if (!valid && (flags & MB_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
      out += static_cast<wchar_t>(c);
    }
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  if (wide_size == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(wide_size)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::wmemcpy(wide, out.data(), out.size());
  return static_cast<int>(out.size());
}

#include "stand_in/text.h"

#include <windows.h>

#include <cerrno>
#include <clocale>
#include <cwctype>
#include <vector>

#include <locale.h>

namespace stand_in {
namespace {

// Rewrites a Microsoft wide format into the C library's wide format.
std::wstring TranslateFormat(const wchar_t* format) {
  std::wstring out;
  for (const wchar_t* p = format; *p;) {
    if (*p != L'%') {
      out += *p++;
      continue;
    }
    out += *p++;
    if (*p == L'%') {
      out += *p++;
      continue;
    }
    while (*p && std::wcschr(L"-+ #0", *p)) out += *p++;
    while (*p && (std::iswdigit(*p) || *p == L'*')) out += *p++;
    if (*p == L'.') {
      out += *p++;
      while (*p && (std::iswdigit(*p) || *p == L'*')) out += *p++;
    }
    enum { kNone, kShort, kLong, kOther } size = kNone;
    if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
      out += L"ll";
      p += 3;
      size = kOther;
    } else if (p[0] == L'h' && p[1] == L'h') {
      out += L"hh";
      p += 2;
      size = kOther;
    } else if (*p == L'h') {
      ++p;
      size = kShort;
    } else if (*p == L'l' || *p == L'w') {
      ++p;
      if (*p == L'l') {
        out += L"ll";
        ++p;
        size = kOther;
      } else {
        size = kLong;
      }
    } else if (*p == L'L' || *p == L'z' || *p == L'j' || *p == L't') {
      out += *p++;
      size = kOther;
    }
    if (!*p) break;
    wchar_t conv = *p++;
    switch (conv) {
      case L's':
      case L'c':
        if (size == kShort) out += conv;           // %hs: narrow
        else out += L'l', out += conv;              // %s, %ls: wide
        break;
      case L'S':
      case L'C':
        if (size == kLong) out += L'l';             // %lS: wide
        out += static_cast<wchar_t>(std::towlower(conv));  // %S: narrow
        break;
      default:
        if (size == kShort) out += L'h';
        else if (size == kLong) out += L'l';
        out += conv;
    }
  }
  return out;
}

}  // namespace

bool VFormat(std::wstring& out, const wchar_t* format, va_list args) {
  out.clear();
  if (!format) return false;
  const std::wstring fmt = TranslateFormat(format);
  std::vector<wchar_t> buffer(256);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vswprintf(buffer.data(), buffer.size(), fmt.c_str(), copy);
    va_end(copy);
    if (n >= 0) {
      out.assign(buffer.data(), static_cast<size_t>(n));
      return true;
    }
    // The C library reports both overflow and a bad argument as -1.
    if (buffer.size() >= (size_t{1} << 26)) return false;
    buffer.resize(buffer.size() * 4);
  }
}

std::wstring Format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring out;
  VFormat(out, format, args);
  va_end(args);
  return out;
}

namespace {
// The case tables of a Unicode locale, whatever locale the process runs in.
locale_t UnicodeLocale() {
  static const locale_t unicode = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return l ? l : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
  }();
  return unicode;
}
}  // namespace

wchar_t ToUpper(wchar_t c) { return static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), UnicodeLocale())); }
wchar_t ToLower(wchar_t c) { return static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), UnicodeLocale())); }

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

size_t DecodeUtf8(const unsigned char* p, size_t left, uint32_t& c, bool& valid) {
  valid = false;
  c = 0xFFFD;
  const unsigned char b = p[0];
  if (b < 0x80) {
    c = b;
    valid = true;
    return 1;
  }
  size_t length;
  uint32_t value;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (b >= 0xC2 && b <= 0xDF) length = 2, value = b & 0x1F;
  else if (b >= 0xE0 && b <= 0xEF) {
    length = 3, value = b & 0x0F;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4, value = b & 0x07;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 1;
  }
  for (size_t i = 1; i < length; ++i) {
    if (i >= left) return i;
    const unsigned char next = p[i];
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return i;
    value = (value << 6) | (next & 0x3F);
  }
  c = value;
  valid = true;
  return length;
}

std::string ToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    uint32_t c = static_cast<uint32_t>(wc);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    AppendUtf8(out, c);
  }
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    uint32_t c;
    bool valid;
    const size_t used = DecodeUtf8(bytes + i, text.size() - i, c, valid);
    out += static_cast<wchar_t>(c);
    i += valid ? used : 1;
  }
  return out;
}

namespace {
template <typename Unit>
std::wstring JoinUtf16(size_t count, Unit unit) {
  std::wstring out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = unit(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < count) {
      const uint32_t lo = unit(i + 1);
      if (lo >= 0xDC00 && lo < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      }
    }
    out += static_cast<wchar_t>(c);
  }
  return out;
}
}  // namespace

std::wstring FromUtf16(const uint16_t* units, size_t count) {
  return JoinUtf16(count, [units](size_t i) { return static_cast<uint32_t>(units[i]); });
}

std::wstring FromUtf16Le(const unsigned char* bytes, size_t size) {
  return JoinUtf16(size / 2, [bytes](size_t i) { return static_cast<uint32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)); });
}

void AppendUtf16Le(std::vector<uint8_t>& out, uint32_t c) {
  if (c >= 0x10000) {
    const uint32_t hi = 0xD800 + ((c - 0x10000) >> 10), lo = 0xDC00 + ((c - 0x10000) & 0x3FF);
    out.insert(out.end(), {static_cast<uint8_t>(hi), static_cast<uint8_t>(hi >> 8), static_cast<uint8_t>(lo),
                           static_cast<uint8_t>(lo >> 8)});
  } else {
    out.insert(out.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  }
}

}  // namespace stand_in

// --- CRT wide helpers -------------------------------------------------------

namespace {

// The CRT's formatting, which reports running out of memory as a failure
// with errno ENOMEM.
bool CrtFormat(std::wstring& out, const wchar_t* format, va_list args) noexcept {
  try {
    return stand_in::VFormat(out, format, args);
  } catch (...) {
    errno = ENOMEM;
    return false;
  }
}

}  // namespace

int __cdecl _vsnwprintf_s(wchar_t* buffer, size_t count, size_t max_count, const wchar_t* format, va_list args) {
  if (!buffer || count == 0) return -1;
  std::wstring out;
  if (!CrtFormat(out, format, args)) {
    buffer[0] = 0;
    return -1;
  }
  size_t limit = count - 1;
  if (max_count != _TRUNCATE && max_count < limit) limit = max_count;
  if (out.size() > limit) {
    if (max_count == _TRUNCATE) {
      std::wmemcpy(buffer, out.data(), limit);
      buffer[limit] = 0;
    } else {
      buffer[0] = 0;
    }
    return -1;
  }
  std::wmemcpy(buffer, out.data(), out.size());
  buffer[out.size()] = 0;
  return static_cast<int>(out.size());
}

int __cdecl _snwprintf_s(wchar_t* buffer, size_t count, size_t max_count, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  int n = _vsnwprintf_s(buffer, count, max_count, format, args);
  va_end(args);
  return n;
}

int __cdecl swprintf_s(wchar_t* buffer, size_t count, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  int n = _vsnwprintf_s(buffer, count, count ? count - 1 : 0, format, args);
  va_end(args);
  return n;
}

int __cdecl _vscwprintf(const wchar_t* format, va_list args) {
  std::wstring out;
  return CrtFormat(out, format, args) ? static_cast<int>(out.size()) : -1;
}

int __cdecl _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const wchar_t ca = stand_in::ToLower(a[i]);
    const wchar_t cb = stand_in::ToLower(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
  return 0;
}

int __cdecl _wcsicmp(const wchar_t* a, const wchar_t* b) { return _wcsnicmp(a, b, static_cast<size_t>(-1)); }

wchar_t* __cdecl _wcslwr(wchar_t* text) {
  for (wchar_t* p = text; p && *p; ++p) *p = stand_in::ToLower(*p);
  return text;
}

wchar_t* __cdecl _wcsupr(wchar_t* text) {
  for (wchar_t* p = text; p && *p; ++p) *p = stand_in::ToUpper(*p);
  return text;
}

int __cdecl wcscpy_s(wchar_t* dest, size_t count, const wchar_t* source) {
  if (!dest || count == 0) return 22;  // EINVAL
  if (!source) {
    dest[0] = 0;
    return 22;
  }
  size_t n = std::wcslen(source);
  if (n >= count) {
    dest[0] = 0;
    return 34;  // ERANGE
  }
  std::wmemcpy(dest, source, n + 1);
  return 0;
}

int __cdecl wcscat_s(wchar_t* dest, size_t count, const wchar_t* source) {
  if (!dest || count == 0 || !source) return 22;
  size_t have = std::wcslen(dest);
  if (have >= count) return 22;
  return wcscpy_s(dest + have, count - have, source);
}

// --- Last error ---------------------------------------------------------------

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD WINAPI GetLastError() { return t_lastError; }
void WINAPI SetLastError(DWORD code) { t_lastError = code; }

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Wide CRT: _wtoi, _wsplitpath, _wunlink and the invalid-parameter handler.
#include <windows.h>

#include "stand_in/paths.h"
#include "stand_in/text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

int __cdecl _wtoi(const wchar_t* text) {
  if (!text) {
    errno = EINVAL;
    return 0;
  }
  const wchar_t* p = text;
  // The C locale's white space, whatever locale the process runs in.
  while (*p == L' ' || (*p >= L'\t' && *p <= L'\r')) ++p;
  bool negative = false;
  if (*p == L'+' || *p == L'-') negative = *p++ == L'-';
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long value = 0;
  bool overflow = false;
  for (; *p >= L'0' && *p <= L'9'; ++p) {
    if (overflow) continue;
    value = value * 10 + (*p - L'0');
    if (value > limit) overflow = true;
  }
  if (overflow) {
    errno = ERANGE;
    return negative ? INT_MIN : INT_MAX;
  }
  return static_cast<int>(negative ? -value : value);
}

namespace {

_invalid_parameter_handler g_invalidParameterHandler = nullptr;

// As the CRT does: the installed handler, else the default one, which ends
// the process on the spot.
void InvalidParameter(const wchar_t* expression, const wchar_t* function) {
  if (_invalid_parameter_handler handler = g_invalidParameterHandler) {
    handler(expression, function, nullptr, 0, 0);
    return;
  }
  std::fprintf(stderr, "Invalid parameter passed to %ls (%ls): the process ends\n", function, expression);
  std::fflush(stderr);
  std::abort();
}

struct Span {
  size_t start = 0, length = 0;
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// A buffer with its size, both null/zero when the component isn't wanted.
struct Out {
  wchar_t* buffer;
  size_t count;
  Span span;
};

void Clear(Out* outs, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (outs[i].buffer && outs[i].count) outs[i].buffer[0] = 0;
}

}  // namespace

errno_t __cdecl _wsplitpath_s(const wchar_t* path, wchar_t* drive, size_t driveCount, wchar_t* dir, size_t dirCount,
                              wchar_t* fname, size_t fnameCount, wchar_t* ext, size_t extCount) {
  Out outs[4] = {{drive, driveCount, {}}, {dir, dirCount, {}}, {fname, fnameCount, {}}, {ext, extCount, {}}};
  bool valid = path != nullptr;
  for (const Out& o : outs)
    if ((o.buffer == nullptr) != (o.count == 0)) valid = false;
  if (!valid) {
    Clear(outs, 4);
    InvalidParameter(L"path and every buffer with its size", L"_wsplitpath_s");
    errno = EINVAL;
    return EINVAL;
  }

  const size_t n = std::wcslen(path);
  size_t at = 0;
  if (n >= 2 && path[1] == L':' && IsDriveLetter(path[0])) {
    outs[0].span = {0, 2};
    at = 2;
  }
  size_t dirEnd = at;
  for (size_t i = at; i < n; ++i)
    if (IsSeparator(path[i])) dirEnd = i + 1;
  outs[1].span = {at, dirEnd - at};
  size_t dot = n;
  for (size_t i = dirEnd; i < n; ++i)
    if (path[i] == L'.') dot = i;
  outs[2].span = {dirEnd, dot - dirEnd};
  outs[3].span = {dot, n - dot};

  for (const Out& o : outs) {
    if (o.buffer && o.span.length >= o.count) {
      Clear(outs, 4);
      InvalidParameter(L"buffer too small for its path component", L"_wsplitpath_s");
      errno = ERANGE;
      return ERANGE;
    }
  }
  for (const Out& o : outs) {
    if (!o.buffer) continue;
    std::wmemcpy(o.buffer, path + o.span.start, o.span.length);
    o.buffer[o.span.length] = 0;
  }
  return 0;
}

void __cdecl _wsplitpath(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext) {
  _wsplitpath_s(path, drive, drive ? _MAX_DRIVE : 0, dir, dir ? _MAX_DIR : 0, fname, fname ? _MAX_FNAME : 0, ext,
                ext ? _MAX_EXT : 0);
}

namespace {

// The native path of a CRT file name; "" with errno set when it has none.
std::string CrtNativePath(const wchar_t* path) noexcept {
  try {
    const std::wstring text(path);
    if (text.size() >= MAX_PATH && text.compare(0, 4, L"\\\\?\\") != 0) {
      errno = ENOENT;
      return std::string();
    }
    std::string native = stand_in::NativePath(text);
    if (native.empty()) errno = ENOENT;
    return native;
  } catch (...) {
    errno = ENOMEM;
    return std::string();
  }
}

}  // namespace

int __cdecl _wunlink(const wchar_t* path) {
  if (!path) {
    errno = EINVAL;
    return -1;
  }
  const std::string native = CrtNativePath(path);
  if (native.empty()) return -1;
  // Windows deletes neither a read-only file nor a directory, whatever the
  // rights on the folder would allow here.
  struct stat st;
  if (::lstat(native.c_str(), &st) == 0 &&
      (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)))) {
    errno = EACCES;
    return -1;
  }
  if (::unlink(native.c_str()) == 0) return 0;
  if (errno == EPERM || errno == EISDIR || errno == EROFS) errno = EACCES;
  return -1;
}

_invalid_parameter_handler __cdecl _set_invalid_parameter_handler(_invalid_parameter_handler handler) {
  _invalid_parameter_handler previous = g_invalidParameterHandler;
  g_invalidParameterHandler = handler;
  return previous;
}

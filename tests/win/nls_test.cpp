// The thread locale and the code page conversions.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

namespace {

TEST(ThreadLocale, StartsAsTheUsersAndIsPerThread) {
  EXPECT_EQ(GetThreadLocale(), LCID(0x0409));
  ASSERT_TRUE(SetThreadLocale(LOCALE_SYSTEM_DEFAULT));
  EXPECT_EQ(GetThreadLocale(), LOCALE_SYSTEM_DEFAULT) << "kept as given";
  LCID other = 0;
  std::thread([&other] { other = GetThreadLocale(); }).join();
  EXPECT_EQ(other, LCID(0x0409)) << "another thread keeps its own";
  ASSERT_TRUE(SetThreadLocale(0x0409));
}

TEST(ThreadLocale, InvalidLocalesAreRefused) {
  const LCID accepted[] = {LOCALE_USER_DEFAULT, LOCALE_SYSTEM_DEFAULT, LOCALE_INVARIANT, 0x0407, 0x0809, 0x040C};
  for (LCID lcid : accepted) {
    EXPECT_TRUE(SetThreadLocale(lcid)) << std::hex << lcid;
    EXPECT_EQ(GetThreadLocale(), lcid);
  }
  ASSERT_TRUE(SetThreadLocale(0x0409));
  const LCID refused[] = {0, 0x1234, 0xFFFF, 0x10407 /* another sort order */, 0x0411 /* no Windows-1252 */};
  for (LCID lcid : refused) {
    SetLastError(0);
    EXPECT_FALSE(SetThreadLocale(lcid)) << std::hex << lcid;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetThreadLocale(), LCID(0x0409)) << "unchanged";
  }
}

std::string Narrow(UINT cp, const std::wstring& text, BOOL* used = nullptr) {
  const int n = WideCharToMultiByte(cp, 0, text.c_str(), -1, nullptr, 0, nullptr, used);
  if (n <= 0) return "<failed>";
  std::string out(static_cast<size_t>(n), '\x7f');
  EXPECT_EQ(WideCharToMultiByte(cp, 0, text.c_str(), -1, &out[0], n, nullptr, used), n);
  EXPECT_EQ(out.back(), '\0') << "the terminator is counted and written";
  out.pop_back();
  return out;
}

std::wstring Wide(UINT cp, const std::string& text) {
  const int n = MultiByteToWideChar(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return L"<failed>";
  std::wstring out(static_cast<size_t>(n), L'\x7f');
  EXPECT_EQ(MultiByteToWideChar(cp, 0, text.data(), static_cast<int>(text.size()), &out[0], n), n);
  return out;
}

TEST(CodePages, AnsiIsWindows1252) {
  for (UINT cp : {UINT(CP_ACP), UINT(CP_THREAD_ACP), UINT(1252)}) {
    BOOL used = TRUE;
    EXPECT_EQ(Narrow(cp, L"27.1.0 \u00e9\u00ff", &used), "27.1.0 \xe9\xff") << cp;
    EXPECT_FALSE(used);
    EXPECT_EQ(Narrow(cp, L"\u20ac\u2122\u0178\u0081", &used), "\x80\x99\x9f\x81") << "the 0x80 row";
    EXPECT_FALSE(used);
    EXPECT_EQ(Narrow(cp, L"a\u0100\u4e2d\U0001F600", &used), "a???") << "no best fit";
    EXPECT_TRUE(used);
    EXPECT_EQ(Narrow(cp, L"\u0080", &used), "?") << "0x80 is the euro sign, not U+0080";
    EXPECT_EQ(Wide(cp, "\x80\x81\x9f\xe9"), L"\u20ac\u0081\u0178\u00e9");
  }
  char out[4];
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\u4e2d", 1, out, 4, "#", &used), 1);
  EXPECT_EQ(out[0], '#') << "the caller's default character";
  EXPECT_TRUE(used);
}

TEST(CodePages, Utf8) {
  EXPECT_EQ(Narrow(CP_UTF8, L"a\u00e9\u20ac\U0001F600"), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
  EXPECT_EQ(Wide(CP_UTF8, "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"), L"a\u00e9\u20ac\U0001F600");
  // Invalid sequences: one U+FFFD for each longest bad prefix.
  struct Case {
    const char* bytes;
    const wchar_t* text;
  } cases[] = {
      {"\xff", L"\ufffd"},
      {"\xc0\xaf", L"\ufffd\ufffd"},            // overlong
      {"\xed\xa0\x80", L"\ufffd\ufffd\ufffd"},  // a surrogate
      {"\xf4\x90\x80\x80", L"\ufffd\ufffd\ufffd\ufffd"},  // past U+10FFFF
      {"\xe2\x82", L"\ufffd"},                  // cut short
      {"\xe2\x82z", L"\ufffdz"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Wide(CP_UTF8, c.bytes), c.text) << c.bytes;
    wchar_t out[8];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.bytes, -1, out, 8), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
  }
  const wchar_t bad[] = {L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), 0};
  EXPECT_EQ(Narrow(CP_UTF8, bad), "a\xef\xbf\xbd\xef\xbf\xbd");
  char out[16];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, bad, -1, out, 16, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
  BOOL used;
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a", -1, out, 16, nullptr, &used), 0) << "no default character";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(CodePages, SizesAndBuffers) {
  char out[8];
  wchar_t wide[8];
  // Counted input: no terminator added.
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, nullptr, 0, nullptr, nullptr), 3);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abc", -1, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\u00e9", 1, nullptr, 0, nullptr, nullptr), 2) << "bytes, not characters";
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xc3\xa9", -1, nullptr, 0), 2);
  // One short: nothing is passed off as the whole.
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_THREAD_ACP, 0, L"abc", -1, out, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 4), 4);
  EXPECT_EQ(std::wstring(wide), L"abc");

  struct Case {
    std::function<int()> call;
    DWORD error;
    const char* what;
  } cases[] = {
      {[&] { return WideCharToMultiByte(CP_ACP, 0, nullptr, -1, out, 8, nullptr, nullptr); }, ERROR_INVALID_PARAMETER,
       "no source"},
      {[&] { return WideCharToMultiByte(CP_ACP, 0, L"a", 0, out, 8, nullptr, nullptr); }, ERROR_INVALID_PARAMETER,
       "empty source"},
      {[&] { return WideCharToMultiByte(CP_ACP, 0, L"a", -2, out, 8, nullptr, nullptr); }, ERROR_INVALID_PARAMETER,
       "count -2"},
      {[&] { return WideCharToMultiByte(CP_ACP, 0, L"a", -1, nullptr, 8, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER, "size without a buffer"},
      {[&] { return WideCharToMultiByte(CP_ACP, 0, L"a", -1, out, -1, nullptr, nullptr); }, ERROR_INVALID_PARAMETER,
       "size -1"},
      {[&] { return WideCharToMultiByte(932, 0, L"a", -1, out, 8, nullptr, nullptr); }, ERROR_INVALID_PARAMETER,
       "code page 932"},
      {[&] { return WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, L"a", -1, out, 8, nullptr, nullptr); },
       ERROR_INVALID_FLAGS, "a UTF-8 flag on 1252"},
      {[&] { return MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", -1, wide, 8); }, ERROR_INVALID_FLAGS,
       "MB_PRECOMPOSED on UTF-8"},
      {[&] { return MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 8); }, ERROR_INVALID_PARAMETER, "no source"},
      {[&] { return MultiByteToWideChar(CP_ACP, 0, "a", 0, wide, 8); }, ERROR_INVALID_PARAMETER, "empty source"},
      {[&] { return MultiByteToWideChar(CP_ACP, 0, "a", -1, nullptr, 8); }, ERROR_INVALID_PARAMETER,
       "size without a buffer"},
      {[&] { return MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<LPCSTR>(wide), 2, wide, 8); },
       ERROR_INVALID_PARAMETER, "source and destination the same"},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(c.call(), 0) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
}

}  // namespace

#include <windows.h>

#include <gtest/gtest.h>

#include "stand_in/text.h"

TEST(WideFormat, FollowsMicrosoftConventions) {
  EXPECT_EQ(stand_in::Format(L"%s %s version %d.%d", L"Tessaly for", L"SolidWorks 2013", 1, 0),
            L"Tessaly for SolidWorks 2013 version 1.0");
  EXPECT_EQ(stand_in::Format(L"[%S|%hs|%ls|%c]", "narrow", "also", L"wide", L'x'), L"[narrow|also|wide|x]");
  EXPECT_EQ(stand_in::Format(L"%I64d %5.2f %%", static_cast<long long>(1) << 40, 3.14159), L"1099511627776  3.14 %");
}

TEST(WideFormat, SecureVariantsNeverOverflow) {
  wchar_t small[8];
  EXPECT_EQ(swprintf_s(small, 8, L"%s", L"1234567"), 7);
  EXPECT_STREQ(small, L"1234567");
  EXPECT_EQ(swprintf_s(small, 8, L"%s", L"12345678"), -1);
  EXPECT_STREQ(small, L"");
  EXPECT_EQ(_snwprintf_s(small, 8, _TRUNCATE, L"%s", L"123456789"), -1);
  EXPECT_STREQ(small, L"1234567");
}

TEST(WideText, Utf8RoundTrip) {
  const std::wstring text = L"D:\\Mod\u00e8les\\\u6905\u5b50.3ds";
  EXPECT_EQ(stand_in::FromUtf8(stand_in::ToUtf8(text)), text);
  EXPECT_EQ(stand_in::FromUtf8("\xff" "a"), std::wstring(L"\ufffd" L"a"));
  EXPECT_EQ(stand_in::FromUtf8("\xe6\x90"), std::wstring(L"\ufffd\ufffd"));
}

TEST(WideText, CaseInsensitiveCompare) {
  EXPECT_EQ(_wcsicmp(L"Chair.3DS", L"chair.3ds"), 0);
  EXPECT_LT(_wcsicmp(L"a", L"B"), 0);
  wchar_t t[] = L"Chair.3DS";
  EXPECT_STREQ(_wcslwr(t), L"chair.3ds");
}

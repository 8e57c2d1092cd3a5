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

TEST(WideText, Utf8DecodingRefusesOverlongSurrogateAndOutOfRangeForms) {
  // An overlong '/' must not become a path separator.
  EXPECT_EQ(stand_in::FromUtf8("a\xc0\xaf" "b"), std::wstring(L"a\ufffd\ufffd" L"b"));
  EXPECT_EQ(stand_in::FromUtf8("\xe0\x80\xaf"), std::wstring(L"\ufffd\ufffd\ufffd"));
  EXPECT_EQ(stand_in::FromUtf8("\xed\xa0\x80"), std::wstring(L"\ufffd\ufffd\ufffd"));
  EXPECT_EQ(stand_in::FromUtf8("\xf4\x90\x80\x80"), std::wstring(L"\ufffd\ufffd\ufffd\ufffd"));
  EXPECT_EQ(stand_in::FromUtf8("\xf4\x8f\xbf\xbf\xf0\x9f\x98\x80"), std::wstring(L"\U0010FFFF\U0001F600"));
}

TEST(WideText, Utf16JoinsPairsAndKeepsLoneSurrogates) {
  const uint16_t units[] = {0x41, 0xD83D, 0xDE00, 0xDC00, 0xD800, 0x42, 0xD800};
  EXPECT_EQ(stand_in::FromUtf16(units, 7), std::wstring(L"A\U0001F600") + wchar_t(0xDC00) + wchar_t(0xD800) + L"B" +
                                               wchar_t(0xD800));
  std::vector<uint8_t> bytes;
  for (uint32_t c : {0x41u, 0x1F600u, 0xD800u, 0x10FFFFu}) stand_in::AppendUtf16Le(bytes, c);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x41, 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8, 0xFF, 0xDB, 0xFF, 0xDF}));
  bytes.push_back(0x7F);  // an odd last byte is no unit
  EXPECT_EQ(stand_in::FromUtf16Le(bytes.data(), bytes.size()),
            std::wstring(L"A\U0001F600") + wchar_t(0xD800) + L"\U0010FFFF");
}

TEST(WideText, CaseInsensitiveCompare) {
  EXPECT_EQ(_wcsicmp(L"Chair.3DS", L"chair.3ds"), 0);
  EXPECT_LT(_wcsicmp(L"a", L"B"), 0);
  wchar_t t[] = L"Chair.3DS";
  EXPECT_STREQ(_wcslwr(t), L"chair.3ds");
}

#include <objbase.h>

#include <gtest/gtest.h>

TEST(Bstr, CarriesItsLengthAndAZero) {
  const long live = stand_in::LiveBstrCount();
  BSTR text = SysAllocStringLen(L"a\0b", 3);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(SysStringByteLen(text), 3u * sizeof(OLECHAR));
  EXPECT_EQ(text[1], L'\0');
  EXPECT_EQ(text[3], L'\0');
  BSTR copy = SysAllocString(text);  // stops at the first zero
  EXPECT_EQ(SysStringLen(copy), 1u);
  EXPECT_EQ(stand_in::LiveBstrCount(), live + 2);
  SysFreeString(text);
  SysFreeString(copy);
  SysFreeString(nullptr);
  EXPECT_EQ(stand_in::LiveBstrCount(), live);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
}

TEST(Guid, ParsesAndWritesTheRegistryForm) {
  GUID g;
  ASSERT_EQ(CLSIDFromString(L"{83a33d22-27c5-11ce-bfd4-00400513bb57}", &g), S_OK);
  EXPECT_EQ(g.Data1, 0x83A33D22u);
  EXPECT_EQ(g.Data2, 0x27C5);
  EXPECT_EQ(g.Data4[7], 0x57);
  EXPECT_EQ(g, stand_in::GuidFromText("83A33D22-27C5-11CE-BFD4-00400513BB57"));
  wchar_t text[39];
  EXPECT_EQ(StringFromGUID2(g, text, 39), 39);
  EXPECT_STREQ(text, L"{83A33D22-27C5-11CE-BFD4-00400513BB57}");
  EXPECT_EQ(StringFromGUID2(g, text, 38), 0);
}

TEST(Guid, RefusesEveryMalformedText) {
  const wchar_t* bad[] = {L"",
                          L"{83A33D22-27C5-11CE-BFD4-00400513BB57",
                          L"83A33D22-27C5-11CE-BFD4-00400513BB57",
                          L"{83A33D22-27C5-11CE-BFD4-00400513BB5}",
                          L"{83A33D22-27C5-11CE-BFD4-00400513BB577}",
                          L"{83A33D22_27C5-11CE-BFD4-00400513BB57}",
                          L"{83A33D2G-27C5-11CE-BFD4-00400513BB57}",
                          L"{83A33D22-27C5-11CE-BFD4-00400513BB57}x"};
  for (const wchar_t* text : bad) {
    GUID g;
    EXPECT_EQ(CLSIDFromString(text, &g), CO_E_CLASSSTRING) << text;
  }
  GUID g;
  EXPECT_EQ(CLSIDFromString(nullptr, &g), CO_E_CLASSSTRING);
}

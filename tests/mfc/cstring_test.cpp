#include <afxwin.h>

#include <gtest/gtest.h>

#include <stdexcept>

TEST(CString, FormatsWithWideTexts) {
  CString s;
  s.Format(L"%s%s%s", L"D:", L"\\out\\", L"plate");
  EXPECT_EQ(s, L"D:\\out\\plate");
  s.AppendFormat(L"*.dxf %d", 2);
  EXPECT_EQ(s, L"D:\\out\\plate*.dxf 2");
}

TEST(CString, FindCutAndCase) {
  CString path(L"D:\\Data\\Robot.3DS.bak");
  CString lower(path);
  lower.MakeLower();
  const int at = lower.Find(L".3ds");
  ASSERT_EQ(at, 13);
  EXPECT_EQ(path.Left(at + 4), L"D:\\Data\\Robot.3DS");
  EXPECT_EQ(path.Find(L'x'), -1);
  EXPECT_EQ(path.Find(L".3ds", 100), -1);
  EXPECT_EQ(path.Mid(3, 4), L"Data");
  EXPECT_EQ(path.Right(3), L"bak");
  EXPECT_EQ(path.Left(-1), L"");
  EXPECT_EQ(path.ReverseFind(L'\\'), 7);
}

TEST(CString, BufferAccessAndSysStrings) {
  CString s;
  wchar_t* buffer = s.GetBuffer(16);
  wcscpy(buffer, L"abc");
  s.ReleaseBuffer();
  EXPECT_EQ(s.GetLength(), 3);
  BSTR b = s.AllocSysString();
  EXPECT_EQ(SysStringLen(b), 3u);
  SysFreeString(b);
  EXPECT_EQ(CString("narrow \xe9"), L"narrow \u00e9");
  EXPECT_EQ(CString(L"  x ").Trim(), L"x");
}

TEST(CWnd, OneObjectPerHandleAndNoneForNull) {
  HWND h = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-2));
  CWnd* a = CWnd::FromHandle(h);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, CWnd::FromHandle(h));
  EXPECT_EQ(a->GetSafeHwnd(), h);
  EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);
  CWnd::DeleteTempMap();
}

TEST(CStringArray, GrowsShrinksAndRefusesWhatMfcRefuses) {
  CStringArray names;
  EXPECT_EQ(names.GetSize(), 0);
  EXPECT_EQ(names.Add(L"gear-Base"), 0);
  EXPECT_EQ(names.Add(CString(L"gear-Boss")), 1);
  EXPECT_EQ(names.GetCount(), 2);
  EXPECT_EQ(names.GetAt(1), L"gear-Boss");
  names[0] = L"Part-Base";
  EXPECT_EQ(names[0], L"Part-Base");
  names.SetSize(4);
  EXPECT_EQ(names.GetUpperBound(), 3);
  EXPECT_TRUE(names[3].IsEmpty());
  names.InsertAt(6, L"x", 2);  // past the end: the gap is filled with empty texts
  EXPECT_EQ(names.GetSize(), 8);
  EXPECT_EQ(names[7], L"x");
  names.RemoveAt(1, 5);
  ASSERT_EQ(names.GetSize(), 3);
  EXPECT_EQ(names[1], L"x");
  EXPECT_THROW(names.GetAt(3), std::out_of_range);
  EXPECT_THROW(names.GetAt(-1), std::out_of_range);
  EXPECT_THROW(names.RemoveAt(2, 2), std::out_of_range);
  EXPECT_THROW(names.SetSize(-1), std::invalid_argument);
  EXPECT_THROW(names.InsertAt(-1, L"y"), std::invalid_argument);
  EXPECT_EQ(names.GetSize(), 3);
  names.SetSize(0);
  EXPECT_EQ(names.GetSize(), 0);
  names.Add(L"again");
  names.RemoveAll();
  EXPECT_TRUE(names.IsEmpty());
}

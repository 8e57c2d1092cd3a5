// MFC subset: CString (wide) and the collection CStringArray.
#pragma once

#include <oleauto.h>

#include <string>
#include <vector>

#define AFX_EXT_CLASS
#define AFXAPI

class CString {
 public:
  CString() = default;
  CString(const wchar_t* text) : s_(text ? text : L"") {}
  CString(const wchar_t* text, int length) : s_(text ? std::wstring(text, static_cast<size_t>(length)) : L"") {}
  // Narrow texts are taken byte by byte as Latin-1, as the ANSI code page 1252
  // does for its first 256 characters apart from 0x80-0x9F.
  CString(const char* text);
  CString(wchar_t ch, int repeat = 1) : s_(static_cast<size_t>(repeat > 0 ? repeat : 0), ch) {}
  CString(const std::wstring& text) : s_(text) {}

  int GetLength() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  operator const wchar_t*() const { return s_.c_str(); }
  const wchar_t* GetString() const { return s_.c_str(); }
  const std::wstring& str() const { return s_; }

  wchar_t GetAt(int i) const { return s_.at(static_cast<size_t>(i)); }
  void SetAt(int i, wchar_t ch) { s_.at(static_cast<size_t>(i)) = ch; }
  wchar_t operator[](int i) const { return GetAt(i); }

  CString& operator=(const wchar_t* text) {
    s_ = text ? text : L"";
    return *this;
  }
  CString& operator=(wchar_t ch) {
    s_.assign(1, ch);
    return *this;
  }
  CString& operator+=(const CString& other) {
    s_ += other.s_;
    return *this;
  }
  CString& operator+=(const wchar_t* text) {
    if (text) s_ += text;
    return *this;
  }
  CString& operator+=(wchar_t ch) {
    s_ += ch;
    return *this;
  }

  friend CString operator+(const CString& a, const CString& b) { return CString(a.s_ + b.s_); }
  friend CString operator+(const CString& a, const wchar_t* b) { return CString(a.s_ + (b ? b : L"")); }
  friend CString operator+(const wchar_t* a, const CString& b) { return CString((a ? a : L"") + b.s_); }
  friend CString operator+(const CString& a, wchar_t b) { return CString(a.s_ + b); }
  friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
  friend bool operator==(const CString& a, const wchar_t* b) { return a.s_ == (b ? b : L""); }
  friend bool operator==(const wchar_t* a, const CString& b) { return b == a; }
  friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
  friend bool operator!=(const CString& a, const wchar_t* b) { return !(a == b); }
  friend bool operator<(const CString& a, const CString& b) { return a.s_ < b.s_; }

  int Compare(const wchar_t* other) const;
  int CompareNoCase(const wchar_t* other) const;

  // Microsoft format conventions: %s takes a wide text.
  void Format(const wchar_t* format, ...);
  void AppendFormat(const wchar_t* format, ...);

  CString& MakeLower();
  CString& MakeUpper();
  CString& Trim();
  CString& TrimLeft();
  CString& TrimRight();

  int Find(wchar_t ch, int start = 0) const;
  int Find(const wchar_t* sub, int start = 0) const;
  int ReverseFind(wchar_t ch) const;
  CString Left(int count) const;
  CString Right(int count) const;
  CString Mid(int first) const;
  CString Mid(int first, int count) const;
  int Replace(const wchar_t* old_text, const wchar_t* new_text);
  int Delete(int index, int count = 1);
  void Truncate(int length);

  // Direct access to the buffer, as MFC gives it.
  wchar_t* GetBuffer(int min_length = 0);
  wchar_t* GetBufferSetLength(int length);
  void ReleaseBuffer(int new_length = -1);

  BSTR AllocSysString() const { return SysAllocStringLen(s_.data(), static_cast<UINT>(s_.size())); }

 private:
  std::wstring s_;
};

typedef CString CStringW;

// A growable array of CString, as MFC's: indexes and sizes are INT_PTR. An
// index out of range, or a negative size, throws std::out_of_range or
// std::invalid_argument where MFC throws its invalid-argument exception;
// running out of memory throws std::bad_alloc where MFC throws its memory
// exception.
class CStringArray {
 public:
  INT_PTR GetSize() const { return static_cast<INT_PTR>(items_.size()); }
  INT_PTR GetCount() const { return GetSize(); }
  INT_PTR GetUpperBound() const { return GetSize() - 1; }
  bool IsEmpty() const { return items_.empty(); }
  // New elements are empty texts; nGrowBy (MFC's growth step) is accepted
  // and left to the vector.
  void SetSize(INT_PTR nNewSize, INT_PTR nGrowBy = -1);
  const CString& GetAt(INT_PTR i) const { return items_.at(Index(i)); }
  CString& GetAt(INT_PTR i) { return items_.at(Index(i)); }
  CString& ElementAt(INT_PTR i) { return items_.at(Index(i)); }
  void SetAt(INT_PTR i, const wchar_t* text) { items_.at(Index(i)) = text; }
  const CString& operator[](INT_PTR i) const { return GetAt(i); }
  CString& operator[](INT_PTR i) { return ElementAt(i); }
  // Appends and answers the new element's index.
  INT_PTR Add(const CString& text) {
    items_.push_back(text);
    return GetSize() - 1;
  }
  void InsertAt(INT_PTR i, const CString& text, INT_PTR count = 1);
  void RemoveAt(INT_PTR i, INT_PTR count = 1);
  void RemoveAll() { items_.clear(); }

 private:
  // A negative index wraps to a huge one, which at() refuses.
  static size_t Index(INT_PTR i) { return static_cast<size_t>(i); }
  std::vector<CString> items_;
};

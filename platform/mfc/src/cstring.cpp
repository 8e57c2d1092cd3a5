#include <afx.h>

#include <windows.h>

#include "stand_in/text.h"

#include <algorithm>
#include <stdexcept>
#include <cwctype>

CString::CString(const char* text) {
  if (text)
    for (const char* p = text; *p; ++p) s_ += static_cast<wchar_t>(static_cast<unsigned char>(*p));
}

int CString::Compare(const wchar_t* other) const { return std::wcscmp(s_.c_str(), other ? other : L""); }
int CString::CompareNoCase(const wchar_t* other) const { return _wcsicmp(s_.c_str(), other ? other : L""); }

void CString::Format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  stand_in::VFormat(s_, format, args);
  va_end(args);
}

void CString::AppendFormat(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring more;
  stand_in::VFormat(more, format, args);
  va_end(args);
  s_ += more;
}

CString& CString::MakeLower() {
  for (wchar_t& c : s_) c = stand_in::ToLower(c);
  return *this;
}

CString& CString::MakeUpper() {
  for (wchar_t& c : s_) c = stand_in::ToUpper(c);
  return *this;
}

CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < s_.size() && std::iswspace(static_cast<wint_t>(s_[i]))) ++i;
  s_.erase(0, i);
  return *this;
}

CString& CString::TrimRight() {
  size_t n = s_.size();
  while (n > 0 && std::iswspace(static_cast<wint_t>(s_[n - 1]))) --n;
  s_.resize(n);
  return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

int CString::Find(wchar_t ch, int start) const {
  if (start < 0 || static_cast<size_t>(start) > s_.size()) return -1;
  size_t at = s_.find(ch, static_cast<size_t>(start));
  return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CString::Find(const wchar_t* sub, int start) const {
  if (!sub || start < 0 || static_cast<size_t>(start) > s_.size()) return -1;
  size_t at = s_.find(sub, static_cast<size_t>(start));
  return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(wchar_t ch) const {
  size_t at = s_.rfind(ch);
  return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int count) const {
  size_t n = static_cast<size_t>(std::max(0, count));
  return CString(s_.substr(0, std::min(n, s_.size())));
}

CString CString::Right(int count) const {
  size_t n = std::min(static_cast<size_t>(std::max(0, count)), s_.size());
  return CString(s_.substr(s_.size() - n));
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
  size_t f = std::min(static_cast<size_t>(std::max(0, first)), s_.size());
  size_t n = std::min(static_cast<size_t>(std::max(0, count)), s_.size() - f);
  return CString(s_.substr(f, n));
}

int CString::Replace(const wchar_t* old_text, const wchar_t* new_text) {
  if (!old_text || !*old_text) return 0;
  const std::wstring from(old_text), to(new_text ? new_text : L"");
  int count = 0;
  size_t at = 0;
  while ((at = s_.find(from, at)) != std::wstring::npos) {
    s_.replace(at, from.size(), to);
    at += to.size();
    ++count;
  }
  return count;
}

int CString::Delete(int index, int count) {
  if (index >= 0 && count > 0 && static_cast<size_t>(index) < s_.size()) s_.erase(static_cast<size_t>(index), static_cast<size_t>(count));
  return GetLength();
}

void CString::Truncate(int length) {
  if (length >= 0 && static_cast<size_t>(length) < s_.size()) s_.resize(static_cast<size_t>(length));
}

wchar_t* CString::GetBuffer(int min_length) {
  if (min_length > 0 && static_cast<size_t>(min_length) > s_.size()) {
    size_t old = s_.size();
    s_.resize(static_cast<size_t>(min_length));
    // Keep the text zero-terminated where the caller writes nothing.
    std::fill(s_.begin() + static_cast<std::ptrdiff_t>(old), s_.end(), L'\0');
  }
  return &s_[0];
}

wchar_t* CString::GetBufferSetLength(int length) {
  s_.resize(static_cast<size_t>(std::max(0, length)));
  return &s_[0];
}

void CString::ReleaseBuffer(int new_length) {
  if (new_length < 0) new_length = static_cast<int>(std::wcslen(s_.c_str()));
  s_.resize(std::min(static_cast<size_t>(new_length), s_.size()));
}

void CStringArray::SetSize(INT_PTR nNewSize, INT_PTR /*nGrowBy*/) {
  if (nNewSize < 0) throw std::invalid_argument("CStringArray::SetSize: negative size");
  items_.resize(static_cast<size_t>(nNewSize));
}

void CStringArray::InsertAt(INT_PTR i, const CString& text, INT_PTR count) {
  if (i < 0 || count <= 0) throw std::invalid_argument("CStringArray::InsertAt: negative index or count");
  if (static_cast<size_t>(i) > items_.size()) items_.resize(static_cast<size_t>(i));
  items_.insert(items_.begin() + i, static_cast<size_t>(count), text);
}

void CStringArray::RemoveAt(INT_PTR i, INT_PTR count) {
  if (i < 0 || count < 0 || static_cast<size_t>(i) + static_cast<size_t>(count) > items_.size())
    throw std::out_of_range("CStringArray::RemoveAt: past the end");
  items_.erase(items_.begin() + i, items_.begin() + i + count);
}

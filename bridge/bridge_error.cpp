#include "VLMSWON.h"

#include <new>
#include <utility>

CString VLMSWON::s_lastError;

namespace {
// Made at load, so that running out of memory still leaves a text.
CString s_outOfMemorySpare(L"Out of memory");
}  // namespace

CString VLMSWON::GetError() { return s_lastError; }

void VLMSWON::SetError(const CString& text) { s_lastError = text; }

void VLMSWON::KeepOutOfMemoryText() noexcept {
  if (!s_outOfMemorySpare.IsEmpty()) return;
  try {
    s_outOfMemorySpare = L"Out of memory";
  } catch (...) {
  }
}

void VLMSWON::SetErrorNoThrow(const wchar_t* text) noexcept {
  try {
    s_lastError = text;
  } catch (...) {
    if (!s_outOfMemorySpare.IsEmpty())
      s_lastError = std::move(s_outOfMemorySpare);
    else if (s_lastError != L"Out of memory")
      s_lastError.Empty();  // better none than an earlier failure's
  }
}

// Text helpers of the stand-in platform: Microsoft-style wide formatting and
// conversion between the machine's wide characters and UTF-8.
#pragma once

#include <cstdarg>
#include <string>

namespace stand_in {

// Formats with the Microsoft conventions (%s and %c wide, %S and %hs narrow,
// %I64d 64-bit). Returns false when the format or an argument is invalid.
bool VFormat(std::wstring& out, const wchar_t* format, va_list args);
std::wstring Format(const wchar_t* format, ...);

// Letter case as Windows maps it: for every letter with a case, not only
// those of the C locale's ASCII.
wchar_t ToUpper(wchar_t c);
wchar_t ToLower(wchar_t c);

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace stand_in

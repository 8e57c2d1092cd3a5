// Text helpers of the stand-in platform: Microsoft-style wide formatting and
// conversion between the machine's wide characters and UTF-8.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace stand_in {

// Formats with the Microsoft conventions (%s and %c wide, %S and %hs narrow,
// %I64d 64-bit). Returns false when the format or an argument is invalid.
bool VFormat(std::wstring& out, const wchar_t* format, va_list args);
std::wstring Format(const wchar_t* format, ...);

// Letter case as Windows maps it: for every letter with a case, not only
// those of the C locale's ASCII.
wchar_t ToUpper(wchar_t c);
wchar_t ToLower(wchar_t c);

// Non-characters (surrogates, values past U+10FFFF) become U+FFFD.
std::string ToUtf8(const std::wstring& text);
// Each byte of a malformed sequence becomes one U+FFFD.
std::wstring FromUtf8(const std::string& text);

// One code point below 0x200000 as UTF-8, added to `out`.
void AppendUtf8(std::string& out, uint32_t c);
// Decodes the UTF-8 sequence at `p` (`left` bytes, at least one) and returns
// the bytes it takes. Overlong forms, surrogates and values past U+10FFFF are
// malformed: then `valid` is false, `c` is U+FFFD and the count covers the
// longest prefix that could have begun a character.
size_t DecodeUtf8(const unsigned char* p, size_t left, uint32_t& c, bool& valid);

// UTF-16 as the machine's wide characters: pairs joined, a lone surrogate
// kept as it is. The bytes form is little-endian; an odd last byte is ignored.
std::wstring FromUtf16(const uint16_t* units, size_t count);
std::wstring FromUtf16Le(const unsigned char* bytes, size_t size);
// One code point up to U+10FFFF as little-endian UTF-16, added to `out`.
void AppendUtf16Le(std::vector<uint8_t>& out, uint32_t c);

}  // namespace stand_in

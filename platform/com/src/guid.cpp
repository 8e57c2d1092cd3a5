#include <objbase.h>

#include <cstdio>

const IID IID_IUnknown = __uuidof(IUnknown);
const IID IID_IDispatch = __uuidof(IDispatch);

namespace stand_in {
namespace {

template <class Char>
bool ParseGuidText(const Char* text, GUID* guid) {
  if (!text || !guid) return false;
  const Char* p = text;
  bool braced = *p == '{';
  if (braced) ++p;
  // 8-4-4-4-12
  static const int groups[5] = {8, 4, 4, 4, 12};
  uint8_t bytes[16];
  int nbytes = 0;
  for (int g = 0; g < 5; ++g) {
    if (g > 0) {
      if (*p != '-') return false;
      ++p;
    }
    for (int i = 0; i < groups[g]; i += 2) {
      if (p[0] > 0x7f || p[1] > 0x7f) return false;
      int hi = HexDigit(static_cast<char>(p[0]));
      int lo = p[0] ? HexDigit(static_cast<char>(p[1])) : -1;
      if (hi < 0 || lo < 0) return false;
      bytes[nbytes++] = static_cast<uint8_t>(hi * 16 + lo);
      p += 2;
    }
  }
  if (braced) {
    if (*p != '}') return false;
    ++p;
  }
  if (*p != 0) return false;
  guid->Data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
  guid->Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  guid->Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) guid->Data4[i] = bytes[8 + i];
  return true;
}

}  // namespace

bool ParseGuid(const wchar_t* text, GUID* guid) { return ParseGuidText(text, guid); }
bool ParseGuid(const char* text, GUID* guid) { return ParseGuidText(text, guid); }

}  // namespace stand_in

HRESULT WINAPI CLSIDFromString(LPCOLESTR text, LPCLSID clsid) {
  if (!clsid) return E_INVALIDARG;
  if (!text || text[0] != L'{' || !stand_in::ParseGuid(text, clsid)) return CO_E_CLASSSTRING;
  return S_OK;
}

HRESULT WINAPI IIDFromString(LPCOLESTR text, LPIID iid) {
  if (!iid) return E_INVALIDARG;
  if (!text || text[0] != L'{' || !stand_in::ParseGuid(text, iid)) return CO_E_IIDSTRING;
  return S_OK;
}

int WINAPI StringFromGUID2(REFGUID g, LPOLESTR text, int max) {
  if (!text || max < 39) return 0;
  swprintf_s(text, static_cast<size_t>(max), L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
             g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return 39;
}

#include <oleauto.h>

#include <atomic>
#include <cstdlib>
#include <limits>

namespace {
std::atomic<long> g_liveBstrs{0};

// Layout: [uint32 byte length][padding to 8][characters][zero].
constexpr size_t kHeader = 8;

uint32_t* LengthOf(BSTR text) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(text) - sizeof(uint32_t));
}
}  // namespace

namespace stand_in {
long LiveBstrCount() { return g_liveBstrs.load(); }
}  // namespace stand_in

BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length) {
  const size_t bytes = size_t{length} * sizeof(OLECHAR);
  if (bytes > std::numeric_limits<uint32_t>::max() - kHeader) return nullptr;
  char* block = static_cast<char*>(std::malloc(kHeader + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  BSTR result = reinterpret_cast<BSTR>(block + kHeader);
  *LengthOf(result) = static_cast<uint32_t>(bytes);
  if (text) std::wmemcpy(result, text, length);
  else std::wmemset(result, 0, length);
  result[length] = 0;
  ++g_liveBstrs;
  return result;
}

BSTR WINAPI SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}

void WINAPI SysFreeString(BSTR text) {
  if (!text) return;
  --g_liveBstrs;
  std::free(reinterpret_cast<char*>(text) - kHeader);
}

UINT WINAPI SysStringByteLen(BSTR text) { return text ? *LengthOf(text) : 0; }
UINT WINAPI SysStringLen(BSTR text) { return text ? *LengthOf(text) / sizeof(OLECHAR) : 0; }

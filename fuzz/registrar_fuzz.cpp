// Feeds arbitrary bytes to the registrar's script reader (no registry is
// touched): a script is read whole or refused with a line number.
#include <statreg.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Narrow script text, byte by byte, as the registrar reads a resource.
  std::wstring script(data, data + size);
  static const std::map<std::wstring, std::wstring> replacements = {
      {L"APPID", L""}, {L"MODULE", L"Z:\\opt\\it's {here}\\Tessaly.dll"}};
  std::wstring error;
  const HRESULT hr = stand_in::registrar::Parse(script, replacements, &error);
  if (FAILED(hr) && error.compare(0, 5, L"line ") != 0) __builtin_trap();
  return 0;
}

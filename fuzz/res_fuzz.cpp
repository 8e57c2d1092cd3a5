// Module resources from outside bytes: a .res blob, or an ELF file whose
// ".rsrc" section holds one. Every resource found is read to its end and
// every bitmap among them loaded.
#include <windows.h>

#include "stand_in/module.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

volatile unsigned char sink;

void Exercise(const unsigned char* data, size_t size) {
  // A handle of the data-file kind, which names no loaded module.
  static int anchor;
  HMODULE module = reinterpret_cast<HMODULE>(reinterpret_cast<uintptr_t>(&anchor) | 1);
  stand_in::RegisterResourcesOf(module, data, size, "fuzz.dll");
  static const LPCWSTR types[] = {RT_BITMAP, RT_DIALOG, RT_RCDATA, RT_DLGINIT, L"REGISTRY", L"TYPELIB", L"#16"};
  static const LPCWSTR names[] = {MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(209), MAKEINTRESOURCEW(208), L"Greeting",
                                  L"#101"};
  for (LPCWSTR type : types) {
    for (LPCWSTR name : names) {
      HRSRC found = FindResourceW(module, name, type);
      if (!found) continue;
      const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
      const DWORD length = SizeofResource(module, found);
      for (DWORD i = 0; i < length; ++i) sink = sink + bytes[i];
      if (type == RT_BITMAP) {
        HANDLE bitmap = LoadImageW(module, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
        DIBSECTION ds;
        if (bitmap && GetObjectW(bitmap, sizeof ds, &ds) == sizeof ds) {
          const auto* bits = static_cast<const unsigned char*>(ds.dsBm.bmBits);
          for (DWORD i = 0; i < ds.dsBmih.biSizeImage; ++i) sink = sink + bits[i];
        }
        if (bitmap) DeleteObject(bitmap);
      }
    }
  }
  stand_in::UnregisterResources(data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes, so that a read past the end is caught.
  std::vector<unsigned char> bytes(data, data + size);
  if (size >= 4 && std::memcmp(data, "\x7f" "ELF", 4) == 0) {
    size_t offset = 0, length = 0;
    std::string error;
    if (stand_in::ElfResourceSection(bytes.data(), bytes.size(), offset, length, error) && length) {
      std::vector<unsigned char> section(bytes.begin() + static_cast<long>(offset),
                                         bytes.begin() + static_cast<long>(offset + length));
      Exercise(section.data(), section.size());
    }
    return 0;
  }
  Exercise(bytes.data(), bytes.size());
  return 0;
}

// Resources over the standard .res layout: a sequence of records, each a
// header (data size, header size, type, name, then data version, memory
// flags, language, version, characteristics) and its data, both padded to
// four bytes; type and name are 0xFFFF and a 16-bit id, or a zero-ended
// UTF-16 string. A .res file begins with one empty record.
#include <libloaderapi.h>
#include <windows.h>

#include "stand_in/module.h"
#include "stand_in/no_throw.h"
#include "stand_in/text.h"

#include <dlfcn.h>

#include <cstdio>
#include <list>
#include <mutex>
#include <string>
#include <vector>

namespace stand_in {
namespace {

// A type or a name: an id, or an upper-case string.
struct Key {
  bool isId = true;
  WORD id = 0;
  std::wstring text;
};

struct Entry {
  Key type, name;
  WORD language = 0;
  const unsigned char* data = nullptr;
  DWORD size = 0;
};

struct Blob {
  HMODULE module = nullptr;
  const unsigned char* data = nullptr;
  size_t size = 0;
  std::string name;  // the module's file, for messages
  bool parsed = false;
  bool valid = false;
  std::vector<Entry> entries;
};

std::mutex& Lock() {
  static std::mutex mutex;
  return mutex;
}

// A list keeps the entries where they are while other blobs come and go:
// resource handles point at them.
std::list<Blob>& Blobs() {
  static std::list<Blob> blobs;
  return blobs;
}

uint32_t Dword(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t Word(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = ToUpper(c);
  return text;
}

// Reads a type or name at `pos`, not past `end`.
bool ReadKey(const unsigned char* base, size_t& pos, size_t end, Key& key) {
  if (pos + 2 > end) return false;
  if (Word(base + pos) == 0xFFFF) {
    if (pos + 4 > end) return false;
    key.isId = true;
    key.id = Word(base + pos + 2);
    pos += 4;
    return true;
  }
  std::vector<uint16_t> units;
  for (;;) {
    if (pos + 2 > end) return false;
    uint16_t c = Word(base + pos);
    pos += 2;
    if (c == 0) break;
    units.push_back(c);
  }
  key.isId = false;
  key.text = Upper(FromUtf16(units.data(), units.size()));
  return true;
}

const char* BlobName(const Blob& blob) { return blob.name.empty() ? "(unknown module)" : blob.name.c_str(); }

bool Refuse(Blob& blob, size_t offset, const char* what) {
  std::fprintf(stderr, "tessaly: resources of module %s refused: %s at offset 0x%zx\n", BlobName(blob), what,
               offset);
  blob.parsed = true;
  blob.valid = false;
  return false;
}

// Parses the whole blob once; a damaged one gives no resource at all. The
// entries join the blob only once all are read, so that running out of
// memory part way leaves the blob to be read again.
bool Parse(Blob& blob) {
  if (blob.parsed) return blob.valid;
  std::vector<Entry> entries;
  const unsigned char* base = blob.data;
  const size_t size = blob.size;
  size_t off = 0;
  bool first = true;
  while (off < size) {
    if (size - off < 8) return Refuse(blob, off, "record header truncated");
    const uint64_t dataSize = Dword(base + off);
    const uint64_t headerSize = Dword(base + off + 4);
    if (headerSize < 32 || headerSize % 4 != 0) return Refuse(blob, off, "bad header size");
    if (headerSize > size - off) return Refuse(blob, off, "record header runs past the end");
    const size_t headerEnd = off + static_cast<size_t>(headerSize);
    size_t pos = off + 8;
    Entry entry;
    if (!ReadKey(base, pos, headerEnd, entry.type)) return Refuse(blob, off, "resource type runs past its header");
    if (!ReadKey(base, pos, headerEnd, entry.name)) return Refuse(blob, off, "resource name runs past its header");
    pos = (pos + 3) & ~size_t(3);
    if (pos + 16 != headerEnd) return Refuse(blob, off, "header size does not match its fields");
    entry.language = Word(base + pos + 6);
    if (dataSize > size - headerEnd) return Refuse(blob, off, "resource data runs past the end");
    const bool empty = entry.type.isId && entry.type.id == 0;
    if (first && !(empty && dataSize == 0 && headerSize == 32))
      return Refuse(blob, off, "not a .res file (no leading empty record)");
    first = false;
    if (!empty) {
      entry.data = base + headerEnd;
      entry.size = static_cast<DWORD>(dataSize);
      entries.push_back(std::move(entry));
    }
    const uint64_t next = (headerEnd + dataSize + 3) & ~uint64_t(3);
    off = next > size ? size : static_cast<size_t>(next);
  }
  blob.entries.swap(entries);
  blob.parsed = true;
  blob.valid = true;
  return true;
}

// A resource name or type as the caller gave it.
Key KeyOf(LPCWSTR given) {
  Key key;
  if (IS_INTRESOURCE(given)) {
    key.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(given));
    return key;
  }
  if (given[0] == L'#' && given[1] != 0) {
    unsigned long value = 0;
    bool digits = true;
    for (const wchar_t* p = given + 1; *p; ++p) {
      if (*p < L'0' || *p > L'9' || value > 0xFFFF) {
        digits = false;
        break;
      }
      value = value * 10 + static_cast<unsigned long>(*p - L'0');
    }
    if (digits && value <= 0xFFFF) {
      key.id = static_cast<WORD>(value);
      return key;
    }
  }
  key.isId = false;
  key.text = Upper(given);
  return key;
}

bool Same(const Key& a, const Key& b) { return a.isId == b.isId && (a.isId ? a.id == b.id : a.text == b.text); }

HMODULE Resolve(HMODULE module) { return module ? module : ExecutableModule(); }

// Neutral first, then US English (the language of this machine), then the
// first of any language, as Windows' fallback order would choose here.
int Rank(WORD language) {
  if (language == 0) return 0;
  if (language == 0x0409) return 1;
  return 2;
}

HRSRC Find(HMODULE module, LPCWSTR type, LPCWSTR name, bool anyLanguage, WORD language) {
  if (!type || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const Key wantType = KeyOf(type);
  const Key wantName = KeyOf(name);
  module = Resolve(module);
  std::lock_guard<std::mutex> lock(Lock());
  bool anyBlob = false, typeSeen = false, nameSeen = false;
  const Entry* best = nullptr;
  for (Blob& blob : Blobs()) {
    if (blob.module != module) continue;
    if (!Parse(blob)) {
      SetLastError(ERROR_BAD_FORMAT);
      return nullptr;
    }
    anyBlob = true;
    for (const Entry& entry : blob.entries) {
      if (!Same(entry.type, wantType)) continue;
      typeSeen = true;
      if (!Same(entry.name, wantName)) continue;
      nameSeen = true;
      if (anyLanguage) {
        if (!best || Rank(entry.language) < Rank(best->language)) best = &entry;
      } else if (entry.language == language && !best) {
        best = &entry;
      }
    }
  }
  if (best) return reinterpret_cast<HRSRC>(const_cast<Entry*>(best));
  if (!anyBlob) SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  else if (!typeSeen) SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  else if (!nameSeen) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  else SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
  return nullptr;
}

// The entry behind `resource` when it is one of `module`'s.
const Entry* EntryOf(HMODULE module, HRSRC resource) {
  module = Resolve(module);
  const Entry* wanted = reinterpret_cast<const Entry*>(resource);
  std::lock_guard<std::mutex> lock(Lock());
  for (const Blob& blob : Blobs()) {
    if (blob.module != module || !blob.valid) continue;
    for (const Entry& entry : blob.entries)
      if (&entry == wanted) return &entry;
  }
  return nullptr;
}

}  // namespace

void RegisterResources(const void* data, size_t size) {
  Dl_info info;
  const bool found = dladdr(data, &info) != 0;
  std::lock_guard<std::mutex> lock(Lock());
  Blob blob;
  blob.module = found ? static_cast<HMODULE>(info.dli_fbase) : nullptr;
  if (found && info.dli_fname) blob.name = info.dli_fname;
  blob.data = static_cast<const unsigned char*>(data);
  blob.size = size;
  Blobs().push_back(std::move(blob));
}

void RegisterResourcesOf(HMODULE module, const void* data, size_t size, const std::string& name) {
  std::lock_guard<std::mutex> lock(Lock());
  Blob blob;
  blob.module = module;
  blob.data = static_cast<const unsigned char*>(data);
  blob.size = size;
  blob.name = name;
  Blobs().push_back(std::move(blob));
}

void UnregisterResources(const void* data) {
  std::lock_guard<std::mutex> lock(Lock());
  Blobs().remove_if([data](const Blob& blob) { return blob.data == data; });
}

}  // namespace stand_in

HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  return stand_in::Win32NoThrow<HRSRC>(nullptr, ERROR_RESOURCE_DATA_NOT_FOUND,
                                       [&] { return stand_in::Find(module, type, name, true, 0); });
}

HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  return stand_in::Win32NoThrow<HRSRC>(nullptr, ERROR_RESOURCE_DATA_NOT_FOUND, [&] {
    return stand_in::Find(module, type, name, language == MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), language);
  });
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource) {
  const stand_in::Entry* entry = resource ? stand_in::EntryOf(module, resource) : nullptr;
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<unsigned char*>(entry->data);
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource) {
  const stand_in::Entry* entry = resource ? stand_in::EntryOf(module, resource) : nullptr;
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return entry->size;
}

LPVOID WINAPI LockResource(HGLOBAL data) { return data; }

BOOL WINAPI FreeResource(HGLOBAL) { return FALSE; }

// Reading the MSFT binary type library. Every offset and count comes from the
// file, which may be a module's resource from anywhere: each one is checked
// against the bounds of its segment before it is followed.
#include "typelib_model.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <set>

namespace stand_in {
namespace typelib {
namespace {

struct BadData {
  std::string what;
};

enum Segment { kTypeInfo, kImpInfo, kImpFiles, kRefTab, kGuidHash, kGuid, kNameHash, kName, kString, kTypeDesc,
               kArrayDesc, kCustData, kCdGuid, kSegments = 15 };
const char* const kSegmentNames[] = {"typeinfo", "impinfo", "impfiles", "reftab", "guidhash",
                                     "guid", "namehash", "name", "string", "typedesc",
                                     "arraydesc", "custdata", "cdguid", "res0e", "res0f"};

constexpr int kMaxTypeDepth = 16;

[[noreturn]] __attribute__((format(printf, 1, 2))) void Fail(const char* format, ...) {
  char text[200];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  throw BadData{text};
}

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  int32_t I32(size_t at) const {
    if (at > size_ || size_ - at < 4) Fail("read of 4 bytes at 0x%x past the end of the file", static_cast<int>(at));
    return static_cast<int32_t>(uint32_t{data_[at]} | uint32_t{data_[at + 1]} << 8 | uint32_t{data_[at + 2]} << 16 |
                                uint32_t{data_[at + 3]} << 24);
  }
  int16_t I16(size_t at) const {
    if (at > size_ || size_ - at < 2) Fail("read of 2 bytes at 0x%x past the end of the file", static_cast<int>(at));
    return static_cast<int16_t>(data_[at] | data_[at + 1] << 8);
  }
  uint8_t U8(size_t at) const {
    if (at >= size_) Fail("read at 0x%x past the end of the file", static_cast<int>(at));
    return data_[at];
  }

  void ReadDirectory(size_t at) {
    for (int i = 0; i < kSegments; ++i) {
      int32_t offset = I32(at + 16 * i);
      int32_t length = I32(at + 16 * i + 4);
      if (offset == -1 || length == 0) {
        seg_[i] = {0, 0};
        continue;
      }
      if (offset < 0 || length < 0 || static_cast<size_t>(offset) > size_ ||
          size_ - static_cast<size_t>(offset) < static_cast<size_t>(length))
        Fail("%s segment (offset 0x%x) lies outside the file", kSegmentNames[i], static_cast<int>(offset));
      seg_[i] = {static_cast<size_t>(offset), static_cast<size_t>(length)};
    }
  }

  // File position of `length` bytes at `offset` in a segment.
  size_t At(int segment, int64_t offset, size_t length) const {
    const auto& s = seg_[segment];
    if (offset < 0 || static_cast<uint64_t>(offset) > s.length || s.length - static_cast<size_t>(offset) < length) {
      char text[160];
      std::snprintf(text, sizeof text, "offset 0x%llx into the %s segment (0x%zx bytes) is out of range",
                    static_cast<unsigned long long>(offset), kSegmentNames[segment], s.length);
      throw BadData{text};
    }
    return s.offset + static_cast<size_t>(offset);
  }
  size_t Length(int segment) const { return seg_[segment].length; }

  std::wstring Name(int32_t offset) const {
    size_t p = At(kName, offset, 12);
    size_t length = U8(p + 8);
    p = At(kName, offset, 12 + length);
    return Text(p + 12, length);
  }
  std::wstring String(int32_t offset) const {
    size_t p = At(kString, offset, 2);
    size_t length = static_cast<uint16_t>(I16(p));
    p = At(kString, offset, 2 + length);
    return Text(p + 2, length);
  }
  GUID Guid(int32_t offset) const {
    size_t p = At(kGuid, offset, 24);
    GUID g;
    g.Data1 = static_cast<uint32_t>(I32(p));
    g.Data2 = static_cast<uint16_t>(I16(p + 4));
    g.Data3 = static_cast<uint16_t>(I16(p + 6));
    for (int i = 0; i < 8; ++i) g.Data4[i] = data_[p + 8 + i];
    return g;
  }

  // Decodes an encoded type: a simple VT, or a chain of typedesc entries.
  TypeSpec Type(int32_t encoded, int depth = 0) const {
    if (depth > kMaxTypeDepth) Fail("type description nested deeper than %d levels (a loop?)", kMaxTypeDepth);
    TypeSpec t;
    if (encoded < 0) {
      t.vt = static_cast<VARTYPE>(encoded & 0xFFFF);
      if (t.vt == VT_PTR || t.vt == VT_SAFEARRAY || t.vt == VT_CARRAY || t.vt == VT_USERDEFINED)
        Fail("simple type 0x%x names a compound VT without its description", encoded & 0xFFFF);
      return t;
    }
    size_t p = At(kTypeDesc, encoded, 8);
    t.vt = static_cast<VARTYPE>(I32(p) & 0xFFFF);
    int32_t w1 = I32(p + 4);
    switch (t.vt) {
      case VT_PTR:
      case VT_SAFEARRAY:
        t.inner = std::make_shared<TypeSpec>(Type(w1, depth + 1));
        break;
      case VT_USERDEFINED:
        t.href = static_cast<HREFTYPE>(w1);
        break;
      case VT_CARRAY: {
        size_t a = At(kArrayDesc, w1, 8);
        t.inner = std::make_shared<TypeSpec>(Type(I32(a), depth + 1));
        int dims = I32(a + 4) & 0xFFFF;
        if (dims == 0) Fail("fixed array at typedesc 0x%x has no dimension", encoded);
        a = At(kArrayDesc, w1, 8 + 8 * static_cast<size_t>(dims));
        for (int d = 0; d < dims; ++d)
          t.bounds.push_back({static_cast<ULONG>(I32(a + 8 + 8 * d)), I32(a + 12 + 8 * d)});
        break;
      }
      default:
        Fail("typedesc entry 0x%x has the unexpected VT %d", encoded, t.vt);
    }
    return t;
  }

  // A value word: inline when bit 31 is set, else a custdata offset.
  bool Value(int32_t word, VARTYPE* vt, LONG* number, std::wstring* text) const {
    if (word < 0) {
      *vt = static_cast<VARTYPE>((word >> 26) & 0x1F);
      *number = word & 0x3FFFFFF;
      return true;
    }
    size_t p = At(kCustData, word, 2);
    *vt = static_cast<VARTYPE>(I16(p));
    if (*vt == VT_BSTR) {
      p = At(kCustData, word, 6);
      int32_t length = I32(p + 2);
      if (length < 0) return false;
      p = At(kCustData, word, 6 + static_cast<size_t>(length));
      *text = Text(p + 6, static_cast<size_t>(length));
      return true;
    }
    p = At(kCustData, word, 6);
    *number = I32(p + 2);
    return true;
  }

 private:
  std::wstring Text(size_t at, size_t length) const {
    std::wstring out(length, L'\0');
    for (size_t i = 0; i < length; ++i) out[i] = static_cast<wchar_t>(data_[at + i]);  // Latin-1 code page
    return out;
  }

  struct Seg {
    size_t offset, length;
  };
  const uint8_t* data_;
  size_t size_;
  Seg seg_[kSegments] = {};
};

void CheckHref(const Reader& r, const Library& lib, HREFTYPE href, size_t records, const char* where) {
  if ((href & 3) == 0) {
    if (href % 100 != 0 || href / 100 >= records)
      Fail("%s refers to 0x%x, which is no type record", where, static_cast<int>(href));
    return;
  }
  if ((href & 3) == 1 && lib.FindImport(href)) return;
  (void)r;
  Fail("%s refers to 0x%x, which names no imported type", where, static_cast<int>(href));
}

void CheckTypeRefs(const Reader& r, const Library& lib, const TypeSpec& t, size_t records) {
  if (t.vt == VT_USERDEFINED) CheckHref(r, lib, t.href, records, "a parameter");
  if (t.inner) CheckTypeRefs(r, lib, *t.inner, records);
}

void ReadMembers(const Reader& r, int32_t memoffset, int nf, int nv, Record& rec, size_t fileSize) {
  if (memoffset < 0 || static_cast<size_t>(memoffset) > fileSize) Fail("member block at 0x%x outside the file", memoffset);
  const size_t base = static_cast<size_t>(memoffset);
  const int32_t recordBytes = r.I32(base);
  const size_t n = static_cast<size_t>(nf) + static_cast<size_t>(nv);
  if (recordBytes < 0 || fileSize - base - 4 < static_cast<size_t>(recordBytes) ||
      (fileSize - base - 4 - static_cast<size_t>(recordBytes)) / 12 < n)
    Fail("member block at 0x%x is larger than the file", memoffset);
  const size_t records = base + 4;
  const size_t arrays = records + static_cast<size_t>(recordBytes);
  auto memidAt = [&](size_t k) { return r.I32(arrays + 4 * k); };
  auto nameAt = [&](size_t k) {
    const int32_t offset = r.I32(arrays + 4 * (n + k));
    return offset != -1 ? r.Name(offset) : std::wstring();
  };
  // Member k's record and its size (the low bits `sizeMask` of its first word).
  auto recordAt = [&](size_t k, size_t minimum, int32_t sizeMask, const char* what, size_t& size) {
    int32_t offset = r.I32(arrays + 4 * (2 * n + k));
    if (offset < 0 || static_cast<size_t>(offset) > static_cast<size_t>(recordBytes) ||
        static_cast<size_t>(recordBytes) - static_cast<size_t>(offset) < minimum)
      Fail("member %d record offset 0x%x outside its block", static_cast<int>(k), offset);
    const size_t p = records + static_cast<size_t>(offset);
    size = static_cast<size_t>(r.I32(p) & sizeMask);
    if (size < minimum || p + size > arrays)
      Fail("%s %d record has the bad size %d", what, static_cast<int>(k), static_cast<int>(size));
    return p;
  };

  for (size_t k = 0; k < static_cast<size_t>(nf); ++k) {
    size_t size;
    const size_t p = recordAt(k, 24, 0xFFFF, "function", size);
    Func f;
    f.memid = memidAt(k);
    f.name = nameAt(k);
    f.ret = r.Type(r.I32(p + 4));
    f.flags = static_cast<WORD>(r.I32(p + 8));
    f.oVft = r.I16(p + 12);
    const int32_t fkccic = r.I32(p + 16);
    f.funckind = static_cast<FUNCKIND>(fkccic & 7);
    const int invkind = (fkccic >> 3) & 0xF;
    if (invkind != 1 && invkind != 2 && invkind != 4 && invkind != 8)
      Fail("function %d has the invoke kind %d", static_cast<int>(k), invkind);
    f.invkind = static_cast<INVOKEKIND>(invkind);
    f.callconv = static_cast<CALLCONV>((fkccic >> 8) & 0xF);
    const int nargs = r.I16(p + 20);
    f.cParamsOpt = r.I16(p + 22);
    if (nargs < 0) Fail("function %d has %d parameters", static_cast<int>(k), nargs);
    const bool defaults = fkccic & 0x1000;
    const size_t fixed = 24 + 12 * static_cast<size_t>(nargs) + (defaults ? 4 * static_cast<size_t>(nargs) : 0);
    if (fixed > size) Fail("function %d: %d parameters do not fit its record", static_cast<int>(k), nargs);
    const size_t optional = (size - fixed) / 4;
    if (optional > 0) f.helpContext = static_cast<DWORD>(r.I32(p + 24));
    if (optional > 1 && r.I32(p + 28) != -1) {
      f.helpString = r.String(r.I32(p + 28));
      f.hasHelpString = true;
    }
    const size_t params = p + size - 12 * static_cast<size_t>(nargs);
    const size_t defaultValues = params - 4 * static_cast<size_t>(nargs);
    for (int a = 0; a < nargs; ++a) {
      Param prm;
      prm.type = r.Type(r.I32(params + 12 * a));
      int32_t pname = r.I32(params + 12 * a + 4);
      if (pname != -1) prm.name = r.Name(pname);
      prm.flags = static_cast<USHORT>(r.I32(params + 12 * a + 8) & 0x7F);
      if (defaults && (prm.flags & PARAMFLAG_FHASDEFAULT)) {
        int32_t word = r.I32(defaultValues + 4 * a);
        LONG number = 0;
        if (word != -1 && r.Value(word, &prm.defaultVt, &number, &prm.defaultText)) {
          prm.defaultInt = number;
          prm.hasDefault = prm.defaultVt == VT_BSTR || prm.defaultVt == VT_I4 || prm.defaultVt == VT_I2 ||
                           prm.defaultVt == VT_UI4 || prm.defaultVt == VT_INT || prm.defaultVt == VT_UINT ||
                           prm.defaultVt == VT_BOOL;
        }
      }
      // A default we cannot give is not claimed.
      if (!prm.hasDefault) prm.flags &= static_cast<USHORT>(~PARAMFLAG_FHASDEFAULT);
      f.params.push_back(std::move(prm));
    }
    rec.funcs.push_back(std::move(f));
  }
  for (size_t k = static_cast<size_t>(nf); k < n; ++k) {
    size_t size;
    const size_t p = recordAt(k, 20, 0xFF, "variable", size);
    Var v;
    v.memid = memidAt(k);
    v.name = nameAt(k);
    v.type = r.Type(r.I32(p + 4));
    v.flags = static_cast<WORD>(r.I32(p + 8));
    v.kind = static_cast<VARKIND>(r.I16(p + 12) & 3);
    int32_t value = r.I32(p + 16);
    if (v.kind == VAR_CONST) {
      VARTYPE vt;
      std::wstring text;
      if (!r.Value(value, &vt, &v.constValue, &text) || vt == VT_BSTR) Fail("constant %d has a value we cannot read", static_cast<int>(k));
    } else {
      v.oInst = static_cast<ULONG>(value);
    }
    if (size >= 28 && r.I32(p + 24) != -1) {
      v.helpString = r.String(r.I32(p + 24));
      v.hasHelpString = true;
    }
    rec.vars.push_back(std::move(v));
  }
}

void ParseAll(const uint8_t* data, size_t size, Library& lib) {
  Reader r(data, size);
  if (size < 0x54) Fail("file of %d bytes is shorter than the 84-byte header", static_cast<int>(size));
  if (static_cast<uint32_t>(r.I32(0)) != 0x5446534D) throw BadData{"no MSFT signature"};
  const int32_t varflags = r.I32(0x14);
  const int32_t ntypes = r.I32(0x20);
  if (ntypes < 0 || ntypes > 0xFFFF) Fail("header gives %d type records", ntypes);
  size_t pos = 0x54 + ((varflags & 0x100) ? 4 : 0) + 4 * static_cast<size_t>(ntypes);
  r.ReadDirectory(pos);
  if (r.Length(kTypeInfo) < 100 * static_cast<size_t>(ntypes))
    Fail("typeinfo segment of %d bytes cannot hold %d records", static_cast<int>(r.Length(kTypeInfo)), ntypes);

  lib.guid = r.Guid(r.I32(0x08));
  // The declared locale (0 unless the IDL names one); 0x0C is the one names are hashed with.
  lib.lcid = static_cast<LCID>(r.I32(0x10));
  lib.syskind = static_cast<SYSKIND>(varflags & 0xF);
  if ((varflags & 0xF) > SYS_WIN64) Fail("unknown platform %d", varflags & 0xF);
  const int32_t version = r.I32(0x18);
  lib.major = static_cast<WORD>(version & 0xFFFF);
  lib.minor = static_cast<WORD>((version >> 16) & 0xFFFF);
  lib.libFlags = static_cast<WORD>(r.I32(0x1C));
  if (r.I32(0x24) != -1) {
    lib.doc = r.String(r.I32(0x24));
    lib.hasDoc = true;
  }
  lib.helpContext = static_cast<DWORD>(r.I32(0x2C));
  lib.name = r.Name(r.I32(0x38));
  if ((varflags & 0x10) && r.I32(0x3C) != -1) {
    lib.helpFile = r.String(r.I32(0x3C));
    lib.hasHelpFile = true;
  }

  // Imported libraries, then the types taken from them.
  std::vector<int> fileOffsets;
  for (size_t q = 0; q < r.Length(kImpFiles);) {
    size_t p = r.At(kImpFiles, static_cast<int64_t>(q), 14);
    ImportFile f;
    f.guid = r.Guid(r.I32(p));
    f.lcid = static_cast<LCID>(r.I32(p + 4));
    int32_t v = r.I32(p + 8);
    f.major = static_cast<WORD>(v & 0xFFFF);
    f.minor = static_cast<WORD>((v >> 16) & 0xFFFF);
    size_t length = static_cast<uint16_t>(r.I16(p + 12)) >> 2;
    p = r.At(kImpFiles, static_cast<int64_t>(q), 14 + length);
    for (size_t i = 0; i < length; ++i) f.name.push_back(static_cast<wchar_t>(r.U8(p + 14 + i)));
    fileOffsets.push_back(static_cast<int>(q));
    lib.imports.push_back(std::move(f));
    q += 12 + ((2 + length + 3) & ~size_t{3});
  }
  for (size_t q = 0; q + 12 <= r.Length(kImpInfo); q += 12) {
    size_t p = r.At(kImpInfo, static_cast<int64_t>(q), 12);
    ImportRef ref;
    ref.offset = static_cast<int>(q);
    const int32_t flags = r.I32(p);
    const int32_t file = r.I32(p + 4);
    ref.file = -1;
    for (size_t i = 0; i < fileOffsets.size(); ++i)
      if (fileOffsets[i] == file) ref.file = static_cast<int>(i);
    if (ref.file < 0) Fail("imported type at 0x%x names no import file (0x%x)", static_cast<int>(q), file);
    ref.byGuid = flags & 0x10000;
    const int32_t g = r.I32(p + 8);
    if (ref.byGuid) {
      if (g == -1) continue;  // widl leaves some duplicate imports without a GUID: unusable, dropped
      ref.guid = r.Guid(g);
    } else {
      ref.index = g;
    }
    lib.importRefs.push_back(ref);
  }

  const size_t typeinfo = r.At(kTypeInfo, 0, 100 * static_cast<size_t>(ntypes));
  for (int32_t i = 0; i < ntypes; ++i) {
    const size_t p = typeinfo + 100 * static_cast<size_t>(i);
    Record rec;
    const int32_t typekind = r.I32(p);
    if ((typekind & 0xF) >= TKIND_MAX) Fail("type %d has the unknown kind %d", i, typekind & 0xF);
    rec.kind = static_cast<TYPEKIND>(typekind & 0xF);
    rec.cbAlignment = static_cast<WORD>((typekind >> 11) & 0x1F);
    const int32_t celement = r.I32(p + 0x18);
    const int32_t posguid = r.I32(p + 0x2C);
    if (posguid != -1) rec.guid = r.Guid(posguid);
    rec.flags = static_cast<WORD>(r.I32(p + 0x30));
    rec.name = r.Name(r.I32(p + 0x34));
    const int32_t version = r.I32(p + 0x38);
    rec.major = static_cast<WORD>(version & 0xFFFF);
    rec.minor = static_cast<WORD>((version >> 16) & 0xFFFF);
    if (r.I32(p + 0x3C) != -1) {
      rec.doc = r.String(r.I32(p + 0x3C));
      rec.hasDoc = true;
    }
    rec.helpContext = static_cast<DWORD>(r.I32(p + 0x44));
    const int cImplTypes = static_cast<uint16_t>(r.I16(p + 0x4C));
    rec.cbSizeVft = static_cast<WORD>(r.I16(p + 0x4E));
    rec.cbSizeInstance = static_cast<ULONG>(r.I32(p + 0x50));
    const int32_t datatype1 = r.I32(p + 0x54);
    switch (rec.kind) {
      case TKIND_COCLASS: {
        std::set<int32_t> seen;
        int32_t off = datatype1;
        for (int k = 0; k < cImplTypes; ++k) {
          if (off == -1) Fail("class %d lists fewer interfaces than its count", i);
          if (!seen.insert(off).second) Fail("class %d: its interface list loops at 0x%x", i, off);
          size_t q = r.At(kRefTab, off, 16);
          rec.impls.push_back({static_cast<HREFTYPE>(r.I32(q)), r.I32(q + 4)});
          off = r.I32(q + 12);
        }
        break;
      }
      case TKIND_INTERFACE:
      case TKIND_DISPATCH:
        if (cImplTypes > 1) Fail("interface %d claims %d bases", i, cImplTypes);
        if (datatype1 != -1) rec.impls.push_back({static_cast<HREFTYPE>(datatype1), 0});
        break;
      case TKIND_ALIAS:
        rec.alias = r.Type(datatype1);
        break;
      default:
        break;
    }
    const int nf = celement & 0xFFFF, nv = (celement >> 16) & 0xFFFF;
    if (nf + nv > 0 && rec.kind != TKIND_COCLASS && rec.kind != TKIND_ALIAS)
      ReadMembers(r, r.I32(p + 4), nf, nv, rec, size);
    lib.records.push_back(std::move(rec));
  }

  // A chain of local bases must end: a loop would send every name lookup round it.
  for (size_t i = 0; i < lib.records.size(); ++i) {
    size_t at = i;
    for (size_t steps = 0;; ++steps) {
      const Record& rec = lib.records[at];
      if ((rec.kind != TKIND_INTERFACE && rec.kind != TKIND_DISPATCH) || rec.impls.empty()) break;
      const HREFTYPE base = rec.impls[0].href;
      if ((base & 3) != 0 || base % 100 != 0 || base / 100 >= lib.records.size()) break;
      if (steps > lib.records.size()) Fail("the bases of type %d form a loop", static_cast<int>(i));
      at = base / 100;
    }
  }

  // Every reference must lead somewhere before a client can follow it.
  for (const Record& rec : lib.records) {
    for (const Impl& impl : rec.impls) CheckHref(r, lib, impl.href, lib.records.size(), "a base or class interface");
    CheckTypeRefs(r, lib, rec.alias, lib.records.size());
    for (const Func& f : rec.funcs) {
      CheckTypeRefs(r, lib, f.ret, lib.records.size());
      for (const Param& prm : f.params) CheckTypeRefs(r, lib, prm.type, lib.records.size());
    }
    for (const Var& v : rec.vars) CheckTypeRefs(r, lib, v.type, lib.records.size());
  }
}

}  // namespace

const ImportRef* Library::FindImport(HREFTYPE href) const {
  if ((href & 3) != 1) return nullptr;
  for (const ImportRef& ref : importRefs)
    if (static_cast<HREFTYPE>(ref.offset) + 1 == href) return &ref;
  return nullptr;
}

HRESULT Parse(const uint8_t* data, size_t size, Library& out, std::string& error) {
  try {
    Library lib;
    if (size >= 4 && std::memcmp(data, "SLTG", 4) == 0) {
      error = "the SLTG type-library format is not supported";
      return TYPE_E_UNSUPFORMAT;
    }
    ParseAll(data, size, lib);
    out = std::move(lib);
    return S_OK;
  } catch (const BadData& bad) {
    error = bad.what;
    return TYPE_E_INVDATAREAD;
  } catch (const std::bad_alloc&) {
    error = "out of memory";
    return E_OUTOFMEMORY;
  } catch (...) {
    error = "unexpected failure";
    return E_FAIL;
  }
}

}  // namespace typelib
}  // namespace stand_in

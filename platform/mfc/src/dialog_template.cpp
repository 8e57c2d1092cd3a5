#include "stand_in/dialog_template.h"
#include "stand_in/text.h"

#include <cstdio>

namespace stand_in {
namespace mfc {
namespace {

// Little-endian reads over a bounded buffer; the first failure sticks.
class Reader {
 public:
  Reader(const void* data, size_t size, const char* what)
      : p_(static_cast<const BYTE*>(data)), size_(data ? size : 0), what_(what) {}

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  size_t offset() const { return pos_; }
  size_t left() const { return size_ - pos_; }

  void Fail(const std::string& message, size_t at) {
    if (!ok()) return;
    char where[64];
    std::snprintf(where, sizeof where, " at byte %zu", at);
    error_ = std::string(what_) + ": " + message + where;
  }

  bool Need(size_t n, const char* field) {
    if (!ok()) return false;
    if (n > left()) {
      Fail(std::string(field) + " runs past the end of the " + std::to_string(size_) + " bytes", pos_);
      return false;
    }
    return true;
  }

  WORD Word(const char* field) {
    if (!Need(2, field)) return 0;
    WORD v = static_cast<WORD>(p_[pos_] | (p_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  DWORD Dword(const char* field) {
    if (!Need(4, field)) return 0;
    DWORD v = static_cast<DWORD>(p_[pos_]) | (static_cast<DWORD>(p_[pos_ + 1]) << 8) |
              (static_cast<DWORD>(p_[pos_ + 2]) << 16) | (static_cast<DWORD>(p_[pos_ + 3]) << 24);
    pos_ += 4;
    return v;
  }
  short Short(const char* field) { return static_cast<short>(Word(field)); }
  template <typename Box>
  void Place(Box& box, const char* position, const char* size) {
    box.x = Short(position);
    box.y = Short(position);
    box.cx = Short(size);
    box.cy = Short(size);
  }
  BYTE Byte(const char* field) {
    if (!Need(1, field)) return 0;
    return p_[pos_++];
  }
  const BYTE* Bytes(size_t n, const char* field) {
    if (!Need(n, field)) return nullptr;
    const BYTE* at = p_ + pos_;
    pos_ += n;
    return at;
  }

  // A zero-terminated UTF-16 text, surrogate pairs joined.
  std::wstring Text(const char* field) {
    if (!ok()) return L"";
    const size_t start = pos_;
    for (;;) {
      if (left() < 2) {
        Fail(std::string(field) + " has no terminating zero", start);
        return L"";
      }
      if (Word(field) == 0) return FromUtf16Le(p_ + start, pos_ - 2 - start);
    }
  }

  NameOrOrdinal NameOrId(const char* field) {
    NameOrOrdinal out;
    if (!Need(2, field)) return out;
    WORD first = static_cast<WORD>(p_[pos_] | (p_[pos_ + 1] << 8));
    if (first == 0xFFFF) {
      pos_ += 2;
      out.isOrdinal = true;
      out.ordinal = Word(field);
    } else {
      out.name = Text(field);
    }
    return out;
  }

  void AlignDword() { pos_ = pos_ + 3 <= size_ ? (pos_ + 3) & ~static_cast<size_t>(3) : size_; }

 private:
  const BYTE* p_;
  size_t size_;
  size_t pos_ = 0;
  const char* what_;
  std::string error_;
};

// Hands `value` over when all of it was read; otherwise the first error.
template <typename T>
bool Deliver(const Reader& r, T& value, T* out, std::string* error) {
  if (!r.ok()) {
    if (error) *error = r.error();
    return false;
  }
  if (out) *out = std::move(value);
  return true;
}

}  // namespace

bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* out, std::string* error) {
  Reader r(data, size, "dialog template");
  DialogTemplate t;
  t.version = r.Word("the version");
  WORD signature = r.Word("the signature");
  if (r.ok() && (t.version != 1 || signature != 0xFFFF)) {
    r.Fail("not an extended dialog template (version " + std::to_string(t.version) + ", signature " +
               std::to_string(signature) + "; expected 1 and 65535)",
           0);
  }
  t.helpId = r.Dword("the help id");
  t.exStyle = r.Dword("the extended style");
  t.style = r.Dword("the style");
  WORD count = r.Word("the control count");
  r.Place(t, "the position", "the size");
  t.menu = r.NameOrId("the menu");
  t.windowClass = r.NameOrId("the window class");
  t.title = r.Text("the title");
  if (t.style & DS_SETFONT) {
    t.pointSize = r.Word("the font size");
    t.weight = r.Word("the font weight");
    t.italic = r.Byte("the italic flag");
    t.charset = r.Byte("the character set");
    t.typeface = r.Text("the typeface");
  }
  for (WORD i = 0; i < count && r.ok(); ++i) {
    r.AlignDword();
    const size_t start = r.offset();
    // Each control takes at least its fixed part; a hostile count is caught
    // before anything is reserved for it.
    if (r.left() < 24 + 6) {
      r.Fail("control " + std::to_string(i + 1) + " of " + std::to_string(count) + " runs past the end of the " +
                 std::to_string(size) + " bytes",
             start);
      break;
    }
    DialogItem item;
    item.helpId = r.Dword("a control's help id");
    item.exStyle = r.Dword("a control's extended style");
    item.style = r.Dword("a control's style");
    r.Place(item, "a control's position", "a control's size");
    item.id = r.Dword("a control's id");
    item.windowClass = r.NameOrId("a control's class");
    item.title = r.NameOrId("a control's text");
    WORD extra = r.Word("a control's creation data size");
    if (const BYTE* bytes = r.Bytes(extra, "a control's creation data")) item.creationData.assign(bytes, bytes + extra);
    if (r.ok() && item.windowClass.empty()) r.Fail("control " + std::to_string(i + 1) + " has no class", start);
    if (r.ok()) t.items.push_back(std::move(item));
  }
  return Deliver(r, t, out, error);
}

bool ParseDlgInit(const void* data, size_t size, std::vector<DlgInitEntry>* out, std::string* error) {
  Reader r(data, size, "dialog initialisation data");
  std::vector<DlgInitEntry> entries;
  for (;;) {
    const size_t start = r.offset();
    WORD id = r.Word("the end mark");
    if (!r.ok() || id == 0) break;
    DlgInitEntry e;
    e.controlId = id;
    e.message = r.Word("an entry's message");
    DWORD length = r.Dword("an entry's length");
    const BYTE* bytes = r.Bytes(length, "an entry's text");
    if (!bytes) break;
    size_t n = 0;
    while (n < length && bytes[n] != 0) ++n;
    if (n == length) {
      r.Fail("the text of the entry for control " + std::to_string(id) + " has no terminating zero", start);
      break;
    }
    e.data.assign(reinterpret_cast<const char*>(bytes), n);
    entries.push_back(std::move(e));
  }
  return Deliver(r, entries, out, error);
}

}  // namespace mfc
}  // namespace stand_in

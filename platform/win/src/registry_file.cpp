// The registry file: its text form, written and read back with a clear error
// for every damage, and the file itself, locked and replaced whole.
#include "registry_store.h"

#include "stand_in/registry.h"
#include "stand_in/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace stand_in {
namespace registry {

std::wstring Fold(const std::wstring& name) {
  std::wstring out(name);
  for (wchar_t& c : out) c = ToUpper(c);
  return out;
}

Key* Key::Find(const std::wstring& sub) const {
  auto it = subkeys.find(Fold(sub));
  return it == subkeys.end() ? nullptr : it->second.get();
}

Value* Key::FindValue(const std::wstring& value_name) {
  const std::wstring folded = Fold(value_name);
  for (Value& v : values)
    if (Fold(v.name) == folded) return &v;
  return nullptr;
}

Key& Key::Add(const std::wstring& sub) {
  auto& slot = subkeys[Fold(sub)];
  if (!slot) {
    slot = std::make_unique<Key>();
    slot->name = sub;
  }
  return *slot;
}

const wchar_t* HiveName(int hive) {
  static const wchar_t* const names[kHiveCount] = {L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER",
                                                   L"HKEY_LOCAL_MACHINE"};
  return names[hive];
}

void Tree::Clear() {
  for (Key& k : hives) {
    k.subkeys.clear();
    k.values.clear();
  }
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

namespace {

const char kHeader[] = "tessaly registry 1";

// --- Writing -----------------------------------------------------------------

void PutChar(std::string& out, uint32_t c) {
  switch (c) {
    case '\\': out += "\\\\"; return;
    case '"': out += "\\\""; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case 0: out += "\\0"; return;
    default: break;
  }
  // Controls, lone surrogates and whatever is no character get an escape, so
  // the file stays valid UTF-8 text.
  if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "\\u{%X}", static_cast<unsigned>(c));
    out += buf;
    return;
  }
  AppendUtf8(out, c);
}

void PutName(std::string& out, const std::wstring& name) {
  out += '"';
  for (wchar_t c : name) PutChar(out, static_cast<uint32_t>(c));
  out += '"';
}

void PutValue(std::string& out, const Value& v) {
  out += "  value ";
  PutName(out, v.name);
  const char* type_name = v.type == REG_SZ ? "sz" : v.type == REG_EXPAND_SZ ? "expand_sz" : "multi_sz";
  if (IsStringType(v.type) && v.data.size() % 2 == 0) {
    const size_t n = v.data.size();
    const bool terminated = n >= 2 && v.data[n - 2] == 0 && v.data[n - 1] == 0;
    out += ' ';
    out += type_name;
    out += " \"";
    for (wchar_t c : FromUtf16Le(v.data.data(), terminated ? n - 2 : n)) PutChar(out, static_cast<uint32_t>(c));
    out += '"';
    if (!terminated) out += " unterminated";
  } else if (v.type == REG_DWORD && v.data.size() == 4) {
    char buf[32];
    const uint32_t n = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
    std::snprintf(buf, sizeof buf, " dword 0x%08X", n);
    out += buf;
  } else {
    char buf[32];
    std::snprintf(buf, sizeof buf, " hex(%u)", static_cast<unsigned>(v.type));
    out += buf;
    if (!v.data.empty()) out += ' ';
    for (uint8_t b : v.data) {
      std::snprintf(buf, sizeof buf, "%02x", b);
      out += buf;
    }
  }
  out += '\n';
}

void PutKey(std::string& out, const std::string& path, const Key& key) {
  out += "key ";
  out += path;
  out += '\n';
  for (const Value& v : key.values) PutValue(out, v);
  for (const auto& entry : key.subkeys) {
    std::string sub = path + ' ';
    PutName(sub, entry.second->name);
    PutKey(out, sub, *entry.second);
  }
}

// --- Reading -----------------------------------------------------------------

class Reader {
 public:
  Reader(const std::string& text, const std::string& file_name, Tree& tree)
      : text_(text), file_(file_name), tree_(tree) {}

  bool Run(std::string* error) {
    tree_.Clear();
    bool header = false, ended = false;
    Key* current = nullptr;
    size_t pos = 0;
    while (pos < text_.size()) {
      size_t eol = text_.find('\n', pos);
      ++line_;
      if (eol == std::string::npos) return Fail(error, "the last line has no line end (the file is cut short)");
      line_text_.assign(text_, pos, eol - pos);
      if (!line_text_.empty() && line_text_.back() == '\r') line_text_.pop_back();
      pos = eol + 1;
      at_ = 0;
      SkipBlanks();
      if (at_ == line_text_.size() || line_text_[at_] == '#') continue;
      if (ended) return Fail(error, "text after \"end\"");
      if (!header) {
        if (line_text_.compare(at_, std::string::npos, kHeader) != 0)
          return Fail(error, "not a registry file (the first line must be \"tessaly registry 1\")");
        header = true;
        continue;
      }
      std::string word = Word();
      if (word == "key") {
        current = ReadKey();
        if (!current) return Fail(error, what_);
      } else if (word == "value") {
        if (!current) return Fail(error, "a value before any key");
        if (!ReadValue(*current)) return Fail(error, what_);
      } else if (word == "end") {
        if (!AtEnd()) return Fail(error, "unexpected text after \"end\"");
        ended = true;
      } else {
        return Fail(error, "unknown line (expected key, value or end)");
      }
    }
    if (!header) {
      if (text_.find_first_not_of(" \t\r\n") == std::string::npos && text_.find('#') == std::string::npos) {
        return true;  // an empty file is an empty registry
      }
      return Fail(error, "not a registry file (no \"tessaly registry 1\" line)");
    }
    if (!ended) {
      ++line_;
      return Fail(error, "no \"end\" line (the file is cut short)");
    }
    return true;
  }

 private:
  bool Fail(std::string* error, const std::string& what) {
    if (error) *error = file_ + ", line " + std::to_string(line_) + ": " + what;
    tree_.Clear();
    return false;
  }
  bool Bad(const std::string& what) {
    what_ = what;
    return false;
  }

  void SkipBlanks() {
    while (at_ < line_text_.size() && (line_text_[at_] == ' ' || line_text_[at_] == '\t')) ++at_;
  }
  bool AtEnd() {
    SkipBlanks();
    return at_ == line_text_.size();
  }
  std::string Word() {
    SkipBlanks();
    size_t start = at_;
    while (at_ < line_text_.size() && line_text_[at_] != ' ' && line_text_[at_] != '\t' && line_text_[at_] != '"')
      ++at_;
    return line_text_.substr(start, at_ - start);
  }

  // One UTF-8 character; false on a malformed sequence.
  bool Utf8(uint32_t& c) {
    bool valid;
    const size_t used = DecodeUtf8(reinterpret_cast<const unsigned char*>(line_text_.data()) + at_,
                                   line_text_.size() - at_, c, valid);
    if (valid) at_ += used;
    return valid;
  }

  // A quoted text as code points (escapes give any value up to 0x10FFFF).
  bool Quoted(std::vector<uint32_t>& out) {
    SkipBlanks();
    if (at_ >= line_text_.size() || line_text_[at_] != '"') return Bad("a quoted name or text expected");
    ++at_;
    for (;;) {
      if (at_ >= line_text_.size()) return Bad("unterminated quoted text");
      char ch = line_text_[at_];
      if (ch == '"') {
        ++at_;
        break;
      }
      if (static_cast<uint8_t>(ch) < 0x20 || ch == 0x7F) return Bad("a control character inside quotes");
      if (ch != '\\') {
        uint32_t c;
        if (!Utf8(c)) return Bad("invalid UTF-8 inside quotes");
        out.push_back(c);
        continue;
      }
      if (++at_ >= line_text_.size()) return Bad("unterminated quoted text");
      ch = line_text_[at_++];
      switch (ch) {
        case '\\': out.push_back('\\'); break;
        case '"': out.push_back('"'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case '0': out.push_back(0); break;
        case 'u': {
          if (at_ >= line_text_.size() || line_text_[at_] != '{') return Bad("\\u must be followed by {hex}");
          ++at_;
          uint32_t c = 0;
          size_t digits = 0;
          while (at_ < line_text_.size() && std::isxdigit(static_cast<unsigned char>(line_text_[at_]))) {
            if (++digits > 6) return Bad("\\u{...} has too many digits");
            const char d = line_text_[at_++];
            c = c * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(d)) ? d - '0'
                                                                                          : (d | 0x20) - 'a' + 10);
          }
          if (digits == 0 || at_ >= line_text_.size() || line_text_[at_] != '}')
            return Bad("\\u{...} needs hexadecimal digits and a closing brace");
          ++at_;
          if (c > 0x10FFFF) return Bad("\\u{...} beyond U+10FFFF");
          out.push_back(c);
          break;
        }
        default: return Bad(std::string("unknown escape \\") + ch);
      }
    }
    return true;
  }

  bool Name(std::wstring& name) {
    std::vector<uint32_t> cps;
    if (!Quoted(cps)) return false;
    for (uint32_t c : cps)
      if (c == 0) return Bad("a name with a zero character");
    name.assign(cps.begin(), cps.end());
    return true;
  }

  Key* ReadKey() {
    std::string hive_name = Word();
    int hive = -1;
    for (int h = 0; h < kHiveCount; ++h)
      if (ToUtf8(HiveName(h)) == hive_name) hive = h;
    if (hive < 0) {
      Bad("unknown hive \"" + hive_name + "\"");
      return nullptr;
    }
    Key* key = &tree_.hives[hive];
    std::vector<std::wstring> path;
    while (!AtEnd()) {
      std::wstring name;
      if (!Name(name)) return nullptr;
      if (name.empty()) {
        Bad("an empty key name");
        return nullptr;
      }
      if (name.find(L'\\') != std::wstring::npos) {
        Bad("a key name with a backslash");
        return nullptr;
      }
      if (name.size() > kMaxKeyNameChars) {
        Bad("a key name longer than 255 characters");
        return nullptr;
      }
      if (path.size() >= kMaxDepth) {
        Bad("keys nested deeper than 512 levels");
        return nullptr;
      }
      path.push_back(name);
    }
    for (size_t i = 0; i + 1 < path.size(); ++i) {
      key = key->Find(path[i]);
      if (!key) {
        Bad("a key whose parent was not given before it");
        return nullptr;
      }
    }
    if (path.empty()) {
      if (seen_root_[hive]) {
        Bad("the same key given twice");
        return nullptr;
      }
      seen_root_[hive] = true;
      return key;
    }
    if (key->Find(path.back())) {
      Bad("the same key given twice");
      return nullptr;
    }
    return &key->Add(path.back());
  }

  bool Hex(uint64_t& n, size_t max_digits) {
    SkipBlanks();
    if (line_text_.compare(at_, 2, "0x") != 0) return Bad("a number in the form 0x... expected");
    at_ += 2;
    n = 0;
    size_t digits = 0;
    while (at_ < line_text_.size() && std::isxdigit(static_cast<unsigned char>(line_text_[at_]))) {
      if (++digits > max_digits) return Bad("a number too large");
      const char d = line_text_[at_++];
      n = n * 16 + static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(d)) ? d - '0' : (d | 0x20) - 'a' + 10);
    }
    if (digits == 0) return Bad("a number in the form 0x... expected");
    return true;
  }

  bool ReadValue(Key& key) {
    Value v;
    if (!Name(v.name)) return false;
    if (v.name.size() > kMaxValueNameChars) return Bad("a value name longer than 16383 characters");
    if (key.FindValue(v.name)) return Bad("the same value given twice in one key");
    std::string type = Word();
    if (type == "sz" || type == "expand_sz" || type == "multi_sz") {
      v.type = type == "sz" ? REG_SZ : type == "expand_sz" ? REG_EXPAND_SZ : REG_MULTI_SZ;
      std::vector<uint32_t> cps;
      if (!Quoted(cps)) return false;
      std::string rest = Word();
      if (rest.empty()) cps.push_back(0);
      else if (rest != "unterminated") return Bad("unexpected \"" + rest + "\" after the text");
      for (uint32_t c : cps) AppendUtf16Le(v.data, c);
    } else if (type == "dword") {
      uint64_t n;
      if (!Hex(n, 8)) return false;
      v.type = REG_DWORD;
      for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<uint8_t>(n >> (8 * i)));
    } else if (type.compare(0, 4, "hex(") == 0 && type.size() > 5 && type.back() == ')') {
      uint64_t t = 0;
      for (size_t i = 4; i + 1 < type.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(type[i])) || i > 14) return Bad("a bad type number in hex(...)");
        t = t * 10 + static_cast<uint64_t>(type[i] - '0');
      }
      if (t > 0xFFFFFFFFu) return Bad("a bad type number in hex(...)");
      v.type = static_cast<DWORD>(t);
      std::string bytes = Word();
      if (bytes.size() % 2) return Bad("an odd number of hexadecimal digits");
      for (size_t i = 0; i < bytes.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(bytes[i])) || !std::isxdigit(static_cast<unsigned char>(bytes[i + 1])))
          return Bad("bad hexadecimal bytes");
        v.data.push_back(static_cast<uint8_t>(std::stoi(bytes.substr(i, 2), nullptr, 16)));
      }
    } else {
      return Bad("unknown value type \"" + type + "\"");
    }
    if (!AtEnd()) return Bad("unexpected text at the end of the value");
    key.values.push_back(std::move(v));
    return true;
  }

  const std::string& text_;
  const std::string& file_;
  Tree& tree_;
  size_t line_ = 0;
  std::string line_text_;
  size_t at_ = 0;
  std::string what_;
  bool seen_root_[kHiveCount] = {};
};

}  // namespace

std::string Serialize(const Tree& tree) {
  std::string out = kHeader;
  out += '\n';
  for (int h = 0; h < kHiveCount; ++h) PutKey(out, ToUtf8(HiveName(h)), tree.hives[h]);
  out += "end\n";
  return out;
}

bool Parse(const std::string& text, const std::string& file_name, Tree& tree, std::string* error) {
  return Reader(text, file_name, tree).Run(error);
}

bool ParseText(const std::string& text, const std::string& file_name, std::string* canonical, std::string* error) {
  try {
    Tree tree;
    if (!Parse(text, file_name, tree, error)) return false;
    if (canonical) *canonical = Serialize(tree);
    return true;
  } catch (...) {
    if (error) *error = file_name + ": out of memory";
    return false;
  }
}

// --- The file ------------------------------------------------------------------

namespace {

std::string DirName(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool MakeDirs(const std::string& dir) {
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::string parent = DirName(dir);
  if (parent != dir && !MakeDirs(parent)) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// Temporary files of writers that died before their rename. Only called
// under the write lock, when no live writer can own one.
void RemoveStaleTemporaries(const std::string& path) {
  const std::string dir = DirName(path), prefix = BaseName(path) + ".tmp-";
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  while (struct dirent* e = ::readdir(d)) {
    if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) ::unlink((dir + "/" + e->d_name).c_str());
  }
  ::closedir(d);
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The replacement takes the place of `old` as others see it: its group and
// mode, and its owner when this process may give files away (otherwise the
// writer becomes the owner, and the mode and group keep it shared). A group
// the writer is no member of gives way to the writer's own.
bool KeepAttributes(int fd, const struct stat& old) {
  if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0 &&
      errno != EPERM)
    return false;
  return ::fchmod(fd, old.st_mode & 07777) == 0;
}

}  // namespace

bool ReadAll(int fd, std::string* text) {
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text->append(buf, static_cast<size_t>(n));
  }
}

std::string DamageReport(const std::string& parse_error) {
  return parse_error + " (the registry is not used or written until the file is mended)";
}

bool CheckFile(std::string* error) {
  try {
    const std::string path = FilePath();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) return true;  // an empty registry
    std::string text;
    const bool read = fd >= 0 && ReadAll(fd, &text);
    const int cause = errno;
    if (fd >= 0) ::close(fd);
    if (!read) {
      *error = "cannot read the registry file " + path + ": " + std::strerror(cause);
      return false;
    }
    if (ParseText(text, path, nullptr, error)) return true;
    *error = DamageReport(*error);
    return false;
  } catch (const std::bad_alloc&) {
    *error = "out of memory while reading the registry file";
    return false;
  }
}

bool WriteTarget(const std::string& path, std::string* target, std::string* error) {
  std::string at = path;
  for (int links = 0;; ++links) {
    struct stat st;
    if (::lstat(at.c_str(), &st) != 0) {
      if (errno == ENOENT) break;  // made by the write
      *error = "cannot reach the registry file " + at + ": " + std::strerror(errno);
      return false;
    }
    if (!S_ISLNK(st.st_mode)) break;
    if (links == 40) {
      *error = "the registry file " + path + ": " + std::strerror(ELOOP);
      return false;
    }
    char link[PATH_MAX];
    const ssize_t n = ::readlink(at.c_str(), link, sizeof link);
    if (n < 0 || static_cast<size_t>(n) == sizeof link) {
      *error = "cannot read the symbolic link " + at + ": " + std::strerror(n < 0 ? errno : ENAMETOOLONG);
      return false;
    }
    const std::string to(link, static_cast<size_t>(n));
    at = to[0] == '/' ? to : DirName(at) + "/" + to;
  }
  *target = at;
  return true;
}

WriteLock::WriteLock(const std::string& path) {
  std::string target, error;
  if (!WriteTarget(path, &target, &error)) {
    Report(error);
    return;
  }
  if (!MakeDirs(DirName(target))) {
    Report("cannot make the folder of the registry file " + target + ": " + std::strerror(errno));
    return;
  }
  const std::string lock = target + ".lock";
  fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    Report("cannot open the registry lock " + lock + ": " + std::strerror(errno));
    return;
  }
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      Report("cannot lock " + lock + ": " + std::strerror(errno));
      ::close(fd_);
      fd_ = -1;
      return;
    }
  }
}

WriteLock::~WriteLock() {
  if (fd_ >= 0) ::close(fd_);
}

int WriteFile(const std::string& path, const std::string& text, struct stat* st, std::string* error) {
  std::string target;
  if (!WriteTarget(path, &target, error)) return -1;
  const std::string named = target == path ? path : path + " (" + target + ")";
  struct stat old;
  const bool existed = ::stat(target.c_str(), &old) == 0;
  // Renaming over a file needs only the folder's permission; the file's own
  // says whether it may be changed.
  if (existed && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    *error = "cannot write the registry file " + named + ": " + std::strerror(errno);
    return -1;
  }
  RemoveStaleTemporaries(target);
  std::string temp = target + ".tmp-XXXXXX";
  const int fd = ::mkostemp(&temp[0], O_CLOEXEC);
  bool ok = fd >= 0 && WriteAll(fd, text) && (!existed || KeepAttributes(fd, old)) && ::fsync(fd) == 0 &&
            ::rename(temp.c_str(), target.c_str()) == 0;
  if (ok) {
    const int dir = ::open(DirName(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
    ok = ::fstat(fd, st) == 0;
  }
  if (!ok) {
    const int cause = errno;
    if (fd >= 0) {
      ::close(fd);
      ::unlink(temp.c_str());
    }
    *error = "cannot write the registry file " + named + ": " + std::strerror(cause);
    return -1;
  }
  return fd;
}

}  // namespace registry
}  // namespace stand_in

// The registrar: a script is read into a tree of keys first, then applied.
#include "statreg.h"

#include <windows.h>
#include <winreg.h>

#include "stand_in/text.h"

#include <cstdio>
#include <mutex>
#include <new>
#include <vector>

namespace {

constexpr int kMaxNesting = 256;

std::wstring Upper(const std::wstring& text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = stand_in::ToUpper(c);
  return out;
}

struct Entry {
  bool is_value = false;
  bool no_remove = false;
  bool force_remove = false;
  std::wstring name;
  bool has_data = false;  // a key's default value, or the value's data
  DWORD type = REG_SZ;
  std::vector<BYTE> data;
  std::vector<Entry> children;
};

struct Root {
  HKEY hive;
  std::vector<Entry> keys;
};

struct SyntaxError {
  std::wstring text;
};

class Parser {
 public:
  Parser(const std::wstring& text, const std::map<std::wstring, std::wstring>& replacements)
      : text_(text), replacements_(replacements) {}

  std::vector<Root> Script() {
    std::vector<Root> roots;
    for (;;) {
      Token t = Next();
      if (t.kind == kEnd) break;
      if (t.kind != kWord) Fail(t.line, L"a root key (HKCR, HKCU, HKLM) expected");
      Root root{Hive(t), {}};
      Expect(L'{', L"a '{' after the root key");
      for (;;) {
        Token n = Peek();
        if (n.kind == kClose) {
          Next();
          break;
        }
        if (n.kind == kEnd) Fail(n.line, L"the script ends inside a root key (a '}' is missing)");
        if (n.kind == kWord && Upper(n.text) == L"VAL") Fail(n.line, L"a value directly under a root key");
        root.keys.push_back(Key(1));
      }
      roots.push_back(std::move(root));
    }
    return roots;
  }

 private:
  enum Kind { kEnd, kWord, kQuoted, kOpen, kClose, kEquals };
  struct Token {
    Kind kind;
    std::wstring text;
    int line;
  };

  [[noreturn]] void Fail(int line, const std::wstring& what) {
    throw SyntaxError{L"line " + std::to_wstring(line) + L": " + what};
  }

  Token Read() {
    while (pos_ < text_.size() && (text_[pos_] == L' ' || text_[pos_] == L'\t' || text_[pos_] == L'\r' ||
                                   text_[pos_] == L'\n' || text_[pos_] == 0xFEFF)) {
      if (text_[pos_] == L'\n') ++line_;
      ++pos_;
    }
    if (pos_ >= text_.size()) return {kEnd, L"", line_};
    const wchar_t c = text_[pos_];
    if (c == L'\'') {
      const int start_line = line_;
      std::wstring out;
      ++pos_;
      for (;;) {
        if (pos_ >= text_.size()) Fail(start_line, L"a quoted text without its closing quote");
        const wchar_t ch = text_[pos_++];
        if (ch == L'\'') {
          if (pos_ < text_.size() && text_[pos_] == L'\'') {
            out += L'\'';
            ++pos_;
            continue;
          }
          break;
        }
        if (ch == L'\n') ++line_;
        out += ch;
      }
      return {kQuoted, Expand(out, start_line), start_line};
    }
    std::wstring out;
    while (pos_ < text_.size()) {
      const wchar_t ch = text_[pos_];
      if (ch == L' ' || ch == L'\t' || ch == L'\r' || ch == L'\n' || ch == L'\'') break;
      out += ch;
      ++pos_;
    }
    // Words end at blanks only, so that {GUID} is a name; a brace or '='
    // standing alone is punctuation.
    if (out == L"{") return {kOpen, out, line_};
    if (out == L"}") return {kClose, out, line_};
    if (out == L"=") return {kEquals, out, line_};
    return {kWord, out, line_};
  }

  Token Next() {
    if (has_peek_) {
      has_peek_ = false;
      return peek_;
    }
    return Read();
  }
  Token Peek() {
    if (!has_peek_) {
      peek_ = Read();
      has_peek_ = true;
    }
    return peek_;
  }
  void Expect(wchar_t what, const wchar_t* message) {
    Token t = Next();
    if (t.text != std::wstring(1, what) || t.kind == kQuoted) Fail(t.line, message);
  }

  // Replacements go into each text after it has been read, so that a value
  // holding a quote or a brace cannot change the script's structure.
  std::wstring Expand(const std::wstring& in, int line) {
    std::wstring out;
    for (size_t i = 0; i < in.size(); ++i) {
      if (in[i] != L'%') {
        out += in[i];
        continue;
      }
      const size_t end = in.find(L'%', i + 1);
      if (end == std::wstring::npos) Fail(line, L"a '%' without its closing '%'");
      if (end == i + 1) {
        out += L'%';
      } else {
        const std::wstring name = in.substr(i + 1, end - i - 1);
        auto it = replacements_.find(Upper(name));
        if (it == replacements_.end()) Fail(line, L"no replacement for %" + name + L"%");
        out += it->second;
      }
      i = end;
    }
    return out;
  }

  HKEY Hive(const Token& t) {
    const std::wstring name = Upper(t.text);
    if (name == L"HKCR" || name == L"HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
    if (name == L"HKCU" || name == L"HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
    if (name == L"HKLM" || name == L"HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
    Fail(t.line, L"unknown root key '" + t.text + L"'");
  }

  std::wstring Name(const Token& t, bool is_key) {
    if (t.kind != kWord && t.kind != kQuoted) Fail(t.line, is_key ? L"a key name expected" : L"a value name expected");
    std::wstring name = t.kind == kWord ? Expand(t.text, t.line) : t.text;
    if (is_key && name.find(L'\\') != std::wstring::npos) Fail(t.line, L"a key name with a backslash: '" + name + L"'");
    if (is_key && name.size() > 255) Fail(t.line, L"a key name longer than 255 characters");
    return name;
  }

  void Data(Entry& e) {
    Token type = Next();
    if (type.kind != kWord) Fail(type.line, L"a value type (s, d or b) expected after '='");
    Token value = Next();
    if (value.kind != kQuoted && value.kind != kWord) Fail(value.line, L"a value expected after the type");
    const std::wstring text = value.kind == kWord ? Expand(value.text, value.line) : value.text;
    const std::wstring t = Upper(type.text);
    e.has_data = true;
    if (t == L"S") {
      e.type = REG_SZ;
      const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
      e.data.resize(bytes);
      std::memcpy(e.data.data(), text.c_str(), bytes);
    } else if (t == L"D") {
      uint64_t n = 0;
      size_t i = 0;
      int base = 10;
      if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) base = 16, i = 2;
      if (i >= text.size()) Fail(value.line, L"a number expected for a d value, not '" + text + L"'");
      for (; i < text.size(); ++i) {
        const wchar_t ch = text[i];
        int digit = ch >= L'0' && ch <= L'9' ? ch - L'0' : base == 16 && ch >= L'a' && ch <= L'f' ? ch - L'a' + 10
                    : base == 16 && ch >= L'A' && ch <= L'F'                                      ? ch - L'A' + 10
                                                                                                  : -1;
        if (digit < 0) Fail(value.line, L"a number expected for a d value, not '" + text + L"'");
        n = n * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (n > 0xFFFFFFFFu) Fail(value.line, L"the number '" + text + L"' does not fit 32 bits");
      }
      e.type = REG_DWORD;
      const DWORD d = static_cast<DWORD>(n);
      e.data.resize(sizeof d);
      std::memcpy(e.data.data(), &d, sizeof d);
    } else if (t == L"B") {
      if (text.size() % 2) Fail(value.line, L"a b value needs pairs of hexadecimal digits");
      e.type = REG_BINARY;
      for (size_t i = 0; i < text.size(); i += 2) {
        int byte = 0;
        for (size_t j = i; j < i + 2; ++j) {
          const wchar_t ch = text[j];
          const int digit = ch >= L'0' && ch <= L'9' ? ch - L'0' : ch >= L'a' && ch <= L'f' ? ch - L'a' + 10
                            : ch >= L'A' && ch <= L'F'                                     ? ch - L'A' + 10
                                                                                           : -1;
          if (digit < 0) Fail(value.line, L"a b value needs hexadecimal digits");
          byte = byte * 16 + digit;
        }
        e.data.push_back(static_cast<BYTE>(byte));
      }
    } else {
      Fail(type.line, L"unknown value type '" + type.text + L"' (s, d or b)");
    }
  }

  Entry Key(int depth) {
    if (depth > kMaxNesting) Fail(line_, L"keys nested too deeply");
    Entry e;
    Token t = Next();
    while (t.kind == kWord) {
      const std::wstring word = Upper(t.text);
      if (word == L"NOREMOVE") e.no_remove = true;
      else if (word == L"FORCEREMOVE") e.force_remove = true;
      else break;
      t = Next();
    }
    if (e.no_remove && e.force_remove) Fail(t.line, L"a key both NoRemove and ForceRemove");
    if (t.kind == kClose || t.kind == kEnd) Fail(t.line, L"a key name expected");
    e.name = Name(t, true);
    if (Peek().kind == kEquals) {
      Next();
      Data(e);
    }
    if (Peek().kind == kOpen) {
      Next();
      for (;;) {
        Token n = Peek();
        if (n.kind == kClose) {
          Next();
          break;
        }
        if (n.kind == kEnd) Fail(n.line, L"the script ends inside a key (a '}' is missing)");
        if (n.kind == kWord && Upper(n.text) == L"VAL") {
          Next();
          Entry v;
          v.is_value = true;
          v.name = Name(Next(), false);
          Expect(L'=', L"a '=' after the value name");
          Data(v);
          e.children.push_back(std::move(v));
        } else {
          e.children.push_back(Key(depth + 1));
        }
      }
    }
    return e;
  }

  const std::wstring& text_;
  const std::map<std::wstring, std::wstring>& replacements_;
  size_t pos_ = 0;
  int line_ = 1;
  Token peek_{kEnd, L"", 0};
  bool has_peek_ = false;
};

std::mutex g_errorMutex;
std::wstring g_lastError;

void SetLastText(const std::wstring& text) {
  std::lock_guard<std::mutex> guard(g_errorMutex);
  g_lastError = text;
}

HRESULT FromStatus(LSTATUS status) { return HRESULT_FROM_WIN32(static_cast<DWORD>(status)); }

HRESULT SetValue(HKEY key, const Entry& e, const wchar_t* name) {
  const LSTATUS r = RegSetValueExW(key, name, 0, e.type, e.data.data(), static_cast<DWORD>(e.data.size()));
  return r == ERROR_SUCCESS ? S_OK : FromStatus(r);
}

HRESULT RegisterKeys(HKEY parent, const std::vector<Entry>& entries) {
  for (const Entry& e : entries) {
    if (e.is_value) continue;
    // An empty name is the parent itself: never deleted on its own account.
    if (e.force_remove && !e.name.empty()) {
      const LSTATUS r = RegDeleteTreeW(parent, e.name.c_str());
      if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) return FromStatus(r);
    }
    HKEY key = nullptr;
    LSTATUS r = RegCreateKeyExW(parent, e.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr);
    if (r != ERROR_SUCCESS) return FromStatus(r);
    HRESULT hr = e.has_data ? SetValue(key, e, nullptr) : S_OK;
    for (const Entry& c : e.children)
      if (SUCCEEDED(hr) && c.is_value) hr = SetValue(key, c, c.name.c_str());
    if (SUCCEEDED(hr)) hr = RegisterKeys(key, e.children);
    RegCloseKey(key);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT UnregisterKeys(HKEY parent, const std::vector<Entry>& entries) {
  for (const Entry& e : entries) {
    if (e.is_value) continue;
    const bool self = e.name.empty();
    if (e.force_remove && !self) {
      const LSTATUS r = RegDeleteTreeW(parent, e.name.c_str());
      if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) return FromStatus(r);
      continue;
    }
    HKEY key = nullptr;
    LSTATUS r = RegOpenKeyExW(parent, e.name.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (r == ERROR_FILE_NOT_FOUND) continue;
    if (r != ERROR_SUCCESS) return FromStatus(r);
    HRESULT hr = UnregisterKeys(key, e.children);
    for (const Entry& c : e.children) {
      if (FAILED(hr) || !c.is_value) continue;
      r = RegDeleteValueW(key, c.name.c_str());
      if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) hr = FromStatus(r);
    }
    DWORD subkeys = 0;
    if (SUCCEEDED(hr)) {
      r = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr);
      if (r != ERROR_SUCCESS) hr = FromStatus(r);
    }
    const bool remove = SUCCEEDED(hr) && !self && !e.no_remove && subkeys == 0;
    if (SUCCEEDED(hr) && !remove && e.has_data) {
      r = RegDeleteValueW(key, nullptr);
      if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) hr = FromStatus(r);
    }
    RegCloseKey(key);
    if (FAILED(hr)) return hr;
    if (remove) {
      r = RegDeleteKeyW(parent, e.name.c_str());
      if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) return FromStatus(r);
    }
  }
  return S_OK;
}

// Narrow resource text, byte by byte as the ANSI code page's first 256
// characters; a UTF-16 script starts with its byte-order mark.
std::wstring ScriptText(const BYTE* data, DWORD size) {
  std::wstring out;
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    for (DWORD i = 2; i + 1 < size; i += 2) out += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  } else {
    out.reserve(size);
    for (DWORD i = 0; i < size; ++i) out += static_cast<wchar_t>(data[i]);
  }
  // A resource may carry a terminating zero: the script ends there.
  const size_t zero = out.find(L'\0');
  if (zero != std::wstring::npos) out.resize(zero);
  return out;
}

}  // namespace

namespace stand_in {
namespace registrar {

HRESULT Parse(const std::wstring& script, const std::map<std::wstring, std::wstring>& replacements,
              std::wstring* error) {
  try {
    Parser(script, replacements).Script();
    return S_OK;
  } catch (const SyntaxError& e) {
    if (error) *error = e.text;
    return DISP_E_EXCEPTION;
  } catch (const std::bad_alloc&) {
    if (error) *error = L"out of memory";
    return E_OUTOFMEMORY;
  }
}

std::wstring LastError() {
  std::lock_guard<std::mutex> guard(g_errorMutex);
  return g_lastError;
}

}  // namespace registrar
}  // namespace stand_in

namespace ATL {

HRESULT CRegObject::AddReplacement(LPCOLESTR key, LPCOLESTR item) {
  if (!key || !item) return E_INVALIDARG;
  try {
    if (!replacements_.emplace(Upper(key), item).second) return E_INVALIDARG;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CRegObject::ClearReplacements() {
  replacements_.clear();
  return S_OK;
}

HRESULT CRegObject::Run(const std::wstring& script, bool do_register) {
  try {
    std::vector<Root> roots;
    try {
      roots = Parser(script, replacements_).Script();
    } catch (const SyntaxError& e) {
      const std::wstring text = L"registration script, " + e.text;
      std::fprintf(stderr, "registrar: %s (nothing was changed)\n", stand_in::ToUtf8(text).c_str());
      SetLastText(text);
      return DISP_E_EXCEPTION;
    }
    HRESULT hr = S_OK;
    for (const Root& root : roots) {
      hr = do_register ? RegisterKeys(root.hive, root.keys) : UnregisterKeys(root.hive, root.keys);
      if (FAILED(hr)) break;
    }
    if (FAILED(hr)) {
      wchar_t text[96];
      swprintf_s(text, 96, L"registration script: the registry refused a change (0x%08X)", static_cast<unsigned>(hr));
      SetLastText(text);
    } else {
      SetLastText(L"");
    }
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT CRegObject::StringRegister(LPCOLESTR script) {
  if (!script) return E_INVALIDARG;
  return Run(script, true);
}

HRESULT CRegObject::StringUnregister(LPCOLESTR script) {
  if (!script) return E_INVALIDARG;
  return Run(script, false);
}

HRESULT CRegObject::RunResource(LPCOLESTR module_file, LPCWSTR id, LPCOLESTR type, bool do_register) {
  if (!module_file || !type) return E_INVALIDARG;
  HMODULE module = LoadLibraryExW(module_file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  HRESULT hr = S_OK;
  HRSRC found = FindResourceW(module, id, type);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const DWORD size = found ? SizeofResource(module, found) : 0;
  const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  if (!data) {
    const DWORD error = GetLastError();
    hr = error ? HRESULT_FROM_WIN32(error) : HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
  } else {
    try {
      hr = Run(ScriptText(data, size), do_register);
    } catch (...) {
      hr = E_OUTOFMEMORY;
    }
  }
  FreeLibrary(module);
  return hr;
}

HRESULT CRegObject::ResourceRegister(LPCOLESTR module_file, UINT id, LPCOLESTR type) {
  return RunResource(module_file, MAKEINTRESOURCEW(id), type, true);
}

HRESULT CRegObject::ResourceUnregister(LPCOLESTR module_file, UINT id, LPCOLESTR type) {
  return RunResource(module_file, MAKEINTRESOURCEW(id), type, false);
}

HRESULT CRegObject::ResourceRegisterSz(LPCOLESTR module_file, LPCOLESTR id, LPCOLESTR type) {
  return RunResource(module_file, id, type, true);
}

HRESULT CRegObject::ResourceUnregisterSz(LPCOLESTR module_file, LPCOLESTR id, LPCOLESTR type) {
  return RunResource(module_file, id, type, false);
}

}  // namespace ATL

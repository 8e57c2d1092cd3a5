#include <gtest/gtest.h>

#include <windows.h>

#include "stand_in/registry.h"
#include "registry_fixture.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using test_support::FileText;

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Each test gets a registry file of its own in a fresh folder.
class Registry : public test_support::RegistryTest {
 protected:
  Registry() : RegistryTest("tessaly-registry") {}

  HKEY Create(HKEY root, const wchar_t* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition), ERROR_SUCCESS);
    return key;
  }
  LSTATUS Open(HKEY root, const wchar_t* path, HKEY* key, REGSAM sam = KEY_READ) {
    return RegOpenKeyExW(root, path, 0, sam, key);
  }
  static void SetDword(HKEY key, const wchar_t* name, DWORD value) {
    ASSERT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
              ERROR_SUCCESS);
  }
  static LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  static std::wstring GetString(HKEY key, const wchar_t* name) {
    DWORD size = 0, type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return L"<missing>";
    std::vector<wchar_t> buf(size / sizeof(wchar_t) + 1);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buf.data()), &size) != ERROR_SUCCESS)
      return L"<failed>";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    std::wstring out(buf.data(), size / sizeof(wchar_t));
    if (!out.empty() && out.back() == 0) out.pop_back();
    return out;
  }
  static DWORD GetDword(HKEY key, const wchar_t* name) {
    DWORD value = 0xDEADBEEF, size = sizeof value, type = 0;
    EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size), ERROR_SUCCESS)
        << "value " << (name ? name[0] : L'-');
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    return value;
  }
};

TEST_F(Registry, KeysAreMadeOnceAndFoundWhateverTheCase) {
  DWORD disposition = 0;
  HKEY key = Create(HKEY_CURRENT_USER, L"Software\\Acme\\App", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  HKEY again = Create(HKEY_CURRENT_USER, L"SOFTWARE\\acme\\app", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_NE(key, again);  // a new handle for the same key
  HKEY software = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, L"software", &software, KEY_READ), ERROR_SUCCESS);
  wchar_t name[64];
  DWORD chars = 64;
  ASSERT_EQ(RegEnumKeyExW(software, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, L"Acme");  // the case it was made with
  EXPECT_EQ(chars, 4u);
  chars = 4;  // no room for the terminating zero
  EXPECT_EQ(RegEnumKeyExW(software, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  chars = 64;
  EXPECT_EQ(RegEnumKeyExW(software, 1, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  // The other hives are apart.
  HKEY other = nullptr;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, L"Software\\Acme", &other), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, L"Software", &other), ERROR_FILE_NOT_FOUND);
  for (HKEY k : {key, again, software}) EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
}

TEST_F(Registry, SubkeyPaths) {
  HKEY key = Create(HKEY_CURRENT_USER, L"A\\B");
  HKEY self = nullptr;
  // An empty path is the key itself, not a subkey with an empty name.
  ASSERT_EQ(Open(key, L"", &self, KEY_ALL_ACCESS), ERROR_SUCCESS);
  SetDword(self, L"n", 7);
  EXPECT_EQ(GetDword(key, L"n"), 7u);
  DWORD subkeys = 99;
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 0u);
  HKEY out = reinterpret_cast<HKEY>(1);
  struct Case {
    const wchar_t* path;
    LSTATUS expected;
  } cases[] = {
      {L"\\A", ERROR_BAD_PATHNAME},
      {L"A\\\\B", ERROR_BAD_PATHNAME},
      {L"A\\B\\", ERROR_SUCCESS},
      {L"a\\b", ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Open(HKEY_CURRENT_USER, c.path, &out), c.expected) << c.path;
    if (out) RegCloseKey(out);
  }
  const std::wstring long_name(256, L'x');
  EXPECT_EQ(RegCreateKeyExW(key, long_name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(key, nullptr, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
            ERROR_INVALID_PARAMETER);
  RegCloseKey(self);
  RegCloseKey(key);
}

TEST_F(Registry, ValuesByTheQueryRules) {
  HKEY key = Create(HKEY_CURRENT_USER, L"Software\\Acme");
  SetDword(key, L"Units", 3);
  ASSERT_EQ(SetString(key, L"Title", L"Tessaly"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, nullptr, L"default text"), ERROR_SUCCESS);

  EXPECT_EQ(GetDword(key, L"UNITS"), 3u);  // names ignore case
  EXPECT_EQ(GetString(key, L""), L"default text");
  EXPECT_EQ(GetString(key, nullptr), L"default text");

  // Sizes are bytes of wchar_t data, the terminating zero included.
  DWORD size = 0, type = 0;
  ASSERT_EQ(RegQueryValueExW(key, L"Title", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 8 * sizeof(wchar_t));
  wchar_t small[4];
  size = sizeof small;
  type = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"Title", nullptr, &type, reinterpret_cast<LPBYTE>(small), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8 * sizeof(wchar_t));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  wchar_t exact[8];
  size = sizeof exact - sizeof(wchar_t);  // one short: no room for the zero
  EXPECT_EQ(RegQueryValueExW(key, L"Title", nullptr, nullptr, reinterpret_cast<LPBYTE>(exact), &size), ERROR_MORE_DATA);
  size = sizeof exact;
  ASSERT_EQ(RegQueryValueExW(key, L"Title", nullptr, nullptr, reinterpret_cast<LPBYTE>(exact), &size), ERROR_SUCCESS);
  EXPECT_STREQ(exact, L"Tessaly");
  EXPECT_EQ(RegQueryValueExW(key, L"Title", nullptr, nullptr, reinterpret_cast<LPBYTE>(exact), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExW(key, L"Nothing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);

  // Replacing keeps the name's first case and its place; types may change.
  SetDword(key, L"title", 5);
  wchar_t name[16];
  DWORD chars = 16;
  ASSERT_EQ(RegEnumValueW(key, 1, name, &chars, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, L"Title");
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  chars = 16;
  EXPECT_EQ(RegEnumValueW(key, 3, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  DWORD values = 0, longest = 0, largest = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &longest, &largest,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 3u);
  EXPECT_EQ(longest, 5u);
  EXPECT_EQ(largest, 13 * sizeof(wchar_t));

  EXPECT_EQ(RegDeleteValueW(key, L"UNITS"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, L"Units"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(Registry, TextsKeepEveryCharacter) {
  HKEY key = Create(HKEY_CURRENT_USER, L"T");
  const std::wstring text = L"a\U0001F600\u00e9\n\"\\]=\x0001z";
  ASSERT_EQ(SetString(key, L"t", text), ERROR_SUCCESS);
  EXPECT_EQ(GetString(key, L"t"), text);
  // A byte count that is no whole number of wide characters is refused.
  EXPECT_EQ(RegSetValueExW(key, L"odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"ab"), 6), ERROR_INVALID_PARAMETER);
  const wchar_t beyond[] = {static_cast<wchar_t>(0x110000), 0};
  EXPECT_EQ(SetString(key, L"beyond", beyond), ERROR_INVALID_PARAMETER);
  // Stored as UTF-16, as Windows stores it: the emoji is one character for
  // the caller and two 16-bit units in the file.
  const BYTE raw[] = {1, 2, 3};
  ASSERT_EQ(RegSetValueExW(key, L"raw", 0, REG_BINARY, raw, 3), ERROR_SUCCESS);
  const std::string file = FileText(file_);
  EXPECT_NE(file.find("value \"t\" sz \"a\xF0\x9F\x98\x80\xC3\xA9\\n\\\"\\\\]=\\u{1}z\""), std::string::npos) << file;
  EXPECT_NE(file.find("value \"raw\" hex(3) 010203"), std::string::npos) << file;
  RegCloseKey(key);
}

TEST_F(Registry, DeletingKeys) {
  HKEY key = Create(HKEY_CURRENT_USER, L"P\\Q\\R");
  HKEY p = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, L"P", &p, KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"P"), ERROR_ACCESS_DENIED);  // it has subkeys
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"P\\Q\\Nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L""), ERROR_ACCESS_DENIED);  // a hive's root stays
  ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"p\\q\\r"), ERROR_SUCCESS);
  // A handle on a deleted key stays dead, even once the name is made again.
  DWORD value = 1;
  EXPECT_EQ(RegSetValueExW(key, L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_KEY_DELETED);
  HKEY remade = Create(HKEY_CURRENT_USER, L"P\\Q\\R");
  EXPECT_EQ(RegSetValueExW(key, L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_KEY_DELETED);
  SetDword(remade, L"v", 2);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);  // closing a dead handle is fine

  // A tree goes whole; a null subkey empties the key and keeps it.
  SetDword(p, L"pv", 1);
  ASSERT_EQ(RegDeleteTreeW(p, nullptr), ERROR_SUCCESS);
  DWORD subkeys = 9, values = 9;
  ASSERT_EQ(RegQueryInfoKeyW(p, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 0u);
  EXPECT_EQ(values, 0u);
  EXPECT_EQ(RegSetValueExW(remade, L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_KEY_DELETED);
  RegCloseKey(Create(HKEY_CURRENT_USER, L"P\\X\\Y"));
  ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, L"P"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, L"P"), ERROR_FILE_NOT_FOUND);
  HKEY gone = nullptr;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, L"P", &gone), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(p, L"pv", nullptr, nullptr, nullptr, &value), ERROR_KEY_DELETED);
  RegCloseKey(remade);
  RegCloseKey(p);
}

TEST_F(Registry, ClosedAndForeignHandlesFail) {
  HKEY key = Create(HKEY_CURRENT_USER, L"H");
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x12345678));
  for (HKEY bad : {key, bogus, static_cast<HKEY>(nullptr)}) {
    HKEY out = nullptr;
    DWORD size = 4, value = 0, chars = 8;
    wchar_t name[8];
    EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExW(bad, L"x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCreateKeyExW(bad, L"x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExW(bad, L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExW(bad, L"v", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteValueW(bad, L"v"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyW(bad, L"x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteTreeW(bad, nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegEnumKeyExW(bad, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegEnumValueW(bad, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryInfoKeyW(bad, nullptr, nullptr, nullptr, &value, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
}

TEST_F(Registry, AccessFollowsTheRightsAskedFor) {
  RegCloseKey(Create(HKEY_CURRENT_USER, L"R"));
  HKEY read = nullptr, write = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, L"R", &read, KEY_READ), ERROR_SUCCESS);
  ASSERT_EQ(Open(HKEY_CURRENT_USER, L"R", &write, KEY_SET_VALUE), ERROR_SUCCESS);
  DWORD value = 1, size = 4;
  EXPECT_EQ(RegSetValueExW(read, L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegSetValueExW(write, L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(write, L"v", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueW(read, L"v"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteTreeW(read, nullptr), ERROR_ACCESS_DENIED);
  RegCloseKey(read);
  RegCloseKey(write);
}

TEST_F(Registry, TheFileRoundTripsAnyName) {
  const std::vector<std::wstring> names = {
      L"back\\slash", L"]bracket[", L"a=b", L"\"quoted\"", L"line\nbreak\r\t", L"\u00fcml\u00e4ut \u4e2d\U0001F600",
      L"",            L" lead and trail ", L"#hash", L"\u0001\u007f", std::wstring(1, static_cast<wchar_t>(0xD800))};
  HKEY key = Create(HKEY_CLASSES_ROOT, L"Round\\\u00c4 key \"]=[#\u4e2d");
  for (size_t i = 0; i < names.size(); ++i) ASSERT_EQ(SetString(key, names[i].c_str(), names[i] + L"!"), ERROR_SUCCESS);
  SetDword(key, L"dw", 0xFFFFFFFFu);
  RegCloseKey(key);

  // The writer's form is the reader's canonical form.
  const std::string text = FileText(file_);
  std::string canonical, error;
  ASSERT_TRUE(stand_in::registry::ParseText(text, file_, &canonical, &error)) << error;
  EXPECT_EQ(canonical, text);

  // Read back from the file alone: another file in between drops the cache.
  ::setenv("TESSALY_REGISTRY", (dir_ + "/other.txt").c_str(), 1);
  HKEY none = nullptr;
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, L"Round", &none), ERROR_FILE_NOT_FOUND);
  ::setenv("TESSALY_REGISTRY", file_.c_str(), 1);
  ASSERT_EQ(Open(HKEY_CLASSES_ROOT, L"ROUND\\\u00e4 KEY \"]=[#\u4e2d", &key), ERROR_SUCCESS);
  for (const std::wstring& name : names) EXPECT_EQ(GetString(key, name.c_str()), name + L"!");
  EXPECT_EQ(GetDword(key, L"dw"), 0xFFFFFFFFu);
  RegCloseKey(key);
}

TEST_F(Registry, ChangesOfAnotherProcessAreSeen) {
  HKEY key = Create(HKEY_CURRENT_USER, L"Shared");
  SetDword(key, L"n", 1);
  EXPECT_EQ(GetDword(key, L"n"), 1u);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    HKEY k = nullptr;
    DWORD v = 2;
    const bool ok = RegOpenKeyExW(HKEY_CURRENT_USER, L"Shared", 0, KEY_WRITE, &k) == ERROR_SUCCESS &&
                    RegSetValueExW(k, L"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4) == ERROR_SUCCESS &&
                    RegCreateKeyExW(HKEY_CURRENT_USER, L"Shared\\New", 0, nullptr, 0, KEY_READ, nullptr, &k,
                                    nullptr) == ERROR_SUCCESS;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(GetDword(key, L"n"), 2u);
  HKEY made = nullptr;
  ASSERT_EQ(Open(key, L"new", &made), ERROR_SUCCESS);
  RegCloseKey(made);
  RegCloseKey(key);
}

TEST_F(Registry, DamagedFilesAreRefusedAndKept) {
  const std::string good =
      "tessaly registry 1\n"
      "key HKEY_CURRENT_USER\n"
      "key HKEY_CURRENT_USER \"Software\"\n"
      "  value \"n\" dword 0x00000001\n"
      "end\n";
  struct Damage {
    const char* what;
    std::string text;
    int line;
  } damages[] = {
      {"no header", "key HKEY_CURRENT_USER\nend\n", 1},
      {"wrong header", "tessaly registry 2\nend\n", 1},
      {"cut before end", good.substr(0, good.size() - 4), 5},
      {"cut mid-line", good.substr(0, good.size() - 20), 4},
      {"unknown hive", "tessaly registry 1\nkey HKEY_USERS \"x\"\nend\n", 2},
      {"parent missing", "tessaly registry 1\nkey HKEY_CURRENT_USER \"a\" \"b\"\nend\n", 2},
      {"key twice", "tessaly registry 1\nkey HKEY_CURRENT_USER \"a\"\nkey HKEY_CURRENT_USER \"A\"\nend\n", 3},
      {"value twice", "tessaly registry 1\nkey HKEY_CURRENT_USER\n value \"v\" dword 0x1\n value \"V\" dword 0x2\nend\n",
       4},
      {"value before key", "tessaly registry 1\nvalue \"v\" dword 0x1\nend\n", 2},
      {"unterminated quote", "tessaly registry 1\nkey HKEY_CURRENT_USER \"a\nend\n", 2},
      {"bad escape", "tessaly registry 1\nkey HKEY_CURRENT_USER \"a\\q\"\nend\n", 2},
      {"bad utf-8", "tessaly registry 1\nkey HKEY_CURRENT_USER \"a\xC3\"\nend\n", 2},
      {"empty key name", "tessaly registry 1\nkey HKEY_CURRENT_USER \"\"\nend\n", 2},
      {"backslash in key", "tessaly registry 1\nkey HKEY_CURRENT_USER \"a\\\\b\"\nend\n", 2},
      {"dword too big", "tessaly registry 1\nkey HKEY_CURRENT_USER\n value \"v\" dword 0x100000000\nend\n", 3},
      {"odd hex", "tessaly registry 1\nkey HKEY_CURRENT_USER\n value \"v\" hex(3) 0a0\nend\n", 3},
      {"unknown type", "tessaly registry 1\nkey HKEY_CURRENT_USER\n value \"v\" text \"x\"\nend\n", 3},
      {"text after end", good + "key HKEY_CURRENT_USER \"late\"\n", 6},
      {"garbage", "tessaly registry 1\n\x01\x02\x03\nend\n", 2},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    WriteFile(file_, d.text);
    HKEY key = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, L"Software", &key), ERROR_BADDB);
    const std::string error = stand_in::registry::LastError();
    EXPECT_NE(error.find(file_ + ", line " + std::to_string(d.line) + ":"), std::string::npos) << error;
    // Nothing is written over it.
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_BADDB);
    DWORD v = 5;
    EXPECT_EQ(RegSetValueExW(HKEY_CURRENT_USER, L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4),
              ERROR_BADDB);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, nullptr), ERROR_BADDB);
    EXPECT_EQ(FileText(file_), d.text);
    EXPECT_FALSE(stand_in::registry::ParseText(d.text, "f", nullptr, nullptr));
  }
  // Mended, it serves again.
  WriteFile(file_, good);
  HKEY key = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, L"Software", &key), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(key, L"n"), 1u);
  EXPECT_EQ(stand_in::registry::LastError(), "");
  RegCloseKey(key);
}

TEST_F(Registry, EmptyOrCommentedFilesAreFine) {
  WriteFile(file_, "");
  HKEY key = nullptr;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, L"x", &key), ERROR_FILE_NOT_FOUND);
  WriteFile(file_, "# by hand\ntessaly registry 1\r\n\n  key HKEY_LOCAL_MACHINE \"M\"\r\n  # note\nend\n");
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, L"m", &key), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST(RegistryLocation, EnvironmentThenPerUserDefault) {
  const char* old = std::getenv("TESSALY_REGISTRY");
  const std::string saved = old ? old : "";
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const std::string saved_xdg = xdg ? xdg : "";
  ::setenv("TESSALY_REGISTRY", "/tmp/somewhere/reg.txt", 1);
  EXPECT_EQ(stand_in::registry::FilePath(), "/tmp/somewhere/reg.txt");
  ::unsetenv("TESSALY_REGISTRY");
  ::setenv("XDG_DATA_HOME", "/tmp/xdg", 1);
  EXPECT_EQ(stand_in::registry::FilePath(), "/tmp/xdg/tessaly/registry.txt");
  ::unsetenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (home) {
    EXPECT_EQ(stand_in::registry::FilePath(), std::string(home) + "/.local/share/tessaly/registry.txt");
  }
  if (old) ::setenv("TESSALY_REGISTRY", saved.c_str(), 1);
  if (xdg) ::setenv("XDG_DATA_HOME", saved_xdg.c_str(), 1);
}

// A writer killed at any point leaves the old or the new contents, never
// less. The child makes key k<i>, gives it n = i, then sets the counter to i,
// over and over; whatever the moment of the kill, the file must read and hold
// every k<j> with its value for j up to the counter, and the baseline.
TEST_F(Registry, AKilledWriterLosesNothing) {
  HKEY base = Create(HKEY_CURRENT_USER, L"Base");
  for (DWORD i = 0; i < 20; ++i) SetDword(base, (L"b" + std::to_wstring(i)).c_str(), i * 7);
  RegCloseKey(base);

  std::mt19937 random(12345);
  long counter = -1;
  int rounds_with_progress = 0;
  for (int round = 0; round < 40; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      HKEY root = nullptr;
      if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Crash", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr)) _exit(1);
      for (DWORD i = static_cast<DWORD>(counter + 1);; ++i) {
        HKEY k = nullptr;
        const std::wstring name = L"k" + std::to_wstring(i);
        if (RegCreateKeyExW(root, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr)) _exit(2);
        if (RegSetValueExW(k, L"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4)) _exit(3);
        RegCloseKey(k);
        if (RegSetValueExW(root, L"counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4)) _exit(4);
      }
    }
    // Mostly from at once to a few writes in; every fifth round only once
    // the writer has moved the counter on, however slow the machine.
    if (round % 5 == 4) {
      auto stored = [] {
        HKEY crash = nullptr;
        DWORD value = 0, size = 4;
        long now = -1;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Crash", 0, KEY_READ, &crash) == ERROR_SUCCESS) {
          if (RegQueryValueExW(crash, L"counter", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size) ==
              ERROR_SUCCESS)
            now = static_cast<long>(value);
          RegCloseKey(crash);
        }
        return now;
      };
      for (int waited = 0; waited < 20000 && stored() <= counter; ++waited) ::usleep(1000);
    }
    ::usleep(static_cast<useconds_t>(std::uniform_int_distribution<int>(0, 15000)(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;

    std::string error;
    ASSERT_TRUE(stand_in::registry::ParseText(FileText(file_), file_, nullptr, &error)) << error;
    HKEY root = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, L"Base", &root), ERROR_SUCCESS);
    for (DWORD i = 0; i < 20; ++i) ASSERT_EQ(GetDword(root, (L"b" + std::to_wstring(i)).c_str()), i * 7);
    RegCloseKey(root);
    if (Open(HKEY_CURRENT_USER, L"Crash", &root) != ERROR_SUCCESS) continue;
    DWORD now = 0, size = 4;
    if (RegQueryValueExW(root, L"counter", nullptr, nullptr, reinterpret_cast<LPBYTE>(&now), &size) == ERROR_SUCCESS) {
      ASSERT_GE(static_cast<long>(now), counter);
      if (static_cast<long>(now) > counter) ++rounds_with_progress;
      counter = static_cast<long>(now);
    }
    for (long j = 0; j <= counter; ++j) {
      HKEY k = nullptr;
      ASSERT_EQ(Open(root, (L"k" + std::to_wstring(j)).c_str(), &k), ERROR_SUCCESS) << j;
      ASSERT_EQ(GetDword(k, L"n"), static_cast<DWORD>(j));
      RegCloseKey(k);
    }
    HKEY beyond = nullptr;
    EXPECT_EQ(Open(root, (L"k" + std::to_wstring(counter + 2)).c_str(), &beyond), ERROR_FILE_NOT_FOUND);
    RegCloseKey(root);
  }
  EXPECT_GT(rounds_with_progress, 0);
  // Writers that died before their rename left no temporary behind once the
  // next write has run.
  RegCloseKey(Create(HKEY_CURRENT_USER, L"After"));
  std::string command = "ls -a '" + dir_ + "' | grep -c tmp- > '" + dir_ + "/count'";
  std::system(command.c_str());
  EXPECT_EQ(FileText(dir_ + "/count"), "0\n");
}

}  // namespace

// The temporary folder from the environment, and temporary file names.
#include <windows.h>

#include <gtest/gtest.h>

#include "stand_in/paths.h"
#include "stand_in/text.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>

using stand_in::ToUtf8;

namespace {

// Sets (or unsets, for null) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::wstring TempPath() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  EXPECT_GT(n, 0u);
  EXPECT_EQ(n, std::wcslen(buffer));
  return buffer;
}

TEST(TempPath, FromTheEnvironmentInWindowsOrder) {
  struct Case {
    const char *tmp, *temp, *profile;
    const wchar_t* expected;
  } cases[] = {
      {"/tessaly-nowhere/a", "/tessaly-nowhere/b", "/tessaly-nowhere/c", L"Z:\\tessaly-nowhere\\a\\"},
      {nullptr, "/tessaly-nowhere/b", "/tessaly-nowhere/c", L"Z:\\tessaly-nowhere\\b\\"},
      {"", "/tessaly-nowhere/b/", nullptr, L"Z:\\tessaly-nowhere\\b\\"},
      {nullptr, nullptr, "/tessaly-nowhere/c", L"Z:\\tessaly-nowhere\\c\\"},
      {"D:\\scratch", nullptr, nullptr, L"D:\\scratch\\"},
      {"D:\\scratch\\", nullptr, nullptr, L"D:\\scratch\\"},
      {nullptr, nullptr, nullptr, L"Z:\\tmp\\"},
      {"", "", "", L"Z:\\tmp\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.expected));
    ScopedEnv tmp("TMP", c.tmp), temp("TEMP", c.temp), profile("USERPROFILE", c.profile);
    EXPECT_EQ(TempPath(), c.expected);
  }
}

TEST(TempPath, BufferTooSmallGetsNothing) {
  ScopedEnv tmp("TMP", "/tessaly-nowhere/abc");
  const std::wstring expected = L"Z:\\tessaly-nowhere\\abc\\";
  const DWORD length = static_cast<DWORD>(expected.size());
  wchar_t buffer[64];
  for (DWORD size : {DWORD(0), DWORD(1), length - 1, length}) {
    SCOPED_TRACE(size);
    std::wmemset(buffer, L'#', 64);
    EXPECT_EQ(GetTempPathW(size, buffer), length + 1);  // the zero included
    for (wchar_t c : buffer) ASSERT_EQ(c, L'#');
  }
  EXPECT_EQ(GetTempPathW(0, nullptr), length + 1);
  EXPECT_EQ(GetTempPathW(length + 1, buffer), length);
  EXPECT_EQ(std::wstring(buffer), expected);
}

class TempFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root = std::filesystem::temp_directory_path() /
           ("tessaly-temp-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    stand_in::SetDriveRoot(L'T', root.string());
  }
  void TearDown() override {
    stand_in::SetDriveRoot(L'T', "");
    std::filesystem::remove_all(root);
  }
  std::filesystem::path root;
};

TEST_F(TempFileTest, MakesAnEmptyFileOfAFreeName) {
  wchar_t first[MAX_PATH], second[MAX_PATH];
  const UINT a = GetTempFileNameW(L"T:\\", L"swt", 0, first);
  const UINT b = GetTempFileNameW(L"T:", L"swt", 0, second);  // a backslash is added
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(a, b);
  const std::wregex form(L"T:\\\\swt([0-9A-F]{1,4})\\.TMP");
  for (auto [name, number] : {std::pair<const wchar_t*, UINT>{first, a}, {second, b}}) {
    SCOPED_TRACE(ToUtf8(name));
    std::wcmatch match;
    ASSERT_TRUE(std::regex_match(name, match, form));
    EXPECT_EQ(std::wcstoul(match[1].str().c_str(), nullptr, 16), number);
    const auto file = root / ToUtf8(std::wstring(name).substr(3));
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root), {}), 2);
}

TEST_F(TempFileTest, PrefixOfAtMostThreeCharacters) {
  wchar_t name[MAX_PATH];
  struct Case {
    const wchar_t* prefix;
    const wchar_t* expected;
  } cases[] = {{L"swtlong", L"T:\\swt1A.TMP"}, {L"ab", L"T:\\ab1A.TMP"}, {L"", L"T:\\1A.TMP"}, {nullptr, L"T:\\1A.TMP"}};
  for (const Case& c : cases) {
    EXPECT_EQ(GetTempFileNameW(L"T:\\", c.prefix, 0x1A, name), 0x1Au);
    EXPECT_EQ(std::wstring(name), c.expected);
  }
}

TEST_F(TempFileTest, AGivenNumberOnlyFormsTheName) {
  wchar_t name[MAX_PATH];
  std::ofstream(root / "swtABCD.TMP") << "taken";
  // The low 16 bits only; the name is given even though a file has it.
  EXPECT_EQ(GetTempFileNameW(L"T:\\", L"swt", 0x1ABCD, name), 0xABCDu);
  EXPECT_EQ(std::wstring(name), L"T:\\swtABCD.TMP");
  EXPECT_EQ(GetTempFileNameW(L"T:\\none", L"swt", 0x12, name), 0x12u);
  EXPECT_EQ(std::wstring(name), L"T:\\none\\swt12.TMP");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root), {}), 1);
}

TEST_F(TempFileTest, NeverAnExistingNameInAnyCase) {
  // Every number but one is taken, by names in other cases; the one left
  // is the only answer, and once it is taken there is none.
  const UINT free = 0x2B7;
  for (UINT n = 1; n <= 0xFFFF; ++n) {
    if (n == free) continue;
    char file[32];
    std::snprintf(file, sizeof file, n % 2 ? "swt%X.TMP" : "SwT%x.tmp", n);
    std::ofstream(root / file);
  }
  wchar_t name[MAX_PATH];
  EXPECT_EQ(GetTempFileNameW(L"T:\\", L"swt", 0, name), free);
  EXPECT_EQ(std::wstring(name), L"T:\\swt2B7.TMP");
  EXPECT_TRUE(std::filesystem::exists(root / "swt2B7.TMP"));
  SetLastError(0);
  EXPECT_EQ(GetTempFileNameW(L"T:\\", L"swt", 0, name), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

TEST_F(TempFileTest, RefusesAFolderThatIsNone) {
  std::ofstream(root / "plain") << "x";
  wchar_t name[MAX_PATH];
  for (const wchar_t* dir : {L"T:\\missing\\", L"T:\\plain"}) {
    SCOPED_TRACE(ToUtf8(dir));
    SetLastError(0);
    EXPECT_EQ(GetTempFileNameW(dir, L"swt", 0, name), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  }
  EXPECT_FALSE(std::filesystem::exists(root / "missing"));
  EXPECT_EQ(GetTempFileNameW(nullptr, L"swt", 0, name), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(TempFileTest, ANameTooLongIsRefused) {
  const std::wstring dir = L"T:\\" + std::wstring(MAX_PATH - 10, L'd');
  std::filesystem::create_directories(root / std::string(MAX_PATH - 10, 'd'));
  wchar_t name[MAX_PATH];
  std::wmemset(name, L'#', MAX_PATH);
  SetLastError(0);
  EXPECT_EQ(GetTempFileNameW(dir.c_str(), L"swt", 0x1234, name), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
  EXPECT_EQ(name[0], L'#');
}

}  // namespace

// File handles over real files in a folder of the test's own, mapped as
// drive T.
#include <windows.h>

#include <gtest/gtest.h>

#include "stand_in/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root = std::filesystem::temp_directory_path() /
           ("tessaly-file-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "sub");
    stand_in::SetDriveRoot(L'T', root.string());
  }
  void TearDown() override {
    stand_in::SetDriveRoot(L'T', "");
    std::filesystem::permissions(root, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    std::filesystem::remove_all(root);
  }
  std::string Contents(const std::string& name) const {
    std::ifstream in(root / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  void Put(const std::string& name, const std::string& text) const {
    std::ofstream(root / name, std::ios::binary) << text;
  }
  static HANDLE Open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
  }
  std::filesystem::path root;
};

TEST_F(FileTest, WritesAndReadsBack) {
  SetLastError(1234);
  HANDLE file = Open(L"T:\\a.bin", GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), 0u);
  DWORD done = 99;
  ASSERT_TRUE(WriteFile(file, "hello", 5, &done, nullptr));
  EXPECT_EQ(done, 5u);
  ASSERT_TRUE(WriteFile(file, "", 0, &done, nullptr));
  EXPECT_EQ(done, 0u);
  ASSERT_TRUE(CloseHandle(file));
  EXPECT_EQ(Contents("a.bin"), "hello");

  file = Open(L"t:/a.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[16] = {};
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(done, 5u);
  EXPECT_EQ(std::string(buffer, done), "hello");
  // At the end: success with nothing read.
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(done, 0u);
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileTest, Dispositions) {
  struct Case {
    const char* name;
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD error;             // last error after the call
    const char* contents;    // of the file afterwards; null: no file
  } cases[] = {
      {"create new, missing", CREATE_NEW, false, true, 0, ""},
      {"create new, present", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {"create always, missing", CREATE_ALWAYS, false, true, 0, ""},
      {"create always, present", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {"open existing, missing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {"open existing, present", OPEN_EXISTING, true, true, 0, "old"},
      {"open always, missing", OPEN_ALWAYS, false, true, 0, ""},
      {"open always, present", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {"truncate, missing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {"truncate, present", TRUNCATE_EXISTING, true, true, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(root / "d.txt");
    if (c.exists) Put("d.txt", "old");
    SetLastError(1234);
    HANDLE file = Open(L"T:\\d.txt", GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
    EXPECT_EQ(GetLastError(), c.error);
    if (file != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(file));
    }
    EXPECT_EQ(std::filesystem::exists(root / "d.txt"), c.contents != nullptr);
    if (c.contents) {
      EXPECT_EQ(Contents("d.txt"), c.contents);
    }
  }
}

TEST_F(FileTest, RefusesWhatWindowsRefuses) {
  Put("x.txt", "x");
  struct Case {
    const char* name;
    const wchar_t* path;
    DWORD access, disposition, flags;
    DWORD error;
  } cases[] = {
      {"missing folder", L"T:\\none\\x.txt", GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, ERROR_PATH_NOT_FOUND},
      {"missing folder, creating", L"T:\\none\\x.txt", GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
       ERROR_PATH_NOT_FOUND},
      {"a folder", L"T:\\sub", GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, ERROR_ACCESS_DENIED},
      {"truncate without write", L"T:\\x.txt", GENERIC_READ, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL,
       ERROR_INVALID_PARAMETER},
      {"bad disposition", L"T:\\x.txt", GENERIC_READ, 0, FILE_ATTRIBUTE_NORMAL, ERROR_INVALID_PARAMETER},
      {"bad disposition 6", L"T:\\x.txt", GENERIC_READ, 6, FILE_ATTRIBUTE_NORMAL, ERROR_INVALID_PARAMETER},
      {"unsupported flag", L"T:\\x.txt", GENERIC_READ, OPEN_EXISTING, 0x04000000 /* delete on close */,
       ERROR_INVALID_PARAMETER},
      {"unsupported access", L"T:\\x.txt", 0x10000000 /* all */, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
       ERROR_INVALID_PARAMETER},
      {"null path", nullptr, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_EQ(Open(c.path, c.access, 0, c.disposition, c.flags), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_FALSE(std::filesystem::exists(root / "none"));
  EXPECT_EQ(Contents("x.txt"), "x");

  const std::wstring longPath = L"T:\\" + std::wstring(MAX_PATH, L'n');
  SetLastError(0);
  EXPECT_EQ(Open(longPath.c_str(), GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(FileTest, ReadOnlyFilesAreNotWrittenOrDeleted) {
  Put("r.txt", "keep");
  ASSERT_TRUE(SetFileAttributesW(L"T:\\r.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesW(L"T:\\r.txt"), DWORD(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
  for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
    SCOPED_TRACE(disposition);
    SetLastError(0);
    EXPECT_EQ(Open(L"T:\\r.txt", GENERIC_WRITE, 0, disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  // Replacing it is writing it, whatever access is asked for.
  EXPECT_EQ(Open(L"T:\\r.txt", 0, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_FALSE(DeleteFileW(L"T:\\r.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Contents("r.txt"), "keep");

  HANDLE file = Open(L"T:\\r.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(file));

  ASSERT_TRUE(SetFileAttributesW(L"T:\\r.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesW(L"T:\\r.txt"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(DeleteFileW(L"T:\\r.txt"));

  // Made read-only by its creator: the creating handle writes, no later one.
  file = Open(L"T:\\made.txt", GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  EXPECT_TRUE(WriteFile(file, "ab", 2, &done, nullptr));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_TRUE(GetFileAttributesW(L"T:\\made.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Open(L"T:\\made.txt", GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Contents("made.txt"), "ab");
}

TEST_F(FileTest, SharingBetweenHandles) {
  Put("s.txt", "s");
  const wchar_t* path = L"T:\\s.txt";
  struct Case {
    const char* name;
    DWORD firstAccess, firstShare, secondAccess, secondShare;
    bool allowed;
  } cases[] = {
      {"writer shares nothing, reader", GENERIC_WRITE, 0, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
      {"writer shares reading, reader", GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_WRITE, true},
      {"writer shares reading, reader not sharing writing", GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ,
       FILE_SHARE_READ, false},
      {"writer shares reading, second writer", GENERIC_WRITE, FILE_SHARE_READ, GENERIC_WRITE,
       FILE_SHARE_READ | FILE_SHARE_WRITE, false},
      {"two readers sharing reading", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
      {"reader shares reading, writer", GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, FILE_SHARE_READ, false},
      {"no access shares nothing, reader", 0, 0, GENERIC_READ, FILE_SHARE_READ, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE first = Open(path, c.firstAccess, c.firstShare, OPEN_EXISTING);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    SetLastError(0);
    HANDLE second = Open(path, c.secondAccess, c.secondShare, OPEN_EXISTING);
    EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.allowed);
    if (second != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(second));
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_TRUE(CloseHandle(first));
  }
  // Replacing a file that another handle holds unshared fails before it
  // touches the contents.
  HANDLE holder = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_EQ(Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Contents("s.txt"), "s");
  EXPECT_TRUE(CloseHandle(holder));
}

TEST_F(FileTest, DeletingFiles) {
  Put("del.txt", "d");
  SetLastError(0);
  EXPECT_FALSE(DeleteFileW(L"T:\\missing.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(DeleteFileW(L"T:\\none\\missing.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(DeleteFileW(L"T:\\sub"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(std::filesystem::is_directory(root / "sub"));

  HANDLE open = Open(L"T:\\del.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_FALSE(DeleteFileW(L"T:\\del.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(std::filesystem::exists(root / "del.txt"));
  EXPECT_TRUE(CloseHandle(open));

  open = Open(L"T:\\del.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(DeleteFileW(L"T:\\del.txt"));
  EXPECT_FALSE(std::filesystem::exists(root / "del.txt"));
  EXPECT_TRUE(CloseHandle(open));
  EXPECT_FALSE(DeleteFileW(L"T:\\del.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileTest, HandlesThatAreNotOpen) {
  HANDLE file = Open(L"T:\\h.txt", GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char byte = 'x';
  DWORD done = 7;
  // Reading through a handle opened for writing only.
  SetLastError(0);
  EXPECT_FALSE(ReadFile(file, &byte, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(done, 0u);
  ASSERT_TRUE(CloseHandle(file));

  HANDLE reader = Open(L"T:\\h.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteFile(reader, &byte, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseHandle(reader));

  for (HANDLE bad : {file, reader, INVALID_HANDLE_VALUE, HANDLE(nullptr)}) {
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(WriteFile(bad, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ReadFile(bad, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  EXPECT_EQ(Contents("h.txt"), "");
}

TEST_F(FileTest, Attributes) {
  Put("f.txt", "");
  EXPECT_EQ(GetFileAttributesW(L"T:\\f.txt"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesW(L"T:\\sub"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  SetLastError(0);
  EXPECT_EQ(GetFileAttributesW(L"T:\\nothing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(SetFileAttributesW(L"T:\\nothing", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace

// Modules of the test process: the executable, the platform library and the
// probe module TessalyProbe.dll; and module files read as data.
#include <windows.h>

#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "resource.h"
#include "stand_in/module.h"
#include "stand_in/paths.h"
#include "stand_in/text.h"

namespace {

std::string ExePath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

TEST(Modules, ExecutableByNullName) {
  HMODULE exe = GetModuleHandleW(nullptr);
  ASSERT_NE(exe, nullptr);
  EXPECT_EQ(exe, stand_in::ModuleOf(reinterpret_cast<const void*>(&ExePath)));
  EXPECT_EQ(exe, stand_in::ExecutableModule());
}

TEST(Modules, ByFileName) {
  HMODULE win = stand_in::ModuleOf(reinterpret_cast<const void*>(&GetModuleHandleW));
  ASSERT_NE(win, nullptr);
  EXPECT_NE(win, GetModuleHandleW(nullptr));
  EXPECT_EQ(GetModuleHandleW(L"libwin.so"), win);
  EXPECT_EQ(GetModuleHandleW(L"LIBWIN.SO"), win);

  // The executable's name has no extension: ".dll" is added unless a
  // trailing "." says there is none.
  const std::wstring exeName = stand_in::FromUtf8(std::filesystem::path(ExePath()).filename().string());
  SetLastError(0);
  EXPECT_EQ(GetModuleHandleW(exeName.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(GetModuleHandleW((exeName + L".").c_str()), GetModuleHandleW(nullptr));

  SetLastError(0);
  EXPECT_EQ(GetModuleHandleW(L"Tessaly.dll"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(GetModuleHandleW(L"win"), nullptr);  // no part names
}

TEST(Modules, SharedObjectByNameAndPath) {
  ASSERT_EQ(GetModuleHandleW(L"TessalyProbe.dll"), nullptr);
  void* handle = dlopen(TESSALY_RES_PROBE, RTLD_NOW);
  ASSERT_NE(handle, nullptr) << dlerror();
  HMODULE probe = GetModuleHandleW(L"TessalyProbe.dll");
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(GetModuleHandleW(L"tessalyprobe"), probe);
  const std::wstring path = stand_in::WindowsPath(std::filesystem::absolute(TESSALY_RES_PROBE).lexically_normal().string());
  EXPECT_EQ(GetModuleHandleW(path.c_str()), probe);
  std::wstring upper = path;
  for (wchar_t& c : upper) c = stand_in::ToUpper(c);
  EXPECT_EQ(GetModuleHandleW(upper.c_str()), probe);
  EXPECT_EQ(GetModuleHandleW(L"Z:\\nowhere\\TessalyProbe.dll"), nullptr);

  wchar_t buffer[MAX_PATH];
  ASSERT_EQ(GetModuleFileNameW(probe, buffer, MAX_PATH), path.size());
  EXPECT_EQ(std::wstring(buffer), path);
  dlclose(handle);
}

TEST(Modules, FileNameOfTheExecutable) {
  const std::wstring path = stand_in::WindowsPath(ExePath());
  ASSERT_EQ(path.substr(0, 3), L"Z:\\");
  wchar_t buffer[MAX_PATH];
  SetLastError(0);
  ASSERT_EQ(GetModuleFileNameW(nullptr, buffer, MAX_PATH), path.size());
  EXPECT_EQ(std::wstring(buffer), path);
  EXPECT_EQ(GetLastError(), 0u);
  ASSERT_EQ(GetModuleFileNameW(GetModuleHandleW(nullptr), buffer, MAX_PATH), path.size());
  EXPECT_EQ(std::wstring(buffer), path);
}

TEST(Modules, FileNameTruncation) {
  const std::wstring path = stand_in::WindowsPath(ExePath());
  const DWORD n = static_cast<DWORD>(path.size());
  struct Case {
    DWORD size;
    DWORD result;
    std::wstring text;
    DWORD error;
  } cases[] = {
      {n + 1, n, path, 0},
      {n, n, path.substr(0, n - 1), ERROR_INSUFFICIENT_BUFFER},
      {4, 4, path.substr(0, 3), ERROR_INSUFFICIENT_BUFFER},
      {1, 1, L"", ERROR_INSUFFICIENT_BUFFER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::vector<wchar_t> buffer(c.size + 4, L'#');
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), c.size), c.result);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(std::wstring(buffer.data()), c.text);
    EXPECT_EQ(buffer[c.size], L'#');  // nothing written past the buffer
  }
  wchar_t untouched = L'#';
  EXPECT_EQ(GetModuleFileNameW(nullptr, &untouched, 0), 0u);
  EXPECT_EQ(untouched, L'#');
}

TEST(Modules, FileNameOfNoModule) {
  wchar_t buffer[MAX_PATH] = L"kept";
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(uintptr_t(0x1000)), buffer, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

std::vector<unsigned char> Dialog209(HMODULE module) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDD_TESSALY_OPTIONS), RT_DIALOG);
  if (!found) return {};
  const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
  return std::vector<unsigned char>(data, data + SizeofResource(module, found));
}

TEST(DataFiles, ResourcesReadWithoutLoading) {
  const std::wstring path = stand_in::WindowsPath(std::filesystem::absolute(TESSALY_RES_PROBE).string());
  ASSERT_EQ(GetModuleHandleW(L"TessalyProbe.dll"), nullptr);
  HMODULE file = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(file) & 1, 1u);
  EXPECT_EQ(GetModuleHandleW(L"TessalyProbe.dll"), nullptr);  // not run
  const std::vector<unsigned char> fromFile = Dialog209(file);
  ASSERT_FALSE(fromFile.empty());
  wchar_t buffer[MAX_PATH];
  EXPECT_EQ(GetModuleFileNameW(file, buffer, MAX_PATH), 0u);

  void* handle = dlopen(TESSALY_RES_PROBE, RTLD_NOW);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(Dialog209(GetModuleHandleW(L"TessalyProbe.dll")), fromFile);
  dlclose(handle);

  EXPECT_TRUE(FreeLibrary(file));
  EXPECT_FALSE(FreeLibrary(file));
  SetLastError(0);
  EXPECT_EQ(FindResourceW(file, MAKEINTRESOURCEW(IDD_TESSALY_OPTIONS), RT_DIALOG), nullptr);
}

TEST(DataFiles, BareNameFoundBesideTheExecutable) {
  // The probe lies beside the test program.
  HMODULE file = LoadLibraryExW(L"TessalyProbe.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(Dialog209(file).empty());
  FreeLibrary(file);
}

TEST(DataFiles, ModuleWithoutResources) {
  const std::string lib = stand_in::ModulePath(stand_in::ModuleOf(reinterpret_cast<const void*>(&GetModuleHandleW)));
  HMODULE file = LoadLibraryExW(stand_in::WindowsPath(lib).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(file, nullptr);
  SetLastError(0);
  EXPECT_EQ(FindResourceW(file, MAKEINTRESOURCEW(1), RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(file));
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaly_module_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::vector<unsigned char>& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
  }
  std::string dir_;
};

std::vector<unsigned char> ProbeBytes() {
  std::ifstream in(TESSALY_RES_PROBE, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(TempDir, MissingFiles) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryExW(stand_in::WindowsPath(dir_ + "/none.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE),
            nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  SetLastError(0);
  EXPECT_EQ(LoadLibraryExW(stand_in::WindowsPath(dir_ + "/no/none.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE),
            nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

// Damaged module files: each refused with what is wrong and where.
TEST_F(TempDir, DamagedElfFilesAreRefused) {
  const std::vector<unsigned char> good = ProbeBytes();
  ASSERT_GT(good.size(), sizeof(Elf64_Ehdr));
  Elf64_Ehdr header;
  std::memcpy(&header, good.data(), sizeof header);
  // Index of the .rsrc section header.
  Elf64_Shdr names;
  std::memcpy(&names, good.data() + header.e_shoff + header.e_shstrndx * sizeof(Elf64_Shdr), sizeof names);
  size_t rsrc = 0;
  for (size_t i = 1; i < header.e_shnum; ++i) {
    Elf64_Shdr s;
    std::memcpy(&s, good.data() + header.e_shoff + i * sizeof s, sizeof s);
    if (std::strcmp(reinterpret_cast<const char*>(good.data() + names.sh_offset + s.sh_name), ".rsrc") == 0) rsrc = i;
  }
  ASSERT_NE(rsrc, 0u);
  const size_t rsrcHeader = header.e_shoff + rsrc * sizeof(Elf64_Shdr);

  auto with = [&good](size_t at, const void* value, size_t size) {
    std::vector<unsigned char> bytes = good;
    std::memcpy(bytes.data() + at, value, size);
    return bytes;
  };
  const uint64_t huge = 0x7FFFFFFFFFFFFFF0ull;
  const uint16_t many = 0xFFF0, badIndex = 0xFF00;
  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
    const char* message;
  } cases[] = {
      {"a text file", std::vector<unsigned char>{'h', 'e', 'l', 'l', 'o'}, "not an ELF file at offset 0x0"},
      {"cut in the header", std::vector<unsigned char>(good.begin(), good.begin() + 40), "not an ELF file"},
      {"cut before the sections",
       std::vector<unsigned char>(good.begin(), good.begin() + static_cast<long>(header.e_shoff) + 10),
       "section table past the end"},
      {"section table offset past the end", with(offsetof(Elf64_Ehdr, e_shoff), &huge, 8),
       "section table past the end"},
      {"section count past the end", with(offsetof(Elf64_Ehdr, e_shnum), &many, 2), "section table past the end"},
      {"name table index", with(offsetof(Elf64_Ehdr, e_shstrndx), &badIndex, 2), "bad section name table index"},
      {".rsrc size past the end", with(rsrcHeader + offsetof(Elf64_Shdr, sh_size), &huge, 8),
       "section .rsrc past the end"},
      {".rsrc offset past the end", with(rsrcHeader + offsetof(Elf64_Shdr, sh_offset), &huge, 8),
       "section .rsrc past the end"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Write("damaged.dll", c.bytes);
    testing::internal::CaptureStderr();
    SetLastError(0);
    EXPECT_EQ(LoadLibraryExW(stand_in::WindowsPath(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path), std::string::npos) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }

  // The section's bytes read as resources, damaged ones refused at look-up.
  Elf64_Shdr section;
  std::memcpy(&section, good.data() + rsrcHeader, sizeof section);
  std::vector<unsigned char> bytes = good;
  bytes[section.sh_offset + 4] = 0xFF;  // the first record's header size
  const std::string path = Write("damaged_res.dll", bytes);
  HMODULE file = LoadLibraryExW(stand_in::WindowsPath(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(file, nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(FindResourceW(file, MAKEINTRESOURCEW(IDD_TESSALY_OPTIONS), RT_DIALOG), nullptr);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(path), std::string::npos) << err;
  EXPECT_NE(err.find("offset 0x0"), std::string::npos) << err;
  FreeLibrary(file);
}

TEST(DataFiles, OtherFlagsAndArguments) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryExW(nullptr, nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(uintptr_t(0x4001))));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

}  // namespace

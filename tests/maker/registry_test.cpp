#include <gtest/gtest.h>

#include "VLMGUI.h"

#include <windows.h>

#include "stand_in/registry.h"
#include "registry_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

const wchar_t kKey[] = L"Software\\VELMOR\\Tessaly for SolidWorks";

class VLMRegistryTest : public test_support::RegistryTest {
 protected:
  VLMRegistryTest() : RegistryTest("tessaly-vlmregistry") {}
  bool FileExists() const {
    struct stat st;
    return ::stat(file_.c_str(), &st) == 0;
  }
  static DWORD Stored(HKEY root, const wchar_t* name, DWORD* type = nullptr) {
    HKEY key = nullptr;
    DWORD value = 0xDEADBEEF, size = sizeof value, t = 0;
    if (RegOpenKeyExW(root, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0xDEADBEEF;
    RegQueryValueExW(key, name, nullptr, &t, reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    if (type) *type = t;
    return value;
  }
};

TEST_F(VLMRegistryTest, DefaultsWhenNothingIsStoredAndReadingWritesNothing) {
  {
    VLMRegistry registry;
    EXPECT_TRUE(registry.SetKey(kKey, 1));
    EXPECT_EQ(registry.ReadInt(L"Import As", 0), 0);
    EXPECT_EQ(registry.ReadInt(L"Units", 3), 3);
    EXPECT_EQ(registry.ReadInt(L"Units", -1), -1);
    EXPECT_EQ(registry.ReadBool(L"MultiBody", 1), 1);
    EXPECT_EQ(registry.ReadBool(L"Y Up", 0), 0);
  }
  EXPECT_FALSE(FileExists());  // a dialog that is cancelled leaves no trace
}

TEST_F(VLMRegistryTest, WritesLandUnderTheCurrentUserAndReadBack) {
  {
    VLMRegistry registry;
    registry.SetKey(kKey, 1);
    EXPECT_TRUE(registry.WriteInt(L"Import As", 1));
    EXPECT_TRUE(registry.WriteInt(L"Units", -1));
    EXPECT_TRUE(registry.WriteBool(L"MultiBody", 0));
    EXPECT_TRUE(registry.WriteBool(L"Y Up", 5));
    EXPECT_EQ(registry.ReadInt(L"Import As", 0), 1);  // the same object reads what it wrote
  }
  DWORD type = 0;
  EXPECT_EQ(Stored(HKEY_CURRENT_USER, L"Units", &type), 0xFFFFFFFFu);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(Stored(HKEY_CURRENT_USER, L"Y Up"), 1u);
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, L"Units"), 0xDEADBEEFu);

  VLMRegistry again;
  again.SetKey(kKey, 1);
  EXPECT_EQ(again.ReadInt(L"Import As", 0), 1);
  EXPECT_EQ(again.ReadInt(L"Units", 3), -1);
  EXPECT_EQ(again.ReadBool(L"MultiBody", 1), 0);
  EXPECT_EQ(again.ReadBool(L"Y Up", 0), 1);
  EXPECT_EQ(again.ReadInt(L"units", 3), -1);  // value names ignore case
}

TEST_F(VLMRegistryTest, StoredFlagsReadAsZeroOrOne) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD seven = 7;
  RegSetValueExW(key, L"Progress", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4);
  const wchar_t text[] = L"3";
  RegSetValueExW(key, L"Units", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
  RegCloseKey(key);

  VLMRegistry registry;
  registry.SetKey(kKey, 1);
  EXPECT_EQ(registry.ReadBool(L"Progress", 0), 1);
  EXPECT_EQ(registry.ReadInt(L"Progress", 0), 7);  // out-of-range values come back as stored
  EXPECT_EQ(registry.ReadInt(L"Units", 4), 4);     // not a number: the default
}

TEST_F(VLMRegistryTest, HivesAndKeysChosenBySetKey) {
  VLMRegistry registry;
  EXPECT_EQ(registry.ReadInt(L"Units", 3), 3);  // no key chosen yet
  EXPECT_FALSE(registry.WriteInt(L"Units", 1));
  EXPECT_FALSE(registry.SetKey(kKey, 2));
  EXPECT_FALSE(registry.WriteInt(L"Units", 1));
  EXPECT_TRUE(registry.SetKey(kKey, 0));
  EXPECT_TRUE(registry.WriteInt(L"Units", 2));
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, L"Units"), 2u);
  EXPECT_TRUE(registry.SetKey(kKey, 1));  // the previous key is let go
  EXPECT_EQ(registry.ReadInt(L"Units", 3), 3);
}

TEST_F(VLMRegistryTest, ADamagedFileGivesDefaultsAndIsKept) {
  const std::string damaged = "tessaly registry 1\nkey HKEY_CURRENT_USER \"x\n";
  FILE* f = std::fopen(file_.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs(damaged.c_str(), f);
  std::fclose(f);
  VLMRegistry registry;
  registry.SetKey(kKey, 1);
  EXPECT_EQ(registry.ReadInt(L"Units", 3), 3);
  EXPECT_FALSE(registry.WriteInt(L"Units", 1));
  std::string back(damaged.size() + 10, '\0');
  f = std::fopen(file_.c_str(), "r");
  ASSERT_NE(f, nullptr);
  back.resize(std::fread(&back[0], 1, back.size(), f));
  std::fclose(f);
  EXPECT_EQ(back, damaged);
}

}  // namespace

#include <gtest/gtest.h>

#include <statreg.h>

#include "stand_in/registry.h"
#include "registry_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const wchar_t kAddinScript[] =
    L"HKCR\n"
    L"{\n"
    L"\tNoRemove AppID\n"
    L"\t{\n"
    L"\t\t'%APPID%' = s 'MyTessaly'\n"
    L"\t\t'MyTessaly.DLL'\n"
    L"\t\t{\n"
    L"\t\t\tval AppID = s '%APPID%'\n"
    L"\t\t}\n"
    L"\t}\n"
    L"}\n"
    L"HKCR\n"
    L"{\n"
    L"\tMyTessaly.SwAddin.1 = s 'SwAddin Class'\n"
    L"\t{\n"
    L"\t\tCLSID = s '{11111111-2222-3333-4444-555555555555}'\n"
    L"\t}\n"
    L"\tMyTessaly.SwAddin = s 'SwAddin Class'\n"
    L"\t{\n"
    L"\t\tCLSID = s '{11111111-2222-3333-4444-555555555555}'\n"
    L"\t\tCurVer = s 'MyTessaly.SwAddin.1'\n"
    L"\t}\n"
    L"\tNoRemove CLSID\n"
    L"\t{\n"
    L"\t\tForceRemove {11111111-2222-3333-4444-555555555555} = s 'SwAddin Class'\n"
    L"\t\t{\n"
    L"\t\t\tProgID = s 'MyTessaly.SwAddin.1'\n"
    L"\t\t\tVersionIndependentProgID = s 'MyTessaly.SwAddin'\n"
    L"\t\t\tForceRemove 'Programmable'\n"
    L"\t\t\tInprocServer32 = s '%MODULE%'\n"
    L"\t\t\t{\n"
    L"\t\t\t\tval ThreadingModel = s 'Both'\n"
    L"\t\t\t}\n"
    L"\t\t\tval AppID = s '%APPID%'\n"
    L"\t\t\t'TypeLib' = s '{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}'\n"
    L"\t\t}\n"
    L"\t}\n"
    L"}\n"
    L"HKLM\n"
    L"{\n"
    L"\tNoRemove SOFTWARE\n"
    L"\t{\n"
    L"\t\tNoRemove SolidWorks\n"
    L"\t\t{\n"
    L"\t\t\tNoRemove AddIns\n"
    L"\t\t\t{\n"
    L"\t\t\t\tForceRemove {11111111-2222-3333-4444-555555555555} = d '0'\n"
    L"\t\t\t\t{\n"
    L"\t\t\t\t\tval Description = s '3DS import add-in (it''s ours)'\n"
    L"\t\t\t\t\tval Title = s 'Tessaly for SolidWorks'\n"
    L"\t\t\t\t}\n"
    L"\t\t\t}\n"
    L"\t\t}\n"
    L"\t}\n"
    L"}\n";

const wchar_t kHandlerScript[] =
    L"HKCR\n"
    L"{\n"
    L"\tMyTessaly.BitmapHandler.1 = s 'BitmapHandler Class'\n"
    L"\t{\n"
    L"\t\tCLSID = s '{99999999-2222-3333-4444-555555555555}'\n"
    L"\t}\n"
    L"\tMyTessaly.BitmapHandler = s 'BitmapHandler Class'\n"
    L"\t{\n"
    L"\t\tCLSID = s '{99999999-2222-3333-4444-555555555555}'\n"
    L"\t\tCurVer = s 'MyTessaly.BitmapHandler.1'\n"
    L"\t}\n"
    L"\tNoRemove CLSID\n"
    L"\t{\n"
    L"\t\tForceRemove {99999999-2222-3333-4444-555555555555} = s 'BitmapHandler Class'\n"
    L"\t\t{\n"
    L"\t\t\tProgID = s 'MyTessaly.BitmapHandler.1'\n"
    L"\t\t\tVersionIndependentProgID = s 'MyTessaly.BitmapHandler'\n"
    L"\t\t\tForceRemove 'Programmable'\n"
    L"\t\t\tInprocServer32 = s '%MODULE%'\n"
    L"\t\t\t{\n"
    L"\t\t\t\tval ThreadingModel = s 'Both'\n"
    L"\t\t\t}\n"
    L"\t\t\tval AppID = s '%APPID%'\n"
    L"\t\t\t'TypeLib' = s '{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}'\n"
    L"\t\t}\n"
    L"\t}\n"
    L"}\n";

const wchar_t kModule[] = L"Z:\\opt\\Bob's {tools}\\Tessaly.dll";

using test_support::FileText;

class Registrar : public test_support::RegistryTest {
 protected:
  Registrar() : RegistryTest("tessaly-registrar") {}
  void SetUp() override {
    RegistryTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(reg_.AddReplacement(L"APPID", L""), S_OK);
    ASSERT_EQ(reg_.AddReplacement(L"MODULE", kModule), S_OK);
  }
  void TearDown() override {
    RegistryTest::TearDown();
    EXPECT_EQ(stand_in::registry::OpenKeyCount(), 0u);
  }

  static bool Exists(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  static std::wstring String(HKEY root, const wchar_t* path, const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"<no key>";
    wchar_t buf[512];
    DWORD size = sizeof buf, type = 0;
    const LSTATUS r = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buf), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return L"<no value>";
    if (type != REG_SZ) return L"<not a string>";
    return buf;
  }
  static DWORD Count(HKEY root, const wchar_t* path, bool values) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 999;
    DWORD subkeys = 0, count = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return values ? count : subkeys;
  }

  CRegObject reg_;
};

const wchar_t kClass[] = L"CLSID\\{11111111-2222-3333-4444-555555555555}";
const wchar_t kAddinKey[] = L"SOFTWARE\\SolidWorks\\AddIns\\{11111111-2222-3333-4444-555555555555}";

TEST_F(Registrar, RegisterWritesTheScriptsKeysAndValues) {
  ASSERT_EQ(reg_.StringRegister(kHandlerScript), S_OK);
  ASSERT_EQ(reg_.StringRegister(kAddinScript), S_OK);

  EXPECT_EQ(String(HKEY_CLASSES_ROOT, kClass, nullptr), L"SwAddin Class");
  EXPECT_EQ(String(HKEY_CLASSES_ROOT, (std::wstring(kClass) + L"\\InprocServer32").c_str(), nullptr), kModule);
  EXPECT_EQ(String(HKEY_CLASSES_ROOT, (std::wstring(kClass) + L"\\InprocServer32").c_str(), L"ThreadingModel"),
            L"Both");
  EXPECT_EQ(String(HKEY_CLASSES_ROOT, kClass, L"AppID"), L"");
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, (std::wstring(kClass) + L"\\Programmable").c_str()));
  EXPECT_EQ(Count(HKEY_CLASSES_ROOT, (std::wstring(kClass) + L"\\Programmable").c_str(), true), 0u);
  EXPECT_EQ(String(HKEY_CLASSES_ROOT, L"MyTessaly.SwAddin\\CurVer", nullptr), L"MyTessaly.SwAddin.1");
  EXPECT_EQ(String(HKEY_CLASSES_ROOT, L"MyTessaly.BitmapHandler.1\\CLSID", nullptr),
            L"{99999999-2222-3333-4444-555555555555}");
  EXPECT_EQ(String(HKEY_CLASSES_ROOT, L"AppID\\MyTessaly.DLL", L"AppID"), L"");
  // The empty %APPID% names AppID itself, as the registry reads an empty path.
  EXPECT_EQ(String(HKEY_CLASSES_ROOT, L"AppID", nullptr), L"MyTessaly");

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAddinKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD value = 7, size = sizeof value, type = 0;
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 0u);
  RegCloseKey(key);
  EXPECT_EQ(String(HKEY_LOCAL_MACHINE, kAddinKey, L"Description"), L"3DS import add-in (it's ours)");
  EXPECT_EQ(String(HKEY_LOCAL_MACHINE, kAddinKey, L"Title"), L"Tessaly for SolidWorks");
}

TEST_F(Registrar, RegisteringTwiceGivesTheSameKeys) {
  ASSERT_EQ(reg_.StringRegister(kHandlerScript), S_OK);
  ASSERT_EQ(reg_.StringRegister(kAddinScript), S_OK);
  const std::string once = FileText(file_);
  // Something stale below a ForceRemove key goes at the next registration.
  HKEY stale = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::wstring(kClass) + L"\\Stale").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &stale, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(stale);
  ASSERT_EQ(reg_.StringRegister(kHandlerScript), S_OK);
  ASSERT_EQ(reg_.StringRegister(kAddinScript), S_OK);
  EXPECT_EQ(FileText(file_), once);
}

TEST_F(Registrar, UnregisterRemovesExactlyWhatTheScriptsWrote) {
  // Keys of others beside ours, and in the NoRemove keys.
  for (const wchar_t* other : {L"CLSID\\{OTHER}", L"AppID\\{OTHER}", L".txt"}) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, other, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\SolidWorks\\AddIns\\{OTHER}", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  const std::string before = FileText(file_);

  ASSERT_EQ(reg_.StringRegister(kHandlerScript), S_OK);
  ASSERT_EQ(reg_.StringRegister(kAddinScript), S_OK);
  // Something of another program inside a ForceRemove key goes with it.
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::wstring(kClass) + L"\\InprocServer32\\Extra").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(reg_.StringUnregister(kAddinScript), S_OK);
  ASSERT_EQ(reg_.StringUnregister(kHandlerScript), S_OK);
  EXPECT_EQ(FileText(file_), before);
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, L"AppID"));
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\SolidWorks\\AddIns"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, kClass));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, L"MyTessaly.SwAddin"));

  // On an empty registry the NoRemove keys stay, empty.
  ::unlink(file_.c_str());
  ASSERT_EQ(reg_.StringRegister(kAddinScript), S_OK);
  ASSERT_EQ(reg_.StringUnregister(kAddinScript), S_OK);
  for (const wchar_t* kept : {L"AppID", L"CLSID"}) {
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, kept)) << kept;
    EXPECT_EQ(Count(HKEY_CLASSES_ROOT, kept, false), 0u) << kept;
    EXPECT_EQ(Count(HKEY_CLASSES_ROOT, kept, true), 0u) << kept;
  }
  EXPECT_EQ(Count(HKEY_CLASSES_ROOT, L"", false), 2u);
  EXPECT_EQ(Count(HKEY_LOCAL_MACHINE, L"SOFTWARE\\SolidWorks\\AddIns", false), 0u);
  // Unregistering what is not there is no failure.
  EXPECT_EQ(reg_.StringUnregister(kAddinScript), S_OK);
}

TEST_F(Registrar, AKeyWithForeignSubkeysStays) {
  ASSERT_EQ(reg_.StringRegister(kAddinScript), S_OK);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"MyTessaly.SwAddin\\Theirs", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(reg_.StringUnregister(kAddinScript), S_OK);
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, L"MyTessaly.SwAddin\\Theirs"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, L"MyTessaly.SwAddin\\CurVer"));
  EXPECT_EQ(String(HKEY_CLASSES_ROOT, L"MyTessaly.SwAddin", nullptr), L"<no value>");
}

TEST_F(Registrar, AScriptWithAnErrorChangesNothing) {
  ASSERT_EQ(reg_.StringRegister(kHandlerScript), S_OK);
  const std::string before = FileText(file_);
  struct Case {
    const wchar_t* what;
    std::wstring script;
    int line;
  } cases[] = {
      {L"missing brace", std::wstring(kAddinScript).substr(0, std::wcslen(kAddinScript) - 2), 55},
      {L"unknown root", L"HKCR\n{\n  A\n}\nHKXX\n{\n}\n", 5},
      {L"unterminated quote", L"HKCR\n{\n  A = s 'x\n}\n", 3},
      {L"unknown type", L"HKCR\n{\n  A = q 'x'\n}\n", 3},
      {L"bad number", L"HKCR\n{\n  A = d '12z'\n}\n", 3},
      {L"number too big", L"HKCR\n{\n  A = d '4294967296'\n}\n", 3},
      {L"no replacement", L"HKCR\n{\n  A = s '%NOPE%'\n}\n", 3},
      {L"lone percent", L"HKCR\n{\n\n  A = s '50%'\n}\n", 4},
      {L"both flags", L"HKCR\n{\n  NoRemove ForceRemove A\n}\n", 3},
      {L"value without =", L"HKCR\n{\n  A\n  {\n    val X s 'y'\n  }\n}\n", 5},
      {L"value under root", L"HKCR\n{\n  val X = s 'y'\n}\n", 3},
      {L"backslash in key", L"HKCR\n{\n  'A\\B'\n}\n", 3},
      {L"stray equals", L"HKCR\n{\n  = s 'x'\n}\n", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(reg_.StringRegister(c.script.c_str()), DISP_E_EXCEPTION);
    const std::wstring error = stand_in::registrar::LastError();
    EXPECT_NE(error.find(L"line " + std::to_wstring(c.line) + L":"), std::wstring::npos) << error;
    EXPECT_EQ(reg_.StringUnregister(c.script.c_str()), DISP_E_EXCEPTION);
    EXPECT_EQ(FileText(file_), before);
  }
  // A good first block does not run when a later one is broken.
  EXPECT_EQ(reg_.StringRegister((std::wstring(kAddinScript) + L"HKCU { X = s 'y' ").c_str()), DISP_E_EXCEPTION);
  EXPECT_EQ(FileText(file_), before);
  EXPECT_EQ(reg_.StringUnregister((std::wstring(kHandlerScript) + L"}").c_str()), DISP_E_EXCEPTION);
  EXPECT_EQ(FileText(file_), before);
}

TEST_F(Registrar, ReplacementsAndQuotes) {
  CRegObject reg;
  EXPECT_EQ(reg.AddReplacement(L"Name", L"it's {here} = %x%"), S_OK);
  EXPECT_EQ(reg.AddReplacement(L"NAME", L"again"), E_INVALIDARG);
  ASSERT_EQ(reg.StringRegister(L"HKCU { 'Key ''%name%''' = s '%Name%' { val '100%%' = s '%%' val N = d '0x1F' } }"),
            S_OK);
  const std::wstring key = L"Key 'it's {here} = %x%'";
  EXPECT_EQ(String(HKEY_CURRENT_USER, key.c_str(), nullptr), L"it's {here} = %x%");
  EXPECT_EQ(String(HKEY_CURRENT_USER, key.c_str(), L"100%"), L"%");
  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h), ERROR_SUCCESS);
  DWORD n = 0, size = 4;
  EXPECT_EQ(RegQueryValueExW(h, L"N", nullptr, nullptr, reinterpret_cast<LPBYTE>(&n), &size), ERROR_SUCCESS);
  EXPECT_EQ(n, 0x1Fu);
  RegCloseKey(h);
  EXPECT_EQ(reg.ClearReplacements(), S_OK);
  EXPECT_EQ(reg.StringRegister(L"HKCU { '%name%' }"), DISP_E_EXCEPTION);
  ASSERT_EQ(reg.AddReplacement(L"name", L"it's {here} = %x%"), S_OK);
  ASSERT_EQ(reg.StringUnregister(L"HKCU { 'Key ''%name%''' = s '%Name%' { val '100%%' = s '%%' val N = d '0x1F' } }"),
            S_OK);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, key.c_str()));
}

TEST_F(Registrar, ResourceFromAMissingModuleFails) {
  EXPECT_TRUE(FAILED(reg_.ResourceRegister(L"Z:\\no\\such\\module.dll", 101, L"REGISTRY")));
  EXPECT_TRUE(FAILED(reg_.ResourceRegister(nullptr, 101, L"REGISTRY")));
  EXPECT_EQ(reg_.StringRegister(nullptr), E_INVALIDARG);
}

TEST_F(Registrar, ADamagedRegistryFailsTheRun) {
  {
    std::ofstream out(file_);
    out << "tessaly registry 1\nkey HKEY_CLASSES_ROOT \"x\n";
  }
  EXPECT_EQ(reg_.StringRegister(kHandlerScript), HRESULT_FROM_WIN32(ERROR_BADDB));
  EXPECT_EQ(reg_.StringUnregister(kHandlerScript), HRESULT_FROM_WIN32(ERROR_BADDB));
}

}  // namespace

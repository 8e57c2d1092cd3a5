// Registration of the module: the object map's hooks in map order under the
// system locale, then the module's own type library; the locale given back
// on every path; the module's scripts run with MODULE and APPID.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "atl_test_module.h"

namespace {

const wchar_t kLibraryKey[] = L"TypeLib\\{6B1D8F32-5C4E-4A71-8B2C-3D4E5F607100}\\1.0";

std::vector<LCID> g_locales_inside;

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    atl_test::RegistrationHooks() = atl_test::Hooks();
    atl_test::RegistrationHooks().inside = [] { g_locales_inside.push_back(GetThreadLocale()); };
    g_locales_inside.clear();
    ASSERT_TRUE(SetThreadLocale(0x0407));
  }
  void TearDown() override {
    atl_test::RegistrationHooks() = atl_test::Hooks();
    SetThreadLocale(0x0409);
  }
  std::vector<std::string>& calls() { return atl_test::RegistrationHooks().calls; }

  atl_test::ScopedRegistry registry_;
};

TEST_F(Registration, HooksInMapOrderThenTheTypeLibrary) {
  EXPECT_FALSE(atl_test::KeyExists(HKEY_CLASSES_ROOT, kLibraryKey));
  EXPECT_EQ(_AtlModule.DllRegisterServer(), S_OK);
  EXPECT_EQ(calls(), (std::vector<std::string>{"first:1", "second:1"}));
  EXPECT_EQ(g_locales_inside, (std::vector<LCID>{LOCALE_SYSTEM_DEFAULT, LOCALE_SYSTEM_DEFAULT}));
  EXPECT_EQ(GetThreadLocale(), 0x0407u);
  EXPECT_TRUE(atl_test::KeyExists(HKEY_CLASSES_ROOT, kLibraryKey));

  // Twice: the same outcome.
  EXPECT_EQ(_AtlModule.DllRegisterServer(), S_OK);
  EXPECT_TRUE(atl_test::KeyExists(HKEY_CLASSES_ROOT, kLibraryKey));

  calls().clear();
  EXPECT_EQ(_AtlModule.DllUnregisterServer(), S_OK);
  EXPECT_EQ(calls(), (std::vector<std::string>{"first:0", "second:0"}));
  EXPECT_EQ(GetThreadLocale(), 0x0407u);
  EXPECT_FALSE(atl_test::KeyExists(HKEY_CLASSES_ROOT, kLibraryKey));
}

TEST_F(Registration, WithoutTheTypeLibrary) {
  EXPECT_EQ(_AtlModule.DllRegisterServer(FALSE), S_OK);
  EXPECT_EQ(calls(), (std::vector<std::string>{"first:1", "second:1"}));
  EXPECT_FALSE(atl_test::KeyExists(HKEY_CLASSES_ROOT, kLibraryKey));
}

TEST_F(Registration, TheFirstFailureStopsItAndTheLocaleComesBack) {
  atl_test::RegistrationHooks().first_result = E_ACCESSDENIED;
  EXPECT_EQ(_AtlModule.DllRegisterServer(), E_ACCESSDENIED);
  EXPECT_EQ(calls(), (std::vector<std::string>{"first:1"}));
  EXPECT_EQ(GetThreadLocale(), 0x0407u);
  EXPECT_FALSE(atl_test::KeyExists(HKEY_CLASSES_ROOT, kLibraryKey));

  calls().clear();
  atl_test::RegistrationHooks().first_result = S_OK;
  atl_test::RegistrationHooks().second_result = E_FAIL;
  EXPECT_EQ(_AtlModule.DllRegisterServer(), E_FAIL);
  EXPECT_EQ(calls(), (std::vector<std::string>{"first:1", "second:1"}));
  EXPECT_EQ(GetThreadLocale(), 0x0407u);
  EXPECT_FALSE(atl_test::KeyExists(HKEY_CLASSES_ROOT, kLibraryKey));

  calls().clear();
  EXPECT_EQ(_AtlModule.DllUnregisterServer(), E_FAIL);
  EXPECT_EQ(calls(), (std::vector<std::string>{"first:0", "second:0"}));
  EXPECT_EQ(GetThreadLocale(), 0x0407u);
}

TEST_F(Registration, AFailingTypeLibraryStepIsTheResult) {
  // The type library is there but cannot be registered: the registry file
  // is damaged, so every registry call fails.
  {
    FILE* f = fopen(registry_.file().c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("not a registry\n", f);
    fclose(f);
  }
  const HRESULT hr = _AtlModule.DllRegisterServer();
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(calls(), (std::vector<std::string>{"first:1", "second:1"}));
  EXPECT_EQ(GetThreadLocale(), 0x0407u);
  EXPECT_TRUE(FAILED(_AtlModule.DllUnregisterServer()));
  EXPECT_EQ(GetThreadLocale(), 0x0407u);
}

TEST(PerUserRegistration, OffUnlessSwitchedOn) {
  bool on = true;
  EXPECT_EQ(AtlGetPerUserRegistration(&on), S_OK);
  EXPECT_FALSE(on);
  EXPECT_EQ(AtlGetPerUserRegistration(nullptr), E_POINTER);
  EXPECT_EQ(AtlSetPerUserRegistration(true), S_OK);
  EXPECT_EQ(AtlGetPerUserRegistration(&on), S_OK);
  EXPECT_TRUE(on);
  EXPECT_EQ(AtlSetPerUserRegistration(false), S_OK);
}

TEST(UpdateRegistryFromResource, RunsTheModulesScriptWithModuleAndAppId) {
  atl_test::ScopedRegistry registry;
  ASSERT_EQ(_AtlModule.UpdateRegistryFromResource(201, TRUE), S_OK);
  wchar_t path[1024] = {};
  ASSERT_GT(GetModuleFileNameW(_AtlBaseModule.GetModuleInstance(), path, 1024), 0u);
  EXPECT_EQ(atl_test::TextValue(HKEY_CURRENT_USER, L"Software\\AtlTest", L"Path"), path);
  EXPECT_EQ(atl_test::TextValue(HKEY_CURRENT_USER, L"Software\\AtlTest", L"AppID"), L"");
  EXPECT_EQ(atl_test::TextValue(HKEY_CURRENT_USER, L"Software\\AtlTest", L""), L"AtlTest Module");

  ASSERT_EQ(_AtlModule.UpdateRegistryFromResource(201, FALSE), S_OK);
  EXPECT_FALSE(atl_test::KeyExists(HKEY_CURRENT_USER, L"Software\\AtlTest"));
  EXPECT_TRUE(atl_test::KeyExists(HKEY_CURRENT_USER, L"Software"));

  // A script the module does not carry.
  EXPECT_TRUE(FAILED(_AtlModule.UpdateRegistryFromResource(202, TRUE)));
}

TEST(BaseModule, IsTheModuleThisAtlWasLinkedInto) {
  EXPECT_EQ(_AtlBaseModule.GetModuleInstance(), GetModuleHandleW(nullptr));
  EXPECT_EQ(_AtlBaseModule.GetResourceInstance(), GetModuleHandleW(nullptr));
}

}  // namespace

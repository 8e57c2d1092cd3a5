#include "atl_test_module.h"

#include <cstdlib>
#include <filesystem>
#include <string>

CAtlTestModule _AtlModule;

const CLSID CLSID_MapFirst = stand_in::GuidFromText("6B1D8F32-5C4E-4A71-8B2C-3D4E5F607120");
const CLSID CLSID_MapSecond = stand_in::GuidFromText("6B1D8F32-5C4E-4A71-8B2C-3D4E5F607121");

// The map's order is the order of these lines.
OBJECT_ENTRY_AUTO(CLSID_MapFirst, CMapFirst)
OBJECT_ENTRY_AUTO(CLSID_MapSecond, CMapSecond)

namespace atl_test {
namespace {
int g_live = 0;
}

Hooks& RegistrationHooks() {
  static Hooks hooks;
  return hooks;
}

int LiveObjects() { return g_live; }

namespace {
HRESULT RunHook(const char* name, BOOL bRegister, HRESULT result) {
  Hooks& hooks = RegistrationHooks();
  hooks.calls.push_back(std::string(name) + (bRegister ? ":1" : ":0"));
  if (hooks.inside) hooks.inside();
  return result;
}
}  // namespace

bool KeyExists(HKEY root, const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::wstring TextValue(HKEY root, const wchar_t* path, const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"<none>";
  wchar_t buffer[1024] = {};
  DWORD type = 0;
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return L"<none>";
  return buffer;
}

}  // namespace atl_test

CMapFirst::CMapFirst() { ++atl_test::g_live; }
CMapFirst::~CMapFirst() { --atl_test::g_live; }

HRESULT WINAPI CMapFirst::UpdateRegistry(BOOL bRegister) noexcept {
  return atl_test::RunHook("first", bRegister, atl_test::RegistrationHooks().first_result);
}

STDMETHODIMP CMapFirst::Ping() {
  ++pings;
  return S_OK;
}

STDMETHODIMP CMapFirst::Add(LONG a, LONG b, LONG* sum) {
  if (!sum) return E_POINTER;
  *sum = a + b;
  return S_OK;
}

STDMETHODIMP CMapFirst::Named(BSTR text) {
  last_name = text ? text : L"";
  return S_OK;
}

CMapSecond::CMapSecond() { ++atl_test::g_live; }
CMapSecond::~CMapSecond() { --atl_test::g_live; }

HRESULT WINAPI CMapSecond::UpdateRegistry(BOOL bRegister) noexcept {
  return atl_test::RunHook("second", bRegister, atl_test::RegistrationHooks().second_result);
}

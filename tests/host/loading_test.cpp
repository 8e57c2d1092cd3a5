// Add-ins loaded the host's way: the AddIns key names the class, COM
// creates it from its registered module, the host connects it and calls it
// back by name, and unloading gives everything back.
#include "addin_fixture.h"

#include <objbase.h>
#include <winreg.h>

namespace {

const wchar_t kProbeClsid[] = L"{3F6B8E21-7C4D-4A59-9E0B-1D2C3B4A5F60}";

void SetKey(HKEY root, const std::wstring& path, const std::wstring* value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  if (value)
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

}  // namespace

class LoadingTest : public AddInTest {
 protected:
  void SetUp() override {
    AddInTest::SetUp();
    const std::wstring module = stand_in::WindowsPath(TESSALY_HOST_PROBE);
    SetKey(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kProbeClsid + L"\\InprocServer32", &module);
    SetKey(HKEY_LOCAL_MACHINE, std::wstring(L"SOFTWARE\\SolidWorks\\AddIns\\") + kProbeClsid, nullptr);
  }
};

TEST_F(LoadingTest, TheHostCreatesConnectsCallsAndUnloadsTheRegisteredAddIn) {
  std::string error;
  ASSERT_EQ(host.LoadAddIns(&error), S_OK) << error;
  ASSERT_EQ(host.AddIns().size(), 1u);
  const stand_in::AddIn& loaded = host.AddIns()[0];
  EXPECT_TRUE(loaded.connected);
  EXPECT_EQ(loaded.cookie, 1);
  wchar_t clsid[40];
  StringFromGUID2(loaded.clsid, clsid, 40);
  EXPECT_STREQ(clsid, kProbeClsid);
  EXPECT_NE(GetModuleHandleW(L"HostProbe.dll"), nullptr);
  EXPECT_TRUE(host.CallbackObject(1));
  ASSERT_EQ(host.FileOpenEntries().size(), 1u);
  ASSERT_TRUE(host.FindCommandManager(1));
  ASSERT_EQ(host.FindCommandManager(1)->groups.size(), 1u);

  // Loading again loads nothing twice.
  EXPECT_EQ(host.LoadAddIns(&error), S_OK) << error;
  EXPECT_EQ(host.AddIns().size(), 1u);

  // The Open dialog and the command button reach the add-in by name.
  const auto file = root / "model.PRB";
  std::ofstream(file) << "probe";
  EXPECT_EQ(host.OpenFile(stand_in::WindowsPath(file.string()), &error), S_OK) << error;
  ASSERT_EQ(host.LoadedFiles().size(), 1u);
  EXPECT_EQ(host.LoadedFiles()[0].size, 5u);
  EXPECT_EQ(host.PressCommand(L"Part", &error), S_OK) << error;
  EXPECT_EQ(host.Documents().size(), 1u);

  host.UnloadAddIns();
  EXPECT_FALSE(host.AddIns()[0].connected);
  EXPECT_TRUE(host.FileOpenEntries().empty());
  EXPECT_TRUE(host.FindCommandManager(1)->groups.empty());
  EXPECT_EQ(host.CallbackObject(1), nullptr);
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
  // Nothing holds the module: COM has let it go.
  EXPECT_EQ(GetModuleHandleW(L"HostProbe.dll"), nullptr);
  EXPECT_NE(host.OpenFile(stand_in::WindowsPath(file.string()), &error), S_OK);
  EXPECT_EQ(host.LoadedFiles().size(), 1u);

  const std::vector<std::string> ops = host.Operations();
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "host to add-in: ISwAddin::ConnectToSW"), 1);
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "host to add-in: ISwAddin::DisconnectFromSW"), 1);
}

TEST_F(LoadingTest, TheHostUnloadsItsAddInsWhenItGoes) {
  {
    stand_in::Host own;
    std::string error;
    ASSERT_EQ(own.LoadAddIns(&error), S_OK) << error;
    EXPECT_NE(GetModuleHandleW(L"HostProbe.dll"), nullptr);
  }
  EXPECT_EQ(GetModuleHandleW(L"HostProbe.dll"), nullptr);
}

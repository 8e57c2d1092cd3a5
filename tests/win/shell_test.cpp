// ShellExecuteW hands files to the UI driver as the shell opens them.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "stand_in/paths.h"
#include "stand_in/ui.h"

namespace {

class Shell : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaly_shell_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = stand_in::WindowsPath(pattern);
    native_ = pattern;
    std::ofstream(native_ + "/Tessaly.chm") << "help";
  }
  void TearDown() override { std::filesystem::remove_all(native_); }
  std::wstring dir_;
  std::string native_;
};

ULONG_PTR Code(HINSTANCE result) { return reinterpret_cast<ULONG_PTR>(result); }

TEST_F(Shell, OpensAnExistingFile) {
  stand_in::ui::ScriptedDriver ui;
  const std::wstring file = dir_ + L"\\Tessaly.chm";
  EXPECT_GT(Code(ShellExecuteW(nullptr, L"open", file.c_str(), L"", nullptr, SW_SHOW)), 32u);
  EXPECT_GT(Code(ShellExecuteW(nullptr, nullptr, file.c_str(), nullptr, nullptr, SW_SHOW)), 32u);
  EXPECT_GT(Code(ShellExecuteW(nullptr, L"OPEN", L"Tessaly.chm", nullptr, dir_.c_str(), SW_SHOW)), 32u);
  const auto opened = ui.EventsOf("shell.open");
  ASSERT_EQ(opened.size(), 3u);
  for (const auto& event : opened) EXPECT_EQ(event.text, file);
}

TEST_F(Shell, FailuresOpenNothing) {
  stand_in::ui::ScriptedDriver ui;
  struct Case {
    LPCWSTR verb;
    std::wstring file;
    ULONG_PTR result;
  } cases[] = {
      {L"open", dir_ + L"\\Missing.chm", ERROR_FILE_NOT_FOUND},
      {L"open", dir_ + L"\\gone\\Tessaly.chm", ERROR_PATH_NOT_FOUND},
      {L"open", L"", ERROR_FILE_NOT_FOUND},
      {L"frobnicate", dir_ + L"\\Tessaly.chm", SE_ERR_NOASSOC},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Code(ShellExecuteW(nullptr, c.verb, c.file.c_str(), L"", nullptr, SW_SHOW)), c.result);
  }
  EXPECT_EQ(Code(ShellExecuteW(nullptr, L"open", nullptr, L"", nullptr, SW_SHOW)), ULONG_PTR(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(ui.EventsOf("shell.open").empty());
}

}  // namespace

#include <windows.h>

#include <gtest/gtest.h>

#include "stand_in/ui.h"

using stand_in::ui::Current;
using stand_in::ui::ScriptedDriver;

TEST(UiDriver, ScriptedDriversNestAndRestore) {
  stand_in::ui::Driver* console = &Current();
  {
    ScriptedDriver outer;
    EXPECT_EQ(&Current(), &outer);
    {
      ScriptedDriver inner;
      EXPECT_EQ(&Current(), &inner);
    }
    EXPECT_EQ(&Current(), &outer);
  }
  EXPECT_EQ(&Current(), console);
}

TEST(UiDriver, ScriptedBoxesAreRecordedAndAnsweredInTurn) {
  ScriptedDriver ui;
  ui.boxAnswers = {2};
  HWND owner = reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x10AF2));
  EXPECT_EQ(Current().ShowMessageBox(owner, L"text", L"title", 0x30), 2);
  EXPECT_EQ(Current().ShowMessageBox(nullptr, L"again", L"title", 0), 1) << "IDOK once the script runs out";
  ASSERT_EQ(ui.EventsOf("messagebox").size(), 2u);
  EXPECT_EQ(ui.events[0].owner, owner);
  EXPECT_EQ(ui.events[0].text, L"text");
  EXPECT_EQ(ui.events[0].flags, 0x30u);
}

TEST(UiDriver, ConsoleShowsBoxesOnStandardErrorAndNoBarOffATerminal) {
  stand_in::ui::ConsoleDriver console;
  testing::internal::CaptureStderr();
  EXPECT_EQ(console.ShowMessageBox(nullptr, L"3DS file does not contain meshes", L"Tessaly", 0x30), 1);
  console.ProgressOpen(1, L"Creating solid", L"", 0, 100, nullptr);
  console.ProgressStart(1);
  console.ProgressStep(1, 1.0);
  console.ProgressEnd(1);
  console.ProgressClose(1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "[Tessaly] 3DS file does not contain meshes\n");
}

#include <gtest/gtest.h>

#include "VLMGUI.h"
#include "stand_in/ui.h"
#include "stand_in/window.h"

using stand_in::ui::ScriptedDriver;

TEST(About, ShowsTheCaptionWithNoOwnerForANullPointer) {
  ScriptedDriver ui;
  VLMGUIUtils::About(CString(L"Tessaly for SolidWorks 2013 version 1.0"), nullptr);
  ASSERT_EQ(ui.EventsOf("about").size(), 1u);
  EXPECT_EQ(ui.events[0].text, L"Tessaly for SolidWorks 2013 version 1.0");
  EXPECT_EQ(ui.events[0].owner, nullptr);
  EXPECT_EQ(ui.events.size(), 1u) << "the About box and nothing else";
}

TEST(About, TheWindowPointedToOwnsTheBox) {
  ScriptedDriver ui;
  HWND owner = stand_in::window::Create();
  VLMGUIUtils::About(CString(L"caption"), &owner);
  ASSERT_EQ(ui.EventsOf("about").size(), 1u);
  EXPECT_EQ(ui.events[0].owner, owner);
}

TEST(About, TheConsoleShowsTheCaption) {
  stand_in::ui::ConsoleDriver console;
  stand_in::ui::Driver* previous = stand_in::ui::Install(&console);
  testing::internal::CaptureStderr();
  VLMGUIUtils::About(CString(L"Tessaly for SolidWorks ???? version 1.0"), nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  stand_in::ui::Install(previous);
  EXPECT_EQ(err, "[About] Tessaly for SolidWorks ???? version 1.0\n");
}

#include <gtest/gtest.h>

#include "VLMGUI.h"
#include "stand_in/ui.h"

using stand_in::ui::ScriptedDriver;

TEST(Progress, EveryCallReachesTheDriverUnderOneDisplay) {
  ScriptedDriver ui;
  {
    VLMProgress progress(L"Creating solid", L"", 0.0, 100.0, nullptr);
    progress.SetMax(2);
    progress.StartProgress();
    progress.StepIt(1.0);
    progress.SetStatus(L"Almost");
    progress.EndProgress();
  }
  std::vector<std::string> kinds;
  for (const auto& e : ui.events) kinds.push_back(e.what);
  EXPECT_EQ(kinds, (std::vector<std::string>{"progress.open", "progress.setmax", "progress.start", "progress.step",
                                             "progress.status", "progress.end", "progress.close"}));
  const auto& open = ui.events.front();
  EXPECT_EQ(open.title, L"Creating solid");
  EXPECT_EQ(open.text, L"");
  EXPECT_EQ(open.value, 0.0);
  EXPECT_EQ(open.value2, 100.0);
  EXPECT_EQ(open.owner, nullptr);
  EXPECT_EQ(ui.events[1].value, 2.0);
  EXPECT_EQ(ui.events[4].text, L"Almost");
  for (const auto& e : ui.events) EXPECT_EQ(e.id, open.id);
}

TEST(Progress, TwoDisplaysAreToldApart) {
  ScriptedDriver ui;
  VLMProgress a(L"a", L"", 0, 100, nullptr);
  VLMProgress b(L"b", L"", 0, 100, nullptr);
  EXPECT_NE(ui.events[0].id, ui.events[1].id);
}

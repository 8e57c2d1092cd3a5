// A UI driver that records nothing but how many progress displays opened
// and closed, so that the allocations a memory test counts are the code's
// under test and not a record's.
#pragma once

#include "stand_in/ui.h"

namespace test_support {

class QuietDriver : public stand_in::ui::Driver {
 public:
  QuietDriver() : previous_(stand_in::ui::Install(this)) {}
  ~QuietDriver() override { stand_in::ui::Install(previous_); }
  QuietDriver(const QuietDriver&) = delete;
  QuietDriver& operator=(const QuietDriver&) = delete;
  int ShowMessageBox(HWND, const std::wstring&, const std::wstring&, UINT) override { return IDOK; }
  void ProgressOpen(int, const std::wstring&, const std::wstring&, double, double, HWND) override { ++opened; }
  void ProgressSetMax(int, double) override {}
  void ProgressStart(int) override {}
  void ProgressStep(int, double) override {}
  void ProgressSetStatus(int, const std::wstring&) override {}
  void ProgressEnd(int) override {}
  void ProgressClose(int) override { ++closed; }
  void ShellOpen(const std::wstring&) override {}
  void ShowAbout(const std::wstring&, HWND) override {}
  int opened = 0, closed = 0;

 private:
  stand_in::ui::Driver* previous_;
};

}  // namespace test_support

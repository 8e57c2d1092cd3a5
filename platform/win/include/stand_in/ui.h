// The one UI driver behind every window the system shows: message boxes and
// the progress display, the About box and the shell's "open" (dialogs and
// file dialogs join later).
// Tests install a ScriptedDriver; the command line a ConsoleDriver.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

namespace stand_in {
namespace ui {

class Driver {
 public:
  virtual ~Driver() = default;

  // A modal message box; returns the button pressed (IDOK, IDCANCEL, ...).
  virtual int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT flags) = 0;

  // The progress display. `id` tells apart displays that live at once.
  virtual void ProgressOpen(int id, const std::wstring& title, const std::wstring& status, double minimum,
                            double maximum, HWND parent) = 0;
  virtual void ProgressSetMax(int id, double maximum) = 0;
  virtual void ProgressStart(int id) = 0;
  virtual void ProgressStep(int id, double step) = 0;
  virtual void ProgressSetStatus(int id, const std::wstring& status) = 0;
  virtual void ProgressEnd(int id) = 0;
  virtual void ProgressClose(int id) = 0;

  // A file handed to the shell's "open" verb (ShellExecuteW), such as a help
  // file: a person would see it open in its viewer.
  virtual void ShellOpen(const std::wstring& file) = 0;
  // The maker's About box, modal, with the caption it was given.
  virtual void ShowAbout(const std::wstring& caption, HWND owner) = 0;
};

// The installed driver; a ConsoleDriver until another is installed.
Driver& Current();
// Installs `driver` (not owned; null restores the console driver) and
// returns the one it replaces.
Driver* Install(Driver* driver);

// What a scripted driver saw, in order.
struct Event {
  std::string what;  // "messagebox", "progress.open", "progress.setmax", ...
  int id = 0;
  HWND owner = nullptr;
  std::wstring text;
  std::wstring title;
  UINT flags = 0;
  double value = 0.0;
  double value2 = 0.0;
};

class ScriptedDriver : public Driver {
 public:
  ScriptedDriver();   // installs itself
  ~ScriptedDriver() override;  // restores the driver it replaced

  std::vector<Event> events;
  std::deque<int> boxAnswers;  // answers for the next boxes; IDOK when empty

  std::vector<Event> EventsOf(const std::string& prefix) const;

  int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT flags) override;
  void ProgressOpen(int id, const std::wstring& title, const std::wstring& status, double minimum, double maximum,
                    HWND parent) override;
  void ProgressSetMax(int id, double maximum) override;
  void ProgressStart(int id) override;
  void ProgressStep(int id, double step) override;
  void ProgressSetStatus(int id, const std::wstring& status) override;
  void ProgressEnd(int id) override;
  void ProgressClose(int id) override;
  void ShellOpen(const std::wstring& file) override;            // "shell.open", text = file
  void ShowAbout(const std::wstring& caption, HWND owner) override;  // "about", text = caption

 private:
  Driver* previous_;
};

// Boxes on standard error; progress as a bar when standard error is a
// terminal, nothing otherwise.
class ConsoleDriver : public Driver {
 public:
  int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT flags) override;
  void ProgressOpen(int id, const std::wstring& title, const std::wstring& status, double minimum, double maximum,
                    HWND parent) override;
  void ProgressSetMax(int id, double maximum) override;
  void ProgressStart(int id) override;
  void ProgressStep(int id, double step) override;
  void ProgressSetStatus(int id, const std::wstring& status) override;
  void ProgressEnd(int id) override;
  void ProgressClose(int id) override;
  void ShellOpen(const std::wstring& file) override;
  void ShowAbout(const std::wstring& caption, HWND owner) override;

 private:
  struct Bar {
    int id = 0;
    std::wstring title, status;
    double minimum = 0, maximum = 100, position = 0;
    bool running = false;
    int drawn = -1;
  };
  Bar* Find(int id);
  void Draw(Bar& bar, bool force);
  std::vector<Bar> bars_;
};

}  // namespace ui
}  // namespace stand_in

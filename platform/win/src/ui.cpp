#include "stand_in/ui.h"

#include "stand_in/text.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace stand_in {
namespace ui {
namespace {

ConsoleDriver& Console() {
  static ConsoleDriver console;
  return console;
}

Driver* g_driver = nullptr;

}  // namespace

Driver& Current() { return g_driver ? *g_driver : Console(); }

Driver* Install(Driver* driver) {
  Driver* old = g_driver;
  g_driver = driver;
  return old;
}

// --- Scripted -------------------------------------------------------------------

ScriptedDriver::ScriptedDriver() : previous_(Install(this)) {}
ScriptedDriver::~ScriptedDriver() { Install(previous_); }

std::vector<Event> ScriptedDriver::EventsOf(const std::string& prefix) const {
  std::vector<Event> out;
  for (const Event& e : events)
    if (e.what.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
  return out;
}

int ScriptedDriver::ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT flags) {
  Event e;
  e.what = "messagebox";
  e.owner = owner;
  e.text = text;
  e.title = title;
  e.flags = flags;
  events.push_back(e);
  if (boxAnswers.empty()) return 1;  // IDOK
  int answer = boxAnswers.front();
  boxAnswers.pop_front();
  return answer;
}

void ScriptedDriver::ProgressOpen(int id, const std::wstring& title, const std::wstring& status, double minimum,
                                  double maximum, HWND parent) {
  Event e;
  e.what = "progress.open";
  e.id = id;
  e.owner = parent;
  e.title = title;
  e.text = status;
  e.value = minimum;
  e.value2 = maximum;
  events.push_back(e);
}

#define STAND_IN_RECORD(kind, ...) \
  do {                             \
    Event e;                       \
    e.what = kind;                 \
    e.id = id;                     \
    __VA_ARGS__;                   \
    events.push_back(e);           \
  } while (0)

void ScriptedDriver::ProgressSetMax(int id, double maximum) { STAND_IN_RECORD("progress.setmax", e.value = maximum); }
void ScriptedDriver::ProgressStart(int id) { STAND_IN_RECORD("progress.start", (void)0); }
void ScriptedDriver::ProgressStep(int id, double step) { STAND_IN_RECORD("progress.step", e.value = step); }
void ScriptedDriver::ProgressSetStatus(int id, const std::wstring& status) {
  STAND_IN_RECORD("progress.status", e.text = status);
}
void ScriptedDriver::ProgressEnd(int id) { STAND_IN_RECORD("progress.end", (void)0); }
void ScriptedDriver::ProgressClose(int id) { STAND_IN_RECORD("progress.close", (void)0); }
void ScriptedDriver::ShellOpen(const std::wstring& file) {
  int id = 0;
  STAND_IN_RECORD("shell.open", e.text = file);
}
void ScriptedDriver::ShowAbout(const std::wstring& caption, HWND owner) {
  int id = 0;
  STAND_IN_RECORD("about", e.text = caption; e.owner = owner);
}
#undef STAND_IN_RECORD

// --- Console --------------------------------------------------------------------

void ConsoleDriver::ShellOpen(const std::wstring& file) {
  std::fprintf(stderr, "[open] %s\n", ToUtf8(file).c_str());
}

void ConsoleDriver::ShowAbout(const std::wstring& caption, HWND) {
  std::fprintf(stderr, "[About] %s\n", ToUtf8(caption).c_str());
}

int ConsoleDriver::ShowMessageBox(HWND, const std::wstring& text, const std::wstring& title, UINT) {
  std::fprintf(stderr, "[%s] %s\n", ToUtf8(title).c_str(), ToUtf8(text).c_str());
  return 1;  // IDOK: the console has one button
}

ConsoleDriver::Bar* ConsoleDriver::Find(int id) {
  for (Bar& b : bars_)
    if (b.id == id) return &b;
  return nullptr;
}

void ConsoleDriver::Draw(Bar& bar, bool force) {
  if (!isatty(STDERR_FILENO)) return;
  double span = bar.maximum - bar.minimum;
  double f = span > 0 ? (bar.position - bar.minimum) / span : 0.0;
  f = std::min(1.0, std::max(0.0, f));
  int percent = static_cast<int>(f * 100.0);
  if (!force && percent == bar.drawn) return;
  bar.drawn = percent;
  const int width = 30;
  int filled = static_cast<int>(f * width);
  std::string line(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(width - filled), ' ');
  std::string label = ToUtf8(bar.status.empty() ? bar.title : bar.title + L": " + bar.status);
  std::fprintf(stderr, "\r[%s] %3d%% %s\x1b[K", line.c_str(), percent, label.c_str());
  std::fflush(stderr);
}

void ConsoleDriver::ProgressOpen(int id, const std::wstring& title, const std::wstring& status, double minimum,
                                 double maximum, HWND) {
  Bar b;
  b.id = id;
  b.title = title;
  b.status = status;
  b.minimum = minimum;
  b.maximum = maximum;
  b.position = minimum;
  bars_.push_back(b);
}

void ConsoleDriver::ProgressSetMax(int id, double maximum) {
  if (Bar* b = Find(id)) b->maximum = maximum;
}

void ConsoleDriver::ProgressStart(int id) {
  if (Bar* b = Find(id)) {
    b->running = true;
    b->position = b->minimum;
    Draw(*b, true);
  }
}

void ConsoleDriver::ProgressStep(int id, double step) {
  if (Bar* b = Find(id)) {
    b->position += step;
    if (b->running) Draw(*b, false);
  }
}

void ConsoleDriver::ProgressSetStatus(int id, const std::wstring& status) {
  if (Bar* b = Find(id)) {
    b->status = status;
    if (b->running) Draw(*b, true);
  }
}

void ConsoleDriver::ProgressEnd(int id) {
  if (Bar* b = Find(id)) {
    if (b->running && isatty(STDERR_FILENO)) {
      b->position = b->maximum;
      Draw(*b, true);
      std::fputc('\n', stderr);
    }
    b->running = false;
  }
}

void ConsoleDriver::ProgressClose(int id) {
  bars_.erase(std::remove_if(bars_.begin(), bars_.end(), [id](const Bar& b) { return b.id == id; }), bars_.end());
}

}  // namespace ui
}  // namespace stand_in

#include "stand_in/ui.h"

#include "stand_in/text.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace stand_in {
namespace ui {
namespace {

Driver* g_driver = nullptr;

std::string Utf8(const std::wstring& text) { return ToUtf8(text); }

std::string Quoted(const std::wstring& text) { return "\"" + ToUtf8(text) + "\""; }

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = ToLower(c);
  return text;
}

std::wstring Trimmed(const std::wstring& text) {
  size_t a = text.find_first_not_of(L" \t\r\n");
  if (a == std::wstring::npos) return L"";
  size_t b = text.find_last_not_of(L" \t\r\n");
  return text.substr(a, b - a + 1);
}

bool IsButton(ControlKind k) {
  return k == ControlKind::PushButton || k == ControlKind::DefPushButton || k == ControlKind::CheckBox ||
         k == ControlKind::RadioButton;
}

bool IsList(ControlKind k) { return k == ControlKind::DropDownList || k == ControlKind::ComboBox; }

// Controls a person answers or presses.
bool TakesInput(ControlKind k) { return IsButton(k) || IsList(k) || k == ControlKind::Edit; }

}  // namespace

ConsoleDriver& Console() {
  static ConsoleDriver console;
  return console;
}

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

// --- Dialogs --------------------------------------------------------------------

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::PushButton: return "push button";
    case ControlKind::DefPushButton: return "default push button";
    case ControlKind::CheckBox: return "check box";
    case ControlKind::RadioButton: return "radio button";
    case ControlKind::GroupBox: return "group box";
    case ControlKind::DropDownList: return "drop-down list";
    case ControlKind::ComboBox: return "combo box";
    case ControlKind::Edit: return "edit box";
    case ControlKind::StaticText: return "static text";
    case ControlKind::EtchedLine: return "etched line";
    case ControlKind::Other: break;
  }
  return "control";
}

bool Control::Automatic() const {
  DWORD type = style & BS_TYPEMASK;
  if (kind == ControlKind::CheckBox) return type == BS_AUTOCHECKBOX || type == BS_AUTO3STATE;
  if (kind == ControlKind::RadioButton) return type == BS_AUTORADIOBUTTON;
  return false;
}

std::wstring StripMnemonic(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&') {
      if (i + 1 < text.size() && text[i + 1] == L'&') out += L'&', ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}

bool SameLabel(const std::wstring& a, const std::wstring& b) {
  return Lower(StripMnemonic(Trimmed(a))) == Lower(StripMnemonic(Trimmed(b)));
}

int Dialog::IndexOf(int id) const {
  for (size_t i = 0; i < controls.size(); ++i)
    if (controls[i].id == id) return static_cast<int>(i);
  return -1;
}

std::wstring Dialog::LabelOf(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= controls.size()) return L"";
  const Control& c = controls[static_cast<size_t>(index)];
  if (c.kind != ControlKind::DropDownList && c.kind != ControlKind::ComboBox && c.kind != ControlKind::Edit)
    return c.kind == ControlKind::EtchedLine ? L"" : StripMnemonic(c.text);
  // The static text just before it in the template labels it, as its
  // mnemonic moves the focus to it; else the one to its left on its line.
  if (index > 0) {
    const Control& before = controls[static_cast<size_t>(index - 1)];
    if (before.kind == ControlKind::StaticText && !before.text.empty()) return StripMnemonic(before.text);
  }
  const int lineHeight = std::min(c.cy, 14);
  int best = -1, bestGap = 0;
  for (size_t i = 0; i < controls.size(); ++i) {
    const Control& s = controls[i];
    if (s.kind != ControlKind::StaticText || s.text.empty() || !s.Visible()) continue;
    int gap = c.x - (s.x + s.cx);
    bool sameLine = s.y < c.y + lineHeight && c.y < s.y + s.cy;
    if (gap < 0 || !sameLine) continue;
    if (best < 0 || gap < bestGap) best = static_cast<int>(i), bestGap = gap;
  }
  return best < 0 ? L"" : StripMnemonic(controls[static_cast<size_t>(best)].text);
}

int Dialog::IndexOfLabel(const std::wstring& label) const {
  int found = -1;
  for (size_t i = 0; i < controls.size(); ++i) {
    if (!TakesInput(controls[i].kind)) continue;
    if (!SameLabel(LabelOf(static_cast<int>(i)), label)) continue;
    if (found >= 0) return -2;
    found = static_cast<int>(i);
  }
  return found;
}

std::vector<int> Dialog::GroupOf(int index) const {
  std::vector<int> group;
  const int n = static_cast<int>(controls.size());
  if (index < 0 || index >= n) return group;
  int first = index;
  while (first > 0 && !controls[static_cast<size_t>(first)].Group()) --first;
  for (int i = first; i < n; ++i) {
    if (i > first && controls[static_cast<size_t>(i)].Group()) break;
    group.push_back(i);
  }
  return group;
}

bool Dialog::Usable(int index, std::string* error) const {
  std::string e;
  if (ended_)
    e = "the dialog " + Quoted(title) + " has already ended";
  else if (index < 0 || static_cast<size_t>(index) >= controls.size())
    e = "the dialog " + Quoted(title) + " has no such control";
  else if (!controls[static_cast<size_t>(index)].Visible())
    e = "control " + std::to_string(controls[static_cast<size_t>(index)].id) + " is hidden";
  else if (!controls[static_cast<size_t>(index)].Enabled())
    e = "control " + std::to_string(controls[static_cast<size_t>(index)].id) + " is disabled";
  if (e.empty()) return true;
  if (error) *error = e;
  return false;
}

bool Dialog::SetCheck(int index, bool on, std::string* error) {
  if (!Usable(index, error)) return false;
  Control& c = controls[static_cast<size_t>(index)];
  std::string name = Quoted(StripMnemonic(c.text));
  auto fail = [&](const std::string& e) {
    if (error) *error = e;
    return false;
  };
  if (c.kind != ControlKind::CheckBox && c.kind != ControlKind::RadioButton)
    return fail("control " + std::to_string(c.id) + " (" + KindName(c.kind) + ") is not a check box or radio button");
  if (!c.Automatic())
    return fail("the " + std::string(KindName(c.kind)) + " " + name + " does not change when clicked; its dialog sets it");
  if (c.kind == ControlKind::CheckBox) {
    if ((c.check == 1) == on) return true;  // already so: no click needed
    c.check = on ? 1 : 0;
  } else {
    if (!on) {
      if (c.check == 0) return true;
      return fail("the radio button " + name + " cannot be cleared; choose another button of its group");
    }
    for (int i : GroupOf(index))
      if (controls[static_cast<size_t>(i)].kind == ControlKind::RadioButton) controls[static_cast<size_t>(i)].check = 0;
    c.check = 1;
  }
  OnCommand(c.id);  // BN_CLICKED
  return true;
}

bool Dialog::Select(int index, int entry, std::string* error) {
  if (!Usable(index, error)) return false;
  Control& c = controls[static_cast<size_t>(index)];
  if (!IsList(c.kind)) {
    if (error) *error = "control " + std::to_string(c.id) + " (" + KindName(c.kind) + ") is not a list";
    return false;
  }
  if (entry < 0 || static_cast<size_t>(entry) >= c.entries.size()) {
    if (error)
      *error = "the list " + Quoted(LabelOf(index)) + " has no entry " + std::to_string(entry) + " (it has " +
               std::to_string(c.entries.size()) + ")";
    return false;
  }
  c.selection = entry;
  return true;
}

bool Dialog::SelectText(int index, const std::wstring& entry, std::string* error) {
  if (!Usable(index, error)) return false;
  Control& c = controls[static_cast<size_t>(index)];
  if (IsList(c.kind)) {
    for (size_t i = 0; i < c.entries.size(); ++i)
      if (Lower(c.entries[i]) == Lower(Trimmed(entry))) return Select(index, static_cast<int>(i), error);
    if (error) {
      std::string list;
      for (size_t i = 0; i < c.entries.size(); ++i) list += (i ? "|" : "") + Utf8(c.entries[i]);
      *error = Quoted(entry) + " is not an entry of the list " + Quoted(LabelOf(index)) + " (" + list + ")";
    }
    return false;
  }
  return Select(index, -1, error);
}

bool Dialog::Press(int id, std::string* error) {
  int index = IndexOf(id);
  if (index < 0) {
    if (error) *error = "the dialog " + Quoted(title) + " has no control with id " + std::to_string(id);
    return false;
  }
  if (!Usable(index, error)) return false;
  const Control& c = controls[static_cast<size_t>(index)];
  if (c.kind != ControlKind::PushButton && c.kind != ControlKind::DefPushButton) {
    if (error) *error = "control " + std::to_string(id) + " (" + KindName(c.kind) + ") is not a push button";
    return false;
  }
  OnCommand(id);
  return true;
}

void Dialog::Close() {
  if (!ended_) OnCommand(IDCANCEL);
}

void Dialog::End(int result) {
  ended_ = true;
  result_ = result;
}

void Dialog::OnCommand(int id) {
  if (id == IDOK || id == IDCANCEL) End(id);
}

// A driver that knows no dialogs cancels them, so nothing waits forever.
void Driver::RunDialog(Dialog& dialog) {
  dialog.Close();
  if (!dialog.ended()) dialog.End(IDCANCEL);
}

bool Driver::RunFileDialog(const FileDialogRequest&, std::wstring*) { return false; }

// --- Scripts --------------------------------------------------------------------

DialogScript DialogScript::ForTitle(const std::wstring& title) {
  DialogScript s;
  s.title = title;
  return s;
}

DialogScript DialogScript::ForTemplate(UINT id) {
  DialogScript s;
  s.templateId = id;
  return s;
}

namespace {
DialogAction MakeAction(DialogAction::Kind kind, int id, const std::wstring& label) {
  DialogAction a;
  a.kind = kind;
  a.id = id;
  a.label = label;
  return a;
}
}  // namespace

DialogScript& DialogScript::Check(int id) { return actions.push_back(MakeAction(DialogAction::kCheck, id, L"")), *this; }
DialogScript& DialogScript::Check(const std::wstring& label) {
  return actions.push_back(MakeAction(DialogAction::kCheck, 0, label)), *this;
}
DialogScript& DialogScript::Uncheck(int id) {
  return actions.push_back(MakeAction(DialogAction::kUncheck, id, L"")), *this;
}
DialogScript& DialogScript::Uncheck(const std::wstring& label) {
  return actions.push_back(MakeAction(DialogAction::kUncheck, 0, label)), *this;
}
DialogScript& DialogScript::Select(int id, int entry) {
  DialogAction a = MakeAction(DialogAction::kSelect, id, L"");
  a.entry = entry;
  return actions.push_back(a), *this;
}
DialogScript& DialogScript::Select(int id, const std::wstring& entry) {
  DialogAction a = MakeAction(DialogAction::kSelect, id, L"");
  a.entryText = entry;
  return actions.push_back(a), *this;
}
DialogScript& DialogScript::Select(const std::wstring& label, const std::wstring& entry) {
  DialogAction a = MakeAction(DialogAction::kSelect, 0, label);
  a.entryText = entry;
  return actions.push_back(a), *this;
}
DialogScript& DialogScript::Press(int id) { return actions.push_back(MakeAction(DialogAction::kPress, id, L"")), *this; }
DialogScript& DialogScript::Press(const std::wstring& label) {
  return actions.push_back(MakeAction(DialogAction::kPress, 0, label)), *this;
}
DialogScript& DialogScript::Close() { return actions.push_back(MakeAction(DialogAction::kClose, 0, L"")), *this; }
DialogScript& DialogScript::Inspect(std::function<void(Dialog&)> look) {
  DialogAction a = MakeAction(DialogAction::kInspect, 0, L"");
  a.inspect = std::move(look);
  return actions.push_back(a), *this;
}

namespace {

// The control an action names, or -1 with `error` set.
int Target(const Dialog& dialog, const DialogAction& a, std::string* error) {
  if (!a.label.empty()) {
    int index = dialog.IndexOfLabel(a.label);
    if (index == -1) *error = "the dialog " + Quoted(dialog.title) + " has no control labelled " + Quoted(a.label);
    if (index == -2) *error = "the dialog " + Quoted(dialog.title) + " has several controls labelled " + Quoted(a.label);
    return index < 0 ? -1 : index;
  }
  int index = dialog.IndexOf(a.id);
  if (index < 0) *error = "the dialog " + Quoted(dialog.title) + " has no control with id " + std::to_string(a.id);
  return index;
}

bool Perform(Dialog& dialog, const DialogAction& a, std::string* error) {
  if (a.kind == DialogAction::kInspect) {
    if (a.inspect) a.inspect(dialog);
    return true;
  }
  if (a.kind == DialogAction::kClose) {
    dialog.Close();
    return true;
  }
  int index = Target(dialog, a, error);
  if (index < 0) return false;
  switch (a.kind) {
    case DialogAction::kCheck: return dialog.SetCheck(index, true, error);
    case DialogAction::kUncheck: return dialog.SetCheck(index, false, error);
    case DialogAction::kSelect:
      return a.entryText.empty() ? dialog.Select(index, a.entry, error) : dialog.SelectText(index, a.entryText, error);
    case DialogAction::kPress: return dialog.Press(dialog.controls[static_cast<size_t>(index)].id, error);
    default: return false;
  }
}

// Cancels a dialog that is still open, whatever its OnCancel does.
void EnsureEnded(Dialog& dialog) {
  dialog.Close();
  if (!dialog.ended()) dialog.End(IDCANCEL);
}

}  // namespace

void ScriptedDriver::RunDialog(Dialog& dialog) {
  DialogRecord record;
  record.title = dialog.title;
  record.templateId = dialog.templateId;
  record.owner = dialog.owner;
  record.opened = dialog.controls;

  auto match = std::find_if(dialogAnswers.begin(), dialogAnswers.end(), [&](const DialogScript& s) {
    return (!s.title.empty() && s.title == dialog.title) || (s.templateId != 0 && s.templateId == dialog.templateId);
  });
  if (match != dialogAnswers.end()) {
    DialogScript script = *match;
    dialogAnswers.erase(match);
    record.scripted = true;
    for (const DialogAction& a : script.actions) {
      std::string error;
      if (dialog.ended())
        error = "a step of the script comes after the dialog " + Quoted(dialog.title) + " ended";
      else if (Perform(dialog, a, &error))
        continue;
      record.errors.push_back(error);
      std::fprintf(stderr, "scripted dialog: %s; the dialog is cancelled\n", error.c_str());
      break;
    }
  }
  if (!dialog.ended()) {
    record.leftOpen = record.scripted && record.errors.empty();
    EnsureEnded(dialog);
  }
  record.closed = dialog.controls;
  record.result = dialog.result();

  Event e;
  e.what = "dialog";
  e.id = static_cast<int>(dialog.templateId);
  e.owner = dialog.owner;
  e.title = dialog.title;
  e.value = dialog.result();
  events.push_back(e);
  dialogs.push_back(std::move(record));
}

bool ScriptedDriver::RunFileDialog(const FileDialogRequest& request, std::wstring* path) {
  FileDialogRecord record;
  record.request = request;
  if (!fileAnswers.empty()) {
    FileAnswer answer = fileAnswers.front();
    fileAnswers.pop_front();
    record.chosen = !answer.cancel;
    record.path = answer.path;
  }
  Event e;
  e.what = "filedialog";
  e.owner = request.owner;
  e.title = request.title;
  e.text = record.path;
  e.flags = request.flags;
  e.value = record.chosen ? 1 : 0;
  events.push_back(e);
  fileDialogs.push_back(record);
  if (record.chosen && path) *path = record.path;
  return record.chosen;
}

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

// --- Console dialogs ------------------------------------------------------------

std::string ConsoleDriver::Render(const Dialog& dialog) {
  std::vector<size_t> order;
  std::vector<bool> isLabel(dialog.controls.size(), false);
  for (size_t i = 0; i < dialog.controls.size(); ++i) {
    const Control& c = dialog.controls[i];
    if (!c.Visible()) continue;
    order.push_back(i);
    if (IsList(c.kind) || c.kind == ControlKind::Edit) {
      std::wstring label = dialog.LabelOf(static_cast<int>(i));
      for (size_t j = 0; j < dialog.controls.size() && !label.empty(); ++j) {
        const Control& s = dialog.controls[j];
        if (s.kind == ControlKind::StaticText && StripMnemonic(s.text) == label) {
          isLabel[j] = true;
          break;
        }
      }
    }
  }
  // As a person reads it: top to bottom, then left to right.
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const Control& ca = dialog.controls[a];
    const Control& cb = dialog.controls[b];
    return ca.y != cb.y ? ca.y < cb.y : ca.x < cb.x;
  });

  std::string out = "[" + Utf8(dialog.title) + "]\n";
  std::string line;
  int lineY = 0;
  bool buttonLine = false;
  auto flush = [&]() {
    if (!line.empty()) out += "  " + line + "\n";
    line.clear();
    buttonLine = false;
  };
  for (size_t i : order) {
    const Control& c = dialog.controls[i];
    if (isLabel[i]) continue;
    std::string text = Utf8(StripMnemonic(c.text));
    std::string item;
    bool isPush = c.kind == ControlKind::PushButton || c.kind == ControlKind::DefPushButton;
    switch (c.kind) {
      case ControlKind::PushButton: item = "[" + text + "]"; break;
      case ControlKind::DefPushButton: item = "<" + text + ">"; break;
      case ControlKind::CheckBox: item = std::string(c.check == 1 ? "[x] " : c.check == 2 ? "[-] " : "[ ] ") + text; break;
      case ControlKind::RadioButton: item = std::string(c.check ? "(*) " : "( ) ") + text; break;
      case ControlKind::GroupBox: item = "-- " + text + " --"; break;
      case ControlKind::DropDownList:
      case ControlKind::ComboBox: {
        std::string label = Utf8(dialog.LabelOf(static_cast<int>(i)));
        std::string selected = c.selection >= 0 && static_cast<size_t>(c.selection) < c.entries.size()
                                   ? Utf8(c.entries[static_cast<size_t>(c.selection)]) + " "
                                   : "";
        std::string list;
        for (size_t k = 0; k < c.entries.size(); ++k) list += (k ? "|" : "") + Utf8(c.entries[k]);
        item = (label.empty() ? "" : label + ": ") + "[" + selected + "v] (" + list + ")";
        break;
      }
      case ControlKind::Edit: {
        std::string label = Utf8(dialog.LabelOf(static_cast<int>(i)));
        item = (label.empty() ? "" : label + ": ") + "[" + text + "]";
        break;
      }
      case ControlKind::StaticText: item = text; break;
      case ControlKind::EtchedLine: item = std::string(20, '-'); break;
      case ControlKind::Other: item = Utf8(c.className) + (text.empty() ? "" : " " + text); break;
    }
    if (!c.Enabled()) item += " (disabled)";
    // Push buttons side by side on one row share a line.
    if (isPush && buttonLine && c.y == lineY) {
      line += "  " + item;
      continue;
    }
    flush();
    line = item;
    buttonLine = isPush;
    lineY = c.y;
  }
  flush();
  return out;
}

bool ConsoleDriver::Apply(Dialog& dialog, const std::wstring& answer, std::string* error) {
  size_t eq = answer.find(L'=');
  if (eq == std::wstring::npos) {
    *error = "the answer " + Quoted(answer) + " is not of the form LABEL=VALUE";
    return false;
  }
  std::wstring label = Trimmed(answer.substr(0, eq));
  std::wstring value = Trimmed(answer.substr(eq + 1));
  int index = dialog.IndexOfLabel(label);
  if (index == -1) {
    *error = "the dialog " + Quoted(dialog.title) + " has no control labelled " + Quoted(label);
    return false;
  }
  if (index == -2) {
    *error = "the dialog " + Quoted(dialog.title) + " has several controls labelled " + Quoted(label);
    return false;
  }
  const Control& c = dialog.controls[static_cast<size_t>(index)];
  if (c.kind == ControlKind::CheckBox || c.kind == ControlKind::RadioButton) {
    std::wstring v = Lower(value);
    if (v != L"on" && v != L"off") {
      *error = "the " + std::string(KindName(c.kind)) + " " + Quoted(label) + " takes on or off, not " + Quoted(value);
      return false;
    }
    return dialog.SetCheck(index, v == L"on", error);
  }
  if (IsList(c.kind)) return dialog.SelectText(index, value, error);
  *error = "the " + std::string(KindName(c.kind)) + " " + Quoted(label) +
           " takes no answer; answers set check boxes, radio buttons and lists";
  return false;
}

bool ConsoleDriver::CanAsk() const {
  if (!interactive_) return false;
  return inputSet_ ? in_ != nullptr : true;
}

bool ConsoleDriver::InputIsTerminal() const { return inputSet_ ? inputTerminal_ : isatty(STDIN_FILENO) != 0; }

bool ConsoleDriver::ReadLine(std::string* line) {
  FILE* in = inputSet_ ? in_ : stdin;
  if (!in) return false;
  line->clear();
  int ch;
  while ((ch = std::fgetc(in)) != EOF && ch != '\n') line->push_back(static_cast<char>(ch));
  const bool got = ch != EOF || !line->empty();
  if (!line->empty() && line->back() == '\r') line->pop_back();
  // A terminal shows what the person types; input from elsewhere is shown
  // here, so that the transcript reads as a conversation.
  if (!InputIsTerminal()) std::fprintf(stderr, "%s\n", got ? line->c_str() : "(end of input)");
  return got;
}

void ConsoleDriver::Refuse(Dialog& dialog, const std::string& shown, const std::string& error) {
  if (answerError_.empty()) answerError_ = error;
  std::fputs(shown.c_str(), stderr);
  std::fprintf(stderr, "error: %s; the dialog is cancelled\n", error.c_str());
  EnsureEnded(dialog);
  std::fprintf(stderr, "[%s] cancelled\n", Utf8(dialog.title).c_str());
}

void ConsoleDriver::RunDialog(Dialog& dialog) {
  std::string error;
  // Shown with a refusal, so that the person sees the labels there are.
  const std::string opened = Render(dialog);
  for (const std::wstring& answer : answers_) {
    if (!Apply(dialog, answer, &error)) return Refuse(dialog, opened, error);
  }
  // As it will be confirmed: with the answers given.
  std::fputs(Render(dialog).c_str(), stderr);
  if (CanAsk()) {
    const bool terminal = InputIsTerminal();
    while (!dialog.ended()) {
      std::fputs("answer LABEL=VALUE, Enter for OK, \"cancel\" to cancel> ", stderr);
      std::fflush(stderr);
      std::string line;
      if (!ReadLine(&line)) {
        std::fputs("the input ended before OK\n", stderr);
        dialog.Close();
        break;
      }
      const std::wstring typed = Trimmed(FromUtf8(line));
      if (Lower(typed) == L"cancel") {
        dialog.Close();
        break;
      }
      if (typed.empty()) {
        if (!dialog.Press(IDOK, &error)) std::fprintf(stderr, "error: %s\n", error.c_str());
        if (!dialog.ended()) std::fputs("the dialog stays open\n", stderr);
      } else if (!Apply(dialog, typed, &error)) {
        // Nobody is there to try again when the answers come from a file.
        if (!terminal) return Refuse(dialog, "", error);
        std::fprintf(stderr, "error: %s\n", error.c_str());
        continue;
      }
      if (!dialog.ended()) std::fputs(Render(dialog).c_str(), stderr);
    }
  } else {
    if (!dialog.Press(IDOK, &error)) std::fprintf(stderr, "error: %s\n", error.c_str());
    if (!dialog.ended())
      std::fprintf(stderr, "error: the dialog %s stays open after OK; it is cancelled\n", Quoted(dialog.title).c_str());
  }
  if (!dialog.ended()) EnsureEnded(dialog);
  std::fprintf(stderr, "[%s] %s\n", Utf8(dialog.title).c_str(),
               dialog.result() == IDOK ? "OK" : dialog.result() == IDCANCEL ? "cancelled"
                                                                            : std::to_string(dialog.result()).c_str());
}

bool ConsoleDriver::RunFileDialog(const FileDialogRequest& request, std::wstring* path) {
  std::string filters;
  for (const auto& f : request.filters) filters += (filters.empty() ? "" : ", ") + Utf8(f.first) + " " + Utf8(f.second);
  std::fprintf(stderr, "[%s] %s%s\n", Utf8(request.title).c_str(), filters.c_str(),
               request.initialName.empty() ? "" : (", name " + Utf8(request.initialName)).c_str());
  std::wstring chosen;
  if (hasFilePath_) {
    chosen = filePath_;
  } else if (CanAsk()) {
    std::fputs("file name (Enter to cancel)> ", stderr);
    std::fflush(stderr);
    std::string line;
    if (ReadLine(&line)) chosen = Trimmed(FromUtf8(line));
  }
  if (chosen.empty()) {
    std::fprintf(stderr, "[%s] cancelled\n", Utf8(request.title).c_str());
    return false;
  }
  std::fprintf(stderr, "[%s] %s\n", Utf8(request.title).c_str(), Utf8(chosen).c_str());
  if (path) *path = chosen;
  return true;
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

// The one UI driver behind every window the system shows: message boxes, the
// progress display, the About box, the shell's "open", modal dialogs and the
// file dialog.
// Tests install a ScriptedDriver; the command line a ConsoleDriver.
#pragma once

#include <windows.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace stand_in {
namespace ui {

// --- Modal dialogs ----------------------------------------------------------------

enum class ControlKind {
  PushButton,
  DefPushButton,
  CheckBox,      // BS_CHECKBOX, BS_AUTOCHECKBOX, BS_3STATE, BS_AUTO3STATE
  RadioButton,   // BS_RADIOBUTTON, BS_AUTORADIOBUTTON
  GroupBox,
  DropDownList,  // CBS_DROPDOWNLIST
  ComboBox,      // the editable kinds
  Edit,
  StaticText,    // SS_LEFT, SS_CENTER, SS_RIGHT
  EtchedLine,    // SS_ETCHEDHORZ, SS_ETCHEDVERT, SS_ETCHEDFRAME
  Other,
};
const char* KindName(ControlKind kind);

// One control of a dialog, as the window system holds it.
struct Control {
  int id = 0;
  ControlKind kind = ControlKind::Other;
  std::wstring className;  // "Button", "Edit", "Static", "ComboBox", or the template's own
  std::wstring text;       // the label or window text, '&' mnemonics as written
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  int check = 0;                     // BST_UNCHECKED 0, BST_CHECKED 1, BST_INDETERMINATE 2
  std::vector<std::wstring> entries;  // list of a combo box
  int selection = -1;                 // selected entry, -1 for none

  bool Visible() const { return (style & WS_VISIBLE) != 0; }
  bool Enabled() const { return (style & WS_DISABLED) == 0; }
  bool Group() const { return (style & WS_GROUP) != 0; }
  // Buttons that change their own state when clicked.
  bool Automatic() const;
};

// A modal dialog while it runs: the driver inspects it and acts on it as a
// person would; the dialog's code reacts through OnCommand.
class Dialog {
 public:
  virtual ~Dialog() = default;

  std::wstring title;
  UINT templateId = 0;
  HWND hwnd = nullptr;
  HWND owner = nullptr;
  DWORD style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::vector<Control> controls;  // in template order, which is the tab order

  // The first control with `id`, or -1.
  int IndexOf(int id) const;
  // The control a person acts on that is known by `label`, '&' and letter
  // case ignored: a button's own text, or for a list or edit box the static
  // text that labels it (the one just before it in the template, else the one
  // to its left on its line). -1 when none, -2 when several match.
  int IndexOfLabel(const std::wstring& label) const;
  // What a person reads as the control's name ("" for none), '&' removed.
  std::wstring LabelOf(int index) const;
  // The controls of the group of `index`: from the nearest control at or
  // before it with WS_GROUP up to the next one with WS_GROUP.
  std::vector<int> GroupOf(int index) const;

  // What a person can do. Each returns false with `error` set when a person
  // could not do it (no such control, hidden, disabled, wrong kind, no such
  // entry, a dialog that has ended); nothing changes then.
  bool SetCheck(int index, bool on, std::string* error);
  bool Select(int index, int entry, std::string* error);
  bool SelectText(int index, const std::wstring& entry, std::string* error);
  bool Press(int id, std::string* error);  // a push button, by control id
  void Close();                            // Esc or the close box: IDCANCEL

  // The dialog's code ends it.
  void End(int result);
  bool ended() const { return ended_; }
  int result() const { return result_; }

 protected:
  // A command from a control or from the keyboard: IDOK, IDCANCEL, or the id
  // of a push button. The default ends the dialog on IDOK and IDCANCEL.
  virtual void OnCommand(int id);

 private:
  bool Usable(int index, std::string* error) const;
  bool ended_ = false;
  int result_ = 0;
};

// Label matching: '&' removed ("&&" is a literal '&'), letter case ignored.
std::wstring StripMnemonic(const std::wstring& text);
bool SameLabel(const std::wstring& a, const std::wstring& b);

// A file dialog's arguments as the person sees them.
struct FileDialogRequest {
  bool open = true;            // Open, else Save As
  std::wstring title;          // "Open" or "Save As" unless the program gave one
  std::vector<std::pair<std::wstring, std::wstring>> filters;  // (description, pattern)
  std::wstring defaultExtension;
  DWORD flags = 0;
  std::wstring initialName;
  HWND owner = nullptr;
};

// --- The driver --------------------------------------------------------------------

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

  // A modal dialog, shown after its initialisation. Returns once the dialog
  // has ended; a driver that cannot answer closes it (IDCANCEL).
  virtual void RunDialog(Dialog& dialog);
  // The file dialog. True with `path` set when a file was chosen, false when
  // cancelled.
  virtual bool RunFileDialog(const FileDialogRequest& request, std::wstring* path);
};

// The installed driver; the console driver until another is installed.
Driver& Current();
// Installs `driver` (not owned; null restores the console driver) and
// returns the one it replaces.
Driver* Install(Driver* driver);

// --- Scripted ----------------------------------------------------------------------

// What a scripted driver saw, in order.
struct Event {
  std::string what;  // "messagebox", "progress.open", ..., "dialog", "filedialog"
  int id = 0;
  HWND owner = nullptr;
  std::wstring text;
  std::wstring title;
  UINT flags = 0;
  double value = 0.0;
  double value2 = 0.0;
};

// One step of a scripted answer to a dialog. A control is named by its id or
// by its label.
struct DialogAction {
  enum Kind { kCheck, kUncheck, kSelect, kPress, kClose, kInspect } kind = kPress;
  int id = 0;
  std::wstring label;       // used when not empty
  int entry = -1;           // kSelect by index when entryText is empty
  std::wstring entryText;
  std::function<void(Dialog&)> inspect;
};

// The answer to the next dialog with this title (or template id).
struct DialogScript {
  std::wstring title;  // matches when not empty
  UINT templateId = 0;  // matches when not 0

  static DialogScript ForTitle(const std::wstring& title);
  static DialogScript ForTemplate(UINT id);

  DialogScript& Check(int id);
  DialogScript& Check(const std::wstring& label);
  DialogScript& Uncheck(int id);
  DialogScript& Uncheck(const std::wstring& label);
  DialogScript& Select(int id, int entry);
  DialogScript& Select(int id, const std::wstring& entry);
  DialogScript& Select(const std::wstring& label, const std::wstring& entry);
  DialogScript& Press(int id);  // a push button; IDOK runs the dialog's OK
  DialogScript& Press(const std::wstring& label);
  DialogScript& Close();
  // Looks at (or acts on) the live dialog at this point of the script.
  DialogScript& Inspect(std::function<void(Dialog&)> look);

  std::vector<DialogAction> actions;
};

// A dialog as it was shown.
struct DialogRecord {
  std::wstring title;
  UINT templateId = 0;
  HWND owner = nullptr;
  std::vector<Control> opened;  // the controls as the user saw them at opening
  std::vector<Control> closed;  // and as they were when the dialog ended
  int result = 0;
  bool scripted = false;       // a script answered it
  bool leftOpen = false;       // still open when the answer ran out: cancelled
  std::vector<std::string> errors;  // script steps that could not be done
};

struct FileDialogRecord {
  FileDialogRequest request;
  bool chosen = false;
  std::wstring path;
};

class ScriptedDriver : public Driver {
 public:
  ScriptedDriver();            // installs itself
  ~ScriptedDriver() override;  // restores the driver it replaced

  std::vector<Event> events;
  std::deque<int> boxAnswers;  // answers for the next boxes; IDOK when empty
  // Answers for dialogs: the first script that matches a dialog answers it.
  // A dialog no script matches is cancelled; one left open when its script
  // runs out is cancelled too, so that a test never hangs.
  std::deque<DialogScript> dialogAnswers;
  // Answers for file dialogs in turn: a path or a cancel. A file dialog is
  // cancelled when none is left.
  struct FileAnswer {
    bool cancel = true;
    std::wstring path;
  };
  std::deque<FileAnswer> fileAnswers;
  void ChooseFile(const std::wstring& path) { fileAnswers.push_back({false, path}); }
  void CancelFile() { fileAnswers.push_back({true, L""}); }

  std::vector<DialogRecord> dialogs;
  std::vector<FileDialogRecord> fileDialogs;

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
  void ShellOpen(const std::wstring& file) override;                 // "shell.open", text = file
  void ShowAbout(const std::wstring& caption, HWND owner) override;  // "about", text = caption
  void RunDialog(Dialog& dialog) override;        // "dialog", title, id = template id, value = result
  bool RunFileDialog(const FileDialogRequest& request, std::wstring* path) override;  // "filedialog", text = path

 private:
  Driver* previous_;
};

// --- Console -----------------------------------------------------------------------

// Boxes and dialogs on standard error; progress as a bar when standard error
// is a terminal, nothing otherwise.
//
// A dialog is answered from the answers given on the command line
// ("Units=Feet", "Show progress=off": a control's label, '&' and letter case
// ignored, and its value: on or off for a check box or radio button, an
// entry's text for a list), then shown as it stands, then OK is pressed.
// With interactive answering on, further answers are read first: typed by a
// person at a terminal, who may try again after a mistake, or line by line
// from any other input, which is shown as it is read. An empty line is OK;
// "cancel" or the end of the input cancels. An answer that names no control
// or holds an impossible value, given on the command line or read from
// input that is no terminal, is printed as an error, cancels the dialog and
// is kept in AnswerError().
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
  void RunDialog(Dialog& dialog) override;
  bool RunFileDialog(const FileDialogRequest& request, std::wstring* path) override;

  // LABEL=VALUE answers for every dialog shown.
  void SetAnswers(const std::vector<std::wstring>& answers) { answers_ = answers; }
  // The path the file dialog answers with; none (the default) cancels it
  // unless a person can be asked.
  void SetFilePath(const std::wstring& path) {
    filePath_ = path;
    hasFilePath_ = true;
  }
  // Reads answers from the input before OK.
  void SetInteractive(bool on) { interactive_ = on; }
  // Where typed answers come from, and whether it counts as a terminal
  // (standard input and isatty by default).
  void SetInput(FILE* in, bool terminal) {
    in_ = in;
    inputTerminal_ = terminal;
    inputSet_ = true;
  }

  // The dialog as the console shows it, one line per control.
  static std::string Render(const Dialog& dialog);
  // Applies one LABEL=VALUE answer; false with `error` set when impossible.
  static bool Apply(Dialog& dialog, const std::wstring& answer, std::string* error);

  // The first answer that could not be given, as its error; empty when none.
  const std::string& AnswerError() const { return answerError_; }

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
  bool CanAsk() const;
  bool InputIsTerminal() const;
  bool ReadLine(std::string* line);
  void Refuse(Dialog& dialog, const std::string& shown, const std::string& error);
  std::vector<Bar> bars_;
  std::vector<std::wstring> answers_;
  std::wstring filePath_;
  bool hasFilePath_ = false;
  bool interactive_ = false;
  FILE* in_ = nullptr;
  bool inputTerminal_ = false;
  bool inputSet_ = false;
  std::string answerError_;
};

// The console driver that serves when no other is installed, for the command
// line to configure.
ConsoleDriver& Console();

}  // namespace ui
}  // namespace stand_in

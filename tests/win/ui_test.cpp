#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

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

// --- Dialogs ---------------------------------------------------------------------

namespace {

using stand_in::ui::Control;
using stand_in::ui::ControlKind;
using stand_in::ui::Dialog;
using stand_in::ui::DialogScript;

Control Make(int id, ControlKind kind, const wchar_t* text, DWORD style, int x, int y, int cx, int cy) {
  Control c;
  c.id = id;
  c.kind = kind;
  c.text = text;
  c.style = WS_CHILD | WS_VISIBLE | style;
  c.x = x, c.y = y, c.cx = cx, c.cy = cy;
  return c;
}

// The options dialog's controls in their template order, as a dialog would
// be built from its template.
class OptionsLike : public Dialog {
 public:
  OptionsLike() {
    title = L"Tessaly for SolidWorks";
    templateId = 209;
    controls = {
        Make(1022, ControlKind::RadioButton, L"Solid in a part document", BS_AUTORADIOBUTTON | WS_GROUP, 67, 7, 92, 10),
        Make(1023, ControlKind::RadioButton, L"3D sketch in a part document", BS_AUTORADIOBUTTON, 67, 20, 109, 10),
        Make(1024, ControlKind::DropDownList, L"", CBS_DROPDOWNLIST | WS_TABSTOP, 67, 35, 64, 94),
        Make(1028, ControlKind::CheckBox, L"Create multibody part (in case of multiple meshes)", BS_AUTOCHECKBOX, 7, 54,
             170, 10),
        Make(202, ControlKind::CheckBox, L"Y axis points upwards", BS_AUTOCHECKBOX, 7, 69, 84, 10),
        Make(1027, ControlKind::CheckBox, L"Show progress", BS_AUTOCHECKBOX, 7, 85, 63, 10),
        Make(IDOK, ControlKind::DefPushButton, L"&OK", BS_DEFPUSHBUTTON, 38, 112, 50, 14),
        Make(IDCANCEL, ControlKind::PushButton, L"&Cancel", BS_PUSHBUTTON, 96, 112, 50, 14),
        Make(-1, ControlKind::StaticText, L"Import meshes as", WS_GROUP, 7, 7, 56, 8),
        Make(-1, ControlKind::StaticText, L"Units", 0, 7, 35, 17, 8),
        Make(-1, ControlKind::EtchedLine, L"", SS_ETCHEDHORZ, 7, 102, 169, 1),
    };
    controls[0].check = 1;
    controls[2].entries = {L"Millimeters", L"Centimeters", L"Meters", L"Inches", L"Feet"};
    controls[2].selection = 3;
    controls[3].check = controls[4].check = controls[5].check = 1;
  }
  const Control& Get(int id) const { return controls.at(static_cast<size_t>(IndexOf(id))); }

  // OK refused while `refuseOk`, as a dialog whose data do not validate.
  bool refuseOk = false;
  int commands = 0;

 protected:
  void OnCommand(int id) override {
    ++commands;
    if (id == IDOK && refuseOk) return;
    Dialog::OnCommand(id);
  }
};

const char* const kShown =
    "[Tessaly for SolidWorks]\n"
    "  Import meshes as\n"
    "  (*) Solid in a part document\n"
    "  ( ) 3D sketch in a part document\n"
    "  Units: [Inches v] (Millimeters|Centimeters|Meters|Inches|Feet)\n"
    "  [x] Create multibody part (in case of multiple meshes)\n"
    "  [x] Y axis points upwards\n"
    "  [x] Show progress\n"
    "  --------------------\n"
    "  <OK>  [Cancel]\n";

TEST(ConsoleDialog, ShowsTheDialogAsAPersonSeesIt) {
  OptionsLike d;
  EXPECT_EQ(stand_in::ui::ConsoleDriver::Render(d), kShown);
  d.controls[2].selection = -1;
  d.controls[0].check = 0;
  d.controls[5].check = 0;
  std::string shown = stand_in::ui::ConsoleDriver::Render(d);
  EXPECT_NE(shown.find("  ( ) Solid in a part document\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("  Units: [v] (Millimeters|"), std::string::npos) << shown;
  EXPECT_NE(shown.find("  [ ] Show progress\n"), std::string::npos) << shown;
}

TEST(ConsoleDialog, AnswersByLabelThenOk) {
  stand_in::ui::ConsoleDriver console;
  console.SetAnswers({L"units=feet", L"3D sketch in a part document=on", L"Y AXIS points upwards = off", L"&OK=x"});
  OptionsLike d;
  testing::internal::CaptureStderr();
  console.RunDialog(d);
  std::string err = testing::internal::GetCapturedStderr();
  // The last answer names a button: the whole dialog is refused.
  EXPECT_TRUE(d.ended());
  EXPECT_EQ(d.result(), IDCANCEL);
  EXPECT_NE(err.find("error: the default push button \"&OK\" takes no answer"), std::string::npos) << err;
  EXPECT_EQ(console.AnswerError(), "the default push button \"&OK\" takes no answer; answers set check boxes, "
                                   "radio buttons and lists");
  EXPECT_EQ(err.substr(0, std::strlen(kShown)), kShown) << "the labels there are, with the refusal";

  stand_in::ui::ConsoleDriver good;
  good.SetAnswers({L"units=feet", L"3D sketch in a part document=on", L"Y AXIS points upwards = off",
                   L"Show &progress=on"});
  OptionsLike e;
  testing::internal::CaptureStderr();
  good.RunDialog(e);
  err = testing::internal::GetCapturedStderr();
  // Shown as it is confirmed, with the answers in it.
  EXPECT_EQ(err,
            "[Tessaly for SolidWorks]\n"
            "  Import meshes as\n"
            "  ( ) Solid in a part document\n"
            "  (*) 3D sketch in a part document\n"
            "  Units: [Feet v] (Millimeters|Centimeters|Meters|Inches|Feet)\n"
            "  [x] Create multibody part (in case of multiple meshes)\n"
            "  [ ] Y axis points upwards\n"
            "  [x] Show progress\n"
            "  --------------------\n"
            "  <OK>  [Cancel]\n"
            "[Tessaly for SolidWorks] OK\n");
  EXPECT_EQ(good.AnswerError(), "");
  EXPECT_EQ(e.result(), IDOK);
  EXPECT_EQ(e.Get(1024).selection, 4);
  EXPECT_EQ(e.Get(1022).check, 0);
  EXPECT_EQ(e.Get(1023).check, 1);
  EXPECT_EQ(e.Get(202).check, 0);
  EXPECT_EQ(e.Get(1027).check, 1);
  EXPECT_NE(err.find("[Tessaly for SolidWorks] OK\n"), std::string::npos) << err;
}

TEST(ConsoleDialog, ImpossibleAnswersAreClearErrorsThatCancel) {
  struct Case {
    const wchar_t* answer;
    const char* error;
  } cases[] = {
      {L"Colour=red", "has no control labelled \"Colour\""},
      {L"Import meshes as=on", "has no control labelled \"Import meshes as\""},  // a static text takes none
      {L"Units=Yards", "\"Yards\" is not an entry of the list \"Units\" (Millimeters|Centimeters|Meters|Inches|Feet)"},
      {L"Show progress=maybe", "takes on or off, not \"maybe\""},
      {L"Solid in a part document=off", "cannot be cleared"},
      {L"Show progress", "not of the form LABEL=VALUE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    stand_in::ui::ConsoleDriver console;
    console.SetAnswers({L"Units=Feet", c.answer});
    OptionsLike d;
    testing::internal::CaptureStderr();
    console.RunDialog(d);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(d.result(), IDCANCEL);
    EXPECT_NE(err.find(c.error), std::string::npos) << err;
    EXPECT_NE(err.find("the dialog is cancelled"), std::string::npos) << err;
    EXPECT_NE(console.AnswerError().find(c.error), std::string::npos) << "kept for the caller";
  }
}

TEST(ConsoleDialog, ADialogThatStaysOpenAfterOkIsCancelled) {
  stand_in::ui::ConsoleDriver console;
  OptionsLike d;
  d.refuseOk = true;
  testing::internal::CaptureStderr();
  console.RunDialog(d);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(d.result(), IDCANCEL);
  EXPECT_NE(err.find("stays open after OK"), std::string::npos) << err;
}

// Typed answers from a stream that stands for a terminal.
struct Typed {
  explicit Typed(const char* text) : file(fmemopen(const_cast<char*>(text), std::strlen(text), "r")) {}
  ~Typed() {
    if (file) std::fclose(file);
  }
  FILE* file;
};

// Runs the dialog on `console`, which reads `input` (a terminal or not) when
// it answers interactively; what it printed.
std::string RunReading(stand_in::ui::ConsoleDriver& console, Dialog& dialog, const char* input, bool terminal) {
  Typed typed(input);
  console.SetInput(typed.file, terminal);
  testing::internal::CaptureStderr();
  console.RunDialog(dialog);
  return testing::internal::GetCapturedStderr();
}

TEST(ConsoleDialog, APersonAtATerminalAnswersAndRetriesAfterAnError) {
  stand_in::ui::ConsoleDriver console;
  console.SetInteractive(true);
  OptionsLike d;
  const std::string err = RunReading(console, d, "Units=Yards\nUnits=Meters\n\n", true);
  EXPECT_EQ(d.result(), IDOK);
  EXPECT_EQ(d.Get(1024).selection, 2);
  EXPECT_NE(err.find("error: \"Yards\" is not an entry"), std::string::npos) << err;
  EXPECT_NE(err.find("Units: [Meters v]"), std::string::npos) << err;
}

TEST(ConsoleDialog, InputThatIsNoTerminalIsReadLineByLineAndNeverPressesOkByItself) {
  struct Case {
    const char* input;
    int result;
    int units;                // the list's selection afterwards
    const char* shown;        // on standard error
    const char* answerError;  // kept for the caller
  } cases[] = {
      {"Units=Meters\n\n", IDOK, 2, "> Units=Meters\n", ""},
      {"Units=Meters\n", IDCANCEL, 2, "the input ended before OK", ""},
      {"", IDCANCEL, 3, "(end of input)\nthe input ended before OK", ""},
      {"cancel\n\n", IDCANCEL, 3, "> cancel\n", ""},
      // Nobody can try again: a wrong answer refuses the dialog.
      {"Units=Yards\nUnits=Meters\n\n", IDCANCEL, 3, "error: \"Yards\" is not an entry",
       "\"Yards\" is not an entry of the list \"Units\" (Millimeters|Centimeters|Meters|Inches|Feet)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    stand_in::ui::ConsoleDriver console;
    console.SetInteractive(true);
    OptionsLike d;
    const std::string err = RunReading(console, d, c.input, false);
    EXPECT_EQ(d.result(), c.result) << err;
    EXPECT_EQ(d.Get(1024).selection, c.units);
    EXPECT_NE(err.find(c.shown), std::string::npos) << err;
    EXPECT_EQ(console.AnswerError(), c.answerError);
  }
}

TEST(ConsoleDialog, WithoutInteractiveAnsweringNothingIsReadAndTheEndOfATerminalCancels) {
  {
    stand_in::ui::ConsoleDriver console;  // not asked to read the input
    OptionsLike d;
    RunReading(console, d, "Units=Meters\n\n", true);
    EXPECT_EQ(d.result(), IDOK);
    EXPECT_EQ(d.Get(1024).selection, 3);
  }
  {
    stand_in::ui::ConsoleDriver console;
    console.SetInteractive(true);
    OptionsLike d;
    RunReading(console, d, "Units=Meters\n", true);
    EXPECT_EQ(d.result(), IDCANCEL) << "the input ended before OK";
  }
}

TEST(ConsoleFileDialog, PresetPathTypedPathOrCancel) {
  stand_in::ui::FileDialogRequest request;
  request.title = L"Open";
  request.filters = {{L"3D Studio 3DS Files (*.3ds)", L"*.3ds"}};
  std::wstring path;
  {
    stand_in::ui::ConsoleDriver console;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(console.RunFileDialog(request, &path));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("[Open] cancelled"), std::string::npos);
  }
  {
    stand_in::ui::ConsoleDriver console;
    console.SetFilePath(L"D:\\Models\\Chair.3DS");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(console.RunFileDialog(request, &path));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(path, L"D:\\Models\\Chair.3DS");
    EXPECT_NE(err.find("[Open] 3D Studio 3DS Files (*.3ds) *.3ds"), std::string::npos) << err;
  }
  {
    Typed typed("D:\\typed.3ds\n");
    stand_in::ui::ConsoleDriver console;
    console.SetInteractive(true);
    console.SetInput(typed.file, true);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(console.RunFileDialog(request, &path));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(path, L"D:\\typed.3ds");
  }
}

TEST(ScriptedDialog, NoScriptCancelsAndRecordsWhatWasShown) {
  ScriptedDriver ui;
  OptionsLike d;
  Current().RunDialog(d);
  EXPECT_EQ(d.result(), IDCANCEL);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_FALSE(ui.dialogs[0].scripted);
  EXPECT_EQ(ui.dialogs[0].opened.size(), 11u);
  EXPECT_EQ(ui.dialogs[0].opened[2].selection, 3);
  ASSERT_EQ(ui.EventsOf("dialog").size(), 1u);
  EXPECT_EQ(ui.events[0].id, 209);
  EXPECT_EQ(ui.events[0].title, L"Tessaly for SolidWorks");
}

TEST(ScriptedDialog, ActionsByIdAndLabelThenAButton) {
  ScriptedDriver ui;
  ui.dialogAnswers.push_back(DialogScript::ForTemplate(209)
                                 .Check(1023)
                                 .Select(L"Units", L"Feet")
                                 .Uncheck(L"y axis points upwards")
                                 .Press(L"ok"));
  OptionsLike d;
  Current().RunDialog(d);
  EXPECT_EQ(d.result(), IDOK);
  EXPECT_EQ(d.Get(1022).check, 0);
  EXPECT_EQ(d.Get(1023).check, 1);
  EXPECT_EQ(d.Get(1024).selection, 4);
  EXPECT_EQ(d.Get(202).check, 0);
  // Every click is a command to the dialog, as BN_CLICKED is.
  EXPECT_EQ(d.commands, 3);
  EXPECT_EQ(ui.dialogs.at(0).opened[1].check, 0);
  EXPECT_EQ(ui.dialogs.at(0).closed[1].check, 1);
}

TEST(ScriptedDialog, OkRefusedLeavesItOpenUntilTheScriptEnds) {
  ScriptedDriver ui;
  ui.dialogAnswers.push_back(DialogScript::ForTitle(L"Tessaly for SolidWorks").Press(IDOK));
  OptionsLike d;
  d.refuseOk = true;
  Current().RunDialog(d);
  EXPECT_EQ(d.result(), IDCANCEL);
  EXPECT_TRUE(ui.dialogs.at(0).leftOpen);
}

TEST(DialogModel, GroupsEndBeforeTheNextWsGroupAndLabelsIgnoreMnemonics) {
  OptionsLike d;
  std::vector<int> group = d.GroupOf(1);
  ASSERT_FALSE(group.empty());
  EXPECT_EQ(group.front(), 0);
  EXPECT_EQ(group.back(), 7) << "up to Cancel; the static text with WS_GROUP starts the next";
  EXPECT_EQ(d.GroupOf(9), (std::vector<int>{8, 9, 10}));
  EXPECT_EQ(d.IndexOfLabel(L"ok"), d.IndexOf(IDOK));
  EXPECT_EQ(d.IndexOfLabel(L"&&Cancel"), -1) << "a doubled '&' is a literal one";
  EXPECT_EQ(stand_in::ui::StripMnemonic(L"Fish && &Chips"), L"Fish & Chips");
  EXPECT_EQ(d.LabelOf(2), L"Units");
}
}  // namespace

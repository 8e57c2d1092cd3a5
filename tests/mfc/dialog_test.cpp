#include <afxwin.h>
#include <libloaderapi.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <thread>

#include "resource.h"
#include "stand_in/dialog_template.h"
#include "stand_in/module.h"
#include "stand_in/ui.h"
#include "stand_in/window.h"

using stand_in::ui::Control;
using stand_in::ui::ControlKind;
using stand_in::ui::DialogScript;
using stand_in::ui::ScriptedDriver;

// From the test module (module/options_module.cpp), which carries the
// add-in's resources.
extern "C" INT_PTR RunDialogInModuleState(UINT id);
extern "C" INT_PTR RunDialogInCallerState(UINT id);
extern "C" AFX_MODULE_STATE* ModuleState();

namespace {

// Dialog 209 of the add-in's resources, as the user sees it: no script, so
// the driver records it and cancels it.
stand_in::ui::DialogRecord OpenOptionsTemplate() {
  ScriptedDriver ui;
  EXPECT_EQ(RunDialogInModuleState(IDD_TESSALY_OPTIONS), IDCANCEL);
  EXPECT_EQ(ui.dialogs.size(), 1u);
  return ui.dialogs.empty() ? stand_in::ui::DialogRecord() : ui.dialogs[0];
}

TEST(OptionsTemplate, ShowsTheTitleAndElevenControlsInTemplateOrder) {
  stand_in::ui::DialogRecord shown = OpenOptionsTemplate();
  EXPECT_EQ(shown.title, L"Tessaly for SolidWorks");
  EXPECT_EQ(shown.templateId, 209u);
  EXPECT_FALSE(shown.scripted);
  EXPECT_EQ(shown.result, IDCANCEL);
  ASSERT_EQ(shown.opened.size(), 11u);

  const DWORD child = WS_CHILD | WS_VISIBLE;
  struct Expected {
    int id;
    ControlKind kind;
    const wchar_t* text;
    DWORD style;
    int x, y, cx, cy;
  } expected[] = {
      {1022, ControlKind::RadioButton, L"Solid in a part document", child | BS_AUTORADIOBUTTON | WS_GROUP, 67, 7, 92, 10},
      {1023, ControlKind::RadioButton, L"3D sketch in a part document", child | BS_AUTORADIOBUTTON, 67, 20, 109, 10},
      {1024, ControlKind::DropDownList, L"", child | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 67, 35, 64, 94},
      {1028, ControlKind::CheckBox, L"Create multibody part (in case of multiple meshes)",
       child | BS_AUTOCHECKBOX | WS_TABSTOP, 7, 54, 170, 10},
      {202, ControlKind::CheckBox, L"Y axis points upwards", child | BS_AUTOCHECKBOX | WS_TABSTOP, 7, 69, 84, 10},
      {1027, ControlKind::CheckBox, L"Show progress", child | BS_AUTOCHECKBOX | WS_TABSTOP, 7, 85, 63, 10},
      {IDOK, ControlKind::DefPushButton, L"&OK", child | BS_DEFPUSHBUTTON | WS_TABSTOP, 38, 112, 50, 14},
      {IDCANCEL, ControlKind::PushButton, L"&Cancel", child | BS_PUSHBUTTON | WS_TABSTOP, 96, 112, 50, 14},
      {-1, ControlKind::StaticText, L"Import meshes as", child | SS_LEFT | WS_GROUP, 7, 7, 56, 8},
      {-1, ControlKind::StaticText, L"Units", child | SS_LEFT, 7, 35, 17, 8},
      {-1, ControlKind::EtchedLine, L"", child | SS_ETCHEDHORZ, 7, 102, 169, 1},
  };
  for (size_t i = 0; i < 11; ++i) {
    const Control& c = shown.opened[i];
    SCOPED_TRACE("control " + std::to_string(i + 1));
    EXPECT_EQ(c.id, expected[i].id);
    EXPECT_EQ(c.kind, expected[i].kind) << stand_in::ui::KindName(c.kind);
    EXPECT_EQ(c.text, expected[i].text);
    EXPECT_EQ(c.style, expected[i].style) << std::hex << c.style;
    EXPECT_EQ(c.exStyle, 0u);
    EXPECT_EQ(c.x, expected[i].x);
    EXPECT_EQ(c.y, expected[i].y);
    EXPECT_EQ(c.cx, expected[i].cx);
    EXPECT_EQ(c.cy, expected[i].cy);
    EXPECT_EQ(c.check, 0);
  }
  // The base dialog fills the list from the initialisation data and selects
  // nothing (it exchanges no data).
  EXPECT_EQ(shown.opened[2].entries,
            (std::vector<std::wstring>{L"Millimeters", L"Centimeters", L"Meters", L"Inches", L"Feet"}));
  EXPECT_EQ(shown.opened[2].selection, -1);
}

TEST(OptionsTemplate, HeaderAndFontAsCompiled) {
  HMODULE module = ModuleState()->m_hCurrentInstanceHandle;
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(209), RT_DIALOG);
  ASSERT_NE(found, nullptr);
  stand_in::mfc::DialogTemplate t;
  std::string error;
  ASSERT_TRUE(stand_in::mfc::ParseDialogTemplate(LockResource(LoadResource(module, found)),
                                                 SizeofResource(module, found), &t, &error))
      << error;
  EXPECT_EQ(t.style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
  EXPECT_EQ(t.exStyle, 0u);
  EXPECT_EQ(t.x, 0);
  EXPECT_EQ(t.y, 0);
  EXPECT_EQ(t.cx, 184);
  EXPECT_EQ(t.cy, 134);
  EXPECT_TRUE(t.menu.empty());
  EXPECT_TRUE(t.windowClass.empty());
  EXPECT_EQ(t.typeface, L"MS Sans Serif");
  EXPECT_EQ(t.pointSize, 8);
  EXPECT_EQ(t.weight, 0);
  EXPECT_EQ(t.italic, 0);
  EXPECT_EQ(t.charset, 0);
  // The compiler writes some classes as atoms and some as names: both are read.
  bool atom = false, name = false;
  for (const auto& item : t.items) (item.windowClass.isOrdinal ? atom : name) = true;
  EXPECT_TRUE(atom);
  EXPECT_TRUE(name);
}

// --- The binary forms, damaged ------------------------------------------------------

std::vector<BYTE> ResourceOfModule(LPCWSTR type) {
  HMODULE module = ModuleState()->m_hCurrentInstanceHandle;
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(209), type);
  if (!found) return {};
  const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
  return std::vector<BYTE>(p, p + SizeofResource(module, found));
}

void PutWord(std::vector<BYTE>& b, size_t at, WORD v) {
  b.at(at) = static_cast<BYTE>(v & 0xFF);
  b.at(at + 1) = static_cast<BYTE>(v >> 8);
}

TEST(TemplateBytes, EveryTruncationFailsWithAPlaceOrKeepsEveryControl) {
  std::vector<BYTE> bytes = ResourceOfModule(RT_DIALOG);
  ASSERT_FALSE(bytes.empty());
  stand_in::mfc::DialogTemplate whole;
  std::string error;
  ASSERT_TRUE(stand_in::mfc::ParseDialogTemplate(bytes.data(), bytes.size(), &whole, &error)) << error;
  for (size_t n = 0; n < bytes.size(); ++n) {
    // A copy of exactly n bytes, so that the sanitizer sees any read past it.
    std::vector<BYTE> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
    stand_in::mfc::DialogTemplate t;
    error.clear();
    if (stand_in::mfc::ParseDialogTemplate(cut.data(), cut.size(), &t, &error)) {
      EXPECT_EQ(t.items.size(), whole.items.size()) << n;
      EXPECT_GE(n, bytes.size() - 3) << "only the padding may go";
    } else {
      EXPECT_NE(error.find("at byte"), std::string::npos) << error;
    }
  }
}

TEST(TemplateBytes, DamagedHeadersAreRefusedWithWhatIsWrong) {
  std::vector<BYTE> bytes = ResourceOfModule(RT_DIALOG);
  ASSERT_GT(bytes.size(), 26u);
  struct Case {
    const char* name;
    size_t at;
    WORD value;
    const char* error;
  } cases[] = {
      {"a plain template", 2, 0x0000, "not an extended dialog template"},
      {"version 2", 0, 0x0002, "not an extended dialog template"},
      {"a hostile control count", 16, 0xFFFF, "control 12 of 65535 runs past the end"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<BYTE> damaged = bytes;
    PutWord(damaged, c.at, c.value);
    std::string error;
    EXPECT_FALSE(stand_in::mfc::ParseDialogTemplate(damaged.data(), damaged.size(), nullptr, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  // A title with no terminating zero: every unit after the header non-zero.
  std::vector<BYTE> open(bytes.begin(), bytes.begin() + 26);  // up to the size
  const BYTE tail[] = {0, 0, 0, 0, 0x41, 0, 0x42, 0};  // no menu, no class, "AB" and no zero
  open.insert(open.end(), tail, tail + sizeof tail);
  std::string error;
  EXPECT_FALSE(stand_in::mfc::ParseDialogTemplate(open.data(), open.size(), nullptr, &error));
  EXPECT_NE(error.find("no terminating zero"), std::string::npos) << error;
  EXPECT_FALSE(stand_in::mfc::ParseDialogTemplate(nullptr, 100, nullptr, &error));
}

TEST(DlgInitBytes, TheUnitsListAndEveryDamage) {
  std::vector<BYTE> bytes = ResourceOfModule(RT_DLGINIT);
  ASSERT_FALSE(bytes.empty());
  std::vector<stand_in::mfc::DlgInitEntry> entries;
  std::string error;
  ASSERT_TRUE(stand_in::mfc::ParseDlgInit(bytes.data(), bytes.size(), &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 5u);
  const char* names[] = {"Millimeters", "Centimeters", "Meters", "Inches", "Feet"};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(entries[i].controlId, 1024);
    EXPECT_EQ(entries[i].message, 0x0403);
    EXPECT_EQ(entries[i].data, names[i]);
  }
  for (size_t n = 0; n + 2 <= bytes.size(); ++n) {
    std::vector<BYTE> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
    std::vector<stand_in::mfc::DlgInitEntry> got;
    EXPECT_FALSE(stand_in::mfc::ParseDlgInit(cut.data(), cut.size(), &got, &error)) << n;
  }
  // A length past the end; a text without its zero.
  std::vector<BYTE> longer = bytes;
  PutWord(longer, 4, 0xFFF0);
  EXPECT_FALSE(stand_in::mfc::ParseDlgInit(longer.data(), longer.size(), nullptr, &error));
  EXPECT_NE(error.find("runs past the end"), std::string::npos) << error;
  std::vector<BYTE> unterminated = bytes;
  unterminated.at(8 + 11) = 'x';  // the zero of "Millimeters"
  EXPECT_FALSE(stand_in::mfc::ParseDlgInit(unterminated.data(), unterminated.size(), nullptr, &error));
  EXPECT_NE(error.find("no terminating zero"), std::string::npos) << error;
}

// --- A dialog with data exchange over the test program's own dialog 300 ------

class GroupsDialog : public CDialog {
 public:
  GroupsDialog() : CDialog(300u) {}
  int first = -1;
  int second = -1;
  int fruit = -1;
  int three = 0;
  int between = 0;
  bool failOnSave = false;
  int exchanges = 0;

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    ++exchanges;
    DDX_Radio(pDX, 10, first);
    DDX_Radio(pDX, 20, second);
    DDX_CBIndex(pDX, 30, fruit);
    DDX_Check(pDX, 40, three);
    DDX_Check(pDX, 11, between);
    if (failOnSave && pDX->m_bSaveAndValidate) pDX->Fail();
  }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(GroupsDialog, CDialog)
END_MESSAGE_MAP()

const Control& ById(const stand_in::ui::Dialog& d, int id) { return d.controls.at(static_cast<size_t>(d.IndexOf(id))); }
const Control& ById(const std::vector<Control>& controls, int id) {
  for (const Control& c : controls)
    if (c.id == id) return c;
  throw std::out_of_range("no control " + std::to_string(id));
}

TEST(Dialog, SortedListFilledFromBothMessageCodesAndLabelsFound) {
  ScriptedDriver ui;
  GroupsDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  const auto& shown = ui.dialogs[0].opened;
  EXPECT_EQ(ById(shown, 30).entries, (std::vector<std::wstring>{L"apple", L"Banana", L"Cherry"}));
  EXPECT_FALSE(ById(shown, 42).Visible());
  EXPECT_FALSE(ById(shown, 41).Enabled());
}

TEST(Dialog, AutoRadioButtonsClearTheOthersOfTheirGroupOnly) {
  ScriptedDriver ui;
  GroupsDialog dialog;
  dialog.first = 0;
  dialog.second = 1;
  ui.dialogAnswers.push_back(DialogScript::ForTitle(L"Groups")
                                 .Check(11)
                                 .Check(L"beta")  // '&' and case ignored
                                 .Inspect([](stand_in::ui::Dialog& d) {
                                   EXPECT_EQ(ById(d, 10).check, 0);
                                   EXPECT_EQ(ById(d, 12).check, 1);
                                   EXPECT_EQ(ById(d, 13).check, 0);
                                   EXPECT_EQ(ById(d, 11).check, 1) << "a check box inside the group is left alone";
                                   EXPECT_EQ(ById(d, 21).check, 1) << "the next group is left alone";
                                 })
                                 .Check(13)
                                 .Check(20)
                                 .Press(IDOK));
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.first, 2) << "Gamma: the third radio button; the check box between does not count";
  EXPECT_EQ(dialog.second, 0);
  EXPECT_EQ(dialog.between, 1);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_TRUE(ui.dialogs[0].errors.empty());
  EXPECT_EQ(ById(ui.dialogs[0].opened, 10).check, 1) << "as the user saw it at opening";
  EXPECT_EQ(ById(ui.dialogs[0].closed, 13).check, 1);
}

TEST(Dialog, WhatAPersonCannotDoIsRefusedAndCancelsTheDialog) {
  struct Case {
    const char* name;
    DialogScript script;
    const char* error;
  };
  std::vector<Case> cases = {
      {"clear a checked radio", DialogScript::ForTitle(L"Groups").Uncheck(10).Press(IDOK), "cannot be cleared"},
      {"a radio that is not automatic", DialogScript::ForTitle(L"Groups").Check(22).Press(IDOK), "does not change"},
      {"a disabled box", DialogScript::ForTitle(L"Groups").Check(41).Press(IDOK), "disabled"},
      {"a hidden box", DialogScript::ForTitle(L"Groups").Check(42).Press(IDOK), "hidden"},
      {"no such id", DialogScript::ForTitle(L"Groups").Check(99).Press(IDOK), "no control with id 99"},
      {"no such label", DialogScript::ForTitle(L"Groups").Check(L"Omega").Press(IDOK), "no control labelled"},
      {"an entry past the list", DialogScript::ForTitle(L"Groups").Select(30, 3).Press(IDOK), "no entry 3"},
      {"an entry not in the list", DialogScript::ForTitle(L"Groups").Select(L"Fruit:", L"Kiwi").Press(IDOK),
       "not an entry"},
      {"press a check box", DialogScript::ForTitle(L"Groups").Press(40), "not a push button"},
      {"a step after the end", DialogScript::ForTitle(L"Groups").Press(IDCANCEL).Check(11), "after the dialog"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedDriver ui;
    GroupsDialog dialog;
    dialog.first = 0;
    ui.dialogAnswers.push_back(c.script);
    testing::internal::CaptureStderr();
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(ui.dialogs.size(), 1u);
    ASSERT_EQ(ui.dialogs[0].errors.size(), 1u);
    EXPECT_NE(ui.dialogs[0].errors[0].find(c.error), std::string::npos) << ui.dialogs[0].errors[0];
    EXPECT_NE(err.find(c.error), std::string::npos) << err;
    EXPECT_EQ(dialog.first, 0) << "Cancel takes nothing from the controls";
  }
}

TEST(Dialog, LabelledByTheStaticTextToItsLeftWhenItComesLater) {
  ScriptedDriver ui;
  CDialog dialog(303u);
  ui.dialogAnswers.push_back(DialogScript::ForTemplate(303).Inspect([](stand_in::ui::Dialog& d) {
    EXPECT_EQ(d.LabelOf(d.IndexOf(30)), L"Size");
    EXPECT_EQ(d.IndexOfLabel(L"size"), d.IndexOf(30));
  }));
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_TRUE(ui.dialogs.at(0).leftOpen);
}

struct LoadCase {
  int first, second, fruit, three;
  // What the controls then show: the checked one of 10, 12, 13 (0 none), of
  // 20, 21, 22, the list's selection, the three-state box.
  int checkedFirst, checkedSecond, selection, check;
  // What saving gives back.
  int savedFirst, savedSecond, savedFruit, savedThree;
};

TEST(DataExchange, LoadsAndSavesInBothDirectionsWithTheNoChoiceCases) {
  const LoadCase cases[] = {
      {0, 0, 0, 0, 10, 20, 0, 0, 0, 0, 0, 0},
      {1, 1, 1, 1, 12, 21, 1, 1, 1, 1, 1, 1},
      {2, 2, 2, 2, 13, 22, 2, 2, 2, 2, 2, 2},      // a radio that is not automatic counts too
      {3, 3, 3, 0, 0, 0, -1, 0, -1, -1, -1, 0},    // past the group, past the list: no choice
      {-1, -1, -1, 0, 0, 0, -1, 0, -1, -1, -1, 0},
      {7, 5, 99, 0, 0, 0, -1, 0, -1, -1, -1, 0},
      {1, 0, 1, 5, 12, 20, 1, 0, 1, 0, 1, 0},      // a check value out of range clears the box
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE("first " + std::to_string(c.first) + ", fruit " + std::to_string(c.fruit));
    ScriptedDriver ui;
    GroupsDialog dialog;
    dialog.first = c.first;
    dialog.second = c.second;
    dialog.fruit = c.fruit;
    dialog.three = c.three;
    ui.dialogAnswers.push_back(DialogScript::ForTitle(L"Groups").Press(IDOK));
    testing::internal::CaptureStderr();
    EXPECT_EQ(dialog.DoModal(), IDOK);
    testing::internal::GetCapturedStderr();
    const auto& shown = ui.dialogs.at(0).opened;
    for (int id : {10, 12, 13}) EXPECT_EQ(ById(shown, id).check, id == c.checkedFirst ? 1 : 0) << id;
    for (int id : {20, 21, 22}) EXPECT_EQ(ById(shown, id).check, id == c.checkedSecond ? 1 : 0) << id;
    EXPECT_EQ(ById(shown, 30).selection, c.selection);
    EXPECT_EQ(ById(shown, 40).check, c.check);
    EXPECT_EQ(dialog.first, c.savedFirst);
    EXPECT_EQ(dialog.second, c.savedSecond);
    EXPECT_EQ(dialog.fruit, c.savedFruit);
    EXPECT_EQ(dialog.three, c.savedThree);
  }
}

TEST(DataExchange, UpdateDataRunsTheExchangeInTheDirectionAsked) {
  ScriptedDriver ui;
  GroupsDialog dialog;
  ui.dialogAnswers.push_back(DialogScript::ForTitle(L"Groups").Inspect([&](stand_in::ui::Dialog&) {
    EXPECT_EQ(dialog.exchanges, 1) << "OnInitDialog set the controls once";
    dialog.fruit = 2;
    EXPECT_TRUE(dialog.UpdateData(FALSE));
  }).Inspect([&](stand_in::ui::Dialog& d) {
    EXPECT_EQ(ById(d, 30).selection, 2);
    std::string error;
    EXPECT_TRUE(d.Select(d.IndexOf(30), 0, &error)) << error;
    EXPECT_TRUE(d.SetCheck(d.IndexOf(40), true, &error)) << error;
    EXPECT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.fruit, 0);
    EXPECT_EQ(dialog.three, 1);
  }));
  dialog.DoModal();
  EXPECT_EQ(dialog.exchanges, 3);
}

TEST(Dialog, OkWithAFailingExchangeKeepsTheDialogOpen) {
  ScriptedDriver ui;
  GroupsDialog dialog;
  dialog.failOnSave = true;
  ui.dialogAnswers.push_back(DialogScript::ForTitle(L"Groups")
                                 .Press(IDOK)
                                 .Inspect([](stand_in::ui::Dialog& d) { EXPECT_FALSE(d.ended()); })
                                 .Press(IDOK));
  EXPECT_EQ(dialog.DoModal(), IDCANCEL) << "left open when the script ran out: cancelled";
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_TRUE(ui.dialogs[0].leftOpen);
  EXPECT_TRUE(ui.dialogs[0].errors.empty());
  EXPECT_EQ(dialog.exchanges, 3);  // init, and the two OKs
}

TEST(Dialog, CancelCloseAndNoScriptEndWithIdCancelAndTakeNothing) {
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    ScriptedDriver ui;
    GroupsDialog dialog;
    dialog.first = 0;
    if (way == 0) ui.dialogAnswers.push_back(DialogScript::ForTitle(L"Groups").Check(12).Press(L"cancel"));
    if (way == 1) ui.dialogAnswers.push_back(DialogScript::ForTemplate(300).Check(12).Close());
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.first, 0);
    EXPECT_EQ(dialog.exchanges, 1);
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0].scripted, way != 2);
    EXPECT_FALSE(ui.dialogs[0].leftOpen);
    ASSERT_EQ(ui.EventsOf("dialog").size(), 1u);
    EXPECT_EQ(ui.EventsOf("dialog")[0].value, IDCANCEL);
  }
}

TEST(Dialog, APushButtonWithNoHandlerDoesNothing) {
  ScriptedDriver ui;
  GroupsDialog dialog;
  ui.dialogAnswers.push_back(DialogScript::ForTitle(L"Groups").Press(L"Apply").Inspect([](stand_in::ui::Dialog& d) {
    EXPECT_FALSE(d.ended());
  }).Press(IDOK));
  EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST(Dialog, ScriptsAnswerOnlyTheirDialog) {
  ScriptedDriver ui;
  ui.dialogAnswers.push_back(DialogScript::ForTitle(L"Other").Press(IDOK));
  ui.dialogAnswers.push_back(DialogScript::ForTemplate(300).Press(IDOK));
  GroupsDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ASSERT_EQ(ui.dialogAnswers.size(), 1u);
  EXPECT_EQ(ui.dialogAnswers[0].title, L"Other");
}

TEST(Dialog, FailuresToMakeTheDialogGiveMinusOneAndShowNothing) {
  struct Case {
    UINT id;
    const char* message;
  } cases[] = {
      {999, "no dialog template"},
      {301, "control 31"},
      {302, "is not registered"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    ScriptedDriver ui;
    CDialog dialog(c.id);
    testing::internal::CaptureStderr();
    EXPECT_EQ(dialog.DoModal(), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_TRUE(ui.dialogs.empty());
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
  }
}

TEST(DataExchange, ExchangeWithAMissingOrWrongControlFails) {
  class Wrong : public CDialog {
   public:
    explicit Wrong(int which) : CDialog(300u), which_(which) {}

   protected:
    void DoDataExchange(CDataExchange* pDX) override {
      int v = 0;
      if (which_ == 0) DDX_Check(pDX, 77, v);
      if (which_ == 1) DDX_Radio(pDX, 11, v);   // a check box
      if (which_ == 2) DDX_CBIndex(pDX, 40, v);  // a check box
      if (which_ == 3) DDX_Check(pDX, 30, v);    // a list
    }
    int which_;
  };
  for (int which = 0; which < 4; ++which) {
    SCOPED_TRACE(which);
    ScriptedDriver ui;
    Wrong dialog(which);
    testing::internal::CaptureStderr();
    EXPECT_EQ(dialog.DoModal(), -1) << "setting the controls failed in OnInitDialog";
    EXPECT_NE(testing::internal::GetCapturedStderr().find("control"), std::string::npos);
    EXPECT_TRUE(ui.dialogs.empty());
  }
  CDialog notRunning(300u);
  EXPECT_TRUE(notRunning.UpdateData(TRUE)) << "the base exchanges nothing";
}

TEST(Dialog, OwnerIsTheParentElseTheActiveWindow) {
  HWND main = stand_in::window::Create();
  CWnd* parent = CWnd::FromHandle(main);
  {
    ScriptedDriver ui;
    CDialog dialog(300u, parent);
    dialog.DoModal();
    EXPECT_EQ(ui.dialogs.at(0).owner, main);
  }
  {
    HWND active = stand_in::window::Create();
    stand_in::window::SetActive(active);
    ScriptedDriver ui;
    CDialog dialog(300u);
    dialog.DoModal();
    EXPECT_EQ(ui.dialogs.at(0).owner, active);
    stand_in::window::SetActive(nullptr);
  }
}

// --- Module state ------------------------------------------------------------------

TEST(ModuleState, TheProcessStateIsTheExecutables) {
  EXPECT_EQ(AfxGetModuleState(), AfxGetStaticModuleState());
  EXPECT_EQ(AfxGetInstanceHandle(), GetModuleHandleW(nullptr));
  EXPECT_EQ(AfxGetResourceHandle(), GetModuleHandleW(nullptr));
  EXPECT_FALSE(AfxGetStaticModuleState()->m_bDLL);
}

TEST(ModuleState, EachModuleHasItsOwnStateWithItsInstance) {
  AFX_MODULE_STATE* module = ModuleState();
  EXPECT_NE(module, AfxGetStaticModuleState());
  EXPECT_TRUE(module->m_bDLL);
  EXPECT_EQ(module->m_hCurrentInstanceHandle, stand_in::ModuleOf(reinterpret_cast<const void*>(&RunDialogInModuleState)));
  EXPECT_NE(module->m_hCurrentInstanceHandle, GetModuleHandleW(nullptr));
  EXPECT_EQ(module->m_hCurrentResourceHandle, module->m_hCurrentInstanceHandle);
}

TEST(ModuleState, TheSwitchFindsTheDialogInTheModuleAndRestoresTheCallers) {
  ScriptedDriver ui;
  CDialog own(209u);
  EXPECT_EQ(own.DoModal(), IDCANCEL);
  EXPECT_EQ(RunDialogInModuleState(209), IDCANCEL);
  EXPECT_EQ(RunDialogInCallerState(209), IDCANCEL);
  EXPECT_EQ(AfxGetModuleState(), AfxGetStaticModuleState()) << "restored on leaving the scope";
  ASSERT_EQ(ui.dialogs.size(), 3u);
  EXPECT_EQ(ui.dialogs[0].title, L"Test program's dialog 209");
  EXPECT_EQ(ui.dialogs[1].title, L"Tessaly for SolidWorks");
  EXPECT_EQ(ui.dialogs[2].title, L"Test program's dialog 209") << "without the switch the caller's resources";
}

TEST(ModuleState, UnloadIsAllowedWhileTheCurrentModuleHoldsNoObjects) {
  AFX_MANAGE_STATE(ModuleState());
  EXPECT_EQ(AfxDllCanUnloadNow(), S_OK);
  ModuleState()->m_nObjectCount = 1;
  EXPECT_EQ(AfxDllCanUnloadNow(), S_FALSE);
  {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    EXPECT_EQ(AfxDllCanUnloadNow(), S_OK) << "another module's count";
  }
  ModuleState()->m_nObjectCount = 0;
}

TEST(ModuleState, SwitchesNestAndBelongToOneThread) {
  AFX_MODULE_STATE* process = AfxGetModuleState();
  {
    AFX_MANAGE_STATE(ModuleState());
    EXPECT_EQ(AfxGetModuleState(), ModuleState());
    EXPECT_EQ(AfxGetResourceHandle(), ModuleState()->m_hCurrentResourceHandle);
    {
      AFX_MANAGE_STATE(process);
      EXPECT_EQ(AfxGetModuleState(), process);
    }
    EXPECT_EQ(AfxGetModuleState(), ModuleState());
    AFX_MODULE_STATE* other = nullptr;
    std::thread([&] { other = AfxGetModuleState(); }).join();
    EXPECT_EQ(other, process) << "another thread keeps its own current state";
  }
  EXPECT_EQ(AfxGetModuleState(), process);
}

// --- Application object and DLL entry --------------------------------------------

class TestApp : public CWinApp {
 public:
  explicit TestApp(BOOL init) : CWinApp(L"Test"), init_(init) {}
  BOOL InitInstance() override {
    ++inits;
    seenInstance = AfxGetInstanceHandle();
    return init_ && CWinApp::InitInstance();
  }
  int ExitInstance() override {
    ++exits;
    return CWinApp::ExitInstance();
  }
  int inits = 0, exits = 0;
  HINSTANCE seenInstance = nullptr;

 private:
  BOOL init_;
};

TEST(WinApp, JoinsItsModulesStateWithItsName) {
  EXPECT_EQ(AfxGetApp(), nullptr);
  {
    TestApp app(TRUE);
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_STREQ(app.m_pszAppName, L"Test");
    EXPECT_EQ(app.m_hInstance, GetModuleHandleW(nullptr));
    CWinApp base;
    EXPECT_EQ(base.m_pszAppName, nullptr);
    EXPECT_TRUE(base.InitInstance());
    EXPECT_EQ(base.ExitInstance(), 0);
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
  AFX_MANAGE_STATE(ModuleState());
  EXPECT_EQ(AfxGetApp(), nullptr) << "the module has no application";
}

TEST(WinApp, DllEntryRunsInitInstanceAndExitInstance) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  {
    TestApp app(TRUE);
    EXPECT_TRUE(DllMain(self, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(app.inits, 1);
    EXPECT_EQ(app.exits, 0);
    EXPECT_EQ(app.seenInstance, self);
    EXPECT_TRUE(DllMain(self, DLL_THREAD_ATTACH, nullptr));
    EXPECT_TRUE(DllMain(self, DLL_PROCESS_DETACH, nullptr));
    EXPECT_EQ(app.exits, 1);
  }
  {
    TestApp app(FALSE);
    EXPECT_FALSE(DllMain(self, DLL_PROCESS_ATTACH, nullptr)) << "a failing InitInstance fails the load";
    EXPECT_EQ(app.inits, 1);
    EXPECT_EQ(app.exits, 1);
  }
}

TEST(WinApp, TheModulesOwnEntryIsFoundByName) {
  AFX_MODULE_STATE* module = ModuleState();
  Dl_info info{};
  ASSERT_TRUE(dladdr(reinterpret_cast<const void*>(&RunDialogInModuleState), &info));
  void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr);
  auto entry = reinterpret_cast<BOOL (*)(HINSTANCE, DWORD, LPVOID)>(dlsym(handle, "DllMain"));
  ASSERT_NE(entry, nullptr);
  EXPECT_NE(reinterpret_cast<void*>(entry), reinterpret_cast<void*>(&DllMain)) << "the module's, not ours";
  EXPECT_TRUE(entry(module->m_hCurrentInstanceHandle, DLL_PROCESS_ATTACH, nullptr));
  EXPECT_EQ(AfxGetModuleState(), AfxGetStaticModuleState());
  dlclose(handle);
}

}  // namespace

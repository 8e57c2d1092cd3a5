#include "addin_fixture.h"

#include "VLMGUI.h"

#include <afxwin.h>

namespace {

using stand_in::ui::Control;
using stand_in::ui::ControlKind;
using stand_in::ui::DialogRecord;

const Control& ById(const std::vector<Control>& controls, int id) {
  for (const Control& c : controls)
    if (c.id == id) return c;
  ADD_FAILURE() << "no control " << id;
  static Control none;
  return none;
}

// What the user sees of the five options when the dialog opens.
struct Shown {
  int solid, sketch, units, multiBody, yUp, progress;
};
Shown ShownAt(const DialogRecord& d) {
  return {ById(d.opened, 1022).check, ById(d.opened, 1023).check, ById(d.opened, 1024).selection,
          ById(d.opened, 1028).check, ById(d.opened, 202).check,  ById(d.opened, 1027).check};
}

struct Asked {
  BOOL answer;
  int units = 77, mode = 77, multiBody = 77, yUp = 77, progress = 77;
};
Asked Ask() {
  Asked a{};
  a.answer = AskImportOptions(&a.units, &a.mode, &a.multiBody, &a.yUp, &a.progress);
  return a;
}

const wchar_t kKey[] = L"Software\\VELMOR\\Tessaly for SolidWorks";

// The options as stored, through the same registry class the dialog uses.
struct Stored {
  Stored() { r.SetKey(CString(kKey), 1); }
  int Read(const wchar_t* name) { return r.ReadInt(CString(name), -7); }
  void Write(const wchar_t* name, int value) { r.WriteInt(CString(name), value); }
  VLMRegistry r;
};

using OptionsDialog = AddinTest;

TEST_F(OptionsDialog, ShowsTheCompiledTemplateAsTheUserSeesIt) {
  AnswerOptions().Press(IDOK);
  ASSERT_TRUE(Ask().answer);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  const DialogRecord& d = ui.dialogs[0];
  EXPECT_EQ(d.title, L"Tessaly for SolidWorks");
  EXPECT_EQ(d.owner, nullptr);
  struct Expected {
    int id;
    ControlKind kind;
    const wchar_t* text;
  };
  const Expected expected[] = {
      {1022, ControlKind::RadioButton, L"Solid in a part document"},
      {1023, ControlKind::RadioButton, L"3D sketch in a part document"},
      {1024, ControlKind::DropDownList, L""},
      {1028, ControlKind::CheckBox, L"Create multibody part (in case of multiple meshes)"},
      {202, ControlKind::CheckBox, L"Y axis points upwards"},
      {1027, ControlKind::CheckBox, L"Show progress"},
      {IDOK, ControlKind::DefPushButton, L"&OK"},
      {IDCANCEL, ControlKind::PushButton, L"&Cancel"},
      {-1, ControlKind::StaticText, L"Import meshes as"},
      {-1, ControlKind::StaticText, L"Units"},
      {-1, ControlKind::EtchedLine, L""},
  };
  ASSERT_EQ(d.opened.size(), std::size(expected));
  for (size_t i = 0; i < d.opened.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(d.opened[i].id, expected[i].id);
    EXPECT_EQ(d.opened[i].kind, expected[i].kind);
    EXPECT_EQ(d.opened[i].text, expected[i].text);
  }
  EXPECT_EQ(ById(d.opened, 1024).entries,
            (std::vector<std::wstring>{L"Millimeters", L"Centimeters", L"Meters", L"Inches", L"Feet"}));
}

TEST_F(OptionsDialog, OpensWithTheDefaultsWhenNothingIsStored) {
  AnswerOptions().Press(IDOK);
  const Asked a = Ask();
  ASSERT_TRUE(a.answer);
  const Shown s = ShownAt(ui.dialogs.at(0));
  EXPECT_EQ(s.solid, 1);
  EXPECT_EQ(s.sketch, 0);
  EXPECT_EQ(s.units, 3);  // Inches
  EXPECT_EQ(s.multiBody, 1);
  EXPECT_EQ(s.yUp, 1);
  EXPECT_EQ(s.progress, 1);
  EXPECT_EQ(a.units, 3);
  EXPECT_EQ(a.mode, 0);
  EXPECT_EQ(a.multiBody, 1);
  EXPECT_EQ(a.yUp, 1);
  EXPECT_EQ(a.progress, 1);
}

TEST_F(OptionsDialog, OkStoresAllFiveAndTheNextOpeningShowsThem) {
  AnswerOptions().Check(L"3D sketch in a part document").Select(L"Units", L"Feet").Uncheck(202).Press(IDOK);
  const Asked a = Ask();
  ASSERT_TRUE(a.answer);
  EXPECT_EQ(a.mode, 1);
  EXPECT_EQ(a.units, 4);
  EXPECT_EQ(a.yUp, 0);
  EXPECT_EQ(a.multiBody, 1);
  EXPECT_EQ(a.progress, 1);

  Stored stored;
  // Unchanged values are written too: -7 would show one that is missing.
  EXPECT_EQ(stored.Read(L"Import As"), 1);
  EXPECT_EQ(stored.Read(L"Units"), 4);
  EXPECT_EQ(stored.Read(L"Y Up"), 0);
  EXPECT_EQ(stored.Read(L"MultiBody"), 1);
  EXPECT_EQ(stored.Read(L"Progress"), 1);

  AnswerOptions().Press(IDOK);
  ASSERT_TRUE(Ask().answer);
  const Shown s = ShownAt(ui.dialogs.at(1));
  EXPECT_EQ(s.solid, 0);
  EXPECT_EQ(s.sketch, 1);
  EXPECT_EQ(s.units, 4);
  EXPECT_EQ(s.yUp, 0);
  EXPECT_EQ(s.multiBody, 1);
}

TEST_F(OptionsDialog, CancelStoresNothingAndLeavesTheOutValues) {
  Stored().Write(L"Units", 1);
  AnswerOptions()
      .Check(1023)
      .Select(1024, 4)
      .Uncheck(1028)
      .Uncheck(202)
      .Uncheck(1027)
      .Press(IDCANCEL);
  const Asked a = Ask();
  EXPECT_FALSE(a.answer);
  EXPECT_EQ(a.units, 77);
  EXPECT_EQ(a.mode, 77);
  EXPECT_EQ(a.multiBody, 77);
  EXPECT_EQ(a.yUp, 77);
  EXPECT_EQ(a.progress, 77);

  Stored stored;
  EXPECT_EQ(stored.Read(L"Units"), 1);
  EXPECT_EQ(stored.Read(L"Import As"), -7);
  EXPECT_EQ(stored.Read(L"Progress"), -7);

  AnswerOptions().Press(IDOK);
  ASSERT_TRUE(Ask().answer);
  const Shown s = ShownAt(ui.dialogs.at(1));
  EXPECT_EQ(s.units, 1);
  EXPECT_EQ(s.solid, 1);
  EXPECT_EQ(s.progress, 1);
}

TEST_F(OptionsDialog, StoredValuesOutOfRangeShowNoChoiceAndOkStoresMinusOne) {
  {
    Stored stored;
    stored.Write(L"Units", 7);
    stored.Write(L"Import As", 5);
  }
  AnswerOptions().Press(IDOK);
  const Asked a = Ask();
  ASSERT_TRUE(a.answer);
  const Shown s = ShownAt(ui.dialogs.at(0));
  EXPECT_EQ(s.units, -1);
  EXPECT_EQ(s.solid, 0);
  EXPECT_EQ(s.sketch, 0);
  EXPECT_EQ(a.units, -1);
  EXPECT_EQ(a.mode, -1);
  Stored stored;
  EXPECT_EQ(stored.Read(L"Units"), -1);
  EXPECT_EQ(stored.Read(L"Import As"), -1);
}

TEST_F(OptionsDialog, StoredClearedFlagsOpenCleared) {
  {
    Stored stored;
    stored.Write(L"MultiBody", 0);
    stored.Write(L"Progress", 0);
  }
  AnswerOptions().Press(IDOK);
  const Asked a = Ask();
  ASSERT_TRUE(a.answer);
  EXPECT_EQ(a.multiBody, 0);
  EXPECT_EQ(a.progress, 0);
  EXPECT_EQ(a.yUp, 1);
}

}  // namespace

#include <afxdlgs.h>

#include <gtest/gtest.h>

#include "stand_in/ui.h"
#include "stand_in/window.h"

using stand_in::ui::ScriptedDriver;

namespace {

const wchar_t* const kFilter = L"3D Studio 3DS Files (*.3ds)|*.3ds||";

TEST(FileDialog, TheDriverSeesTheArgumentsAndTheChosenPathComesBack) {
  ScriptedDriver ui;
  ui.ChooseFile(L"D:\\Models\\Chair.3DS");
  HWND main = stand_in::window::Create();
  CFileDialog dialog(TRUE, L"3ds", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kFilter, CWnd::FromHandle(main), 0,
                     TRUE);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.GetPathName(), L"D:\\Models\\Chair.3DS");
  EXPECT_EQ(dialog.GetFileName(), L"Chair.3DS");
  EXPECT_EQ(dialog.GetFileExt(), L"3DS");
  ASSERT_EQ(ui.fileDialogs.size(), 1u);
  const stand_in::ui::FileDialogRequest& shown = ui.fileDialogs[0].request;
  EXPECT_TRUE(shown.open);
  EXPECT_EQ(shown.title, L"Open");
  ASSERT_EQ(shown.filters.size(), 1u);
  EXPECT_EQ(shown.filters[0].first, L"3D Studio 3DS Files (*.3ds)");
  EXPECT_EQ(shown.filters[0].second, L"*.3ds");
  EXPECT_EQ(shown.defaultExtension, L"3ds");
  EXPECT_EQ(shown.flags, 6u);
  EXPECT_EQ(shown.initialName, L"");
  EXPECT_EQ(shown.owner, main);
  ASSERT_EQ(ui.EventsOf("filedialog").size(), 1u);
}

TEST(FileDialog, CancelAndNoAnswerGiveIdCancelAndNoPath) {
  ScriptedDriver ui;
  ui.CancelFile();
  CFileDialog cancelled(TRUE, L"3ds", nullptr, 6, kFilter, nullptr);
  EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
  EXPECT_EQ(cancelled.GetPathName(), L"");
  CFileDialog unanswered(TRUE, L"3ds", nullptr, 6, kFilter, nullptr);
  EXPECT_EQ(unanswered.DoModal(), IDCANCEL);
  EXPECT_EQ(ui.fileDialogs.size(), 2u);
  EXPECT_EQ(ui.fileDialogs[0].request.owner, nullptr);
}

TEST(FileDialog, ANameTypedWithoutExtensionGetsTheDefaultOne) {
  struct Case {
    const wchar_t* typed;
    const wchar_t* defExt;
    const wchar_t* path;
  } cases[] = {
      {L"D:\\Data\\robot", L"3ds", L"D:\\Data\\robot.3ds"},
      {L"D:\\Data\\robot.obj", L"3ds", L"D:\\Data\\robot.obj"},
      {L"D:\\old.v2\\robot", L"3ds", L"D:\\old.v2\\robot.3ds"},
      {L"D:\\Data\\robot.3ds.bak", L"3ds", L"D:\\Data\\robot.3ds.bak"},
      {L"D:\\Data\\robot", nullptr, L"D:\\Data\\robot"},
  };
  for (const Case& c : cases) {
    ScriptedDriver ui;
    ui.ChooseFile(c.typed);
    CFileDialog dialog(TRUE, c.defExt, nullptr, 6, kFilter, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.GetPathName(), c.path);
  }
}

TEST(FileDialog, FilterEntriesAreDescriptionAndPatternPairs) {
  struct Case {
    const wchar_t* filter;
    std::vector<std::pair<std::wstring, std::wstring>> entries;
  } cases[] = {
      {L"A|*.a|B|*.b;*.bb||", {{L"A", L"*.a"}, {L"B", L"*.b;*.bb"}}},
      {L"A|*.a", {{L"A", L"*.a"}}},
      {L"A|*.a|B||", {{L"A", L"*.a"}}},
      {L"", {}},
      {nullptr, {}},
      {L"A|*.a||B|*.b||", {{L"A", L"*.a"}}},
  };
  for (const Case& c : cases) {
    ScriptedDriver ui;
    CFileDialog dialog(FALSE, nullptr, L"plate", 0, c.filter, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ASSERT_EQ(ui.fileDialogs.size(), 1u);
    EXPECT_EQ(ui.fileDialogs[0].request.filters, c.entries);
    EXPECT_FALSE(ui.fileDialogs[0].request.open);
    EXPECT_EQ(ui.fileDialogs[0].request.title, L"Save As");
    EXPECT_EQ(ui.fileDialogs[0].request.initialName, L"plate");
  }
}

TEST(FileDialog, WithoutAParentTheActiveWindowOwnsIt) {
  HWND active = stand_in::window::Create();
  stand_in::window::SetActive(active);
  ScriptedDriver ui;
  CFileDialog dialog(TRUE, L"3ds", nullptr, 6, kFilter, nullptr);
  dialog.DoModal();
  stand_in::window::SetActive(nullptr);
  EXPECT_EQ(ui.fileDialogs.at(0).request.owner, active);
}

}  // namespace

#include "HostUtils.h"
#include "VLMSWON.h"
#include "host_calls.h"

#include <gtest/gtest.h>

#include "stand_in/host.h"
#include "stand_in/paths.h"
#include "stand_in/text.h"
#include "stand_in/ui.h"
#include "stand_in/window.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using stand_in::ToUtf8;

namespace {

const char kLoadOp[] = "IHostApplication::LoadFile";
const char kSaveOp[] = "IHostDocument::SaveToPath";

// A fresh host per test; after each, the host holds no reference the
// functions took, none was released twice, and no BSTR is left.
class HostUtils : public ::testing::Test {
 protected:
  void SetUp() override { bstrs_ = stand_in::LiveBstrCount(); }
  void TearDown() override { test_support::ExpectAllLetGo(host_, bstrs_); }

  IHostApplication* app() { return host_.Application(); }
  int CallsOf(const std::string& op) const {
    const std::vector<std::string> ops = host_.Operations();
    return static_cast<int>(std::count(ops.begin(), ops.end(), op));
  }
  void NewPart() {
    IHostPartDocument* part = nullptr;
    ASSERT_EQ(app()->NewPartDocument(&part), S_OK);
    ASSERT_NE(part, nullptr);
    part->Release();
  }

  stand_in::Host host_;
  long bstrs_ = 0;
};

// A temporary directory seen as drive D:, holding D:\out.
class HostUtilsFiles : public HostUtils {
 protected:
  void SetUp() override {
    HostUtils::SetUp();
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessaly-utils-XXXXXX";
    ASSERT_NE(::mkdtemp(&templ[0]), nullptr);
    root_ = templ;
    ASSERT_EQ(::mkdir((root_ + "/out").c_str(), 0755), 0);
    stand_in::SetDriveRoot(L'D', root_);
  }
  void TearDown() override {
    stand_in::SetDriveRoot(L'D', "");
    std::system(("rm -rf '" + root_ + "'").c_str());
    HostUtils::TearDown();
  }
  void Write(const std::string& name) { std::ofstream(root_ + "/" + name) << "0\nSECTION\n0\nEOF\n"; }
  bool Exists(const std::string& name) const { return ::access((root_ + "/" + name).c_str(), F_OK) == 0; }
  std::vector<std::wstring> Loaded() const {
    std::vector<std::wstring> paths;
    for (const stand_in::LoadedFile& f : host_.LoadedFiles()) paths.push_back(f.path);
    return paths;
  }

  std::string root_;
};

TEST_F(HostUtils, VersionIndexFromTheRevisionText) {
  struct Case {
    const wchar_t* revision;
    int index;
  } cases[] = {
      {L"21.0.0", 14}, {L"16.5", 9},  {L"17.0", 10}, {L" 18.1", 11}, {L"19.2.1", 12}, {L"20.0", 13},
      {L"15.0.0", 0},  {L"22.0.0", 0}, {L"1.0", 0},   {L"21", 0},     {L"", 0},       {nullptr, 0},
  };
  for (const Case& c : cases) {
    host_.SetRevisionNumber(c.revision);
    EXPECT_EQ(GetHostVersionIndex(app()), c.index) << (c.revision ? ToUtf8(c.revision) : "null");
  }
  EXPECT_EQ(CallsOf("IHostApplication::RevisionNumber"), 12);
  EXPECT_EQ(g_hostVersionNames[14], L"SolidWorks 2013");
  EXPECT_EQ(g_hostVersionNames[9], L"SolidWorks 2008");
  EXPECT_EQ(g_hostVersionNames[0], L"SolidWorks ????");
  // No 2002 release between these two.
  EXPECT_EQ(g_hostVersionNames[3], L"SolidWorks 2001 Plus");
  EXPECT_EQ(g_hostVersionNames[4], L"SolidWorks 2003");
}

TEST_F(HostUtils, CheckHostVersionWarnsOnAMismatch) {
  struct Case {
    const wchar_t* revision;
    int required;
    int result;
    const wchar_t* named;  // the release the box names, null for no box
  } cases[] = {
      {L"15.0.0", 0, 1, nullptr},
      {L"21.0.0", 14, 1, nullptr},
      {L"21.0.0", 13, 0, L"SolidWorks 2012"},
      {L"21", 14, 0, L"SolidWorks 2013"},
      {L"21.0.0", 15, 0, L"SolidWorks ????"},  // outside the table: nothing read past it
  };
  for (const Case& c : cases) {
    stand_in::ui::ScriptedDriver ui;
    host_.SetRevisionNumber(c.revision);
    EXPECT_EQ(CheckHostVersion(app(), c.required), c.result) << c.required;
    if (!c.named) {
      EXPECT_TRUE(ui.events.empty()) << c.required;
      continue;
    }
    ASSERT_EQ(ui.events.size(), 1u) << c.required;
    const stand_in::ui::Event& box = ui.events[0];
    EXPECT_EQ(box.what, "messagebox");
    EXPECT_EQ(box.text, std::wstring(L"This add-in is designed to work with ") + c.named + L" only");
    EXPECT_EQ(box.title, L"Incompatible SolidWorks Version");
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(box.owner, nullptr);
  }
}

TEST_F(HostUtils, MainWindowHandleIsSignExtended) {
  host_.SetMainWindowHandle(static_cast<LONG>(0x80001234u));
  const HWND high = reinterpret_cast<HWND>(static_cast<uintptr_t>(0xFFFFFFFF80001234ull));
  EXPECT_EQ(GetMainHwnd(app()), high);
  CWnd* wnd = GetMainWnd(app());
  ASSERT_NE(wnd, nullptr);
  EXPECT_EQ(wnd->GetSafeHwnd(), high);

  host_.SetMainWindowHandle(0x00010AF2);
  EXPECT_EQ(GetMainHwnd(app()), reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10AF2)));

  host_.SetMainWindowHandle(0);
  EXPECT_EQ(GetMainHwnd(app()), nullptr);
  EXPECT_EQ(GetMainWnd(app()), nullptr);
  CWnd::DeleteTempMap();
}

TEST_F(HostUtils, MainWindowFailuresGiveNull) {
  struct Case {
    const char* op;
    HRESULT result;
  } cases[] = {
      {"IHostApplication::Frame", E_FAIL},
      {"IHostApplication::Frame", S_FALSE},
      {"IHostApplication::Frame", S_OK},  // no frame
      {"IHostFrame::MainWindowHandle", E_FAIL},
      {"IHostFrame::MainWindowHandle", S_FALSE},
  };
  for (const Case& c : cases) {
    host_.InjectFault(c.op, 1, c.result);
    host_.InjectFault(c.op, 2, c.result);
    EXPECT_EQ(GetMainHwnd(app()), nullptr) << c.op << ' ' << c.result;
    EXPECT_EQ(GetMainWnd(app()), nullptr) << c.op << ' ' << c.result;
    EXPECT_EQ(host_.HeldReferences(), 0) << c.op << ' ' << c.result;
    host_.ClearFaults();
  }
}

TEST_F(HostUtils, MainWindowMisreportsGiveNullAndReleaseTheFrame) {
  for (const char* op : {"IHostApplication::Frame", "IHostFrame::MainWindowHandle"}) {
    for (HRESULT result : {S_FALSE, E_FAIL}) {
      host_.InjectMisreport(op, 1, result);
      host_.InjectMisreport(op, 2, result);
      EXPECT_EQ(GetMainHwnd(app()), nullptr) << op << ' ' << result;
      EXPECT_EQ(GetMainWnd(app()), nullptr) << op << ' ' << result;
      EXPECT_EQ(host_.HeldReferences(), 0) << op << ' ' << result;
      host_.ClearFaults();
    }
  }
}

TEST_F(HostUtils, ActivePopupWindow) {
  stand_in::window::SetActive(NULL);
  EXPECT_EQ(GetActivePopupWindow(), nullptr);
  HWND main = stand_in::window::Create();
  HWND popup = stand_in::window::Create();
  stand_in::window::SetActive(main);
  EXPECT_EQ(GetActivePopupWindow(), main);
  stand_in::window::SetLastActivePopup(main, popup);
  EXPECT_EQ(GetActivePopupWindow(), popup);
  stand_in::window::SetActive(NULL);
}

TEST_F(HostUtilsFiles, SaveActiveModel) {
  EXPECT_EQ(SaveActiveModel(app(), L"D:\\out\\plate.obj"), 0);
  EXPECT_EQ(GetHostUtilError(), L"Unable to retrieve active model");
  EXPECT_EQ(CallsOf(kSaveOp), 0);

  NewPart();
  EXPECT_EQ(SaveActiveModel(app(), L"D:\\out\\plate.obj"), 1);
  EXPECT_TRUE(Exists("out/plate.obj"));
  EXPECT_EQ(GetHostUtilError(), L"Unable to retrieve active model");  // a success clears nothing

  // The host answers S_OK but reports that nothing was written.
  EXPECT_EQ(SaveActiveModel(app(), L"D:\\missing\\plate.obj"), 0);
  EXPECT_EQ(GetHostUtilError(), L"Unable to extract solid data");
  for (HRESULT fault : {E_FAIL, S_FALSE}) {
    SetHostUtilError(L"");
    host_.InjectFault(kSaveOp, 1, fault);
    EXPECT_EQ(SaveActiveModel(app(), L"D:\\out\\again.obj"), 0) << fault;
    EXPECT_EQ(GetHostUtilError(), L"Unable to extract solid data") << fault;
  }
  EXPECT_EQ(CallsOf(kSaveOp), 4);

  // A host that saves but answers S_FALSE has not said it saved.
  host_.InjectMisreport(kSaveOp, 1, S_FALSE);
  EXPECT_EQ(SaveActiveModel(app(), L"D:\\out\\third.obj"), 0);
  EXPECT_EQ(GetHostUtilError(), L"Unable to extract solid data");

  const std::vector<stand_in::Call> calls = host_.Calls();
  const stand_in::Call& save = calls.back();
  EXPECT_EQ(save.op, kSaveOp);
  EXPECT_EQ(save.args, "\"D:\\out\\third.obj\", 0, VARIANT_TRUE, VARIANT_TRUE");
}

TEST_F(HostUtilsFiles, LoadDxf) {
  Write("out/a.dxf");
  EXPECT_EQ(LoadDxf(app(), L"D:\\out\\missing.dxf"), 0);
  EXPECT_EQ(GetHostUtilError(), L"Unable to load DXF file\n");
  SetHostUtilError(L"earlier");
  EXPECT_EQ(LoadDxf(app(), L"D:\\out\\a.dxf"), 1);
  EXPECT_EQ(GetHostUtilError(), L"earlier");
  EXPECT_EQ(Loaded(), std::vector<std::wstring>({L"D:\\out\\a.dxf"}));
  EXPECT_TRUE(Exists("out/a.dxf"));  // a single load deletes nothing
  host_.InjectFault(kLoadOp, 1, S_FALSE);
  EXPECT_EQ(LoadDxf(app(), L"D:\\out\\a.dxf"), 0);
  EXPECT_EQ(GetHostUtilError(), L"Unable to load DXF file\n");
  SetHostUtilError(L"");
  host_.InjectMisreport(kLoadOp, 1, S_FALSE);
  EXPECT_EQ(LoadDxf(app(), L"D:\\out\\a.dxf"), 0);
  EXPECT_EQ(GetHostUtilError(), L"Unable to load DXF file\n");
  EXPECT_EQ(host_.Calls().back().args, "\"D:\\out\\a.dxf\", \"\"");
}

TEST_F(HostUtilsFiles, LoadDxfFolderLoadsAndDeletesTheNamedFiles) {
  for (const char* name : {"out/plate.dxf", "out/plate-2.dxf", "out/other.dxf"}) Write(name);
  SetHostUtilError(L"earlier");
  int loaded = -1;
  EXPECT_EQ(LoadDxfFolder(app(), L"D:\\out\\plate.sldprt", &loaded), 1);
  EXPECT_EQ(loaded, 2);
  EXPECT_EQ(Loaded(), std::vector<std::wstring>({L"D:\\out\\plate-2.dxf", L"D:\\out\\plate.dxf"}));
  EXPECT_FALSE(Exists("out/plate.dxf"));
  EXPECT_FALSE(Exists("out/plate-2.dxf"));
  EXPECT_TRUE(Exists("out/other.dxf"));
  EXPECT_EQ(GetHostUtilError(), L"earlier");
}

TEST_F(HostUtilsFiles, LoadDxfFolderGoesOnPastAFailedLoad) {
  for (const char* name : {"out/plate.dxf", "out/plate-2.dxf", "out/plate-3.dxf"}) Write(name);
  host_.InjectFault(kLoadOp, 2, E_FAIL);
  int loaded = -1;
  EXPECT_EQ(LoadDxfFolder(app(), L"D:\\out\\plate.sldprt", &loaded), 0);
  EXPECT_EQ(loaded, 2);
  EXPECT_EQ(CallsOf(kLoadOp), 3);
  EXPECT_EQ(GetHostUtilError(), L"Unable to load DXF file\n");
  for (const char* name : {"out/plate.dxf", "out/plate-2.dxf", "out/plate-3.dxf"}) EXPECT_FALSE(Exists(name)) << name;
}

TEST_F(HostUtilsFiles, LoadDxfFolderWithoutABaseNameTakesEveryDxf) {
  for (const char* name : {"out/plate.dxf", "out/other.DXF", "out/notes.txt"}) Write(name);
  int loaded = -1;
  EXPECT_EQ(LoadDxfFolder(app(), L"D:\\out\\", &loaded), 1);
  EXPECT_EQ(loaded, 2);
  EXPECT_EQ(Loaded(), std::vector<std::wstring>({L"D:\\out\\other.DXF", L"D:\\out\\plate.dxf"}));
  EXPECT_FALSE(Exists("out/plate.dxf"));
  EXPECT_FALSE(Exists("out/other.DXF"));
  EXPECT_TRUE(Exists("out/notes.txt"));
}

TEST_F(HostUtilsFiles, LoadDxfFolderTakesALongPathPrefix) {
  Write("out/plate.dxf");
  int loaded = -1;
  EXPECT_EQ(LoadDxfFolder(app(), L"\\\\?\\D:\\out\\plate.sldprt", &loaded), 1);
  EXPECT_EQ(loaded, 1);
  EXPECT_FALSE(Exists("out/plate.dxf"));
}

TEST_F(HostUtilsFiles, LoadDxfFolderFindingNothing) {
  Write("out/other.dxf");
  for (const wchar_t* path : {L"D:\\out\\plate.sldprt", L"D:\\missing\\plate.sldprt"}) {
    SetHostUtilError(L"");
    int loaded = -1;
    EXPECT_EQ(LoadDxfFolder(app(), path, &loaded), 0) << ToUtf8(path);
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(GetHostUtilError(), L"Unable to read 2D data\n");
  }
  EXPECT_EQ(CallsOf(kLoadOp), 0);
  EXPECT_TRUE(Exists("out/other.dxf"));
}

// A directory or base name longer than a path component buffer holds, or
// one with wildcards, must not turn into another search: every file found
// would be deleted. The working directory holds a DXF file too, the one a
// split that empties its parts would search.
TEST_F(HostUtilsFiles, LoadDxfFolderRefusesPathsItCannotSplitSafely) {
  const std::string dir249(249, 'd'), dir250(250, 'd');
  for (const std::string& d : {dir249, dir250}) {
    ASSERT_EQ(::mkdir((root_ + "/out/" + d).c_str(), 0755), 0);
    Write("out/" + d + "/plate.dxf");
  }
  Write("out/plate.dxf");
  Write("stray.dxf");
  struct WorkingDirectory {
    char saved[4096] = ".";
    ~WorkingDirectory() { EXPECT_EQ(::chdir(saved), 0); }
  } cwd;
  ASSERT_NE(::getcwd(cwd.saved, sizeof cwd.saved), nullptr);
  ASSERT_EQ(::chdir(root_.c_str()), 0);

  const std::wstring wdir249(dir249.begin(), dir249.end()), wdir250(wdir249 + L"d");
  const std::wstring refused[] = {
      L"D:\\out\\" + wdir250 + L"\\plate.sldprt",           // directory of 256 characters
      L"D:\\out\\plate" + std::wstring(251, L'x') + L".sldprt",  // base name of 256
      L"D:\\out\\plate" + std::wstring(251, L'x'),              // the same without extension
      L"\\\\?\\D:\\out\\" + wdir250 + L"\\plate.sldprt",  // the prefix counts in the directory
      L"D:\\out\\" + wdir249 + L"\\plate.sldprt",  // fits the split, but the pattern is over MAX_PATH
      L"D:\\out\\*.sldprt",
      L"D:\\out\\pl?te.sldprt",
  };
  for (const std::wstring& path : refused) {
    SetHostUtilError(L"");
    int loaded = -1;
    EXPECT_EQ(LoadDxfFolder(app(), path.c_str(), &loaded), 0) << path.size();
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(GetHostUtilError(), L"Unable to read 2D data\n");
  }
  EXPECT_EQ(CallsOf(kLoadOp), 0);
  EXPECT_TRUE(Exists("stray.dxf"));
  EXPECT_TRUE(Exists("out/plate.dxf"));
  EXPECT_TRUE(Exists("out/" + dir250 + "/plate.dxf"));

  EXPECT_TRUE(Exists("out/" + dir249 + "/plate.dxf"));

  // The longest directory that fits (255 characters, "\\?\D:" included)
  // still works, with the prefix that lifts MAX_PATH.
  const std::string dir243(243, 'd');
  ASSERT_EQ(::mkdir((root_ + "/out/" + dir243).c_str(), 0755), 0);
  Write("out/" + dir243 + "/plate.dxf");
  const std::wstring longest = L"\\\\?\\D:\\out\\" + std::wstring(243, L'd') + L"\\plate.sldprt";
  ASSERT_EQ(longest.size() - std::wstring(L"plate.sldprt").size(), static_cast<size_t>(_MAX_DIR - 1));
  int loaded = -1;
  EXPECT_EQ(LoadDxfFolder(app(), longest.c_str(), &loaded), 1);
  EXPECT_EQ(loaded, 1);
  EXPECT_FALSE(Exists("out/" + dir243 + "/plate.dxf"));
}

// The file system's own wildcards "<", ">" and "\"" are refused like "*"
// and "?": each of these would match the files beside the named one, and
// every file found is deleted.
TEST_F(HostUtilsFiles, LoadDxfFolderRefusesTheFileSystemsWildcards) {
  const char* files[] = {"out/plate.dxf", "out/plate-2.dxf", "out/other.dxf", "out/plate.v2.dxf"};
  for (const char* name : files) Write(name);
  for (const wchar_t* path : {L"D:\\out\\<.sldprt", L"D:\\out\\>ther.sldprt", L"D:\\out\\plate\"v2.sldprt",
                              L"D:\\out\\pl>>e.sldprt", L"D:\\o<\\plate.sldprt"}) {
    SetHostUtilError(L"");
    int loaded = -1;
    EXPECT_EQ(LoadDxfFolder(app(), path, &loaded), 0) << ToUtf8(path);
    EXPECT_EQ(loaded, 0) << ToUtf8(path);
    EXPECT_EQ(GetHostUtilError(), L"Unable to read 2D data\n") << ToUtf8(path);
  }
  EXPECT_EQ(CallsOf(kLoadOp), 0);
  for (const char* name : files) EXPECT_TRUE(Exists(name)) << name;
}

// A directory entry whose name Windows forbids is no file of the folder:
// "..\victim.dxf" joined to D:\out\ would name D:\victim.dxf, which the
// loader would delete while keeping the entry it matched.
TEST_F(HostUtilsFiles, LoadDxfFolderNeverReachesOutOfTheFolder) {
  Write("victim.dxf");
  Write("out/plate.dxf");
  const std::string hostile[] = {"out/..\\victim.dxf", "out/plate\\..\\..\\victim.dxf", "out/plate:x.dxf",
                                 "out/plate\x01.dxf"};
  for (const std::string& name : hostile) Write(name);
  std::vector<std::wstring> expected;
  for (const wchar_t* path : {L"D:\\out\\", L"D:\\out\\plate.sldprt"}) {
    Write("out/plate.dxf");
    int loaded = -1;
    EXPECT_EQ(LoadDxfFolder(app(), path, &loaded), 1) << ToUtf8(path);
    EXPECT_EQ(loaded, 1) << ToUtf8(path);
    expected.push_back(L"D:\\out\\plate.dxf");
    EXPECT_EQ(Loaded(), expected) << ToUtf8(path);
    EXPECT_FALSE(Exists("out/plate.dxf")) << ToUtf8(path);
    EXPECT_TRUE(Exists("victim.dxf")) << ToUtf8(path);
    for (const std::string& name : hostile) EXPECT_TRUE(Exists(name)) << name;
  }
}

// ".." stops at the drive's root, so a path through it still names a file
// of the drive: D:\..\plate.sldprt is D:\plate.sldprt.
TEST_F(HostUtilsFiles, LoadDxfFolderStaysOnItsDrive) {
  stand_in::SetDriveRoot(L'D', root_ + "/out");
  Write("plate.dxf");  // beside the drive's root, outside it
  Write("out/plate.dxf");
  int loaded = -1;
  EXPECT_EQ(LoadDxfFolder(app(), L"D:\\..\\..\\plate.sldprt", &loaded), 1);
  EXPECT_EQ(loaded, 1);
  EXPECT_FALSE(Exists("out/plate.dxf"));
  EXPECT_TRUE(Exists("plate.dxf"));
}

// A read-only file loads but stays: Windows refuses to delete it, and the
// outcome of the deletion does not change the result.
TEST_F(HostUtilsFiles, LoadDxfFolderLeavesAReadOnlyFile) {
  Write("out/plate.dxf");
  Write("out/plate-2.dxf");
  ASSERT_EQ(::chmod((root_ + "/out/plate-2.dxf").c_str(), 0444), 0);
  int loaded = -1;
  EXPECT_EQ(LoadDxfFolder(app(), L"D:\\out\\plate.sldprt", &loaded), 1);
  EXPECT_EQ(loaded, 2);
  EXPECT_FALSE(Exists("out/plate.dxf"));
  EXPECT_TRUE(Exists("out/plate-2.dxf"));
}

TEST_F(HostUtilsFiles, LoadDxfFolderWithoutAHostDeletesNothing) {
  Write("out/plate.dxf");
  int loaded = -1;
  EXPECT_EQ(LoadDxfFolder(nullptr, L"D:\\out\\plate.sldprt", &loaded), 0);
  EXPECT_EQ(loaded, 0);
  EXPECT_TRUE(Exists("out/plate.dxf"));
}

// The utility error text is its own: the bridge's error stays as it was.
TEST_F(HostUtils, ErrorTextIsApartFromTheBridgeError) {
  VLMSWON::SetError(L"bridge");
  SetHostUtilError(L"set");
  EXPECT_EQ(GetHostUtilError(), L"set");
  EXPECT_EQ(LoadDxf(app(), L"D:\\nowhere\\a.dxf"), 0);
  EXPECT_EQ(SaveActiveModel(app(), L"D:\\nowhere\\a.obj"), 0);
  EXPECT_EQ(GetHostUtilError(), L"Unable to retrieve active model");
  EXPECT_EQ(VLMSWON::GetError(), L"bridge");
  VLMSWON::SetError(L"");
}

}  // namespace

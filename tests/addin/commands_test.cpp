#include "addin_fixture.h"

#include "Ombra3DS.h"
#include "alloc_limit.h"
#include "stand_in/text.h"
#include "temp_dir.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class Commands : public AddinTest {
 protected:
  void SetUp() override {
    AddinTest::SetUp();
    BuildCaption(app());
  }
  std::wstring Caption() const { return caption; }
  int Import(const wchar_t* path) { return ImportFile(host.Application(), CString(path)); }
  // The corners of the faces of the first body of the newest part.
  std::vector<stand_in::Point3> Corners() const {
    std::vector<stand_in::Point3> out;
    const auto& faces = host.Documents().back().bodies.at(0).faces;
    for (size_t f = 0; f < faces.Count(); ++f)
      for (int k = 0; k < faces.CornerCount(f); ++k) out.push_back(faces.Corner(f, k));
    return out;
  }
};

TEST_F(Commands, CaptionNamesTheRunningHost) {
  struct Case {
    const wchar_t* revision;
    const wchar_t* caption;
  };
  const Case cases[] = {
      {L"21.0.0", L"Tessaly for SolidWorks 2013 version 1.0"},
      {L"16.2", L"Tessaly for SolidWorks 2008 version 1.0"},
      {L"22.0.0", L"Tessaly for SolidWorks ???? version 1.0"},
      {L"junk", L"Tessaly for SolidWorks ???? version 1.0"},
  };
  for (const Case& c : cases) {
    host.SetRevisionNumber(c.revision);
    BuildCaption(app());
    EXPECT_EQ(Caption(), c.caption) << c.revision;
  }
}

TEST_F(Commands, WarningBoxesAreOwnedByTheMainWindowAndTitledWithTheCaption) {
  EXPECT_EQ(Import(L"D:\\Data\\robot.obj"), 0);
  const auto boxes = ui.EventsOf("messagebox");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"Please specify a file name with a .3ds extension");
  EXPECT_EQ(boxes[0].title, L"Tessaly for SolidWorks 2013 version 1.0");
  EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_ICONWARNING));
  EXPECT_EQ(boxes[0].owner, reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x00010AF2)));
  // Neither dialog opened.
  EXPECT_TRUE(ui.dialogs.empty());
  EXPECT_TRUE(ui.fileDialogs.empty());
}

// The reader is given the path as the rule cuts it: its failure text names
// the file it was asked for.
TEST_F(Commands, PathIsCutAfterTheFirstDotThreeDs) {
  struct Case {
    const wchar_t* given;
    const wchar_t* read;
  };
  const Case cases[] = {
      {L"D:\\Models\\Chair.3DS", L"D:\\Models\\Chair.3DS"},
      {L"D:\\Data\\robot.3ds.bak", L"D:\\Data\\robot.3ds"},
      {L"D:\\old.3ds\\robot.3ds", L"D:\\old.3ds"},
  };
  for (const Case& c : cases) {
    ui.events.clear();
    AnswerOptions().Press(IDOK);
    EXPECT_EQ(Import(c.given), 0);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u) << c.given;
    EXPECT_THAT(boxes[0], HasSubstr(std::wstring(L"\"") + c.read + L"\"")) << c.given;
  }
}

TEST_F(Commands, AFileInItsOwnLetterCaseIsImported) {
  Write3ds("Models/Chair.3DS", {Tetrahedron("Chair")});
  AnswerOptions().Press(IDOK);
  EXPECT_EQ(Import(L"D:\\Models\\Chair.3DS"), 1);
  EXPECT_TRUE(Boxes().empty());
  ASSERT_EQ(host.Documents().size(), 1u);
  ASSERT_EQ(host.Documents()[0].bodies.size(), 1u);
  EXPECT_EQ(host.Documents()[0].bodies[0].kind, stand_in::BodyKind::Solid);
}

TEST_F(Commands, EmptyPathAsksForTheFileAndACancelEndsQuietly) {
  ui.CancelFile();
  EXPECT_EQ(Import(L""), 0);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(ui.dialogs.empty());
  ASSERT_EQ(ui.fileDialogs.size(), 1u);
  const auto& request = ui.fileDialogs[0].request;
  EXPECT_TRUE(request.open);
  EXPECT_EQ(request.defaultExtension, L"3ds");
  EXPECT_EQ(request.flags, static_cast<DWORD>(OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT));
  ASSERT_EQ(request.filters.size(), 1u);
  EXPECT_EQ(request.filters[0].first, L"3D Studio 3DS Files (*.3ds)");
  EXPECT_EQ(request.filters[0].second, L"*.3ds");
  EXPECT_EQ(request.owner, reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x00010AF2)));
}

// The file dialog adds its default extension to a bare name, but a name the
// user typed with another extension reaches the reader as typed.
TEST_F(Commands, AChosenFileGoesToTheReaderUntested) {
  ui.ChooseFile(L"D:\\Data\\robot.obj");
  AnswerOptions().Press(IDOK);
  EXPECT_EQ(Import(L""), 0);
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_THAT(boxes[0], HasSubstr(L"\"D:\\Data\\robot.obj\""));
}

TEST_F(Commands, CancelledOptionsEndQuietlyWithoutReading) {
  Write3ds("Data/robot.3ds", {Tetrahedron("robot")});
  AnswerOptions().Press(IDCANCEL);
  EXPECT_EQ(Import(L"D:\\Data\\robot.3ds"), 0);
  EXPECT_TRUE(Boxes().empty());
  // Read, the file would have gone on to the bridge.
  EXPECT_TRUE(host.Documents().empty());
}

TEST_F(Commands, AFileWithoutMeshesIsSaidSoAndTheBridgeIsNotCalled) {
  Write3ds("Data/empty.3ds", {});
  AnswerOptions().Press(IDOK);
  EXPECT_EQ(Import(L"D:\\Data\\empty.3ds"), 0);
  EXPECT_EQ(Boxes(), std::vector<std::wstring>{L"3DS file does not contain meshes"});
  for (const auto& op : host.Operations()) EXPECT_EQ(op.rfind("IHostApplication::NewPartDocument", 0), std::string::npos);
  EXPECT_TRUE(host.Documents().empty());
}

TEST_F(Commands, TheReadersTextIsShownUnchanged) {
  AnswerOptions().Press(IDOK);
  EXPECT_EQ(Import(L"D:\\Data\\missing.3ds"), 0);
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(CString(boxes[0].c_str()), Ombra3DS::GetError());
}

// A coordinate that is no number is damage: the import says where, and the
// host gets no part with a face missing.
TEST_F(Commands, ACoordinateThatIsNoNumberIsRefusedBeforeTheHostSeesIt) {
  three_ds::Mesh broken = Tetrahedron("Broken");
  broken.vertices[3][2] = std::numeric_limits<float>::quiet_NaN();
  Write3ds("Data/broken.3ds", {broken});
  AnswerOptions().Press(IDOK);
  EXPECT_EQ(Import(L"D:\\Data\\broken.3ds"), 0);
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_THAT(boxes[0], HasSubstr(L"D:\\Data\\broken.3ds"));
  EXPECT_THAT(boxes[0], HasSubstr(L"object \"Broken\": vertex 3"));
  EXPECT_THAT(boxes[0], HasSubstr(L"z coordinate NaN at offset"));
  EXPECT_TRUE(host.Documents().empty());
}

TEST_F(Commands, YUpTurnsTheFilesZIntoThePartsY) {
  const three_ds::Mesh tri{"tri", {{1, 2, 3}, {4, 2, 3}, {1, 5, 3}}, {{0, 1, 2}}};
  Write3ds("tri.3ds", {tri});
  for (bool yUp : {true, false}) {
    SCOPED_TRACE(yUp);
    auto& script = AnswerOptions().Select(L"Units", L"Meters");
    if (!yUp) script.Uncheck(L"Y axis points upwards");
    script.Press(IDOK);
    ASSERT_EQ(Import(L"D:\\tri.3ds"), 1);
    const auto corners = Corners();
    ASSERT_EQ(corners.size(), 3u);
    const stand_in::Point3 first = yUp ? stand_in::Point3{1, 3, -2} : stand_in::Point3{1, 2, 3};
    EXPECT_NEAR(corners[0].x, first.x, 1e-6);
    EXPECT_NEAR(corners[0].y, first.y, 1e-6);
    EXPECT_NEAR(corners[0].z, first.z, 1e-6);
  }
}

TEST_F(Commands, TheBridgesTextIsShown) {
  Write3ds("two.3ds", {Tetrahedron("a"), Tetrahedron("b")});
  host.InjectFault("IHostApplication::NewPartDocument", 1, E_FAIL);
  AnswerOptions().Press(IDOK);
  EXPECT_EQ(Import(L"D:\\two.3ds"), 0);
  EXPECT_EQ(Boxes(), std::vector<std::wstring>{L"Unable to create part"});
}

TEST_F(Commands, OptionsReachTheBridge) {
  Write3ds("two.3ds", {Tetrahedron("a"), Tetrahedron("b")});
  AnswerOptions().Check(1023).Uncheck(1028).Select(1024, 0).Press(IDOK);
  ASSERT_EQ(Import(L"D:\\two.3ds"), 1);
  // One part per mesh, each a 3D sketch, in millimetres.
  ASSERT_EQ(host.Documents().size(), 2u);
  for (const auto& doc : host.Documents()) {
    EXPECT_EQ(doc.lengthUnit, hostMM);
    EXPECT_TRUE(doc.bodies.empty());
    ASSERT_EQ(doc.sketches.size(), 1u);
    EXPECT_EQ(doc.sketches[0].lines.size(), 6u);
  }
}

TEST_F(Commands, AnOutsideModelImportsEndToEnd) {
  const std::string model = "/usr/share/assimp/models/3DS/RotatingCube.3DS";
  if (!std::filesystem::exists(model)) GTEST_SKIP() << "assimp-testmodels is not installed";
  stand_in::SetDriveRoot(L'M', "/usr/share/assimp/models");
  AnswerOptions().Press(IDOK);
  ASSERT_EQ(Import(L"M:\\3DS\\RotatingCube.3DS"), 1) << (Boxes().empty() ? L"" : Boxes()[0]).c_str();
  ASSERT_EQ(host.Documents().size(), 1u);
  ASSERT_FALSE(host.Documents()[0].bodies.empty());
  EXPECT_EQ(host.Documents()[0].lengthUnit, hostINCHES);
}

TEST_F(Commands, TooLittleMemoryGivesOneWarningAndNoResult) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook in this build";
  std::vector<three_ds::Mesh> meshes;
  for (int i = 0; i < 8; ++i) meshes.push_back(Tetrahedron("m" + std::to_string(i)));
  Write3ds("many.3ds", meshes);
  auto importOnce = [&](const test_support::AllocationLimit::Options& options, long long* allocations) {
    ui.events.clear();
    AnswerOptions().Press(IDOK);
    CString path(L"D:\\many.3ds");
    test_support::AllocationLimit limit(options);
    const int result = ImportFile(app(), std::move(path));
    limit.End();
    if (allocations) *allocations = limit.Allocations();
    return result;
  };
  long long total = 0;
  ASSERT_EQ(importOnce({}, &total), 1);
  ASSERT_GT(total, 100);

  // One allocation fails in each run, a later one each time: wherever memory
  // runs out, the import answers 0 and the user is told once.
  int failed = 0;
  for (long long n = 1; n <= total; n += 1 + total / 300) {
    const int result = importOnce(test_support::AllocationLimit::FailOnly(n), nullptr);
    const auto boxes = Boxes();
    if (result == 1) {
      EXPECT_TRUE(boxes.empty()) << "failing allocation " << n;
      continue;
    }
    ASSERT_EQ(boxes.size(), 1u) << "failing allocation " << n;
    EXPECT_FALSE(boxes[0].empty());
    ++failed;
  }
  EXPECT_GT(failed, 10);
}

TEST_F(Commands, HelpIsSoughtBesideTheModuleOrTheHostProgram) {
  // No module named Tessaly.dll is loaded in this test program: the help
  // file is sought beside the program itself.
  ShowHelp(app());
  EXPECT_EQ(Boxes(), std::vector<std::wstring>{L"Error displaying Tessaly for SolidWorks help file."});
  EXPECT_TRUE(ui.EventsOf("shell.open").empty());

  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  ASSERT_GT(n, 0);
  self[n] = 0;
  const auto help = std::filesystem::path(self).parent_path() / "Tessaly.chm";
  { std::ofstream(help) << "help"; }
  ui.events.clear();
  ShowHelp(app());
  std::filesystem::remove(help);
  EXPECT_TRUE(Boxes().empty());
  const auto opened = ui.EventsOf("shell.open");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_THAT(opened[0].text, HasSubstr(L"Tessaly.chm"));
}

TEST_F(Commands, HelpIsSoughtBesideTheLoadedModule) {
  const auto module = std::filesystem::absolute(TESSALY_MODULE).lexically_normal();
  HMODULE loaded = LoadLibraryW(stand_in::WindowsPath(module.string()).c_str());
  ASSERT_NE(loaded, nullptr);
  const auto help = module.parent_path() / "Tessaly.chm";
  { std::ofstream(help) << "help"; }
  ShowHelp(app());
  std::filesystem::remove(help);
  FreeLibrary(loaded);
  EXPECT_TRUE(Boxes().empty());
  const auto opened = ui.EventsOf("shell.open");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].text, stand_in::WindowsPath(help.string()));
}

// Copies of the module in folders of growing depth: the help file beside a
// copy is opened while the copy's path fits the 260 characters the module's
// path is asked into. A path that was cut may name another folder (here one
// that holds a help file too): the warning is shown instead.
TEST_F(Commands, HelpBesideAModuleInADeepFolder) {
  struct Case {
    size_t modulePath;  // characters of its Windows path
    bool opened;
  } const cases[] = {
      {259, true},   // the longest that fits
      {260, false},  // cut in the file's name
      {270, false},  // a folder of 257 characters, more than a split's _MAX_DIR
      {400, false},  // cut in the folders: the cut path names a parent
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.modulePath);
    // The Windows form is the native path after "Z:".
    const auto folder = test_support::DeepFolder(root / std::to_string(i), c.modulePath - 2 - 12);
    const auto module = folder / "Tessaly.dll";
    const std::wstring windowsPath = stand_in::WindowsPath(module.string());
    ASSERT_EQ(windowsPath.size(), c.modulePath);
    std::filesystem::copy_file(TESSALY_MODULE, module);
    { std::ofstream(folder / "Tessaly.chm") << "help"; }
    // The folder a path cut to 259 characters would name.
    const std::wstring cut = windowsPath.substr(0, std::min<size_t>(windowsPath.size(), 259));
    const auto cutFolder = std::filesystem::path(stand_in::NativePath(cut.substr(0, cut.find_last_of(L'\\'))));
    { std::ofstream(cutFolder / "Tessaly.chm") << "help"; }

    HMODULE loaded = LoadLibraryW((L"\\\\?\\" + windowsPath).c_str());
    ASSERT_NE(loaded, nullptr);
    ui.events.clear();
    ShowHelp(app());
    FreeLibrary(loaded);
    const auto opened = ui.EventsOf("shell.open");
    if (c.opened) {
      EXPECT_TRUE(Boxes().empty());
      ASSERT_EQ(opened.size(), 1u);
      EXPECT_EQ(opened[0].text, stand_in::WindowsPath((folder / "Tessaly.chm").string()));
    } else {
      EXPECT_TRUE(opened.empty()) << stand_in::ToUtf8(opened.empty() ? L"" : opened[0].text);
      EXPECT_EQ(Boxes(), std::vector<std::wstring>{L"Error displaying Tessaly for SolidWorks help file."});
    }
  }
}

TEST_F(Commands, AboutShowsTheCaption) {
  host.SetRevisionNumber(L"18.1");
  ShowAbout(app());
  const auto about = ui.EventsOf("about");
  ASSERT_EQ(about.size(), 1u);
  EXPECT_EQ(about[0].text, L"Tessaly for SolidWorks 2010 version 1.0");
  EXPECT_EQ(about[0].owner, nullptr);
}

}  // namespace

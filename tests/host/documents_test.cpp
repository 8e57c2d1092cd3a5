// Documents and the application: roles, the active document, units,
// sketches, saving and loading, the revision and the main window.
#include "fixture.h"

#include "stand_in/paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using stand_in::Point3;

namespace {

CComPtr<IUnknown> Identity(IUnknown* object) {
  CComPtr<IUnknown> unknown;
  EXPECT_EQ(object->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&unknown)), S_OK);
  return unknown;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "host-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

TEST_F(HostTest, APartIsOneDocumentSeenThroughBothRoles) {
  OpenPart();
  CComPtr<IHostDocument> active;
  ASSERT_EQ(app()->ActiveDocument(&active), S_OK);
  EXPECT_EQ(Identity(active), Identity(part));
  EXPECT_EQ(Identity(doc), Identity(part));
  CComPtr<IHostPartDocument> back;
  ASSERT_EQ(active.QueryInterface(&back), S_OK);
  EXPECT_EQ(back, part);
  CComPtr<IHostApplication> notADocument;
  EXPECT_EQ(part.QueryInterface(&notADocument), E_NOINTERFACE);
  EXPECT_FALSE(notADocument);

  ASSERT_EQ(host.Documents().size(), 1u);
  EXPECT_EQ(model().kind, stand_in::DocumentKind::Part);
  EXPECT_EQ(model().title, "Part1");
  EXPECT_EQ(model().lengthUnit, hostMM);
  EXPECT_EQ(host.ActiveDocument(), &model());
}

TEST_F(HostTest, TheNewestPartIsTheActiveDocument) {
  // Preset to something else: the host must set it to null.
  IHostDocument* none = reinterpret_cast<IHostDocument*>(app());
  EXPECT_EQ(app()->ActiveDocument(&none), S_OK);
  EXPECT_EQ(none, nullptr);

  OpenPart();
  CComPtr<IHostPartDocument> second;
  ASSERT_EQ(app()->NewPartDocument(&second), S_OK);
  CComPtr<IHostDocument> active;
  ASSERT_EQ(app()->ActiveDocument(&active), S_OK);
  EXPECT_EQ(Identity(active), Identity(second));
  ASSERT_EQ(host.Documents().size(), 2u);
  EXPECT_FALSE(host.Documents()[0].active);
  EXPECT_TRUE(host.Documents()[1].active);
  EXPECT_EQ(host.Documents()[1].title, "Part2");
}

TEST_F(HostTest, LengthUnitTakesTheFiveCodesOnly) {
  OpenPart();
  for (LONG unit : {hostCM, hostMETER, hostINCHES, hostFEET, hostMM}) {
    EXPECT_EQ(doc->SetLengthUnit(unit), S_OK);
    EXPECT_EQ(model().lengthUnit, unit);
  }
  ASSERT_EQ(doc->SetLengthUnit(hostFEET), S_OK);
  for (LONG bad : {-1, 5, 1000}) {
    EXPECT_EQ(doc->SetLengthUnit(bad), E_INVALIDARG) << bad;
    EXPECT_EQ(model().lengthUnit, hostFEET) << bad;
  }
}

TEST_F(HostTest, EachOpenClosePairMakesOneSketch) {
  OpenPart();
  CComPtr<IUnknown> segment;
  EXPECT_EQ(doc->CreateSketchLine(0, 0, 0, 1, 0, 0, &segment), E_FAIL);  // nothing open yet
  EXPECT_FALSE(segment);

  ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
  ASSERT_EQ(model().sketches.size(), 1u);
  EXPECT_TRUE(model().sketches[0].open);
  for (int i = 0; i < 3; ++i) {
    CComPtr<IUnknown> line;
    EXPECT_EQ(doc->CreateSketchLine(0, 0, i, 1, 0, i, &line), S_OK);
    EXPECT_TRUE(line);
  }
  EXPECT_EQ(doc->CreateSketchLine(2, 2, 2, 2, 2, 2, &segment), E_FAIL);  // no length
  EXPECT_FALSE(segment);
  ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
  EXPECT_FALSE(model().sketches[0].open);
  EXPECT_EQ(doc->CreateSketchLine(0, 0, 0, 1, 0, 0, &segment), E_FAIL);  // closed again

  ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
  ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
  ASSERT_EQ(model().sketches.size(), 2u);
  EXPECT_EQ(model().sketches[0].lines.size(), 3u);
  EXPECT_TRUE(model().sketches[1].lines.empty());
  EXPECT_EQ(model().sketches[0].lines[2].from, (Point3{0, 0, 2}));
  EXPECT_EQ(model().sketches[0].lines[2].to, (Point3{1, 0, 2}));
  EXPECT_EQ(doc->Toggle3DSketch(1), E_INVALIDARG);
  EXPECT_EQ(model().sketches.size(), 2u);
}

class SaveTest : public HostTest {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    OpenPart();
    CComPtr<IHostBody> body = NewBody();
    AddFaces(body, {{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}},
                    {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}},
                    {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}},
                    {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}});
    CComPtr<IHostBody> solid;
    ASSERT_EQ(body->CreateBodyFromSurfaces(&solid), S_OK);
    ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
    for (double z : {2.0, 3.0}) {
      CComPtr<IUnknown> line;
      ASSERT_EQ(doc->CreateSketchLine(0, 0, z, 0.25, 0, z, &line), S_OK);
    }
    ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
  }
  // S_OK always; the code tells whether the file was written.
  LONG Save(const std::string& native) {
    CComBSTR path(stand_in::WindowsPath(native).c_str());
    LONG code = -1;
    EXPECT_EQ(doc->SaveToPath(path, 0, VARIANT_TRUE, VARIANT_TRUE, &code), S_OK);
    return code;
  }
  TempDir dir;
};

TEST_F(SaveTest, WritesThePartAsAnObjFile) {
  const std::string file = dir / "plate.SLDPRT";
  ASSERT_EQ(Save(file), hostFileOK) << host.Calls().back().error;
  std::ifstream in(file);
  ASSERT_TRUE(in);
  std::vector<std::vector<long>> faces, lines;
  size_t vertices = 0;
  for (std::string text; std::getline(in, text);) {
    std::istringstream row(text);
    std::string tag;
    row >> tag;
    std::vector<long> numbers;
    for (long n; row >> n;) numbers.push_back(n);
    if (tag == "v") ++vertices;
    if (tag == "f") faces.push_back(numbers);
    if (tag == "l") lines.push_back(numbers);
  }
  EXPECT_EQ(vertices, 4u + 4u);
  ASSERT_EQ(faces.size(), 4u);
  ASSERT_EQ(lines.size(), 2u);
  for (const auto& f : faces) {
    ASSERT_EQ(f.size(), 3u);
    for (long n : f) EXPECT_TRUE(n >= 1 && n <= 4) << n;
  }
  EXPECT_EQ(lines[1], (std::vector<long>{7, 8}));
  EXPECT_FALSE(fs::exists(file + ".saving"));
}

TEST_F(SaveTest, AFailedSaveSaysSoAndLeavesWhatWasThere) {
  EXPECT_EQ(Save(dir / "missing/plate.obj"), hostFileError);
  EXPECT_NE(host.Calls().back().error.find("cannot create"), std::string::npos);
  // A directory in the way cannot be replaced by the file.
  const std::string occupied = dir / "occupied";
  fs::create_directory(occupied);
  EXPECT_EQ(Save(occupied), hostFileError);
  EXPECT_TRUE(fs::is_directory(occupied));
  EXPECT_FALSE(fs::exists(occupied + ".saving"));
  EXPECT_EQ(Save(""), hostFileError);
}

TEST_F(HostTest, LoadFileKeepsARecordOfFilesThatCanBeRead) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string file = dir / "outline.dxf";
  std::ofstream(file) << "0\nSECTION\n0\nENDSEC\n0\nEOF\n";
  const std::wstring given = stand_in::WindowsPath(file);
  LONG status = -1;
  ASSERT_EQ(app()->LoadFile(CComBSTR(given.c_str()), CComBSTR(L""), &status), S_OK);
  EXPECT_EQ(status, hostFileOK);
  ASSERT_EQ(host.LoadedFiles().size(), 1u);
  EXPECT_EQ(host.LoadedFiles()[0].path, given);
  EXPECT_EQ(host.LoadedFiles()[0].size, fs::file_size(file));

  struct Case {
    std::string native;
    LONG status;
  } bad[] = {{dir / "absent.dxf", hostFileNotFound}, {dir.path(), hostFileError}, {"", hostFileNotFound}};
  for (const Case& c : bad) {
    status = -1;
    EXPECT_EQ(app()->LoadFile(CComBSTR(stand_in::WindowsPath(c.native).c_str()), CComBSTR(L""), &status), E_FAIL)
        << c.native;
    EXPECT_EQ(status, c.status) << c.native;
  }
  EXPECT_EQ(host.LoadedFiles().size(), 1u);
}

TEST_F(HostTest, RevisionTextIsConfigurableAndMayBeNull) {
  const long bstrs = stand_in::LiveBstrCount();
  auto revision = [this] {
    CComBSTR text;
    EXPECT_EQ(app()->RevisionNumber(&text), S_OK);
    return text.m_str ? std::wstring(text.m_str) : std::wstring(L"(null)");
  };
  EXPECT_EQ(revision(), L"21.0.0");
  host.SetRevisionNumber(L"20.1.3");
  EXPECT_EQ(revision(), L"20.1.3");
  host.SetRevisionNumber(L"");
  EXPECT_EQ(revision(), L"");
  host.SetRevisionNumber(nullptr);
  EXPECT_EQ(revision(), L"(null)");
  EXPECT_EQ(stand_in::LiveBstrCount(), bstrs);
}

TEST_F(HostTest, MainWindowHandleKeepsAllThirtyTwoBits) {
  for (LONG handle : {LONG(0x00010AF2), LONG(0x80001234u), LONG(0)}) {
    host.SetMainWindowHandle(handle);
    CComPtr<IHostFrame> frame;
    ASSERT_EQ(app()->Frame(&frame), S_OK);
    ASSERT_TRUE(frame);
    LONG got = 7;
    EXPECT_EQ(frame->MainWindowHandle(&got), S_OK);
    EXPECT_EQ(got, handle);
  }
  EXPECT_EQ(host.HeldReferences(), 0);
}

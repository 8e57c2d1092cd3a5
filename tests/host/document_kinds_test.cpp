// Parts, assemblies and drawings: their roles, titles and configurations,
// and the sheet arguments a new drawing takes or refuses.
#include "fixture.h"

#include "stand_in/paths.h"
#include "stand_in/text.h"
#include "temp_dir.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <string>

namespace {

CComPtr<IUnknown> Identity(IUnknown* object) {
  CComPtr<IUnknown> unknown;
  EXPECT_EQ(object->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&unknown)), S_OK);
  return unknown;
}

}  // namespace

class KindTest : public HostTest {
 protected:
  void TearDown() override {
    part.Release();
    doc.Release();
    EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
    HostTest::TearDown();
  }
  CComPtr<IHostDrawingDocument> NewDrawing(LONG paper, BSTR name, LONG format, double width, double height,
                                           HRESULT expected) {
    IHostDrawingDocument* drawing = reinterpret_cast<IHostDrawingDocument*>(this);
    EXPECT_EQ(app()->NewDrawingDocument(paper, name, format, width, height, &drawing), expected);
    CComPtr<IHostDrawingDocument> held;
    held.Attach(drawing);
    if (expected != S_OK) {
      EXPECT_FALSE(drawing);
    }
    return held;
  }
};

TEST_F(KindTest, EachKindAnswersItsOwnRolesAndNoOther) {
  OpenPart();
  CComPtr<IHostAssemblyDocument> assembly;
  ASSERT_EQ(app()->NewAssemblyDocument(&assembly), S_OK);
  CComPtr<IHostDrawingDocument> drawing = NewDrawing(hostPaperA0, nullptr, hostPaperA0, 0.0, 0.0, S_OK);
  ASSERT_TRUE(drawing);
  const struct {
    const char* name;
    IUnknown* object;
    bool part, assembly, drawing;
  } cases[] = {
      {"part", part, true, false, false},
      {"assembly", assembly, false, true, false},
      {"drawing", drawing, false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CComPtr<IHostDocument> document;
    ASSERT_EQ(c.object->QueryInterface(__uuidof(IHostDocument), reinterpret_cast<void**>(&document)), S_OK);
    EXPECT_EQ(Identity(document), Identity(c.object));
    const struct {
      const IID& iid;
      bool answers;
    } roles[] = {{__uuidof(IHostPartDocument), c.part},
                 {__uuidof(IHostAssemblyDocument), c.assembly},
                 {__uuidof(IHostDrawingDocument), c.drawing}};
    for (const auto& r : roles) {
      IUnknown* role = c.object;  // preset: a refusal must clear it
      EXPECT_EQ(document->QueryInterface(r.iid, reinterpret_cast<void**>(&role)), r.answers ? S_OK : E_NOINTERFACE);
      EXPECT_EQ(role != nullptr, r.answers);
      if (role) {
        EXPECT_EQ(Identity(role), Identity(c.object));
        role->Release();
      }
    }
  }
}

TEST_F(KindTest, EachKindCountsItsTitlesAndTheNewestIsActive) {
  auto title = [this](const char* expected) {
    CComPtr<IHostDocument> active, model;
    ASSERT_EQ(app()->ActiveDocument(&active), S_OK);
    ASSERT_EQ(app()->ActiveModel(&model), S_OK);
    ASSERT_TRUE(active);
    EXPECT_EQ(active, model);
    CComBSTR text;
    ASSERT_EQ(active->Title(&text), S_OK);
    EXPECT_EQ(std::wstring(text), stand_in::FromUtf8(expected));
  };
  for (int round = 1; round <= 2; ++round) {
    CComPtr<IHostPartDocument> p;
    ASSERT_EQ(app()->NewPartDocument(&p), S_OK);
    title(round == 1 ? "Part1" : "Part2");
    CComPtr<IHostAssemblyDocument> a;
    ASSERT_EQ(app()->NewAssemblyDocument(&a), S_OK);
    title(round == 1 ? "Assembly1" : "Assembly2");
    NewDrawing(hostPaperA4, nullptr, hostFormatNone, 0, 0, S_OK);
    title(round == 1 ? "Draw1" : "Draw2");
  }
  ASSERT_EQ(host.Documents().size(), 6u);
  EXPECT_EQ(host.Documents()[4].kind, stand_in::DocumentKind::Assembly);
  EXPECT_EQ(host.Documents()[5].kind, stand_in::DocumentKind::Drawing);
  EXPECT_EQ(host.ActiveDocument(), &host.Documents()[5]);
  IHostAssemblyDocument* none = nullptr;
  EXPECT_EQ(app()->NewAssemblyDocument(nullptr), E_POINTER);
  host.InjectFault("IHostApplication::NewAssemblyDocument", 1, E_FAIL);
  EXPECT_EQ(app()->NewAssemblyDocument(&none), E_FAIL);
  EXPECT_FALSE(none);
  EXPECT_EQ(host.Documents().size(), 6u);
}

TEST_F(KindTest, ADrawingHasItsSheetOpenAndNoConfiguration) {
  CComPtr<IHostDrawingDocument> drawing = NewDrawing(11, nullptr, 11, 0.0, 0.0, S_OK);
  const stand_in::Document& d = model();
  EXPECT_EQ(d.kind, stand_in::DocumentKind::Drawing);
  EXPECT_EQ(d.title, "Draw1");
  ASSERT_EQ(d.sketches.size(), 1u);
  EXPECT_TRUE(d.sketches[0].open);
  EXPECT_EQ(d.sheet.width, 1.189);
  EXPECT_EQ(d.sheet.height, 0.841);

  CComPtr<IHostDocument> document;
  ASSERT_EQ(drawing.QueryInterface(&document), S_OK);
  IHostConfiguration* configuration = reinterpret_cast<IHostConfiguration*>(this);
  EXPECT_EQ(document->ActiveConfiguration(&configuration), S_OK);
  EXPECT_EQ(configuration, nullptr);
  EXPECT_NE(host.Describe().find("Draw1: drawing, unit mm, active\n  sheet A0, 1189 x 841 mm, format A0: 0 lines\n"),
            std::string::npos)
      << host.Describe();
}

TEST_F(KindTest, DrawingArgumentsAModellerRefusesMakeNoDrawing) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  test_support::TempDir dir("kinds");
  ASSERT_FALSE(dir.path().empty());
  const std::string file = dir.path() + "/sheet.drwdot";
  std::ofstream(file) << "format";
  const CComBSTR present(stand_in::WindowsPath(file).c_str()), absent(stand_in::WindowsPath(file + "x").c_str()),
      empty(L"");
  const struct {
    LONG paper;
    BSTR name;
    LONG format;
    double width, height;
    HRESULT result;
    double sheetWidth;  // of the drawing made
  } cases[] = {
      {hostPaperA, nullptr, hostPaperA, 0, 0, S_OK, 11 * 0.0254},
      {hostPaperA4Portrait, nullptr, hostFormatNone, 0, 0, S_OK, 0.210},
      {hostPaperA3, absent, hostPaperA3, 0.5, 0.4, S_OK, 0.420},  // a standard size ignores both
      {hostPaperCustom, nullptr, hostFormatNone, 0.5, 0.25, S_OK, 0.5},
      {hostPaperCustom, present, hostFormatFromFile, 0.5, 0.25, S_OK, 0.5},
      {-1, nullptr, hostPaperA0, 0, 0, E_INVALIDARG, 0},
      {13, nullptr, hostPaperA0, 0, 0, E_INVALIDARG, 0},
      {hostPaperA0, nullptr, -1, 0, 0, E_INVALIDARG, 0},
      {hostPaperA0, nullptr, 14, 0, 0, E_INVALIDARG, 0},
      {hostPaperA0, nullptr, hostPaperA0, -1, 0, E_INVALIDARG, 0},
      {hostPaperA0, nullptr, hostPaperA0, 0, nan, E_INVALIDARG, 0},
      {hostPaperCustom, nullptr, hostFormatNone, inf, 1, E_INVALIDARG, 0},
      {hostPaperCustom, nullptr, hostFormatNone, 0, 0.25, E_INVALIDARG, 0},
      {hostPaperCustom, nullptr, hostFormatNone, 0.5, 0, E_INVALIDARG, 0},
      {hostPaperA0, nullptr, hostFormatFromFile, 0, 0, E_INVALIDARG, 0},
      {hostPaperA0, empty, hostFormatFromFile, 0, 0, E_INVALIDARG, 0},
      {hostPaperA0, absent, hostFormatFromFile, 0, 0, E_FAIL, 0},
  };
  size_t made = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.paper << ", " << c.format << ", " << c.width << ", " << c.height);
    NewDrawing(c.paper, c.name, c.format, c.width, c.height, c.result);
    ASSERT_EQ(host.Documents().size(), made + (c.result == S_OK));
    if (c.result != S_OK) {
      EXPECT_FALSE(host.Calls().back().error.empty());
      continue;
    }
    EXPECT_EQ(host.Documents()[made].sheet.width, c.sheetWidth);
    ++made;
  }
}

#include <gtest/gtest.h>

#include <atlbase.h>

#include "VLMSWON.h"
#include "host_args.h"
#include "host_calls.h"
#include "meshes.h"
#include "stand_in/host.h"
#include "stand_in/ui.h"
#include "surfaces.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using test_support::Args;
using test_support::CallsOf;
using test_support::Patch;

const std::string kNewPart = "IHostApplication::NewPartDocument";
const std::string kNewAssembly = "IHostApplication::NewAssemblyDocument";
const std::string kNewDrawing = "IHostApplication::NewDrawingDocument";
const std::string kActive = "IHostApplication::ActiveDocument";
const std::string kPreA = "IHostDocument::PreGeometrySettingA";
const std::string kPreB = "IHostDocument::PreGeometrySettingB";
const std::string kUnit = "IHostDocument::SetLengthUnit";
const std::string kToggle = "IHostDocument::Toggle3DSketch";
const std::string kPostSketch = "IHostDocument::PostSketchStep";
const std::string kPostA = "IHostDocument::PostGeometryStepA";
const std::string kPostB = "IHostDocument::PostGeometryStepB";
const std::string kPoint = "IHostDocument::CreateSketchPoint";
const std::string kLine = "IHostDocument::CreateSketchLine";
const std::string kNewBody = "IHostPartDocument::NewBody";
const std::string kSew = "IHostBody::CreateBodyFromSurfaces";
const std::string kRelease = "IUnknown::Release";
// Where the building calls stood in a sequence.
const std::string kGeometry = "geometry";

// A flat patch over [0, 2] x [0, 1] whose iso-curves are straight lines.
ON_NurbsSurface FlatPatch() {
  return Patch(2, 2, 2, 2, [](int i, int j) { return ON_3dPoint(2.0 * i, j, 0); });
}

ON_Mesh Triangle() { return test_support::MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 2}}); }

class DocumentRoad : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
    EXPECT_EQ(host.OverReleases(), 0);
    EXPECT_EQ(host.UseAfterRelease(), 0) << host.DescribeUseAfterRelease();
  }

  // The calls on the application and the document, the building calls
  // between them collapsed into one "geometry".
  std::vector<std::string> DocumentSteps() const {
    std::vector<std::string> out;
    for (const std::string& op : host.Operations()) {
      if (op.rfind("IUnknown::", 0) == 0) continue;
      const bool document = op.rfind("IHostApplication::", 0) == 0 ||
                            (op.rfind("IHostDocument::", 0) == 0 && op.find("::CreateSketch") == std::string::npos);
      const std::string step = document ? op : kGeometry;
      if (step == kGeometry && !out.empty() && out.back() == kGeometry) continue;
      out.push_back(step);
    }
    return out;
  }
  std::vector<stand_in::Call> Calls(const std::string& op) const { return CallsOf(host, op); }

  stand_in::ui::ScriptedDriver ui;
  stand_in::Host host;
  IHostApplication* app = host.Application();
};

}  // namespace

TEST_F(DocumentRoad, APartFromASurfaceMakesItsDocumentCallsInItsOwnOrder) {
  const ON_NurbsSurface surface = FlatPatch();
  struct Case {
    int mode;
    std::vector<std::string> steps;
  } cases[] = {
      {0, {kNewPart, kActive, kPreA, kUnit, kGeometry, kPostA, kPostB}},
      {1, {kNewPart, kActive, kPreA, kUnit, kToggle, kPreB, kGeometry, kPostSketch, kToggle, kPostA, kPostB}},
      {2, {kNewPart, kActive, kPreA, kUnit, kPostA, kPostB}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode));
    host.ClearCalls();
    VLMSWON::SetError(L"before");
    EXPECT_EQ(VLMSWON::CreatePartFromSurface(app, surface, 1, c.mode, 0.0, 0, 0), 1);
    EXPECT_EQ(DocumentSteps(), c.steps);
    EXPECT_EQ(Calls(kPreA).at(0).args, "1");
    EXPECT_EQ(Calls(kUnit).at(0).args, "1");
    for (const auto& call : Calls(kPreB)) EXPECT_EQ(call.args, "0");
    for (const auto& call : Calls(kToggle)) EXPECT_EQ(call.args, "0");
    EXPECT_EQ(VLMSWON::GetError(), L"before");
    const stand_in::Document& part = host.Documents().back();
    EXPECT_EQ(part.lengthUnit, hostCM);
    EXPECT_EQ(part.bodies.size(), c.mode == 0 ? 1u : 0u);
    EXPECT_EQ(part.sketches.size(), c.mode == 1 ? 1u : 0u);
  }
  // The body of depth 0 is the surface alone; the sketch its six
  // iso-curves, three along each direction.
  EXPECT_EQ(stand_in::FaceCount(host.Documents()[0].bodies.at(0)), 1u);
  EXPECT_EQ(host.Documents()[1].sketches.at(0).lines.size(), 6u);
}

TEST_F(DocumentRoad, APartFromASurfaceIsFinishedAndReleasedAfterAFailedBody) {
  host.RecordUnknownCalls(true);
  host.InjectFault(kNewBody, 1, E_FAIL);
  EXPECT_EQ(VLMSWON::CreatePartFromSurface(app, FlatPatch(), 2, 0, 1.0, 1, 0), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to create new body");
  std::vector<std::string> ends;
  for (const auto& call : host.Calls())
    if (call.op == kPostA || call.op == kPostB || call.op == kRelease) ends.push_back(call.op + " " + call.args);
  EXPECT_EQ(ends, (std::vector<std::string>{kPostA + " ", kPostB + " ", kRelease + " Part1 as IHostDocument",
                                            kRelease + " Part1 as IHostPartDocument"}));
}

TEST_F(DocumentRoad, EachDocumentTypeMakesItsOwnSequence) {
  ON_3dPointArray points;
  points.Append(ON_3dPoint(1, 2, 3));
  struct Case {
    int type;
    std::vector<std::string> steps;
  } cases[] = {
      {0, {kNewPart, kActive, kPreA, kUnit, kToggle, kPreB, kGeometry, kPostA, kPostSketch, kToggle}},
      {1, {kNewAssembly, kActive, kPreA, kUnit, kToggle, kPreB, kGeometry, kPostA, kPostSketch, kToggle}},
      {2, {kNewDrawing, kActive, kPreA, kUnit, kPreB, kGeometry, kPostA, kPostSketch}},
      {3, {kActive, kPreA, kUnit, kPreB, kGeometry, kPostA, kPostSketch}},
      {-1, {kActive, kPreA, kUnit, kPreB, kGeometry, kPostA, kPostSketch}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type));
    host.ClearCalls();
    EXPECT_EQ(VLMSWON::CreateDocumentWithGeometry(app, c.type, 2, &points, nullptr, nullptr, nullptr, nullptr, 0),
              1);
    EXPECT_EQ(DocumentSteps(), c.steps);
    EXPECT_EQ(Calls(kPreA).at(0).args, "1");
    EXPECT_EQ(Calls(kPreB).at(0).args, "0");
    for (const auto& call : Calls(kToggle)) EXPECT_EQ(call.args, "0");
    EXPECT_TRUE(Calls(kPostB).empty());
  }
  EXPECT_EQ(Calls(kPoint).size(), 1u);
  EXPECT_EQ(host.Documents().size(), 3u) << "types 3 and -1 work in the active document";
}

TEST_F(DocumentRoad, ADrawingIsAskedForWithItsFixedArguments) {
  ASSERT_EQ(VLMSWON::CreateDocumentWithGeometry(app, 2, 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0), 1);
  EXPECT_EQ(Calls(kNewDrawing).at(0).args, "11, null, 11, 0, 0");
}

TEST_F(DocumentRoad, AnEmptyPartHasItsUnitAndAnEmptySketchOpenedAndClosed) {
  ASSERT_EQ(VLMSWON::CreateDocumentWithGeometry(app, 0, 3, nullptr, nullptr, nullptr, nullptr, nullptr, 1), 1);
  ASSERT_EQ(host.Documents().size(), 1u);
  const stand_in::Document& part = host.Documents()[0];
  EXPECT_EQ(part.lengthUnit, hostINCHES);
  ASSERT_EQ(part.sketches.size(), 1u);
  EXPECT_TRUE(part.sketches[0].lines.empty());
  EXPECT_FALSE(part.sketches[0].open);
  EXPECT_TRUE(ui.EventsOf("progress.").empty()) << "nothing to build, no progress";
}

TEST_F(DocumentRoad, KindsAreBuiltInTheirOrderAndOnlyWhenGiven) {
  ON_3dPointArray points;
  points.Append(ON_3dPoint(1, 0, 0));
  points.Append(ON_3dPoint(0, 1, 0));
  ON_ClassArray<ON_Mesh> meshes;
  meshes.Append(Triangle());
  ASSERT_EQ(VLMSWON::CreateDocumentWithGeometry(app, 0, 4, &points, nullptr, nullptr, nullptr, &meshes, 0), 1);
  std::vector<std::string> building;
  for (const std::string& op : host.Operations())
    if (op.find("::CreateSketch") != std::string::npos) building.push_back(op);
  EXPECT_EQ(building, (std::vector<std::string>{kPoint, kPoint, kLine, kLine, kLine}));
  // Feet: one unit is 12 inches of 0.0254 m, in double precision.
  EXPECT_EQ(Args(Calls(kPoint).at(0).args), (std::vector<std::vector<double>>{{0.30479999999999996}, {0}, {0}}));
}

TEST_F(DocumentRoad, EveryKindGivenIsDrawnInItsTurnUnderItsOwnProgress) {
  ON_3dPointArray points;
  points.Append(ON_3dPoint(1, 2, 3));
  ON_ClassArray<ON_NurbsCurve> curves;  // an open cubic: a spline
  const ON_3dPoint controls[4] = {{0, 0, 0}, {1, 2, 0}, {2, -1, 1}, {3, 0, 0}};
  curves.AppendNew().CreateClampedUniformNurbs(3, 4, 4, controls);
  ON_ClassArray<ON_NurbsSurface> surfaces;
  surfaces.Append(FlatPatch());
  ON_ClassArray<ON_Brep> breps;  // one edge, a quarter arc of the XY plane
  ON_Brep& brep = breps.AppendNew();
  brep.NewVertex(ON_3dPoint(2, 0, 0));
  brep.NewVertex(ON_3dPoint(0, 2, 0));
  const int arc = brep.AddEdgeCurve(new ON_ArcCurve(ON_Arc(ON_Circle(ON_3dPoint(0, 0, 0), 2.0), 0.5 * ON_PI)));
  brep.NewEdge(brep.m_V[0], brep.m_V[1], arc);
  ON_ClassArray<ON_Mesh> meshes;
  meshes.Append(Triangle());

  ASSERT_EQ(VLMSWON::CreateDocumentWithGeometry(app, 1, 2, &points, &curves, &surfaces, &breps, &meshes, 1), 1);
  std::vector<std::string> building;
  for (const std::string& op : host.Operations())
    if (op.find("::CreateSketch") != std::string::npos) building.push_back(op);
  EXPECT_EQ(test_support::Runs(building),
            (std::vector<std::string>{kPoint, "IHostDocument::CreateSketchSplineByNurbs", kLine + " x6",
                                      "IHostDocument::CreateSketchArc", kLine + " x3"}));
  // The progress runs started, by title.
  std::vector<std::wstring> titles;
  for (const auto& start : ui.EventsOf("progress.start"))
    for (const auto& open : ui.EventsOf("progress.open"))
      if (open.id == start.id) titles.push_back(open.title);
  EXPECT_EQ(titles, (std::vector<std::wstring>{L"Creating points", L"Creating curves", L"Creating surface curves",
                                               L"Creating brep curves", L"Creating meshes"}));
}

TEST_F(DocumentRoad, AKindThatFailsLeavesTheOthersBuiltButTheDocumentIsNotWhole) {
  ON_3dPointArray points;
  points.Append(ON_3dPoint(1, 0, 0));
  ON_ClassArray<ON_Mesh> meshes;
  meshes.Append(test_support::MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 5, 5}}));
  meshes.Append(Triangle());
  EXPECT_EQ(VLMSWON::CreateDocumentWithGeometry(app, 0, 2, &points, nullptr, nullptr, nullptr, &meshes, 0), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Invalid mesh: face 0 names vertex 5, but the mesh has 3 vertices");
  const stand_in::Sketch& sketch = host.Documents().at(0).sketches.at(0);
  EXPECT_EQ(sketch.points.size(), 1u);
  EXPECT_FALSE(sketch.open) << "the document is still finished";
  EXPECT_EQ(DocumentSteps().back(), kToggle);
}

TEST_F(DocumentRoad, NoDocumentIsAFailureWithItsText) {
  struct Case {
    int type;
    const std::string& op;
    const wchar_t* text;
  } cases[] = {
      {0, kNewPart, L"Unable to create part"},
      {1, kNewAssembly, L"Unable to create assembly"},
      {2, kNewDrawing, L"Unable to create drawing"},
      {0, kActive, L"Unable to retrieve active model"},
      {1, kActive, L"Unable to retrieve active model"},
      {2, kActive, L"Unable to retrieve active model"},
  };
  for (const Case& c : cases) {
    for (HRESULT hr : {E_FAIL, S_OK}) {
      SCOPED_TRACE("type " + std::to_string(c.type) + ", " + c.op + " " + std::to_string(hr));
      host.ClearCalls();
      host.ClearFaults();
      host.InjectFault(c.op, 1, hr);
      EXPECT_EQ(VLMSWON::CreateDocumentWithGeometry(app, c.type, 2, nullptr, nullptr, nullptr, nullptr, nullptr, 0),
                0);
      EXPECT_EQ(VLMSWON::GetError(), c.text);
      EXPECT_EQ(host.Operations().back(), c.op) << "nothing after it";
      EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
    }
  }
  // The active document with none open.
  stand_in::Host empty;
  host.ClearCalls();
  EXPECT_EQ(VLMSWON::CreateDocumentWithGeometry(empty.Application(), 3, 2, nullptr, nullptr, nullptr, nullptr,
                                                nullptr, 0),
            0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to retrieve active model");
  EXPECT_EQ(empty.Operations(), std::vector<std::string>{kActive});

  // The part road the same way.
  for (const std::string& op : {kNewPart, kActive}) {
    host.ClearFaults();
    host.InjectFault(op, 1, S_OK);
    EXPECT_EQ(VLMSWON::CreatePartFromSurface(app, FlatPatch(), 2, 0, 0.0, 0, 0), 0);
    EXPECT_EQ(VLMSWON::GetError(), op == kNewPart ? L"Unable to create part" : L"Unable to retrieve active model");
  }
}

TEST_F(DocumentRoad, TheDocumentIsReleasedBeforeTheOneMade) {
  host.RecordUnknownCalls(true);
  const char* made[] = {"Part", "Assembly", "Draw"};
  for (int type = 0; type < 3; ++type) {
    host.ClearCalls();
    ASSERT_EQ(VLMSWON::CreateDocumentWithGeometry(app, type, 2, nullptr, nullptr, nullptr, nullptr, nullptr, 0), 1);
    std::vector<std::string> releases;
    for (const auto& call : CallsOf(host, kRelease)) releases.push_back(call.args);
    ASSERT_EQ(releases.size(), 2u) << type;
    EXPECT_EQ(releases[0].find(" as IHostDocument"), releases[0].size() - 17) << releases[0];
    EXPECT_EQ(releases[1].rfind(made[type], 0), 0u) << releases[1];
  }
}

TEST_F(DocumentRoad, APartFromASurfaceHandsItsBodyTheDepthFlatFlagAndScale) {
  // Corners at heights 1, 2, 3 and 4 over [0, 4] x [0, 3]; millimetres.
  const ON_NurbsSurface sloped =
      Patch(2, 2, 2, 2, [](int i, int j) { return ON_3dPoint(4.0 * i, 3.0 * j, 1.0 + i + 2.0 * j); });
  const double mm = 0.001;
  for (int flat : {1, 0}) {
    SCOPED_TRACE(flat ? "flat bottom" : "the surface moved down");
    host.ClearCalls();
    ASSERT_EQ(VLMSWON::CreatePartFromSurface(app, sloped, 0, 0, 2.0, flat, 0), 1);
    const auto planes = Calls("IHostBody::CreatePlaneSurface");
    const auto bsplines = Calls("IHostBody::CreateBSplineSurface");
    ASSERT_EQ(planes.size(), flat ? 5u : 4u);
    ASSERT_EQ(bsplines.size(), flat ? 1u : 2u);
    if (flat) {
      // The bottom at the lowest corner less the depth, (1 - 2) mm.
      EXPECT_EQ(Args(planes.back().args)[0], (std::vector<double>{0, 0, (1.0 - 2.0) * mm}));
    } else {
      // Each corner the depth below its own height.
      const std::vector<double> moved = {0, 0, -1 * mm,     4 * mm, 0, 0,
                                         0, 3 * mm, 1 * mm, 4 * mm, 3 * mm, 2 * mm};
      const std::vector<double> bottom = Args(bsplines.back().args)[3];
      ASSERT_EQ(bottom.size(), moved.size());
      for (size_t k = 0; k < moved.size(); ++k) EXPECT_NEAR(bottom[k], moved[k], 1e-15) << k;
    }
    EXPECT_EQ(stand_in::FaceCount(host.Documents().back().bodies.at(0)), 6u);
  }
}

TEST_F(DocumentRoad, APartOfIsoCurvesShowsTheirProgressOnlyWhenAskedFor) {
  for (int progress : {1, 0}) {
    SCOPED_TRACE(progress);
    ui.events.clear();
    ASSERT_EQ(VLMSWON::CreatePartFromSurface(app, FlatPatch(), 0, 1, 0.0, 0, progress), 1);
    EXPECT_EQ(ui.EventsOf("progress.step").size(), progress ? 6u : 0u);
  }
}

TEST_F(DocumentRoad, EveryKindIsDrawnAtTheDocumentsScale) {
  ON_3dPointArray points;
  points.Append(ON_3dPoint(1, 2, 3));
  ON_ClassArray<ON_NurbsCurve> curves;  // an open cubic: a spline
  const ON_3dPoint controls[4] = {{0, 0, 0}, {1, 2, 0}, {2, -1, 1}, {3, 0, 0}};
  curves.AppendNew().CreateClampedUniformNurbs(3, 4, 4, controls);
  ON_ClassArray<ON_NurbsSurface> surfaces;  // six lines, the farthest point (2, 1, 0)
  surfaces.Append(FlatPatch());
  ON_ClassArray<ON_Brep> breps;  // a quarter arc of radius 2
  ON_Brep& brep = breps.AppendNew();
  brep.NewVertex(ON_3dPoint(2, 0, 0));
  brep.NewVertex(ON_3dPoint(0, 2, 0));
  const int arc = brep.AddEdgeCurve(new ON_ArcCurve(ON_Arc(ON_Circle(ON_3dPoint(0, 0, 0), 2.0), 0.5 * ON_PI)));
  brep.NewEdge(brep.m_V[0], brep.m_V[1], arc);
  ON_ClassArray<ON_Mesh> meshes;  // three lines, from 0 to 1
  meshes.Append(Triangle());

  const double mm = 0.001;
  ASSERT_EQ(VLMSWON::CreateDocumentWithGeometry(app, 0, 0, &points, &curves, &surfaces, &breps, &meshes, 0), 1);
  const stand_in::Sketch& sketch = host.Documents().at(0).sketches.at(0);
  ASSERT_EQ(sketch.points.size(), 1u);
  EXPECT_EQ(sketch.points[0], (stand_in::Point3{1 * mm, 2 * mm, 3 * mm}));
  ASSERT_EQ(sketch.splines.size(), 1u);
  EXPECT_EQ(sketch.splines[0].points.at(1), (stand_in::Point3{1 * mm, 2 * mm, 0}));
  ASSERT_EQ(sketch.lines.size(), 9u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_LE(sketch.lines[i].to.x, 2 * mm) << i;
    EXPECT_LE(sketch.lines[i].to.y, 1 * mm) << i;
  }
  EXPECT_EQ(sketch.lines[5].to, (stand_in::Point3{2 * mm, 1 * mm, 0}));
  for (size_t i = 6; i < 9; ++i) EXPECT_LE(std::max(sketch.lines[i].from.x, sketch.lines[i].from.y), 1 * mm) << i;
  EXPECT_EQ(sketch.lines[6].to, (stand_in::Point3{1 * mm, 0, 0}));
  ASSERT_EQ(sketch.arcs.size(), 1u);
  EXPECT_NEAR(sketch.arcs[0].radius, 2 * mm, 1e-15);
}

TEST_F(DocumentRoad, ASurfaceWhoseDataAreNotWholeIsNamedAndTheDocumentNotWhole) {
  ON_NurbsSurface broken = FlatPatch();
  broken.m_cv_count[0] = 3;  // past its two control points in u
  EXPECT_EQ(VLMSWON::CreatePartFromSurface(app, broken, 2, 1, 0.0, 0, 0), 0);
  EXPECT_EQ(VLMSWON::GetError(),
            L"Unable to draw the iso-curves of the surface: a u knot array of 2 values for 3 knots");
  EXPECT_EQ(DocumentSteps().back(), kPostB) << "the part is still finished";
  EXPECT_EQ(VLMSWON::CreatePartFromSurface(app, broken, 2, 0, 0.0, 0, 0), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to create nurbs surface: a u knot array of 2 values for 3 knots");

  ON_ClassArray<ON_NurbsSurface> surfaces;
  surfaces.Append(FlatPatch());
  surfaces.Append(FlatPatch());
  surfaces[1].m_cv_count[1] = 3;
  EXPECT_EQ(VLMSWON::CreateDocumentWithGeometry(app, 0, 2, nullptr, nullptr, &surfaces, nullptr, nullptr, 0), 0);
  EXPECT_EQ(VLMSWON::GetError(),
            L"Unable to draw the iso-curves of surface 1: a v knot array of 2 values for 3 knots");
  EXPECT_EQ(host.Documents().back().sketches.at(0).lines.size(), 6u) << "the whole surface before it";
  broken.m_cv_count[0] = 2;
  surfaces[1].m_cv_count[1] = 2;
}

#include <gtest/gtest.h>

#include <atlbase.h>

#include "HostUtils.h"
#include "VLMSWON.h"
#include "alloc_limit.h"
#include "host_calls.h"
#include "meshes.h"
#include "quiet_ui.h"
#include "stand_in/host.h"
#include "stand_in/ui.h"

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

namespace {

using test_support::MakeMesh;

ON_Mesh Tetrahedron() {
  return MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                  {{0, 2, 1, 1}, {0, 1, 3, 3}, {1, 2, 3, 3}, {0, 3, 2, 2}});
}
ON_Mesh Quad() { return MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}}); }
ON_Mesh TwoTriangles() {
  return MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 2}, {0, 2, 3, 3}});
}

ON_ClassArray<ON_Mesh> Meshes(std::initializer_list<ON_Mesh> list) {
  ON_ClassArray<ON_Mesh> out;
  for (const ON_Mesh& m : list) out.Append(m);
  return out;
}

class MeshRoad : public ::testing::Test {
 protected:
  void TearDown() override { test_support::ExpectAllLetGo(host, bstrs); }

  std::vector<std::string> Steps() const { return test_support::Runs(host.Operations()); }
  std::vector<stand_in::Call> CallsOf(const std::string& op) const { return test_support::CallsOf(host, op); }
  std::vector<std::string> ProgressKinds() const {
    std::vector<std::string> out;
    for (const auto& e : ui.events)
      if (e.what.rfind("progress.", 0) == 0) out.push_back(e.what);
    return test_support::Runs(out);
  }

  stand_in::ui::ScriptedDriver ui;
  stand_in::Host host;
  IHostApplication* app = host.Application();
  long bstrs = stand_in::LiveBstrCount();
};

const std::string kNew = "IHostApplication::NewPartDocument";
const std::string kActive = "IHostApplication::ActiveDocument";
const std::string kPreA = "IHostDocument::PreGeometrySettingA";
const std::string kPreB = "IHostDocument::PreGeometrySettingB";
const std::string kUnit = "IHostDocument::SetLengthUnit";
const std::string kToggle = "IHostDocument::Toggle3DSketch";
const std::string kLine = "IHostDocument::CreateSketchLine";
const std::string kPostSketch = "IHostDocument::PostSketchStep";
const std::string kPostA = "IHostDocument::PostGeometryStepA";
const std::string kPostB = "IHostDocument::PostGeometryStepB";
const std::string kBody = "IHostPartDocument::NewBody";
const std::string kFace = "IHostBody::CreatePlanarFace";
const std::string kSew = "IHostBody::CreateBodyFromSurfaces";

}  // namespace

TEST_F(MeshRoad, BothEntriesShowTheHostTheSameSequence) {
  using Seq = std::vector<std::string>;
  struct Case {
    int mode;
    Seq expected;  // for one tetrahedron
  } cases[] = {
      {0, {kNew, kActive, kPreA, kPreB, kUnit, kBody, kFace + " x4", kSew, kPostA, kPostB}},
      {1, {kNew, kActive, kPreA, kPreB, kUnit, kToggle, kLine + " x6", kPostSketch, kToggle, kPostA, kPostB}},
      {2, {kNew, kActive, kPreA, kPreB, kUnit, kPostA, kPostB}},
  };
  for (const Case& c : cases) {
    for (int multiBody : {0, 1}) {
      host.ClearCalls();
      ON_ClassArray<ON_Mesh> meshes = Meshes({Tetrahedron()});
      EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, c.mode, multiBody, 0), 1);
      EXPECT_EQ(Steps(), c.expected) << "mode " << c.mode << " multibody " << multiBody;
      EXPECT_EQ(CallsOf(kPreA).at(0).args, "1");
      EXPECT_EQ(CallsOf(kPreB).at(0).args, "0");
      EXPECT_EQ(CallsOf(kUnit).at(0).args, "2");
      for (const auto& toggle : CallsOf(kToggle)) EXPECT_EQ(toggle.args, "0");
    }
  }
}

TEST_F(MeshRoad, OnePartPerMeshOrOnePartForAll) {
  ON_ClassArray<ON_Mesh> meshes = Meshes({Tetrahedron(), Tetrahedron(), Tetrahedron()});
  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 0, 0, 0, 0), 1);
  ASSERT_EQ(host.Documents().size(), 3u);
  for (const auto& d : host.Documents()) {
    ASSERT_EQ(d.bodies.size(), 1u);
    EXPECT_EQ(d.bodies[0].kind, stand_in::BodyKind::Solid);
    EXPECT_EQ(d.bodies[0].faces.Count(), 4u);
    EXPECT_EQ(d.lengthUnit, hostMM);
  }

  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 3, 0, 1, 0), 1);
  ASSERT_EQ(host.Documents().size(), 4u);
  EXPECT_EQ(host.Documents()[3].bodies.size(), 3u);
  EXPECT_EQ(host.Documents()[3].lengthUnit, hostINCHES);

  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 1, 1, 0), 1);
  const auto& sketchPart = host.Documents()[4];
  ASSERT_EQ(sketchPart.sketches.size(), 1u) << "all meshes go into one 3D sketch";
  EXPECT_EQ(sketchPart.sketches[0].lines.size(), 18u);
  EXPECT_FALSE(sketchPart.sketches[0].open);
}

TEST_F(MeshRoad, EmptyArrays) {
  ON_ClassArray<ON_Mesh> none;
  EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, none, 2, 0, 0, 0), 1);
  EXPECT_TRUE(host.Operations().empty()) << "one part per mesh and no mesh: no host call";

  EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, none, 2, 1, 1, 0), 1);
  EXPECT_EQ(Steps(), (std::vector<std::string>{kNew, kActive, kPreA, kPreB, kUnit, kToggle, kPostSketch, kToggle,
                                               kPostA, kPostB}));
  ASSERT_EQ(host.Documents().size(), 1u);
  ASSERT_EQ(host.Documents()[0].sketches.size(), 1u);
  EXPECT_TRUE(host.Documents()[0].sketches[0].lines.empty());
}

TEST_F(MeshRoad, UnitsCodeGivesTheLengthUnitAndTheScale) {
  struct Case {
    int code;
    bool unitSet;
    double scale;
  } cases[] = {{0, true, 0.001},  {1, true, 0.01},   {2, true, 1.0},   {3, true, 0.0254},
               {4, true, 0.30479999999999996}, {5, false, 1.0}, {-1, false, 1.0}};
  for (const Case& c : cases) {
    host.ClearCalls();
    ON_ClassArray<ON_Mesh> meshes = Meshes({MakeMesh({{1, 0, 0}, {0, 2, 0}, {0, 0, -4}}, {{0, 1, 2, 2}})});
    ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, c.code, 0, 1, 0), 1);
    EXPECT_EQ(CallsOf(kUnit).size(), c.unitSet ? 1u : 0u) << c.code;
    const auto& doc = host.Documents().back();
    EXPECT_EQ(doc.lengthUnit, c.unitSet ? c.code : hostMM) << c.code;
    ASSERT_EQ(doc.bodies.size(), 1u);
    const auto& faces = doc.bodies[0].faces;
    EXPECT_EQ(faces.Corner(0, 0).x, 1.0 * c.scale) << c.code;
    EXPECT_EQ(faces.Corner(0, 1).y, 2.0 * c.scale) << c.code;
    EXPECT_EQ(faces.Corner(0, 2).z, -4.0 * c.scale) << c.code;
  }
  double scale = 0;
  EXPECT_EQ(SetDocumentUnits(nullptr, 7, &scale), 1);  // no host call for a code out of range
  EXPECT_EQ(scale, 1.0);
}

TEST_F(MeshRoad, FacesGoToTheHostWithTheNormalOfTheirFirstThreeCorners) {
  CComPtr<IHostPartDocument> part;
  ASSERT_EQ(app->NewPartDocument(&part), S_OK);
  // A quad whose fourth corner leaves the plane of the first three: its
  // normal is that of a, b, c alone. Then a triangle facing -Y.
  ON_Mesh mesh = MakeMesh({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 1}, {0, 0, 2}}, {{0, 1, 2, 3}, {0, 1, 4, 4}});
  host.ClearCalls();
  EXPECT_EQ(VLMSWON::CreateSolidFromMesh(part, mesh, 0.5, 0), 1);
  auto faces = CallsOf(kFace);
  ASSERT_EQ(faces.size(), 2u);
  EXPECT_EQ(faces[0].args, "4, [0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0.5], [0, 0, 1]");
  EXPECT_EQ(faces[1].args, "3, [0, 0, 0, 1, 0, 0, 0, 0, 1], [0, -1, 0]");
  EXPECT_EQ(mesh.m_F[0].vi[3], 3) << "the road works on the caller's mesh read-only";
}

TEST_F(MeshRoad, DegenerateFacesAreStillRequestedWithAZeroNormal) {
  ON_ClassArray<ON_Mesh> meshes =
      Meshes({MakeMesh({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 2}, {0, 1, 3, 3}})});
  EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, 1, 0), 1);
  auto faces = CallsOf(kFace);
  ASSERT_EQ(faces.size(), 2u);
  EXPECT_EQ(faces[0].args, "3, [0, 0, 0, 1, 0, 0, 2, 0, 0], [0, 0, 0]");
  EXPECT_NE(faces[0].result, S_OK) << "the host refuses a degenerate polygon";
  EXPECT_EQ(faces[1].result, S_OK);
  EXPECT_EQ(host.Documents()[0].bodies[0].kind, stand_in::BodyKind::Sheet);
}

TEST_F(MeshRoad, SketchRoadDrawsEachTopologicalEdgeOnce) {
  struct Case {
    const char* name;
    ON_Mesh mesh;
    size_t lines;
  } cases[] = {{"quad", Quad(), 4}, {"two triangles", TwoTriangles(), 5}, {"tetrahedron", Tetrahedron(), 6}};
  for (const Case& c : cases) {
    ON_ClassArray<ON_Mesh> meshes = Meshes({c.mesh});
    ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 1, 1, 0, 0), 1);
    const auto& sketch = host.Documents().back().sketches.at(0);
    EXPECT_EQ(sketch.lines.size(), c.lines) << c.name;
  }
  // The tetrahedron's six edges, in the topology's order, from the first
  // vertex of each end, scaled: 1 cm is 0.01 m.
  std::vector<std::array<double, 6>> lines;
  for (const auto& l : host.Documents().back().sketches[0].lines)
    lines.push_back({l.from.x, l.from.y, l.from.z, l.to.x, l.to.y, l.to.z});
  const double c = 0.01;
  EXPECT_EQ(lines, (std::vector<std::array<double, 6>>{{0, 0, 0, c, 0, 0},
                                                       {0, 0, 0, 0, c, 0},
                                                       {0, 0, 0, 0, 0, c},
                                                       {c, 0, 0, 0, c, 0},
                                                       {c, 0, 0, 0, 0, c},
                                                       {0, c, 0, 0, 0, c}}));
}

TEST_F(MeshRoad, SolidRoadBreaksQuadsOnACopy) {
  ON_ClassArray<ON_Mesh> meshes = Meshes({Quad()});
  for (int multiBody : {0, 1}) {
    host.ClearCalls();
    ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, multiBody, 0), 1);
    EXPECT_EQ(CallsOf(kFace).size(), 2u);
    EXPECT_EQ(meshes[0].m_F.Count(), 1);
    EXPECT_TRUE(meshes[0].m_F[0].IsQuad());
  }
}

TEST_F(MeshRoad, EachHostFailureEndsWithItsTextAndTheFinishingCalls) {
  struct Case {
    const char* op;
    int nth;
    HRESULT hr;
    int multiBody;
    int mode;
    int result;
    const wchar_t* text;  // null: the text stays as it was
    bool finished;        // PostGeometryStepA and B were made
  } cases[] = {
      {"IHostApplication::NewPartDocument", 1, S_OK, 1, 0, 0, L"Unable to create part", false},
      {"IHostApplication::NewPartDocument", 1, E_FAIL, 0, 0, 0, L"Unable to create new part", false},
      {"IHostApplication::ActiveDocument", 1, S_OK, 1, 0, 0, L"Unable to retrieve active model", false},
      {"IHostApplication::ActiveDocument", 1, E_FAIL, 0, 1, 0, L"Unable to retrieve active model", false},
      {"IHostPartDocument::NewBody", 1, E_FAIL, 1, 0, 0, L"Unable to create new body", true},
      {"IHostPartDocument::NewBody", 1, S_FALSE, 0, 0, 0, L"Unable to create new body", true},
      {"IHostPartDocument::NewBody", 1, S_OK, 0, 0, 0, L"Unable to create new body", true},
      {"IHostBody::CreateBodyFromSurfaces", 1, E_FAIL, 1, 0, 0, L"Unable to create body from surfaces", true},
      {"IHostBody::CreateBodyFromSurfaces", 1, S_FALSE, 0, 0, 0, L"Unable to create body from surfaces", true},
      {"IHostBody::CreateBodyFromSurfaces", 1, S_OK, 0, 0, 0, L"Unable to create body from surfaces", true},
      {"IHostBody::CreatePlanarFace", 2, E_FAIL, 1, 0, 1, nullptr, true},
      {"IHostDocument::CreateSketchLine", 2, E_FAIL, 1, 1, 1, nullptr, true},
      {"IHostDocument::SetLengthUnit", 1, E_FAIL, 1, 1, 1, nullptr, true},
      {"IHostDocument::PreGeometrySettingA", 1, E_FAIL, 0, 0, 1, nullptr, true},
      {"IHostDocument::PreGeometrySettingB", 1, E_FAIL, 1, 1, 1, nullptr, true},
      {"IHostDocument::Toggle3DSketch", 1, E_FAIL, 1, 1, 1, nullptr, true},
      {"IHostDocument::PostSketchStep", 1, E_FAIL, 0, 1, 1, nullptr, true},
      {"IHostDocument::PostGeometryStepA", 1, E_FAIL, 1, 0, 1, nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " multibody " + std::to_string(c.multiBody));
    VLMSWON::SetError(L"before");
    host.ClearCalls();
    host.ClearFaults();
    host.InjectFault(c.op, c.nth, c.hr);
    ON_ClassArray<ON_Mesh> meshes = Meshes({Tetrahedron()});
    EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, c.mode, c.multiBody, 0), c.result);
    EXPECT_EQ(VLMSWON::GetError(), c.text ? c.text : L"before");
    EXPECT_EQ(CallsOf(kPostA).size(), c.finished ? 1u : 0u);
    EXPECT_EQ(CallsOf(kPostB).size(), c.finished ? 1u : 0u);
    if (!c.finished) {
      EXPECT_TRUE(CallsOf(kPreA).empty()) << "nothing after a missing part or document";
    }
    if (c.finished && c.mode == 1) {
      EXPECT_EQ(CallsOf(kPostSketch).size(), 1u);
      EXPECT_EQ(CallsOf(kToggle).size(), 2u);
    }
    EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
  }
}

TEST_F(MeshRoad, OnlySOkIsSuccessAndMisreportedResultsAreStillReleased) {
  struct Case {
    const char* op;
    int result;
    const wchar_t* text;
  } cases[] = {
      // Tested calls: a result with a failure code is a failure.
      {"IHostPartDocument::NewBody", 0, L"Unable to create new body"},
      {"IHostBody::CreateBodyFromSurfaces", 0, L"Unable to create body from surfaces"},
      // Calls whose code is not tested go on with what they gave.
      {"IHostApplication::NewPartDocument", 1, L"before"},
      {"IHostApplication::ActiveDocument", 1, L"before"},
      {"IHostDocument::CreateSketchLine", 1, L"before"},
  };
  for (const Case& c : cases) {
    for (int multiBody : {0, 1}) {
      SCOPED_TRACE(std::string(c.op) + " multibody " + std::to_string(multiBody));
      VLMSWON::SetError(L"before");
      host.ClearFaults();
      host.InjectMisreport(c.op, 1, S_FALSE);
      ON_ClassArray<ON_Mesh> meshes = Meshes({Tetrahedron()});
      const int mode = std::string(c.op) == "IHostDocument::CreateSketchLine" ? 1 : 0;
      EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, mode, multiBody, 0), c.result);
      EXPECT_EQ(VLMSWON::GetError(), c.text);
      EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
    }
  }
}

TEST_F(MeshRoad, OnePartPerMeshStopsAtTheFirstFailure) {
  host.InjectFault("IHostPartDocument::NewBody", 2, E_FAIL);
  ON_ClassArray<ON_Mesh> meshes = Meshes({Tetrahedron(), Tetrahedron(), Tetrahedron()});
  EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, 0, 0), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to create new body");
  EXPECT_EQ(CallsOf(kNew).size(), 2u) << "the third mesh is never attempted";
  ASSERT_EQ(host.Documents().size(), 2u);
  EXPECT_EQ(host.Documents()[0].bodies.size(), 1u) << "the first part stays";
  EXPECT_TRUE(host.Documents()[1].bodies.empty());
  EXPECT_EQ(CallsOf(kPostA).size(), 2u);
}

TEST_F(MeshRoad, OnePartForAllKeepsEarlierBodiesAfterAFailure) {
  host.InjectFault("IHostPartDocument::NewBody", 2, E_FAIL);
  ON_ClassArray<ON_Mesh> meshes = Meshes({Tetrahedron(), Tetrahedron(), Tetrahedron()});
  EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, 1, 0), 0);
  EXPECT_EQ(CallsOf(kBody).size(), 2u);
  ASSERT_EQ(host.Documents().size(), 1u);
  EXPECT_EQ(host.Documents()[0].bodies.size(), 1u);
  EXPECT_EQ(Steps().back(), kPostB);
}

TEST_F(MeshRoad, TheLastErrorSurvivesALaterSuccess) {
  host.InjectFault("IHostApplication::NewPartDocument", 1, E_FAIL);
  ON_ClassArray<ON_Mesh> meshes = Meshes({Tetrahedron()});
  EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, 1, 0), 0);
  EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, 1, 0), 1);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to create part");
}

TEST_F(MeshRoad, ProgressRunsOnlyWhenAsked) {
  ON_ClassArray<ON_Mesh> meshes = Meshes({Tetrahedron(), Quad()});
  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, 1, 0), 1);
  EXPECT_EQ(ProgressKinds(), (std::vector<std::string>{"progress.open", "progress.close", "progress.open",
                                                       "progress.close"}));
  EXPECT_EQ(ui.events[0].title, L"Creating solid");

  ui.events.clear();
  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, 1, 1), 1);
  EXPECT_EQ(ProgressKinds(),
            (std::vector<std::string>{"progress.open", "progress.setmax", "progress.start", "progress.step x4",
                                      "progress.status", "progress.end", "progress.close", "progress.open",
                                      "progress.setmax", "progress.start", "progress.step x2", "progress.status",
                                      "progress.end", "progress.close"}));
  EXPECT_EQ(ui.events[1].value, 4.0);
  EXPECT_EQ(ui.events[7].text, L"Creating body from surfaces. This may take several minutes...");
  for (const auto& e : ui.events) {
    if (e.what == "progress.open") {
      EXPECT_EQ(e.text, L"");
      EXPECT_EQ(e.value, 0.0);
      EXPECT_EQ(e.value2, 100.0);
      EXPECT_EQ(e.owner, nullptr);
    }
    if (e.what == "progress.step") {
      EXPECT_EQ(e.value, 1.0);
    }
  }

  ui.events.clear();
  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 1, 1, 1), 1);
  EXPECT_EQ(ui.events[0].title, L"Creating mesh");
  EXPECT_EQ(ui.events[1].value, 6.0) << "one step per topological edge";
  EXPECT_EQ(ui.EventsOf("progress.step").size(), 10u);

  ui.events.clear();
  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 1, 1, 0), 1);
  EXPECT_EQ(ProgressKinds(), (std::vector<std::string>{"progress.open", "progress.close", "progress.open",
                                                       "progress.close"}));
}

TEST_F(MeshRoad, ProgressEndsOnAFailedSewingAndNeverStartsWithoutABody) {
  ON_ClassArray<ON_Mesh> meshes = Meshes({Tetrahedron()});
  host.InjectFault("IHostBody::CreateBodyFromSurfaces", 1, E_FAIL);
  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, 1, 1), 0);
  EXPECT_EQ(ProgressKinds(), (std::vector<std::string>{"progress.open", "progress.setmax", "progress.start",
                                                       "progress.step x4", "progress.status", "progress.end",
                                                       "progress.close"}));
  ui.events.clear();
  host.InjectFault("IHostPartDocument::NewBody", 1, E_FAIL);
  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, 1, 1), 0);
  EXPECT_TRUE(ui.events.empty());
}

TEST_F(MeshRoad, SketchFromMeshesRunsOneProgressOverTheMeshes) {
  CComPtr<IHostPartDocument> part;
  ASSERT_EQ(app->NewPartDocument(&part), S_OK);
  CComPtr<IHostDocument> doc;
  ASSERT_EQ(app->ActiveDocument(&doc), S_OK);
  doc->Toggle3DSketch(0);
  ON_ClassArray<ON_Mesh> meshes = Meshes({Tetrahedron(), Quad()});
  ASSERT_EQ(VLMSWON::CreateSketchFromMeshes(doc, meshes, 1.0, 1), 1);
  doc->Toggle3DSketch(0);
  EXPECT_EQ(ProgressKinds(),
            (std::vector<std::string>{"progress.open", "progress.setmax", "progress.start", "progress.step",
                                      "progress.open", "progress.close", "progress.step", "progress.open",
                                      "progress.close", "progress.end", "progress.close"}));
  EXPECT_EQ(ui.events[0].title, L"Creating meshes");
  EXPECT_EQ(ui.events[1].value, 2.0);
  EXPECT_EQ(host.Documents()[0].sketches[0].lines.size(), 10u);
}

TEST_F(MeshRoad, AFaceNamingAMissingVertexIsRefusedBeforeTheHostSeesIt) {
  // The quad before the bad face would be two faces after splitting: the
  // text names the face of the caller's mesh on both roads.
  ON_ClassArray<ON_Mesh> meshes =
      Meshes({MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}, {0, 1, 7, 7}})});
  for (int mode : {0, 1}) {
    host.ClearCalls();
    EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, mode, 1, 0), 0);
    EXPECT_EQ(VLMSWON::GetError(), L"Invalid mesh: face 1 names vertex 7, but the mesh has 4 vertices");
    EXPECT_TRUE(CallsOf(kBody).empty());
    EXPECT_TRUE(CallsOf(kLine).empty());
    EXPECT_EQ(CallsOf(kPostB).size(), 1u);
  }
}

TEST_F(MeshRoad, AMeshWithoutFacesFailsWhenTheHostCannotSewNothing) {
  ON_ClassArray<ON_Mesh> meshes = Meshes({MakeMesh({{0, 0, 0}}, {})});
  EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, 1, 0), 0);
  EXPECT_EQ(Steps(), (std::vector<std::string>{kNew, kActive, kPreA, kPreB, kUnit, kBody, kSew, kPostA, kPostB}));
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to create body from surfaces");
}

namespace {

// A quad before the faulty face: split, the faulty face would be face 2 of
// the copy; the text must name face 1 of the caller's mesh.
ON_Mesh QuadThenFace(std::array<int, 4> face) {
  return MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}, face});
}

}  // namespace

TEST_F(MeshRoad, EveryEntryRefusesAnIndexOutOfRangeWhereverItStands) {
  struct Case {
    const char* name;
    std::array<int, 4> face;
    int vertex;  // the index the text names
  } cases[] = {
      {"only the fourth index is bad", {0, 1, 2, 9}, 9},
      {"the fourth index equals the vertex count", {0, 1, 2, 4}, 4},
      {"the first index equals the vertex count", {4, 1, 2, 2}, 4},
      {"the second index equals the vertex count", {0, 4, 2, 2}, 4},
      {"a triangle whose last index equals the vertex count", {0, 1, 4, 4}, 4},
      {"a negative index", {0, -1, 2, 2}, -1},
  };
  for (const Case& c : cases) {
    const ON_Mesh mesh = QuadThenFace(c.face);
    const std::wstring text =
        L"Invalid mesh: face 1 names vertex " + std::to_wstring(c.vertex) + L", but the mesh has 4 vertices";
    for (int mode : {0, 1}) {
      for (int multiBody : {0, 1}) {
        SCOPED_TRACE(std::string(c.name) + ", mode " + std::to_string(mode) + ", multibody " +
                     std::to_string(multiBody));
        host.ClearCalls();
        VLMSWON::SetError(L"before");
        ON_ClassArray<ON_Mesh> meshes = Meshes({mesh});
        EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, mode, multiBody, 0), 0);
        EXPECT_EQ(VLMSWON::GetError(), text.c_str());
        EXPECT_TRUE(CallsOf(kBody).empty());
        EXPECT_TRUE(CallsOf(kLine).empty());
        EXPECT_EQ(CallsOf(kPostB).size(), 1u) << "the part is still finished";
      }
    }
    // The entries beneath, given the caller's mesh directly.
    CComPtr<IHostPartDocument> part;
    ASSERT_EQ(app->NewPartDocument(&part), S_OK);
    CComPtr<IHostDocument> doc;
    ASSERT_EQ(app->ActiveDocument(&doc), S_OK);
    doc->Toggle3DSketch(0);
    host.ClearCalls();
    VLMSWON::SetError(L"before");
    EXPECT_EQ(VLMSWON::CreateSolidFromMesh(part, mesh, 1.0, 0), 0) << c.name;
    EXPECT_EQ(VLMSWON::GetError(), text.c_str()) << c.name;
    VLMSWON::SetError(L"before");
    EXPECT_EQ(VLMSWON::CreateSketchFromMesh(doc, mesh, 1.0, 0), 0) << c.name;
    EXPECT_EQ(VLMSWON::GetError(), text.c_str()) << c.name;
    EXPECT_TRUE(host.Operations().empty()) << c.name << ": the host sees nothing of a refused mesh";
    doc->Toggle3DSketch(0);
  }
}

TEST_F(MeshRoad, OnePartPerMeshRunsOneProgressPerMesh) {
  ON_ClassArray<ON_Mesh> meshes = Meshes({Tetrahedron(), Quad()});
  struct Case {
    int mode;
    const wchar_t* title;
    double max0, max1;  // faces after splitting, or topological edges
    const char* steps0;
    const char* steps1;
  } cases[] = {{0, L"Creating solid", 4, 2, "progress.step x4", "progress.step x2"},
               {1, L"Creating mesh", 6, 4, "progress.step x6", "progress.step x4"}};
  for (const Case& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode));
    ui.events.clear();
    ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, c.mode, 0, 1), 1);
    std::vector<std::string> expected;
    for (const char* steps : {c.steps0, c.steps1}) {
      expected.insert(expected.end(), {"progress.open", "progress.setmax", "progress.start", steps});
      if (c.mode == 0) expected.push_back("progress.status");
      expected.insert(expected.end(), {"progress.end", "progress.close"});
    }
    EXPECT_EQ(ProgressKinds(), expected);
    const auto opens = ui.EventsOf("progress.open");
    ASSERT_EQ(opens.size(), 2u);
    for (const auto& e : opens) EXPECT_EQ(e.title, c.title);
    const auto maxes = ui.EventsOf("progress.setmax");
    ASSERT_EQ(maxes.size(), 2u);
    EXPECT_EQ(maxes[0].value, c.max0);
    EXPECT_EQ(maxes[1].value, c.max1);

    ui.events.clear();
    ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, c.mode, 0, 0), 1);
    EXPECT_EQ(ProgressKinds(), (std::vector<std::string>{"progress.open", "progress.close", "progress.open",
                                                         "progress.close"}))
        << "progress off: constructed and destroyed only";
  }
}

TEST_F(MeshRoad, BothSolidEntriesHandTheHalvesOfEachQuadInOrder) {
  // Quad, triangle, quad: each quad (a, b, c, d) becomes (a, b, c) then
  // (a, c, d), in the quad's place.
  const ON_Mesh mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}},
                                {{0, 1, 2, 3}, {1, 4, 5, 5}, {1, 4, 5, 2}});
  const std::vector<std::string> expected = {
      "3, [0, 0, 0, 1, 0, 0, 1, 1, 0], [0, 0, 1]", "3, [0, 0, 0, 1, 1, 0, 0, 1, 0], [0, 0, 1]",
      "3, [1, 0, 0, 2, 0, 0, 2, 1, 0], [0, 0, 1]", "3, [1, 0, 0, 2, 0, 0, 2, 1, 0], [0, 0, 1]",
      "3, [1, 0, 0, 2, 1, 0, 1, 1, 0], [0, 0, 1]"};
  for (int multiBody : {0, 1}) {
    host.ClearCalls();
    ON_ClassArray<ON_Mesh> meshes = Meshes({mesh});
    VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, multiBody, 0);
    std::vector<std::string> faces;
    for (const auto& call : CallsOf(kFace)) faces.push_back(call.args);
    EXPECT_EQ(faces, expected) << "multibody " << multiBody;
  }
}

namespace {

using test_support::AllocationLimit;

const std::vector<std::wstring> kFailureTexts = {
    L"Out of memory while creating the part",
    L"Out of memory while creating the solid body of a mesh",
    L"Out of memory while creating the 3D-sketch lines of a mesh",
    L"Out of memory while finding the edges of a mesh",
    L"Out of memory",
    // The host's own refusals when it had not the memory.
    L"Unable to create part",
    L"Unable to create new part",
    L"Unable to retrieve active model",
    L"Unable to create new body",
    L"Unable to create body from surfaces",
};

using test_support::QuietDriver;

struct ImportRun {
  int result = -1;
  long long allocations = 0;
  long long failures = 0;
};

// One import of two meshes (a tetrahedron, a quad) into a host of its own,
// allocations capped as `options` say; checks what the host was left with.
ImportRun ImportUnderLimit(int mode, int multiBody, const AllocationLimit::Options& options, ON_ClassArray<ON_Mesh>& meshes) {
  QuietDriver ui;
  stand_in::Host host;
  VLMSWON::SetError(L"before");
  ImportRun run;
  {
    AllocationLimit limit(options);
    run.result = VLMSWON::CreatePartFromMeshes(host.Application(), meshes, 3, mode, multiBody, 1);
    limit.End();
    run.allocations = limit.Allocations();
    run.failures = limit.Failures();
  }
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
  EXPECT_EQ(host.OverReleases(), 0);
  EXPECT_EQ(ui.opened, ui.closed) << "every progress display is closed";
  const std::wstring text = VLMSWON::GetError().GetString();
  if (run.result == 1) {
    // A success is a whole import.
    EXPECT_EQ(text, L"before");
    const auto& docs = host.Documents();
    EXPECT_EQ(docs.size(), multiBody ? 1u : 2u);
    size_t bodies = 0, faces = 0, lines = 0;
    for (const auto& d : docs) {
      EXPECT_EQ(d.lengthUnit, hostINCHES);
      for (const auto& b : d.bodies) {
        ++bodies;
        faces += b.faces.Count();
      }
      for (const auto& sk : d.sketches) {
        EXPECT_FALSE(sk.open);
        lines += sk.lines.size();
      }
    }
    EXPECT_EQ(bodies, mode == 0 ? 2u : 0u);
    EXPECT_EQ(faces, mode == 0 ? 6u : 0u);
    EXPECT_EQ(lines, mode == 1 ? 10u : 0u);
  } else {
    EXPECT_EQ(run.result, 0);
    EXPECT_NE(std::find(kFailureTexts.begin(), kFailureTexts.end(), text), kFailureTexts.end())
        << "the text: \"" << std::string(text.begin(), text.end()) << "\"";
  }
  return run;
}

}  // namespace

// Every allocation of an import, the host's among them, is made to fail in
// turn (once, and from there on): the import either completes or answers 0
// with a clear text, holds nothing, and a later import with memory back is
// whole again.
TEST(MeshRoadMemory, EveryAllocationThatFailsEndsInAWholeImportOrAClearFailure) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  for (int mode : {0, 1}) {
    for (int multiBody : {0, 1}) {
      for (bool persistent : {false, true}) {
        SCOPED_TRACE("mode " + std::to_string(mode) + ", multibody " + std::to_string(multiBody) +
                     (persistent ? ", every allocation from the nth" : ", the nth allocation only"));
        ON_ClassArray<ON_Mesh> clean = Meshes({Tetrahedron(), Quad()});
        const ImportRun baseline = ImportUnderLimit(mode, multiBody, {}, clean);
        ASSERT_EQ(baseline.result, 1);
        ASSERT_GT(baseline.allocations, 10);
        int failed = 0;
        for (long long n = 1; n <= baseline.allocations; ++n) {
          SCOPED_TRACE("allocation " + std::to_string(n));
          ON_ClassArray<ON_Mesh> meshes = Meshes({Tetrahedron(), Quad()});  // no topology cached yet
          const ImportRun run = ImportUnderLimit(
              mode, multiBody, persistent ? AllocationLimit::FailFrom(n) : AllocationLimit::FailOnly(n), meshes);
          ASSERT_GE(run.failures, 1);
          if (run.result == 0) ++failed;
          // The same meshes, memory back: nothing of the failure was kept.
          const ImportRun again = ImportUnderLimit(mode, multiBody, {}, meshes);
          EXPECT_EQ(again.result, 1);
          if (::testing::Test::HasFailure()) return;
        }
        EXPECT_GT(failed, 0);
      }
    }
  }
}

TEST(MeshRoadMemory, ASketchWhoseEdgesCannotBeFoundFailsAndIsDrawnOnceMemoryIsBack) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  QuietDriver ui;
  stand_in::Host host;
  CComPtr<IHostPartDocument> part;
  ASSERT_EQ(host.Application()->NewPartDocument(&part), S_OK);
  CComPtr<IHostDocument> doc;
  ASSERT_EQ(host.Application()->ActiveDocument(&doc), S_OK);
  doc->Toggle3DSketch(0);
  long long allocations;
  {
    const ON_Mesh mesh = Tetrahedron();
    AllocationLimit count;
    ASSERT_EQ(VLMSWON::CreateSketchFromMesh(doc, mesh, 1.0, 1), 1);
    allocations = count.Allocations();
  }
  int edgesFailed = 0;
  for (long long n = 1; n <= allocations; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n));
    const ON_Mesh mesh = Tetrahedron();
    const size_t before = host.Documents()[0].sketches.back().lines.size();
    int result;
    {
      AllocationLimit limit(AllocationLimit::FailOnly(n));
      result = VLMSWON::CreateSketchFromMesh(doc, mesh, 1.0, 1);
    }
    const size_t drawn = host.Documents()[0].sketches.back().lines.size() - before;
    if (result == 1) {
      EXPECT_EQ(drawn, 6u);
      continue;
    }
    if (VLMSWON::GetError() == L"Out of memory while finding the edges of a mesh") {
      ++edgesFailed;
      EXPECT_EQ(drawn, 0u);
    } else {
      EXPECT_EQ(VLMSWON::GetError(), L"Out of memory while creating the 3D-sketch lines of a mesh");
    }
    // Memory back, the same mesh: its edges are found and drawn.
    EXPECT_EQ(VLMSWON::CreateSketchFromMesh(doc, mesh, 1.0, 1), 1);
    EXPECT_EQ(host.Documents()[0].sketches.back().lines.size() - before - drawn, 6u);
  }
  EXPECT_GT(edgesFailed, 0);
  doc->Toggle3DSketch(0);
}

TEST(MeshRoadMemory, EachEntryAnswersZeroWhenNoAllocationSucceeds) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  QuietDriver ui;
  stand_in::Host host;
  IHostApplication* app = host.Application();
  CComPtr<IHostPartDocument> part;
  ASSERT_EQ(app->NewPartDocument(&part), S_OK);
  CComPtr<IHostDocument> doc;
  ASSERT_EQ(app->ActiveDocument(&doc), S_OK);
  doc->Toggle3DSketch(0);
  ON_ClassArray<ON_Mesh> meshes = Meshes({Quad()});
  int results[4];
  {
    AllocationLimit limit(AllocationLimit::FailFrom(1));
    results[0] = VLMSWON::CreateSolidFromMesh(part, meshes[0], 1.0, 1);
    results[1] = VLMSWON::CreateSketchFromMesh(doc, meshes[0], 1.0, 1);
    results[2] = VLMSWON::CreateSketchFromMeshes(doc, meshes, 1.0, 1);
    results[3] = VLMSWON::CreatePartFromMeshes(app, meshes, 2, 0, 1, 1);
  }
  for (int r : results) EXPECT_EQ(r, 0);
  // The text kept aside, or a fuller one when the text's memory sufficed.
  const std::wstring text = VLMSWON::GetError().GetString();
  EXPECT_EQ(text.rfind(L"Out of memory", 0), 0u) << std::string(text.begin(), text.end());
  doc->Toggle3DSketch(0);
  doc.Release();
  part.Release();
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
}

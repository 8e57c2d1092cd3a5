#include <gtest/gtest.h>

#include <atlbase.h>

#include "HostUtils.h"
#include "VLMSWON.h"
#include "meshes.h"
#include "stand_in/host.h"
#include "stand_in/ui.h"

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

// Runs of one operation collapse to "op xN", so sequences read like the
// road's own steps.
std::vector<std::string> Steps(const std::vector<std::string>& ops) {
  std::vector<std::string> out;
  for (size_t i = 0; i < ops.size();) {
    size_t j = i;
    while (j < ops.size() && ops[j] == ops[i]) ++j;
    out.push_back(j - i == 1 ? ops[i] : ops[i] + " x" + std::to_string(j - i));
    i = j;
  }
  return out;
}

class MeshRoad : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
    EXPECT_EQ(host.OverReleases(), 0);
    EXPECT_EQ(stand_in::LiveBstrCount(), bstrs);
  }

  std::vector<std::string> Steps() const { return ::Steps(host.Operations()); }
  std::vector<stand_in::Call> CallsOf(const std::string& op) const {
    std::vector<stand_in::Call> out;
    for (const auto& c : host.Calls())
      if (c.op == op) out.push_back(c);
    return out;
  }
  std::vector<std::string> ProgressKinds() const {
    std::vector<std::string> out;
    for (const auto& e : ui.events)
      if (e.what.rfind("progress.", 0) == 0) out.push_back(e.what);
    return ::Steps(out);
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

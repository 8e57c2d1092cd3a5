// The mesh read-back against the stand-in host: parts with bodies of both
// kinds, materials, assemblies with placed parts, and what cannot be read.
#include <gtest/gtest.h>

#include <atlbase.h>

#include "VLMSWON.h"
#include "fail_each_allocation.h"
#include "host_calls.h"
#include "meshes.h"
#include "stand_in/host.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using stand_in::Point3;
using Faces = std::vector<std::vector<Point3>>;

Faces Tetrahedron(double x = 0) {
  const Point3 a{x, 0, 0}, b{x + 1, 0, 0}, c{x, 1, 0}, d{x, 0, 1};
  return {{a, c, b}, {a, b, d}, {a, d, c}, {b, c, d}};
}
// One open triangle: a sheet.
Faces Sheet(double z) { return {{{0, 0, z}, {1, 0, z}, {0, 1, z}}}; }

class MeshReadBack : public ::testing::Test {
 protected:
  void SetUp() override { host.RecordUnknownCalls(true); }
  void TearDown() override { test_support::ExpectAllLetGo(host, bstrs); }

  // A new part with one body per list of faces, named in turn.
  const stand_in::Document& Part(const std::vector<std::pair<std::string, Faces>>& bodies, LONG unit = hostMM) {
    CComPtr<IHostPartDocument> part;
    EXPECT_EQ(host.Application()->NewPartDocument(&part), S_OK);
    CComPtr<IHostDocument> document;
    EXPECT_EQ(part.QueryInterface(&document), S_OK);
    EXPECT_EQ(document->SetLengthUnit(unit), S_OK);
    const stand_in::Document& model = host.Documents().back();
    for (const auto& [name, faces] : bodies) {
      CComPtr<IHostBody> collector, body;
      EXPECT_EQ(part->NewBody(&collector), S_OK);
      for (const auto& face : faces) {
        std::vector<double> xyz;
        for (const Point3& p : face) xyz.insert(xyz.end(), {p.x, p.y, p.z});
        const double normal[3] = {0, 0, 0};
        EXPECT_EQ(collector->CreatePlanarFace(static_cast<LONG>(face.size()), xyz.data(), normal), S_OK);
      }
      EXPECT_EQ(collector->CreateBodyFromSurfaces(&body), S_OK);
      host.RenameBody(model, model.bodies.size() - 1, name);
    }
    return model;
  }
  CComPtr<IHostDocument> Active() {
    CComPtr<IHostDocument> document;
    EXPECT_EQ(host.Application()->ActiveDocument(&document), S_OK);
    return document;
  }
  static std::vector<std::wstring> Names(const CStringArray& names) {
    std::vector<std::wstring> out;
    for (int i = 0; i < names.GetSize(); ++i) out.push_back(names[i].GetString());
    return out;
  }

  stand_in::Host host;
  long bstrs = stand_in::LiveBstrCount();
};

TEST_F(MeshReadBack, APartsSolidsComeBeforeItsSheetsNamedAfterThePart) {
  Part({{"Boss", Sheet(2)}, {"Base", Tetrahedron()}, {"Rib", Sheet(3)}});
  ON_ClassArray<ON_Mesh> meshes;
  CStringArray names;
  ASSERT_EQ(VLMSWON::GetDocumentMeshes(Active(), meshes, &names), 1);
  EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"Part1-Base", L"Part1-Boss", L"Part1-Rib"}));
  ASSERT_EQ(meshes.Count(), 3);
  EXPECT_EQ(meshes[0].m_F.Count(), 4);
  EXPECT_EQ(meshes[0].m_V.Count(), 4);
  EXPECT_FLOAT_EQ(meshes[2].m_V[0].z, 3.0f);
  // The host hands back metres and the read keeps them.
  for (int i = 0; i < meshes.Count(); ++i) EXPECT_TRUE(meshes[i].IsValid());
}

TEST_F(MeshReadBack, EveryMeshOfAPartCarriesOneColourOfItsMaterial) {
  const stand_in::Document& part = Part({{"Base", Tetrahedron()}, {"Rib", Sheet(3)}});
  stand_in::Material material = stand_in::kDefaultMaterial;
  material[0] = 0.5, material[1] = 0.25, material[2] = 1.0, material[7] = 0.5;
  host.SetMaterial(part, material);
  ON_ClassArray<ON_Mesh> meshes;
  ASSERT_EQ(VLMSWON::GetDocumentMeshes(Active(), meshes, nullptr), 1);
  ASSERT_EQ(meshes.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(meshes[i].m_C.Count(), 1);
    const ON_Color c = meshes[i].m_C[0];
    EXPECT_EQ(c.Red(), 127);
    EXPECT_EQ(c.Green(), 63);
    EXPECT_EQ(c.Blue(), 255);
    EXPECT_EQ(c.Alpha(), 127);
  }

  // A material the host will not give: white with alpha 0.
  host.InjectFault("IHostPartDocument::MaterialValues", 1, E_FAIL);
  ASSERT_EQ(VLMSWON::GetDocumentMeshes(Active(), meshes, nullptr), 1);
  const ON_Color white = meshes[0].m_C[0];
  EXPECT_EQ(white.Red(), 255);
  EXPECT_EQ(white.Green(), 255);
  EXPECT_EQ(white.Blue(), 255);
  EXPECT_EQ(white.Alpha(), 0);
}

TEST_F(MeshReadBack, APartWithoutItsDocumentRoleIsCalledPart) {
  Part({{"Base", Tetrahedron()}});
  CComPtr<IHostPartDocument> part;
  ASSERT_EQ(Active().QueryInterface(&part), S_OK);
  host.InjectFault("IUnknown::QueryInterface", 1, E_NOINTERFACE);
  ON_ClassArray<ON_Mesh> meshes;
  CStringArray names;
  ASSERT_EQ(VLMSWON::GetPartMeshes(part, meshes, &names, VARIANT_TRUE), 1);
  EXPECT_EQ(Names(names), std::vector<std::wstring>{L"Part-Base"});
}

TEST_F(MeshReadBack, WhatHoldsNoMeshIsEmptiedAndSaidSo) {
  ON_ClassArray<ON_Mesh> meshes;
  CStringArray names;
  meshes.Append(ON_Mesh());
  names.Add(L"kept");

  // No active document: the arrays are not touched.
  EXPECT_EQ(VLMSWON::GetActiveDocumentMeshes(host.Application(), meshes, &names), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to retrieve active model");
  EXPECT_EQ(meshes.Count(), 1);
  EXPECT_EQ(names.GetSize(), 1);

  // A drawing and a part without bodies: emptied, with the document's text.
  CComPtr<IHostDrawingDocument> drawing;
  ASSERT_EQ(host.Application()->NewDrawingDocument(11, nullptr, 11, 0.0, 0.0, &drawing), S_OK);
  EXPECT_EQ(VLMSWON::GetActiveDocumentMeshes(host.Application(), meshes, &names), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to extract meshes from document");
  EXPECT_EQ(meshes.Count(), 0);
  EXPECT_EQ(names.GetSize(), 0);

  Part({});
  CComPtr<IHostPartDocument> part;
  ASSERT_EQ(Active().QueryInterface(&part), S_OK);
  EXPECT_EQ(VLMSWON::GetPartMeshes(part, meshes, &names, VARIANT_TRUE), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to get part bodies");
}

// The part name is the title cut before its last '.'; a title without one
// is the name whole.
TEST_F(MeshReadBack, APartIsNamedByItsTitleWithoutTheExtension) {
  const stand_in::Document& part = Part({{"Base", Tetrahedron()}});
  const struct {
    const char* title;
    const wchar_t* name;
  } cases[] = {{"shaft.left.prt", L"shaft.left-Base"}, {"gear.prt", L"gear-Base"}, {"gear", L"gear-Base"}};
  for (const auto& c : cases) {
    host.SetTitle(part, c.title);
    ON_ClassArray<ON_Mesh> meshes;
    CStringArray names;
    ASSERT_EQ(VLMSWON::GetDocumentMeshes(Active(), meshes, &names), 1);
    EXPECT_EQ(Names(names), std::vector<std::wstring>{c.name});
  }
}

// Two parts placed in an assembly: one of a single body, in millimetres,
// moved 0.1 m along x; one of two bodies, in inches, with a red of its own.
class AssemblyReadBack : public MeshReadBack {
 protected:
  void SetUp() override {
    MeshReadBack::SetUp();
    const stand_in::Document& one = Part({{"Base", Tetrahedron()}}, hostMM);
    const stand_in::Document& two = Part({{"Boss", Tetrahedron(5)}, {"Rib", Sheet(3)}}, hostINCHES);
    ASSERT_EQ(host.Application()->NewAssemblyDocument(&assembly), S_OK);
    const stand_in::Document& top = host.Documents().back();
    stand_in::Transform moved;
    moved.translation = {0.1, 0, 0};
    stand_in::Material red = stand_in::kDefaultMaterial;
    red[0] = 1, red[1] = 0, red[2] = 0;
    host.AddComponent(top, one, "Gear-1", moved);
    host.AddComponent(top, two, "Frame-1", moved, &red);
  }
  void TearDown() override {
    assembly.Release();
    MeshReadBack::TearDown();
  }
  CComPtr<IHostAssemblyDocument> assembly;
};

TEST_F(AssemblyReadBack, ComponentsArePlacedInMetresNamedAndColoured) {
  ON_ClassArray<ON_Mesh> meshes;
  CStringArray names;
  ASSERT_EQ(VLMSWON::GetDocumentMeshes(Active(), meshes, &names), 1);
  EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"Gear-1", L"Frame-1-Boss", L"Frame-1-Rib"}));
  ASSERT_EQ(meshes.Count(), 3);
  // The vertices come in metres, whatever the part's unit, and the 0.1 m
  // of the placement moves them by 0.1: the millimetre part's (0, 0, 0) to
  // 0.1, the inch part's (5, 0, 0) to 5.1.
  double minimum[2] = {1e9, 1e9};
  for (int m = 0; m < 2; ++m)
    for (int v = 0; v < meshes[m].m_V.Count(); ++v) minimum[m] = std::min<double>(minimum[m], meshes[m].m_V[v].x);
  EXPECT_FLOAT_EQ(static_cast<float>(minimum[0]), 0.1f);
  EXPECT_FLOAT_EQ(static_cast<float>(minimum[1]), 5.1f);
  // The first takes its part's material, the others their component's red.
  EXPECT_EQ(meshes[0].m_C[0].Red(), 191);
  EXPECT_EQ(meshes[1].m_C[0].Red(), 255);
  EXPECT_EQ(meshes[1].m_C[0].Green(), 0);
  EXPECT_EQ(meshes[1].m_C[0].Alpha(), 255);  // opaque
  for (int m = 0; m < 3; ++m) EXPECT_EQ(meshes[m].m_C.Count(), 1);
}

TEST_F(AssemblyReadBack, TheTreeWalkAnswersTheChildCountAndTheAssemblyReadOne) {
  CComPtr<IHostDocument> document = Active();
  CComPtr<IHostConfiguration> configuration;
  ASSERT_EQ(document->ActiveConfiguration(&configuration), S_OK);
  CComPtr<IHostComponent> root;
  ASSERT_EQ(configuration->RootComponent(&root), S_OK);
  ON_ClassArray<ON_Mesh> meshes;
  EXPECT_EQ(VLMSWON::GetComponentTreeMeshes(root, meshes, nullptr), 2);
  EXPECT_EQ(meshes.Count(), 3);
  // The root has no bodies of its own: its read said so, and the walk went on.
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to get component bodies");

  host.InjectFault("IHostDocument::ActiveConfiguration", 1, E_FAIL);
  EXPECT_EQ(VLMSWON::GetAssemblyMeshes(document, assembly, meshes, nullptr), 1);
  EXPECT_EQ(meshes.Count(), 0);
}

// What the host leaves unanswered in the walk: a unit not reported changes
// nothing (the meshes are in metres all the same), a component name not
// read is empty for the single mesh and "Component" in the component read.
TEST_F(AssemblyReadBack, UnansweredCallsTakeTheirStandIns) {
  enum Fault { kNone, kLeaving, kFailing };
  struct Case {
    const char* op;
    int nth;  // calls in walk order: root, root's read, Gear-1, its read, ...
    Fault fault;
    std::vector<std::wstring> names;
    double gearMinimumX;
  } const cases[] = {
      {"IHostDocument::GetLengthUnit", 1, kNone, {L"Gear-1", L"Frame-1-Boss", L"Frame-1-Rib"}, 0.1},
      {"IHostDocument::GetLengthUnit", 1, kLeaving, {L"Gear-1", L"Frame-1-Boss", L"Frame-1-Rib"}, 0.1},
      {"IHostComponent::Name", 3, kFailing, {L"", L"Frame-1-Boss", L"Frame-1-Rib"}, 0.1},
      {"IHostComponent::Name", 6, kFailing, {L"Gear-1", L"Component-Boss", L"Component-Rib"}, 0.1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " " + std::to_string(c.nth) + " " + std::to_string(c.fault));
    host.ClearFaults();
    if (c.fault == kLeaving) host.InjectFaultLeavingOutputs(c.op, c.nth, E_FAIL);
    if (c.fault == kFailing) host.InjectFault(c.op, c.nth, E_FAIL);
    ON_ClassArray<ON_Mesh> meshes;
    CStringArray names;
    ASSERT_EQ(VLMSWON::GetDocumentMeshes(Active(), meshes, &names), 1);
    EXPECT_EQ(Names(names), c.names);
    ASSERT_EQ(meshes.Count(), 3);
    double minimum = 1e9;
    for (int v = 0; v < meshes[0].m_V.Count(); ++v) minimum = std::min<double>(minimum, meshes[0].m_V[v].x);
    EXPECT_FLOAT_EQ(static_cast<float>(minimum), static_cast<float>(c.gearMinimumX));
  }
}

// The walk names its meshes for itself, so it asks for the body names even
// when the caller wants none; a part read then does not.
TEST_F(AssemblyReadBack, TheWalkAsksForBodyNamesAllTheSame) {
  auto bodyNames = [&] {
    int asked = 0;
    for (const auto& op : host.Operations()) asked += op == "IHostBody::Name";
    return asked;
  };
  ON_ClassArray<ON_Mesh> meshes;
  host.ClearCalls();
  ASSERT_EQ(VLMSWON::GetDocumentMeshes(Active(), meshes, nullptr), 1);
  EXPECT_EQ(meshes.Count(), 3);
  EXPECT_EQ(bodyNames(), 3);

  Part({{"Base", Tetrahedron()}});
  host.ClearCalls();
  ASSERT_EQ(VLMSWON::GetDocumentMeshes(Active(), meshes, nullptr), 1);
  EXPECT_EQ(meshes.Count(), 1);
  EXPECT_EQ(bodyNames(), 0);
}

TEST_F(MeshReadBack, TheListWalkGoesItemByItemAndAnswersOne) {
  Part({});
  CComPtr<IHostListOwner> owner;
  ASSERT_EQ(Active().QueryInterface(&owner), S_OK);
  host.ClearCalls();
  EXPECT_EQ(WalkHostList(owner), 1);  // no sketch: one call
  std::vector<std::string> ops;
  for (const auto& op : host.Operations())
    if (op != "IUnknown::Release" && op != "IUnknown::QueryInterface") ops.push_back(op);
  EXPECT_EQ(ops, std::vector<std::string>{"IHostListOwner::FirstItem"});

  ASSERT_EQ(Active()->Toggle3DSketch(0), S_OK);
  ASSERT_EQ(Active()->Toggle3DSketch(0), S_OK);
  ASSERT_EQ(Active()->Toggle3DSketch(0), S_OK);  // a second sketch, open
  host.ClearCalls();
  EXPECT_EQ(WalkHostList(owner), 1);
  int items = 0;
  for (const auto& op : host.Operations()) items += op == "IHostListItem::NextItem";
  EXPECT_EQ(items, 2);
}

}  // namespace

namespace {

// A Bezier patch over [0, 3] x [0, 2] whose x and y follow u and v linearly
// (evenly spaced control points), so that its height is a function of them.
ON_NurbsSurface Hill() {
  ON_NurbsSurface surface(3, false, 4, 4, 4, 4);
  for (int dir = 0; dir < 2; ++dir)
    for (int k = 0; k < 6; ++k) surface.SetKnot(dir, k, k < 3 ? 0.0 : 1.0);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) surface.SetCV(i, j, ON_3dPoint(i, 2.0 * j / 3, 0.5 + 0.3 * ((i * j) % 3) - 0.1 * i));
  return surface;
}

// A body boxed down from a surface reads back as a closed mesh whose
// vertices lie on the surface, on the four sides or on the bottom.
TEST_F(MeshReadBack, ABoxedSurfaceReadsBackAsAClosedMeshOnItsFaces) {
  const ON_NurbsSurface surface = Hill();
  ASSERT_TRUE(surface.IsValid());
  CComPtr<IHostPartDocument> part;
  ASSERT_EQ(host.Application()->NewPartDocument(&part), S_OK);
  const double depth = 0.5;
  ASSERT_EQ(VLMSWON::CreateBodyFromSurface(part, surface, depth, 1, 1.0), 1) << VLMSWON::GetError().GetString();
  ASSERT_EQ(host.Documents().back().bodies.at(0).kind, stand_in::BodyKind::Solid);

  ON_ClassArray<ON_Mesh> meshes;
  ASSERT_EQ(VLMSWON::GetPartMeshes(part, meshes, nullptr, VARIANT_TRUE), 1);
  ASSERT_EQ(meshes.Count(), 1);
  const ON_Mesh& mesh = meshes[0];
  // Closed: every edge of the merged mesh belongs to exactly two triangles.
  const ON_MeshTopology& top = mesh.Topology();
  ASSERT_TRUE(top.IsValid());
  for (int e = 0; e < top.m_tope.Count(); ++e) ASSERT_EQ(top.m_tope[e].m_topf_count, 2) << "edge " << e;

  double lowest = 1e9;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      ON_3dPoint cv;
      surface.GetCV(i, j, cv);
      lowest = std::min(lowest, cv.z);
    }
  const double bottom = lowest - depth;
  const double tolerance = 1e-3 * 4.0 + 1e-6;  // the host's chordal tolerance of the surface's size, and floats
  for (int v = 0; v < mesh.m_V.Count(); ++v) {
    const ON_3dPoint p(mesh.m_V[v]);
    const double top = surface.PointAt(p.x / 3, p.y / 2).z;
    const bool onTop = std::fabs(p.z - top) <= tolerance;
    const bool onBottom = std::fabs(p.z - bottom) <= 1e-6;
    const bool onSide = (std::fabs(p.x) < 1e-6 || std::fabs(p.x - 3) < 1e-6 || std::fabs(p.y) < 1e-6 ||
                         std::fabs(p.y - 2) < 1e-6) &&
                        p.z >= bottom - 1e-6 && p.z <= top + tolerance;
    EXPECT_TRUE(onTop || onBottom || onSide) << "vertex " << v << " at " << p.x << ", " << p.y << ", " << p.z;
  }
}

}  // namespace

namespace {

using Corner = std::array<float, 3>;

std::vector<Corner> CornersOf(const ON_Mesh& mesh) {
  std::vector<Corner> out;
  for (int v = 0; v < mesh.m_V.Count(); ++v) out.push_back({mesh.m_V[v].x, mesh.m_V[v].y, mesh.m_V[v].z});
  std::sort(out.begin(), out.end());
  return out;
}

// A component turned a quarter about z (x goes to y, y to -x) and moved by
// (0.1, 0.2, 0.3) m: each corner lands where the turn and the move take it,
// in metres, for a part in millimetres as for one in metres. The unit is
// still asked, between the document and the transform.
TEST_F(MeshReadBack, AComponentIsTurnedColumnByColumnAndMovedInMetres) {
  for (LONG unit : {LONG{hostMM}, LONG{hostMETER}}) {
    SCOPED_TRACE(unit);
    const stand_in::Document& part = Part({{"Base", Tetrahedron()}}, unit);
    CComPtr<IHostAssemblyDocument> assembly;
    ASSERT_EQ(host.Application()->NewAssemblyDocument(&assembly), S_OK);
    stand_in::Transform turned;
    const double quarter[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    std::copy(quarter, quarter + 9, turned.rotation);
    turned.translation = {0.1, 0.2, 0.3};
    host.AddComponent(host.Documents().back(), part, "Turned-1", turned);

    host.ClearCalls();
    ON_ClassArray<ON_Mesh> meshes;
    ASSERT_EQ(VLMSWON::GetDocumentMeshes(Active(), meshes, nullptr), 1);
    ASSERT_EQ(meshes.Count(), 1);
    const std::vector<Corner> expected = {
        {-0.9f, 0.2f, 0.3f}, {0.1f, 0.2f, 0.3f}, {0.1f, 0.2f, 1.3f}, {0.1f, 1.2f, 0.3f}};
    const std::vector<Corner> corners = CornersOf(meshes[0]);
    ASSERT_EQ(corners.size(), expected.size());
    for (size_t v = 0; v < corners.size(); ++v)
      for (int a = 0; a < 3; ++a) EXPECT_NEAR(corners[v][a], expected[v][a], 1e-6) << "corner " << v;

    std::vector<std::string> placing;
    for (const std::string& op : host.Operations())
      if (op == "IHostComponent::Document" || op == "IHostDocument::GetLengthUnit" ||
          op == "IHostComponent::TransformValues")
        placing.push_back(op);
    EXPECT_EQ(placing, (std::vector<std::string>{"IHostComponent::Document", "IHostDocument::GetLengthUnit",
                                                  "IHostComponent::TransformValues"}));
  }
}

// A part of two bodies; an assembly that places a part of one body and a
// sub-assembly, which places a part of two.
class ReadBackFailures : public MeshReadBack {
 protected:
  void SetUp() override {
    MeshReadBack::SetUp();
    Part({{"Base", Tetrahedron()}, {"Rib", Sheet(3)}});
    part = Active();
    const stand_in::Document& one = Part({{"Base", Tetrahedron()}});
    const stand_in::Document& two = Part({{"Boss", Tetrahedron(5)}, {"Rib", Sheet(3)}});
    CComPtr<IHostAssemblyDocument> sub, top;
    ASSERT_EQ(host.Application()->NewAssemblyDocument(&sub), S_OK);
    const stand_in::Document& inner = host.Documents().back();
    ASSERT_EQ(host.Application()->NewAssemblyDocument(&top), S_OK);
    const stand_in::Document& outer = host.Documents().back();
    stand_in::Transform moved;
    moved.translation = {0.1, 0, 0};
    host.AddComponent(inner, two, "Frame-1", moved);
    host.AddComponent(outer, one, "Gear-1", moved);
    host.AddComponent(outer, inner, "Sub-1", stand_in::Transform{});
    sub.Release();
    top.Release();
    assembly = Active();
    held = host.HeldReferences();
  }
  void TearDown() override {
    host.ClearFaults();
    part.Release();
    assembly.Release();
    MeshReadBack::TearDown();
  }
  // What one read gives: its result, names and the corners of each mesh.
  struct Read {
    int result = 0;
    std::vector<std::wstring> names;
    std::vector<std::vector<Corner>> corners;
    bool operator==(const Read& o) const { return result == o.result && names == o.names && corners == o.corners; }
  };
  static Read Take(int result, const ON_ClassArray<ON_Mesh>& meshes, const CStringArray& names) {
    Read read;
    read.result = result;
    read.names = Names(names);
    for (int i = 0; i < meshes.Count(); ++i) read.corners.push_back(CornersOf(meshes[i]));
    return read;
  }

  CComPtr<IHostDocument> part, assembly;
  long held = 0;  // the references the fixture holds
};

const wchar_t kOutOfMemory[] = L"Out of memory while reading the meshes of a document";

// The host out of memory at any call of a read, the nth of its kind: the
// read answers 0 with the out-of-memory text, the containers emptied once
// the read began (untouched when the active document itself could not be
// had), every reference let go.
TEST_F(ReadBackFailures, AHostOutOfMemoryAtAnyCallFailsTheRead) {
  ON_ClassArray<ON_Mesh> meshes;
  CStringArray names;
  host.ClearCalls();
  ASSERT_EQ(VLMSWON::GetActiveDocumentMeshes(host.Application(), meshes, &names), 1);
  EXPECT_EQ(Names(names), (std::vector<std::wstring>{L"Gear-1", L"Frame-1-Boss", L"Frame-1-Rib"}));
  std::map<std::string, int> calls;
  for (const std::string& op : host.Operations())
    if (op != "IUnknown::Release") ++calls[op];
  EXPECT_GE(calls.size(), 15u);
  for (const auto& [op, count] : calls)
    for (int nth = 1; nth <= count; ++nth) {
      SCOPED_TRACE(op + " " + std::to_string(nth));
      host.ClearFaults();
      host.InjectFault(op, nth, E_OUTOFMEMORY);
      meshes.Destroy();
      meshes.Append(ON_Mesh());
      names.RemoveAll();
      names.Add(L"before");
      EXPECT_EQ(VLMSWON::GetActiveDocumentMeshes(host.Application(), meshes, &names), 0);
      EXPECT_EQ(VLMSWON::GetError(), kOutOfMemory);
      const int left = op == "IHostApplication::ActiveModel" ? 1 : 0;
      EXPECT_EQ(meshes.Count(), left);
      EXPECT_EQ(names.GetSize(), left);
      EXPECT_EQ(host.HeldReferences(), held) << host.DescribeHeld();
    }
}

// Children that the host hands out and then reports a failure for are let
// go, at the root as at a sub-assembly; the read goes on without them.
TEST_F(ReadBackFailures, ChildrenGivenWithAFailureAreLetGo) {
  const struct {
    int nth;  // 1: the root's children, 2: the sub-assembly's
    HRESULT result;
    int read;
    std::vector<std::wstring> names;
  } cases[] = {
      {1, E_FAIL, 0, {}},
      {1, S_FALSE, 0, {}},
      {2, E_FAIL, 1, {L"Gear-1"}},
      {2, S_FALSE, 1, {L"Gear-1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.nth << " " << std::hex << c.result);
    host.ClearFaults();
    host.InjectMisreport("IHostComponent::Children", c.nth, c.result);
    ON_ClassArray<ON_Mesh> meshes;
    CStringArray names;
    EXPECT_EQ(VLMSWON::GetDocumentMeshes(assembly, meshes, &names), c.read);
    EXPECT_EQ(Names(names), c.names);
    EXPECT_EQ(host.HeldReferences(), held) << host.DescribeHeld();
  }
}

// Each allocation of a read failing in turn (the host's own among them): the
// read is whole, as without the failure, or fails as its out-of-memory
// failure, with the containers as that failure leaves them, and every
// reference and text let go. The document reads empty the containers; the
// part and tree reads append nothing; the assembly read answers 1 all the
// same, emptied.
TEST_F(ReadBackFailures, EachAllocationFailingGivesTheWholeReadOrItsFailure) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  CComPtr<IHostPartDocument> partRole;
  ASSERT_EQ(part.QueryInterface(&partRole), S_OK);
  CComPtr<IHostAssemblyDocument> assemblyRole;
  ASSERT_EQ(assembly.QueryInterface(&assemblyRole), S_OK);
  CComPtr<IHostComponent> root;
  {
    CComPtr<IHostConfiguration> configuration;
    ASSERT_EQ(assembly->ActiveConfiguration(&configuration), S_OK);
    ASSERT_EQ(configuration->RootComponent(&root), S_OK);
  }
  host.SetRecording(false);
  const long references = host.HeldReferences();

  enum Emptied { kEmptied, kKept };
  const struct {
    const char* what;
    std::function<int(ON_ClassArray<ON_Mesh>&, CStringArray&)> read;
    Emptied onFailure;
    std::vector<int> failed;  // what the read may answer when it fails
  } reads[] = {
      {"part document", [&](auto& m, auto& n) { return VLMSWON::GetDocumentMeshes(part, m, &n); }, kEmptied, {0}},
      {"part", [&](auto& m, auto& n) { return VLMSWON::GetPartMeshes(partRole, m, &n, VARIANT_TRUE); }, kKept, {0}},
      {"active assembly", [&](auto& m, auto& n) { return VLMSWON::GetActiveDocumentMeshes(host.Application(), m, &n); },
       kEmptied, {0}},
      {"assembly", [&](auto& m, auto& n) { return VLMSWON::GetAssemblyMeshes(assembly, assemblyRole, m, &n); },
       kEmptied, {1}},
      // The child count once the host has given it, 0 before.
      {"tree", [&](auto& m, auto& n) { return VLMSWON::GetComponentTreeMeshes(root, m, &n); }, kKept, {0, 2}},
  };
  for (const auto& r : reads) {
    SCOPED_TRACE(r.what);
    ON_ClassArray<ON_Mesh> meshes;
    CStringArray names;
    const Read whole = Take(r.read(meshes, names), meshes, names);
    ASSERT_FALSE(whole.corners.empty());
    Read before;  // what the caller held: one mesh, one name
    int failures = 0;
    const long texts = stand_in::LiveBstrCount();
    test_support::FailEachAllocation(
        [&] {
          meshes.Destroy();
          names.RemoveAll();
          ON_Mesh kept;
          AppendTriangle(kept, {7, 7, 7}, {8, 7, 7}, {7, 8, 7});
          meshes.Append(kept);
          names.Add(L"kept");
          before = Take(0, meshes, names);
          VLMSWON::SetError(L"");
        },
        [&] { return r.read(meshes, names); },
        [&](int result, long long n) {
          SCOPED_TRACE(::testing::Message() << "allocation " << n);
          EXPECT_EQ(host.HeldReferences(), references) << host.DescribeHeld();
          EXPECT_EQ(stand_in::LiveBstrCount(), texts);
          if (VLMSWON::GetError() != kOutOfMemory) {
            // Whole: what the caller held, then (or, for the reads that
            // empty first, in place of it) the whole read.
            Read expected = whole;
            if (r.onFailure == kKept) {
              expected.names.insert(expected.names.begin(), before.names.begin(), before.names.end());
              expected.corners.insert(expected.corners.begin(), before.corners.begin(), before.corners.end());
            }
            EXPECT_EQ(Take(result, meshes, names), expected);
            return;
          }
          ++failures;
          EXPECT_NE(std::find(r.failed.begin(), r.failed.end(), result), r.failed.end()) << result;
          Read expected = r.onFailure == kKept ? before : Read{};
          expected.result = result;
          EXPECT_EQ(Take(result, meshes, names), expected);
        });
    EXPECT_GT(failures, 0);
  }
}

// The address space capped at budgets from nothing up to what the read
// needs, over a part of several bodies of some hundreds of triangles each
// (every allocation past the cap fails, not one alone): the read is whole
// or fails, never 1 with a mesh short of a triangle or of a merge.
TEST_F(MeshReadBack, UnderAMemoryCapAReadIsWholeOrFails) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  ON_ClassArray<ON_Mesh> made;
  for (int i = 0; i < 4; ++i) {
    ON_Mesh grid = test_support::TriangleGrid(300);
    ON_Xform moved(1);
    moved.m_xform[0][3] = 10.0 * i;
    grid.Transform(moved);
    made.Append(grid);
  }
  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(host.Application(), made, 2, 0, 1, 0), 1) << VLMSWON::GetError().GetString();
  host.SetRecording(false);
  CComPtr<IHostDocument> document = Active();
  ON_ClassArray<ON_Mesh> whole;
  size_t peak = 0;
  {
    test_support::AllocationLimit count;
    ASSERT_EQ(VLMSWON::GetDocumentMeshes(document, whole, nullptr), 1);
    count.End();
    peak = count.PeakBytes();
  }
  ASSERT_EQ(whole.Count(), 4);
  int failed = 0, read = 0;
  for (size_t budget = 0; budget <= peak + peak / 8; budget += peak / 64 + 1) {
    SCOPED_TRACE(::testing::Message() << "budget " << budget << " of " << peak);
    ON_ClassArray<ON_Mesh> meshes;
    meshes.Append(ON_Mesh());
    int result = -1;
    {
      test_support::AllocationLimit limit(test_support::AllocationLimit::Budget(budget));
      result = VLMSWON::GetDocumentMeshes(document, meshes, nullptr);
      limit.End();
    }
    if (result == 0) {
      ++failed;
      EXPECT_EQ(VLMSWON::GetError(), L"Out of memory while reading the meshes of a document");
      EXPECT_EQ(meshes.Count(), 0);
      continue;
    }
    ++read;
    ASSERT_EQ(result, 1);
    ASSERT_EQ(meshes.Count(), whole.Count());
    for (int i = 0; i < whole.Count(); ++i) {
      EXPECT_EQ(meshes[i].m_F.Count(), whole[i].m_F.Count()) << "mesh " << i;
      EXPECT_EQ(meshes[i].m_V.Count(), whole[i].m_V.Count()) << "mesh " << i;
    }
  }
  EXPECT_GT(failed, 0);
  EXPECT_GT(read, 0);
}

}  // namespace

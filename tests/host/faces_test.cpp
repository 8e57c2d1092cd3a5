// Planar faces the host accepts or refuses, and sewing them into bodies.
#include "fixture.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <set>
#include <string>
#include <utility>

using stand_in::BodyKind;
using stand_in::Point3;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// The surface of the unit cube cut into n x n squares a side, two triangles each.
Faces GridCube(int n) {
  Faces faces;
  auto at = [n](int axis, double side, int i, int j) {
    double c[3];
    c[axis] = side;
    c[(axis + 1) % 3] = double(i) / n;
    c[(axis + 2) % 3] = double(j) / n;
    return Point3{c[0], c[1], c[2]};
  };
  for (int axis = 0; axis < 3; ++axis)
    for (double side : {0.0, 1.0})
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
          const Point3 a = at(axis, side, i, j), b = at(axis, side, i + 1, j), c = at(axis, side, i + 1, j + 1),
                       d = at(axis, side, i, j + 1);
          faces.push_back({a, b, c});
          faces.push_back({a, c, d});
        }
  return faces;
}

}  // namespace

class FaceTest : public HostTest {
 protected:
  void SetUp() override {
    OpenPart();
    ASSERT_EQ(part->NewBody(&collector), S_OK);
  }
  const stand_in::Body& collected() const { return model().collectors.at(0); }

  CComPtr<IHostBody> collector;
};

TEST_F(FaceTest, RefusesPolygonsNoModellerWouldBound) {
  struct Case {
    const char* name;
    LONG count;
    std::vector<double> points;
    const char* error;  // part of the reason the host gives
  } cases[] = {
      {"two points", 2, {0, 0, 0, 1, 0, 0}, "count is 2"},
      {"five points", 5, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 2, 0}, "count is 5"},
      {"negative count", -3, {0, 0, 0, 1, 0, 0, 0, 1, 0}, "count is -3"},
      {"all corners in one point", 3, {1, 1, 1, 1, 1, 1, 1, 1, 1}, "all points coincide"},
      {"two corners coincide", 3, {0, 0, 0, 1, 0, 0, 1, 0, 0}, "point[1] and point[2] coincide"},
      {"two corners within the tolerance", 3, {0, 0, 0, 1, 0, 0, 1 + 1e-12, 1e-12, 0}, "coincide"},
      {"collinear corners", 3, {0, 0, 0, 1, 0, 0, 3, 0, 0}, "collinear"},
      {"nearly collinear corners", 3, {0, 0, 0, 2, 1e-11, 0, 4, 0, 0}, "collinear"},
      {"quad corner on a straight edge", 4, {0, 0, 0, 1, 0, 0, 2, 0, 0, 1, 1, 0}, "point[1] is collinear"},
      {"quad folded back onto itself", 4, {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0}, "coincide"},
      {"non-planar quad", 4, {0, 0, 0, 1, 0, 0, 1, 1, 1e-3, 0, 1, 0}, "off the plane"},
      {"self-crossing quad", 4, {0, 0, 0, 2, 1, 0, 2, 0, 0, 0, 2, 0}, "crosses itself"},
      {"symmetric bow-tie", 4, {0, 0, 0, 1, 1, 0, 1, 0, 0, 0, 1, 0}, "no area"},
      {"not a number", 3, {0, 0, 0, 1, kNaN, 0, 0, 1, 0}, "point[1].y is not a finite number"},
      {"infinite corner", 3, {0, 0, 0, 1, 0, 0, 0, HUGE_VAL, 0}, "point[2].y"},
  };
  const double normal[3] = {0, 0, 1};
  for (const Case& c : cases) {
    EXPECT_EQ(collector->CreatePlanarFace(c.count, c.points.data(), normal), E_FAIL) << c.name;
    EXPECT_EQ(collected().faces.Count(), 0u) << c.name;
    EXPECT_NE(host.Calls().back().error.find(c.error), std::string::npos) << c.name << ": " << host.Calls().back().error;
  }
  EXPECT_TRUE(collected().faces.Vertices().empty());
}

TEST_F(FaceTest, RefusesNullAndNonFiniteArguments) {
  const double tri[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  const double normal[3] = {0, 0, 1}, badNormal[3] = {0, kNaN, 1};
  EXPECT_EQ(collector->CreatePlanarFace(3, nullptr, normal), E_FAIL);
  EXPECT_EQ(collector->CreatePlanarFace(3, tri, nullptr), E_FAIL);
  EXPECT_EQ(collector->CreatePlanarFace(3, tri, badNormal), E_FAIL);
  EXPECT_EQ(host.Calls().back().error, "normal.y is not a finite number");
  EXPECT_EQ(collected().faces.Count(), 0u);
}

// A real but thin face, float noise off the plane, a concave quadrilateral,
// far-off coordinates and a zero normal are all good faces.
TEST_F(FaceTest, AcceptsFacesThatAreThinNoisyConcaveOrFarAway) {
  const std::vector<std::vector<double>> good = {
      {0, 0, 0, 1, 0, 0, 0.5, 1e-6, 0},
      {0, 0, 0, 1, 0, 0, 1, 1, 1e-8, 0, 1, 0},
      {0, 0, 0, 2, 0, 0, 1, 0.5, 0, 1, 2, 0},
      {1e6, 1e6, 0, 1e6 + 1, 1e6, 0, 1e6, 1e6 + 1, 0},
  };
  const double zero[3] = {0, 0, 0};
  for (const auto& points : good)
    EXPECT_EQ(collector->CreatePlanarFace(LONG(points.size() / 3), points.data(), zero), S_OK)
        << host.Calls().back().error;
  ASSERT_EQ(collected().faces.Count(), good.size());
  EXPECT_EQ(collected().faces.CornerCount(1), 4);
  // Corners come back as given, in the given order.
  EXPECT_EQ(collected().faces.Corner(2, 2), (Point3{1, 0.5, 0}));
}

TEST_F(FaceTest, SewsClosedShellsIntoSolidsAndTheRestIntoSheets) {
  Faces openBox = CubeOfQuads();
  openBox.pop_back();
  Faces fin = Tetrahedron();
  fin.push_back({{0, 0, 0}, {1, 0, 0}, {0, -1, 0}});  // a third face on edge a-b
  Faces nudged = Tetrahedron();
  nudged[3][0].x = std::nextafter(1.0, 2.0);  // one ulp apart: not the same vertex
  Faces signedZero = Tetrahedron();
  signedZero[1][0] = {-0.0, 0.0, -0.0};
  struct Case {
    const char* name;
    Faces faces;
    BodyKind kind;
    size_t vertices;
  } cases[] = {
      {"tetrahedron", Tetrahedron(), BodyKind::Solid, 4},
      {"cube of triangles", CubeOfTriangles(), BodyKind::Solid, 8},
      {"cube of quadrilaterals", CubeOfQuads(), BodyKind::Solid, 8},
      {"finely cut cube", GridCube(40), BodyKind::Solid, 6 * 40 * 40 + 2},
      {"-0.0 and 0.0 weld", signedZero, BodyKind::Solid, 4},
      {"one triangle", {Tetrahedron()[0]}, BodyKind::Sheet, 3},
      {"open box", openBox, BodyKind::Sheet, 8},
      {"edge of three faces", fin, BodyKind::Sheet, 5},
      {"corners one ulp apart", nudged, BodyKind::Sheet, 5},
  };
  for (const Case& c : cases) {
    CComPtr<IHostBody> body = NewBody();
    AddFaces(body, c.faces);
    CComPtr<IHostBody> sewn;
    ASSERT_EQ(body->CreateBodyFromSurfaces(&sewn), S_OK) << c.name;
    ASSERT_TRUE(sewn) << c.name;
    const stand_in::Body& made = model().bodies.back();
    EXPECT_EQ(made.kind, c.kind) << c.name;
    EXPECT_EQ(made.faces.Count(), c.faces.size()) << c.name;
    EXPECT_EQ(made.faces.Vertices().size(), c.vertices) << c.name;
  }
  EXPECT_EQ(model().bodies.size(), std::size(cases));
}

TEST_F(FaceTest, SewingWithoutFacesFailsAndMakesNoBody) {
  IHostBody* sewn = collector;  // must come back null
  EXPECT_EQ(collector->CreateBodyFromSurfaces(&sewn), E_FAIL);
  EXPECT_EQ(sewn, nullptr);
  EXPECT_TRUE(model().bodies.empty());
  EXPECT_EQ(host.Calls().back().error, "the body has no faces to sew");
}

// The collector hands its faces to the body it sews; it can then gather a
// second body, and the sewn body itself takes no faces.
TEST_F(FaceTest, SewingHandsTheFacesOverToTheNewBody) {
  AddFaces(collector, Tetrahedron());
  CComPtr<IHostBody> first;
  ASSERT_EQ(collector->CreateBodyFromSurfaces(&first), S_OK);
  EXPECT_EQ(collected().faces.Count(), 0u);
  CComPtr<IHostBody> again;
  EXPECT_EQ(collector->CreateBodyFromSurfaces(&again), E_FAIL);

  const double tri[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0}, normal[3] = {0, 0, 1};
  EXPECT_EQ(first->CreatePlanarFace(3, tri, normal), E_FAIL);
  EXPECT_EQ(model().bodies[0].faces.Count(), 4u);

  AddFaces(collector, {Tetrahedron()[0]});
  CComPtr<IHostBody> second;
  ASSERT_EQ(collector->CreateBodyFromSurfaces(&second), S_OK);
  ASSERT_EQ(model().bodies.size(), 2u);
  EXPECT_EQ(model().bodies[0].kind, BodyKind::Solid);
  EXPECT_EQ(model().bodies[1].kind, BodyKind::Sheet);
}

namespace {

Faces Translated(Faces faces, double dx, double dy, double dz) {
  for (auto& face : faces)
    for (Point3& p : face) p = {p.x + dx, p.y + dy, p.z + dz};
  return faces;
}

Faces Joined(Faces a, const Faces& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Faces Reversed(Faces faces, std::initializer_list<size_t> which) {
  for (size_t i : which) std::reverse(faces[i].begin(), faces[i].end());
  return faces;
}

// The six-vertex projective plane: every edge of two faces, every vertex
// one fan, and no way to orient it.
Faces ProjectivePlane() {
  const Point3 v[6] = {{0, 0, 0}, {1, 0, 0.2}, {0.1, 1, 0}, {0, 0.2, 1}, {1, 1, 1.3}, {0.3, 0.7, -0.4}};
  const int t[10][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 5}, {0, 5, 1},
                        {1, 2, 4}, {2, 3, 5}, {3, 4, 1}, {4, 5, 2}, {5, 1, 3}};
  Faces faces;
  for (const auto& f : t) faces.push_back({v[f[0]], v[f[1]], v[f[2]]});
  return faces;
}

// Six times the signed volume the body's faces enclose as they are wound.
double SignedVolume6(const stand_in::FaceSet& set) {
  double v = 0;
  for (size_t f = 0; f < set.Count(); ++f)
    for (int k = 1; k + 1 < set.CornerCount(f); ++k) {
      const Point3 &a = set.Corner(f, 0), &b = set.Corner(f, k), &c = set.Corner(f, k + 1);
      v += a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) + a.z * (b.x * c.y - b.y * c.x);
    }
  return v;
}

// True when no edge is run the same way by two faces: the faces agree.
bool WindingsAgree(const stand_in::FaceSet& set) {
  std::set<std::pair<uint32_t, uint32_t>> runs;
  for (size_t f = 0; f < set.Count(); ++f) {
    const int n = set.CornerCount(f);
    for (int k = 0; k < n; ++k)
      if (!runs.insert({set.VertexIndex(f, k), set.VertexIndex(f, (k + 1) % n)}).second) return false;
  }
  return true;
}

}  // namespace

// A solid needs a closed manifold shell, orientable and enclosing a volume;
// faces wound the wrong way are turned round by the sewing.
TEST_F(FaceTest, OnlyClosedManifoldShellsThatEncloseAVolumeAreSolids) {
  const Faces tet = Tetrahedron();
  const Point3 a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0};
  // A second tetrahedron on edge a-b, below the first: that edge has four faces.
  const Point3 e{0, -1, 0}, f{0.2, -0.3, -1};
  const Faces onEdge = Joined(tet, {{a, b, e}, {a, e, f}, {a, f, b}, {b, f, e}});
  Faces slab = CubeOfQuads();  // a micrometre thick
  for (auto& face : slab)
    for (Point3& p : face) p.z *= 1e-6;
  struct Case {
    const char* name;
    Faces faces;
    BodyKind kind;
  } cases[] = {
      {"edge of four faces", onEdge, BodyKind::Sheet},
      {"two coincident triangles", {{a, b, c}, {a, b, c}}, BodyKind::Sheet},
      {"two coincident triangles, wound apart", {{a, b, c}, {a, c, b}}, BodyKind::Sheet},
      {"two tetrahedra touching at a corner", Joined(tet, Translated(tet, -1, 0, 0)), BodyKind::Sheet},
      {"projective plane", ProjectivePlane(), BodyKind::Sheet},
      {"tetrahedron flattened within the tolerance",
       {{a, c, b}, {a, b, {0.3, 0.3, 1e-12}}, {a, {0.3, 0.3, 1e-12}, c}, {b, c, {0.3, 0.3, 1e-12}}},
       BodyKind::Sheet},
      {"two tetrahedra apart", Joined(tet, Translated(tet, 3, 0, 0)), BodyKind::Solid},
      {"thin slab", slab, BodyKind::Solid},
      {"tetrahedron, one face wound wrong", Reversed(tet, {2}), BodyKind::Solid},
      {"tetrahedron inside out", Reversed(tet, {0, 1, 2, 3}), BodyKind::Solid},
      {"cube, two quadrilaterals wound wrong", Reversed(CubeOfQuads(), {0, 4}), BodyKind::Solid},
      {"tetrahedron far off", Translated(Reversed(tet, {1}), 1e6, -1e6, 1e6), BodyKind::Solid},
  };
  for (const Case& k : cases) {
    CComPtr<IHostBody> body = NewBody();
    AddFaces(body, k.faces);
    CComPtr<IHostBody> sewn;
    ASSERT_EQ(body->CreateBodyFromSurfaces(&sewn), S_OK) << k.name;
    const stand_in::FaceSet& made = model().bodies.back().faces;
    EXPECT_EQ(model().bodies.back().kind, k.kind) << k.name;
    ASSERT_EQ(made.Count(), k.faces.size()) << k.name;
    if (k.kind == BodyKind::Solid) {
      EXPECT_TRUE(WindingsAgree(made)) << k.name;
      EXPECT_GT(SignedVolume6(made) / 6, 0) << k.name << ": faces outward";
    }
    // A face keeps its first corner when it is turned round.
    for (size_t i = 0; i < made.Count(); ++i) EXPECT_EQ(made.Corner(i, 0), k.faces[i][0]) << k.name << " face " << i;
  }
}

TEST_F(FaceTest, SewingTurnsTheFacesOfAnOpenSheetToAgreeWithItsFirst) {
  Faces openBox = CubeOfQuads();
  openBox.pop_back();
  const Faces given = Reversed(openBox, {3});
  AddFaces(collector, given);
  CComPtr<IHostBody> sewn;
  ASSERT_EQ(collector->CreateBodyFromSurfaces(&sewn), S_OK);
  const stand_in::Body& made = model().bodies.back();
  EXPECT_EQ(made.kind, BodyKind::Sheet);
  EXPECT_TRUE(WindingsAgree(made.faces));
  // The first face kept its winding, so the others took the one it gives.
  for (int k = 0; k < 4; ++k) EXPECT_EQ(made.faces.Corner(0, k), given[0][k]);
  EXPECT_EQ(made.faces.Corner(3, 1), given[3][3]);
}

// Corners within the coincidence tolerance of a polygon's size coincide, but
// never closer than the host's resolution (1e-8 m); quadrilaterals are
// planar to a looser fraction of their size, with the same floor.
TEST_F(FaceTest, ToleranceIsRelativeToTheFaceWithAnAbsoluteFloor) {
  const double normal[3] = {0, 0, 0};
  struct Case {
    const char* name;
    double size;
    double offset;
    bool quad;  // quad: offset lifts a corner out of the plane; else it is a triangle's height
    bool accepted;
  } cases[] = {
      {"1 mm, height 5e-9 m: below the floor", 1e-3, 5e-9, false, false},
      {"1 mm, height 5e-8 m", 1e-3, 5e-8, false, true},
      {"1000 m, height 5e-7 m: below 1e-9 of the size", 1e3, 5e-7, false, false},
      {"1000 m, height 5e-6 m", 1e3, 5e-6, false, true},
      {"1 mm, corner 5e-9 m off the plane: within the floor", 1e-3, 2e-8, true, true},
      {"1 mm, corner 5e-8 m off the plane", 1e-3, 2e-7, true, false},
      {"1000 m, corner 0.5 mm off the plane: within 1e-6 of the size", 1e3, 2e-3, true, true},
      {"1000 m, corner 5 mm off the plane", 1e3, 2e-2, true, false},
  };
  for (const Case& c : cases) {
    const double s = c.size;
    const std::vector<double> points =
        c.quad ? std::vector<double>{0, 0, 0, s, 0, 0, s, s, c.offset, 0, s, 0}
               : std::vector<double>{0, 0, 0, s, 0, 0, s / 2, c.offset, 0};
    const HRESULT hr = collector->CreatePlanarFace(LONG(points.size() / 3), points.data(), normal);
    EXPECT_EQ(hr, c.accepted ? S_OK : E_FAIL) << c.name << ": " << host.Calls().back().error;
    if (!c.accepted) {
      EXPECT_NE(host.Calls().back().error.find(c.quad ? "off the plane" : "collinear"), std::string::npos)
          << c.name << ": " << host.Calls().back().error;
    }
  }
  // Two corners closer than the floor coincide, at any size.
  const double close[9] = {0, 0, 0, 1e-3, 0, 0, 1e-3, 5e-9, 0};
  EXPECT_EQ(collector->CreatePlanarFace(3, close, normal), E_FAIL);
  EXPECT_NE(host.Calls().back().error.find("coincide"), std::string::npos) << host.Calls().back().error;
  const double tiny[9] = {0, 0, 0, 5e-9, 0, 0, 0, 5e-9, 0};
  EXPECT_EQ(collector->CreatePlanarFace(3, tiny, normal), E_FAIL);
  EXPECT_EQ(host.Calls().back().error, "all points coincide");
}

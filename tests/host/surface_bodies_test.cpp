// Faces of surfaces as the host tessellates and sews them: within the
// chordal tolerance of their surfaces, and closed into solids only when
// their boundaries close a shell.
#include "surface_builders.h"

#include "temp_dir.h"

#include <map>
#include <sstream>

using namespace surfaces;
using stand_in::BodyKind;

namespace {

using Mesh = std::vector<Point3>;  // three corners a triangle

double Bernstein(int n, int i, double t) {
  double c = 1;
  for (int k = 0; k < i; ++k) c = c * (n - k) / (k + 1);
  return c * std::pow(t, i) * std::pow(1 - t, n - i);
}

// The height of a clamped one-span patch made by Over, at its point over
// (x, y): x and y run linearly with u and v, so the patch is the graph of
// this polynomial, and a point's height above or below it bounds its
// distance from the patch.
double Height(const Patch& s, double width, double height, double x, double y) {
  const double u = x / width, v = y / height;
  double z = 0;
  for (int j = 0; j < s.count[1]; ++j)
    for (int i = 0; i < s.count[0]; ++i)
      z += Bernstein(s.count[0] - 1, i, u) * Bernstein(s.count[1] - 1, j, v) * s.At(i, j).z;
  return z;
}

double ControlBox(const Patch& s) {
  Point3 lo = s.points[0], hi = s.points[0];
  for (const Point3& p : s.points) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  return std::sqrt((hi.x - lo.x) * (hi.x - lo.x) + (hi.y - lo.y) * (hi.y - lo.y) + (hi.z - lo.z) * (hi.z - lo.z));
}

Point3 Along(const Point3& a, const Point3& b, const Point3& c, double wa, double wb) {
  const double wc = 1 - wa - wb;
  return {wa * a.x + wb * b.x + wc * c.x, wa * a.y + wb * b.y + wc * c.y, wa * a.z + wb * b.z + wc * c.z};
}

Point3 Cross(const Point3& a, const Point3& b, const Point3& c) {
  const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z, vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
  return {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
}

double Area(const Mesh& m) {
  double a = 0;
  for (size_t i = 0; i < m.size(); i += 3) {
    const Point3 n = Cross(m[i], m[i + 1], m[i + 2]);
    a += std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z) / 2;
  }
  return a;
}

double Volume(const Mesh& m) {
  double v = 0;
  for (size_t i = 0; i < m.size(); i += 3) {
    const Point3 &a = m[i], &b = m[i + 1], &c = m[i + 2];
    v += a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) + a.z * (b.x * c.y - b.y * c.x);
  }
  return v / 6;
}

Mesh FaceMesh(const stand_in::Body& body, size_t face) {
  Mesh m;
  stand_in::FaceTriangles(body, face, &m);
  return m;
}

Mesh BodyMesh(const stand_in::Body& body) {
  Mesh all;
  for (size_t f = 0; f < stand_in::FaceCount(body); ++f) {
    const Mesh m = FaceMesh(body, f);
    all.insert(all.end(), m.begin(), m.end());
  }
  return all;
}

// True when every edge of the triangles, by their corners' exact
// coordinates, is run once each way: the mesh a reader gets is closed.
bool Watertight(const Mesh& m) {
  auto key = [](const Point3& p) { return std::make_tuple(p.x, p.y, p.z); };
  std::map<std::pair<std::tuple<double, double, double>, std::tuple<double, double, double>>, int> runs;
  for (size_t i = 0; i < m.size(); i += 3)
    for (int k = 0; k < 3; ++k) ++runs[{key(m[i + k]), key(m[i + (k + 1) % 3])}];
  for (const auto& run : runs) {
    if (run.second != 1) return false;
    const auto back = runs.find({run.first.second, run.first.first});
    if (back == runs.end() || back->second != 1) return false;
  }
  return true;
}

// Points spread over each triangle: corners, edge midpoints, centroid and
// points between.
std::vector<Point3> Spread(const Mesh& m) {
  std::vector<Point3> out;
  for (size_t i = 0; i < m.size(); i += 3)
    for (int a = 0; a <= 4; ++a)
      for (int b = 0; a + b <= 4; ++b) out.push_back(Along(m[i], m[i + 1], m[i + 2], a / 4.0, b / 4.0));
  return out;
}

// A periodic cubic ring of eight control points about the z axis, at height
// z: the eight, then the first three again; uniform knots 0 to 14, domain 3
// to 11.
Curve Ring(double z) {
  Curve c{4, {}, {}, true};
  for (int k = 0; k < 15; ++k) c.knots.push_back(k);
  for (int k = 0; k < 11; ++k) {
    const double a = 2 * M_PI * (k % 8) / 8;
    c.points.push_back({std::cos(a), std::sin(a), z});
  }
  return c;
}

}  // namespace

class SurfaceBodyTest : public HostTest {
 protected:
  void SetUp() override {
    OpenPart();
    body = NewBody();
  }
  const stand_in::Body& Sew() {
    CComPtr<IHostBody> sewn;
    EXPECT_EQ(body->CreateBodyFromSurfaces(&sewn), S_OK) << host.Calls().back().error;
    EXPECT_TRUE(sewn);
    return model().bodies.back();
  }
  std::string Error() const { return host.Calls().back().error; }

  CComPtr<IHostBody> body;
};

// A face of a surface bounded by its domain stays within the chordal
// tolerance (1e-3 of the size of the box around its control points) of the
// surface everywhere on its triangles, its corners on the surface itself;
// and it looks the way of Su x Sv.
TEST_F(SurfaceBodyTest, BoundedFacesFollowTheirSurfaceWithinTheTolerance) {
  struct Case {
    const char* name;
    Patch patch;
    double width, height;
  } cases[] = {
      {"bicubic bump", Bump(), 2, 1},
      {"steep biquintic", Over(1, 1, 6, {{0, 0, 0, 0, 0, 0}, {0, 2, -2, 2, 0, 1}, {0, -1, 3, -3, 1, 0},
                                         {1, 2, 0, 2, -2, 0}, {0, 0, 1, -1, 0, 0}, {0, 1, 0, 0, 1, 0}}),
       1, 1},
      {"twisted bilinear, z = xy", Over(1, 1, 2, {{0, 0}, {0, 1}}), 1, 1},
      {"flat bilinear", Over(3, 2, 2, {{1, 1}, {1, 1}}), 3, 2},
  };
  for (const Case& c : cases) {
    CComPtr<IHostBody> own = NewBody();
    ASSERT_EQ(Bounded(own, c.patch), S_OK) << c.name << ": " << Error();
    CComPtr<IHostBody> sewn;
    ASSERT_EQ(own->CreateBodyFromSurfaces(&sewn), S_OK);
    const stand_in::Body& made = model().bodies.back();
    ASSERT_EQ(stand_in::FaceCount(made), 1u) << c.name;
    EXPECT_EQ(made.kind, BodyKind::Sheet) << c.name;
    const Mesh m = FaceMesh(made, 0);
    ASSERT_FALSE(m.empty()) << c.name;
    const double tolerance = 1e-3 * ControlBox(c.patch);
    double worst = 0;
    for (const Point3& p : Spread(m))
      worst = std::max(worst, std::fabs(p.z - Height(c.patch, c.width, c.height, p.x, p.y)));
    EXPECT_LE(worst, tolerance) << c.name;
    for (const Point3& p : m)
      EXPECT_NEAR(p.z, Height(c.patch, c.width, c.height, p.x, p.y), 1e-12) << c.name;
    // Every triangle faces up, as u along x crossed with v along y does.
    for (size_t i = 0; i < m.size(); i += 3) EXPECT_GT(Cross(m[i], m[i + 1], m[i + 2]).z, 0) << c.name;
  }
}

// The boxed solid the bridge makes under a surface over a rectangle: the
// surface, four side faces trimmed by the T, V and B edges, and a flat
// bottom or the surface moved down.
TEST_F(SurfaceBodyTest, ABoxedSolidOverARectangleClosesAndAMissingSideOpensIt) {
  const Patch bump = Bump();
  double mean = 0;
  for (const Point3& p : bump.points) mean += p.z / 16;
  const double tolerance = 1e-3 * ControlBox(bump);
  struct Case {
    const char* name;
    bool flat;
    int skip;
    BodyKind kind;
    size_t faces;
    double volume;  // of the exact solid; 0: none
  } cases[] = {
      {"flat bottom", true, 0, BodyKind::Solid, 6, 2 * mean + 0.5 * 2},
      {"moved copy as bottom", false, 0, BodyKind::Solid, 6, 0.5 * 2},
      {"flat bottom, side 2 missing", true, 2, BodyKind::Sheet, 5, 0},
      {"moved copy, side 4 missing", false, 4, BodyKind::Sheet, 5, 0},
  };
  for (const Case& c : cases) {
    CComPtr<IHostBody> own = NewBody();
    AddBox(own, bump, 0.5, c.flat, c.skip);
    CComPtr<IHostBody> sewn;
    ASSERT_EQ(own->CreateBodyFromSurfaces(&sewn), S_OK) << c.name << ": " << Error();
    const stand_in::Body& made = model().bodies.back();
    EXPECT_EQ(made.kind, c.kind) << c.name;
    EXPECT_EQ(stand_in::FaceCount(made), c.faces) << c.name;
    const Mesh all = BodyMesh(made);
    EXPECT_EQ(Watertight(all), c.kind == BodyKind::Solid) << c.name;
    if (c.volume > 0) {
      EXPECT_NEAR(Volume(all), c.volume, tolerance * Area(all)) << c.name;
    }
    // The surface stays the first face, and on the surface.
    for (const Point3& p : Spread(FaceMesh(made, 0)))
      EXPECT_NEAR(p.z, Height(bump, 2, 1, p.x, p.y), tolerance) << c.name;
  }
  // Side 1 of the flat box lies in y = 0 under the surface's first row:
  // its area is the row's integral (the mean of its heights times 2) and
  // the depth's rectangle, less the slivers its chords cut off.
  const stand_in::Body& flat = model().bodies[0];
  const Mesh side = FaceMesh(flat, 1);
  for (const Point3& p : side) EXPECT_EQ(p.y, 0);
  const double exact = 2 * (0 + 0.2 + 0.1 + 0) / 4 + 0.5 * 2;
  EXPECT_LE(Area(side), exact + 1e-12);
  EXPECT_GE(Area(side), exact - tolerance * 2);
}

// A tube periodic round its axis, bounded by its domain, closes on its own
// seam, and two planes trimmed by its end rings (one periodic curve each)
// close it into a solid.
TEST_F(SurfaceBodyTest, APeriodicTubeWithTwoCapsIsASolid) {
  Patch tube;
  tube.order[0] = 4;
  tube.order[1] = 2;
  tube.count[0] = 11;
  tube.count[1] = 2;
  tube.periodic[0] = 1;
  const Curve low = Ring(0), high = Ring(1);
  tube.knots[0] = low.knots;
  tube.knots[1] = {0, 0, 1, 1};
  tube.points = low.points;
  tube.points.insert(tube.points.end(), high.points.begin(), high.points.end());
  ASSERT_EQ(Bounded(body, tube), S_OK) << Error();
  ASSERT_EQ(TrimmedPlane(body, {0, 0, 0}, {0, 0, -1}, {low}), S_OK) << Error();
  ASSERT_EQ(TrimmedPlane(body, {0, 0, 1}, {0, 0, 1}, {high}), S_OK) << Error();
  const stand_in::Body& made = Sew();
  EXPECT_EQ(made.kind, BodyKind::Solid);
  const Mesh all = BodyMesh(made);
  EXPECT_TRUE(Watertight(all));
  EXPECT_GT(Volume(all), 2.0);  // a cylinder of radius about 0.9, height 1
  EXPECT_LT(Volume(all), M_PI);
}

// Faces meet where their boundaries come within the sewing tolerance, 1e-6
// of the body's size: a flat top a little off the open box of planar faces
// still closes it, one farther off does not. Planar faces join a body of
// surface faces as faces of their own, in the order they came.
TEST_F(SurfaceBodyTest, PlanarFacesAndSurfaceFacesSewWithinTheTolerance) {
  const Point3 p[8] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  const std::vector<std::vector<Point3>> sides = {
      {p[0], p[3], p[2], p[1]}, {p[0], p[1], p[5], p[4]}, {p[1], p[2], p[6], p[5]}, {p[2], p[3], p[7], p[6]},
      {p[3], p[0], p[4], p[7]}};
  struct Case {
    double lift;
    BodyKind kind;
  } cases[] = {{0, BodyKind::Solid}, {5e-7, BodyKind::Solid}, {5e-6, BodyKind::Sheet}};
  for (const Case& c : cases) {
    CComPtr<IHostBody> own = NewBody();
    AddFaces(own, {sides[0], sides[1]});
    ASSERT_EQ(Bounded(own, Over(1, 1, 2, {{1 + c.lift, 1 + c.lift}, {1 + c.lift, 1 + c.lift}})), S_OK);
    AddFaces(own, {sides[2], sides[3], sides[4]});
    CComPtr<IHostBody> sewn;
    ASSERT_EQ(own->CreateBodyFromSurfaces(&sewn), S_OK) << Error();
    const stand_in::Body& made = model().bodies.back();
    EXPECT_EQ(made.kind, c.kind) << c.lift;
    ASSERT_EQ(stand_in::FaceCount(made), 6u);
    EXPECT_TRUE(made.faces.Vertices().empty());  // all joined the faces of surfaces
    for (size_t f = 0; f < 6; ++f) {
      bool top = true;
      for (const Point3& q : FaceMesh(made, f)) top = top && q.z >= 1 - 1e-6;
      EXPECT_EQ(top, f == 2) << "face " << f;
    }
    if (c.kind == BodyKind::Solid) {
      EXPECT_TRUE(Watertight(BodyMesh(made)));
      EXPECT_NEAR(Volume(BodyMesh(made)), 1, 1e-5);
    }
  }
  EXPECT_EQ(model().collectors.size(), 4u);
}

// An edge of a surface that collapses to a point (a pole) welds into one
// vertex, and the face's boundary runs on past it: four bilinear patches
// whose upper edges meet in an apex close a pyramid over a planar square.
// A face within the sewing tolerance of a point is refused.
TEST_F(SurfaceBodyTest, EdgesThatCollapseToAPointWeldIntoOneVertex) {
  const Point3 apex{0.5, 0.5, 1}, base[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  AddFaces(body, {{base[0], base[3], base[2], base[1]}});
  for (int k = 0; k < 4; ++k) {
    Patch side = Over(1, 1, 2, {{0, 0}, {0, 0}});
    side.points = {base[k], base[(k + 1) % 4], apex, apex};
    ASSERT_EQ(Bounded(body, side), S_OK) << Error();
  }
  const stand_in::Body& made = Sew();
  EXPECT_EQ(made.kind, BodyKind::Solid);
  EXPECT_EQ(stand_in::FaceCount(made), 5u);
  EXPECT_TRUE(Watertight(BodyMesh(made)));
  EXPECT_NEAR(Volume(BodyMesh(made)), 1.0 / 3, 1e-12);

  CComPtr<IHostBody> tiny = NewBody();
  ASSERT_EQ(Bounded(tiny, Over(1000, 1000, 2, {{0, 0}, {0, 0}})), S_OK);
  ASSERT_EQ(Bounded(tiny, Moved(Over(1e-4, 1e-4, 2, {{0, 0}, {0, 0}}), 5)), S_OK) << Error();
  CComPtr<IHostBody> sewn;
  EXPECT_EQ(tiny->CreateBodyFromSurfaces(&sewn), E_FAIL);
  EXPECT_FALSE(sewn);
  EXPECT_EQ(Error(), "face 1 collapses within the sewing tolerance of 0.00141 m");
  EXPECT_EQ(model().bodies.size(), 1u);
}

// The loop cuts a concave face from its plane: the triangles cover it once,
// all facing the way of the plane's normal, whichever way the loop runs.
TEST_F(SurfaceBodyTest, ATrimmedPlaneIsItsLoopsPolygonCutIntoTriangles) {
  const Point3 l[6] = {{0, 0, 2}, {2, 0, 2}, {2, 1, 2}, {1, 1, 2}, {1, 2, 2}, {0, 2, 2}};
  std::vector<Curve> loop;
  for (int i = 0; i < 6; ++i) loop.push_back(Line(l[i], l[(i + 1) % 6]));
  std::vector<Curve> reversed(loop.rbegin(), loop.rend());
  for (const Point3& normal : {Point3{0, 0, 1}, Point3{0, 0, -1}}) {
    for (const auto* curves : {&loop, &reversed}) {
      CComPtr<IHostBody> own = NewBody();
      ASSERT_EQ(TrimmedPlane(own, {5, 5, 2}, normal, *curves), S_OK) << Error();
      const stand_in::Body& collector = model().collectors.back();
      ASSERT_EQ(stand_in::FaceCount(collector), 1u);
      const Mesh m = FaceMesh(collector, 0);
      EXPECT_EQ(m.size(), 4u * 3);
      EXPECT_DOUBLE_EQ(Area(m), 3);
      for (size_t i = 0; i < m.size(); i += 3) EXPECT_GT(Cross(m[i], m[i + 1], m[i + 2]).z * normal.z, 0);
    }
  }
}

// The read side's one function gives a planar quadrilateral's triangles
// along its inner diagonal, so a concave one keeps its area.
TEST_F(SurfaceBodyTest, ConcavePlanarFacesAreCutAlongTheirInnerDiagonal) {
  const std::vector<std::vector<Point3>> quads = {
      {{0, 0, 0}, {1, 0.5, 0}, {2, 0, 0}, {1, 2, 0}},  // reflex at corner 1
      {{1, 0.5, 0}, {2, 0, 0}, {1, 2, 0}, {0, 0, 0}},  // reflex at corner 0
  };
  for (const auto& q : quads) {
    AddFaces(body, {q});
    const stand_in::Body& collector = model().collectors.back();
    EXPECT_DOUBLE_EQ(Area(FaceMesh(collector, stand_in::FaceCount(collector) - 1)), 1.5);
  }
}

// The read side walks the faces of the boxed solid and gets, in single
// precision, a closed mesh that encloses the box.
TEST_F(SurfaceBodyTest, TheReadSideSeesASurfaceSolidAsAClosedMesh) {
  AddBox(body, Bump(), 0.5, false);
  CComPtr<IHostBody> sewn;
  ASSERT_EQ(body->CreateBodyFromSurfaces(&sewn), S_OK) << Error();
  Mesh read;
  size_t faces = 0;
  CComPtr<IHostFace> face;
  ASSERT_EQ(sewn->FirstFace(&face), S_OK);
  while (face) {
    ++faces;
    LONG n = 0;
    ASSERT_EQ(face->TriangleCount(&n), S_OK);
    std::vector<float> data(9 * static_cast<size_t>(n));
    ASSERT_EQ(face->TriangleData(0, data.data()), S_OK);
    for (size_t i = 0; i < data.size(); i += 3) read.push_back({data[i], data[i + 1], data[i + 2]});
    CComPtr<IHostFace> next;
    face->NextFace(&next);
    face = next;
  }
  EXPECT_EQ(faces, 6u);
  EXPECT_EQ(read.size(), BodyMesh(model().bodies.back()).size());
  EXPECT_TRUE(Watertight(read));
  EXPECT_NEAR(Volume(read), 1.0, 1e-6);
}

TEST_F(SurfaceBodyTest, SurfaceBodiesPrintAndSaveAsTheirTriangles) {
  AddBox(body, Bump(), 0.5, true);
  const stand_in::Body& made = Sew();
  EXPECT_NE(host.Describe().find("  body 1 \"Body1\": solid, 6 faces\n"), std::string::npos) << host.Describe();

  test_support::TempDir dir("surface-obj");
  ASSERT_FALSE(dir.path().empty());
  const std::string file = dir.path() + "/box.obj";
  std::string error;
  ASSERT_TRUE(stand_in::SaveObj(model(), file, &error)) << error;
  size_t vertices = 0, triangles = 0;
  bool solid = false, inRange = true;
  for (const std::string& line : test_support::FileLines(file)) {
    solid = solid || line == "# solid";
    if (line.rfind("v ", 0) == 0) ++vertices;
    if (line.rfind("f ", 0) == 0) {
      ++triangles;
      std::istringstream numbers(line.substr(2));
      size_t n, count = 0;
      while (numbers >> n) {
        ++count;
        inRange = inRange && n >= 1 && n <= made.surfaceFaces.points.size();
      }
      EXPECT_EQ(count, 3u) << line;
    }
  }
  EXPECT_TRUE(solid);
  EXPECT_TRUE(inRange);
  EXPECT_EQ(vertices, made.surfaceFaces.points.size());
  EXPECT_EQ(triangles * 3, BodyMesh(made).size());
}

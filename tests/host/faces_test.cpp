// Planar faces the host accepts or refuses, and sewing them into bodies.
#include "fixture.h"

#include <cmath>
#include <iterator>
#include <limits>
#include <string>

using stand_in::BodyKind;
using stand_in::Point3;
using Faces = std::vector<std::vector<Point3>>;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

Faces Tetrahedron() {
  const Point3 a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0}, d{0, 0, 1};
  return {{a, c, b}, {a, b, d}, {a, d, c}, {b, c, d}};
}

// Each face gives its own copies of the corners, as a mesh read face by face does.
Faces CubeOfTriangles() {
  const Point3 p[8] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  const int quads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
  Faces faces;
  for (const auto& q : quads) {
    faces.push_back({p[q[0]], p[q[1]], p[q[2]]});
    faces.push_back({p[q[0]], p[q[2]], p[q[3]]});
  }
  return faces;
}

Faces CubeOfQuads() {
  Faces faces = CubeOfTriangles(), quads;
  for (size_t i = 0; i < faces.size(); i += 2) quads.push_back({faces[i][0], faces[i][1], faces[i][2], faces[i + 1][2]});
  return quads;
}

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

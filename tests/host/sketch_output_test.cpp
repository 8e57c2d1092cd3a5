// Sketches as the host shows them: Describe, the JSON of a document, and
// OBJ files with points and curves sampled in metres.
#include "sketch_fixture.h"

#include "sketch_curves.h"
#include "temp_dir.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

using stand_in::Point3;

namespace {

// What an OBJ file holds: its vertices, and its 'p' and 'l' elements as
// 0-based vertex indexes.
struct Obj {
  std::vector<Point3> v;
  std::vector<std::vector<size_t>> p, l;
  std::vector<std::string> objects;
  std::vector<Point3> Chain(size_t i) const {
    std::vector<Point3> out;
    for (size_t k : l.at(i)) out.push_back(v.at(k));
    return out;
  }
};

Obj ReadObj(const std::string& path) {
  Obj obj;
  for (const std::string& text : test_support::FileLines(path)) {
    std::istringstream row(text);
    std::string tag;
    row >> tag;
    if (tag == "v") {
      std::string x, y, z;
      row >> x >> y >> z;
      obj.v.push_back({std::strtod(x.c_str(), nullptr), std::strtod(y.c_str(), nullptr), std::strtod(z.c_str(), nullptr)});
    } else if (tag == "p" || tag == "l") {
      std::vector<size_t> numbers;
      for (size_t n; row >> n;) numbers.push_back(n - 1);
      (tag == "p" ? obj.p : obj.l).push_back(numbers);
    } else if (tag == "o") {
      std::string name;
      row >> name;
      obj.objects.push_back(name);
    }
  }
  return obj;
}

double Radius(const Point3& p, const Point3& centre) { return std::hypot(p.x - centre.x, p.y - centre.y); }

}  // namespace

class SketchOutputTest : public SketchTest {
 protected:
  void Make(HRESULT hr) {
    EXPECT_EQ(hr, S_OK) << host.Calls().back().error;
    out.Release();
  }
  std::string Save() {
    const std::string path = dir.path() + "/sketch.obj";
    std::string error;
    EXPECT_TRUE(stand_in::SaveObj(model(), path, &error)) << error;
    return path;
  }
  test_support::TempDir dir{"host-sketch"};
  CComPtr<IUnknown> out;
};

// Each point a 'p'; a circle 64 points at its radius, closed back to the
// first; an arc from its start to its end the way it turns.
TEST_F(SketchOutputTest, PointsArcsAndCirclesInTheObjFile) {
  Make(doc->CreateSketchLine(0, 0, 0, 1, 0, 0, &out));
  Make(doc->CreateSketchPoint(0.25, -1, 7, &out));
  Make(doc->CreateSketchCircle(1, 2, 3, 0.5, &out));
  Make(doc->CreateSketchArc(0, 0, 1, 2, 0, 1, 0, -2, 1, -1, &out));
  const Obj obj = ReadObj(Save());
  EXPECT_EQ(obj.objects, std::vector<std::string>{"Sketch1"});
  ASSERT_EQ(obj.p.size(), 1u);
  EXPECT_EQ(obj.v.at(obj.p[0].at(0)), (Point3{0.25, -1, 7}));
  ASSERT_EQ(obj.l.size(), 3u);
  EXPECT_EQ(obj.Chain(0), (std::vector<Point3>{{0, 0, 0}, {1, 0, 0}}));

  const std::vector<size_t>& circle = obj.l[1];
  ASSERT_EQ(circle.size(), size_t(stand_in::kTurnSteps) + 1);
  EXPECT_EQ(circle.front(), circle.back());
  EXPECT_EQ(obj.v[circle[0]], (Point3{1.5, 2, 3}));
  for (const Point3& p : obj.Chain(1)) {
    EXPECT_NEAR(Radius(p, {1, 2, 3}), 0.5, 1e-15);
    EXPECT_EQ(p.z, 3);
  }
  EXPECT_NEAR(obj.v[circle[16]].x, 1, 1e-15) << "a quarter turn on, counter-clockwise";
  EXPECT_NEAR(obj.v[circle[16]].y, 2.5, 1e-15);

  const std::vector<Point3> arc = obj.Chain(2);
  ASSERT_EQ(arc.size(), size_t(stand_in::kTurnSteps) / 4 + 1);
  EXPECT_EQ(arc.front(), (Point3{2, 0, 1}));
  EXPECT_EQ(arc.back(), (Point3{0, -2, 1}));
  for (const Point3& p : arc) {
    EXPECT_NEAR(Radius(p, {0, 0, 1}), 2, 1e-15);
    EXPECT_TRUE(p.x >= 0 && p.y <= 0) << "clockwise from +x to -y: " << p.x << ", " << p.y;
  }
}

// Through every given point, symmetric where the points are, straight on at
// open ends and smooth where a spline closes; a NURBS spline on its curve.
TEST_F(SketchOutputTest, SplinesInTheObjFile) {
  const double arch[9] = {0, 0, 0, 1, 1, 0, 2, 0, 0};
  Make(doc->CreateSketchSplineByPoints(3, arch, &out));
  const double square[15] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0};
  Make(doc->CreateSketchSplineByPoints(5, square, &out));
  const LONG props[4] = {3, 3, 3, 0};
  const double knots[6] = {0, 0, 0, 1, 1, 1}, cps[9] = {0, 0, 0, 1, 2, 0, 2, 0, 0};
  Make(doc->CreateSketchSplineByNurbs(props, knots, cps, &out));
  const Obj obj = ReadObj(Save());
  ASSERT_EQ(obj.l.size(), 3u);

  const std::vector<Point3> a = obj.Chain(0);
  const size_t steps = stand_in::kPieceSteps;
  ASSERT_EQ(a.size(), 2 * steps + 1);
  EXPECT_EQ(a[0], (Point3{0, 0, 0}));
  EXPECT_EQ(a[steps], (Point3{1, 1, 0}));
  EXPECT_EQ(a[2 * steps], (Point3{2, 0, 0}));
  for (size_t i = 0; i <= 2 * steps; ++i) {
    EXPECT_NEAR(a[i].x, 2 - a[2 * steps - i].x, 1e-12) << i;
    EXPECT_NEAR(a[i].y, a[2 * steps - i].y, 1e-12) << i;
    EXPECT_TRUE(a[i].y >= 0 && a[i].y <= 1 + 1e-12) << i << ": " << a[i].y;
  }

  const std::vector<Point3> s = obj.Chain(1);
  ASSERT_EQ(s.size(), 4 * steps + 1);
  for (size_t k = 0; k < 5; ++k)
    EXPECT_EQ(s[k * steps], (Point3{square[3 * k], square[3 * k + 1], 0})) << k;
  // Closed, it leaves its first point along the line from its last-but-one
  // point to its second, (1, -1); open, it would leave along +x.
  EXPECT_LT(s[1].y, -0.5 * s[1].x) << s[1].x << ", " << s[1].y;

  const std::vector<Point3> n = obj.Chain(2);
  ASSERT_EQ(n.size(), steps + 1);
  EXPECT_EQ(n.front(), (Point3{0, 0, 0}));
  EXPECT_EQ(n.back(), (Point3{2, 0, 0}));
  for (const Point3& p : n) EXPECT_NEAR(p.y, 2 * p.x - p.x * p.x, 1e-12) << "on the parabola of its control points";
  EXPECT_NEAR(n[steps / 2].x, 1, 1e-15);
  EXPECT_NEAR(n[steps / 2].y, 1, 1e-15);
}

// Only the domain is drawn, knots[order - 1] to knots[count], span by span
// between distinct knots: a uniform quadratic starts and ends between its
// control points, and an inner double knot passes through one.
TEST_F(SketchOutputTest, NurbsSplinesCoverTheirDomainSpanBySpan) {
  const LONG uniform[4] = {3, 3, 3, 0};
  const double even[6] = {0, 1, 2, 3, 4, 5}, corner[9] = {0, 0, 0, 1, 0, 0, 1, 1, 0};
  Make(doc->CreateSketchSplineByNurbs(uniform, even, corner, &out));
  const LONG doubled[4] = {3, 3, 5, 0};
  const double knots[8] = {0, 0, 0, 1, 1, 2, 2, 2}, cps[15] = {0, 0, 0, 1, 0, 0, 2, 1, 0, 3, 0, 0, 4, 0, 0};
  Make(doc->CreateSketchSplineByNurbs(doubled, knots, cps, &out));
  const Obj obj = ReadObj(Save());
  ASSERT_EQ(obj.l.size(), 2u);
  const size_t steps = stand_in::kPieceSteps;
  const std::vector<Point3> u = obj.Chain(0);
  ASSERT_EQ(u.size(), steps + 1);
  EXPECT_EQ(u.front(), (Point3{0.5, 0, 0}));
  EXPECT_EQ(u.back(), (Point3{1, 0.5, 0}));
  const std::vector<Point3> d = obj.Chain(1);
  ASSERT_EQ(d.size(), 2 * steps + 1) << "the empty span between the double knots adds nothing";
  EXPECT_EQ(d.front(), (Point3{0, 0, 0}));
  EXPECT_EQ(d[steps], (Point3{2, 1, 0}));
  EXPECT_EQ(d.back(), (Point3{4, 0, 0}));
}

TEST_F(SketchOutputTest, DescribeAndJsonCountEachKind) {
  for (int i = 0; i < 2; ++i) Make(doc->CreateSketchLine(0, 0, i, 1, 0, i, &out));
  Make(doc->CreateSketchPoint(0, 0, 0, &out));
  Make(doc->CreateSketchCircle(0, 0, 0, 1, &out));
  Make(doc->CreateSketchArc(0, 0, 0, 1, 0, 0, 0, 1, 0, 1, &out));
  Make(doc->CreateSketchArc(0, 0, 0, 1, 0, 0, 0, -1, 0, 1, &out));
  Make(doc->CreateSketchSplineByPoints(2, std::vector<double>{0, 0, 0, 1, 1, 1}.data(), &out));
  ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
  ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
  const std::string text = host.Describe();
  EXPECT_NE(text.find("Part1: part, unit mm, active\n"
                      "  sketch 1: 1 point, 2 lines, 2 arcs, 1 circle, 1 spline\n"
                      "  sketch 2: 0 lines, open\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(stand_in::DocumentJson(model()),
            "{\"type\": \"part\", \"title\": \"Part1\", \"length_unit\": \"mm\", \"bodies\": [], \"sketch_lines\": 2, "
            "\"sketch_points\": 1, \"sketch_arcs\": 2, \"sketch_circles\": 1, \"sketch_splines\": 1}");
  EXPECT_EQ(stand_in::JsonString("a \"b\"\\\n\x01"), "\"a \\\"b\\\"\\\\\\n\\u0001\"");
}

TEST_F(DrawingTest, TheSheetIsShownAsTheSheet) {
  CComPtr<IUnknown> out;
  ASSERT_EQ(doc->CreateSketchCircle(0, 0, 0, 1, &out), S_OK);
  EXPECT_EQ(stand_in::DocumentJson(drawing()),
            "{\"type\": \"drawing\", \"title\": \"Drawing1\", \"length_unit\": \"mm\", \"bodies\": [], "
            "\"sketch_lines\": 0, \"sketch_points\": 0, \"sketch_arcs\": 0, \"sketch_circles\": 1, "
            "\"sketch_splines\": 0}");
  test_support::TempDir dir("host-sheet");
  const std::string path = dir.path() + "/sheet.obj";
  std::string error;
  ASSERT_TRUE(stand_in::SaveObj(drawing(), path, &error)) << error;
  EXPECT_EQ(ReadObj(path).objects, std::vector<std::string>{"Sheet"});
}

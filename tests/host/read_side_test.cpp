// The read side of parts: title, unit, material, the bodies by kind and
// visibility, their names, and the faces of a body with their triangles.
#include "fixture.h"

#include "stand_in/text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using stand_in::Point3;

namespace {

std::string Utf8(BSTR text) { return stand_in::ToUtf8(text ? std::wstring(text, SysStringLen(text)) : L"(null)"); }

std::string NameOf(IHostBody* body) {
  CComBSTR name;
  EXPECT_EQ(body->Name(&name), S_OK);
  return Utf8(name);
}

// The names of what the enumerator lists, in order, checking how it ends.
std::vector<std::string> Names(IHostBodyEnumerator* bodies) {
  std::vector<std::string> names;
  for (;;) {
    CComPtr<IHostBody> body;
    LONG fetched = -1;
    const HRESULT hr = bodies->Next(1, &body, &fetched);
    if (hr != S_OK) {
      EXPECT_EQ(hr, S_FALSE);
      EXPECT_FALSE(body);
      EXPECT_EQ(fetched, 0);
      return names;
    }
    EXPECT_EQ(fetched, 1);
    names.push_back(NameOf(body));
  }
}

struct Vec {
  double x, y, z;
};
Vec Sub(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct Triangle {
  Point3 a, b, c;
  Vec Normal() const { return Cross(Sub(b, a), Sub(c, a)); }  // twice the area
};

// Every triangle of the body, walking its faces as a reader does: the next
// face is taken before the current one is let go.
std::vector<Triangle> Triangles(IHostBody* body, size_t* faceCount = nullptr) {
  std::vector<Triangle> out;
  size_t faces = 0;
  CComPtr<IHostFace> face;
  EXPECT_EQ(body->FirstFace(&face), S_OK);
  while (face) {
    ++faces;
    LONG n = -1;
    EXPECT_EQ(face->TriangleCount(&n), S_OK);
    std::vector<float> data(9 * static_cast<size_t>(n) + 1, 7.0f);  // one past the end, to see it kept
    EXPECT_EQ(face->TriangleData(0, data.data()), S_OK);
    EXPECT_EQ(data.back(), 7.0f);
    for (LONG t = 0; t < n; ++t) {
      const float* f = &data[9 * static_cast<size_t>(t)];
      out.push_back({{f[0], f[1], f[2]}, {f[3], f[4], f[5]}, {f[6], f[7], f[8]}});
    }
    CComPtr<IHostFace> next;
    const HRESULT hr = face->NextFace(&next);
    EXPECT_EQ(hr, next ? S_OK : S_FALSE);
    face = next;
  }
  if (faceCount) *faceCount = faces;
  return out;
}

Faces Translated(Faces faces, double dx) {
  for (auto& face : faces)
    for (auto& p : face) p.x += dx;
  return faces;
}

Faces Reversed(Faces faces) {
  for (auto& face : faces) std::reverse(face.begin(), face.end());
  return faces;
}

}  // namespace

// Whatever a test walked, nothing is left held once it lets go.
class ReadTest : public HostTest {
 protected:
  void SetUp() override { OpenPart(); }
  void TearDown() override {
    part.Release();
    doc.Release();
    EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
    EXPECT_EQ(host.OverReleases(), 0);
    HostTest::TearDown();
  }
  std::vector<std::string> List(LONG kind, VARIANT_BOOL visibleOnly) {
    CComPtr<IHostBodyEnumerator> bodies;
    EXPECT_EQ(part->BodyEnumerator(kind, visibleOnly, &bodies), S_OK);
    return bodies ? Names(bodies) : std::vector<std::string>{};
  }
};

TEST_F(ReadTest, BodiesAreListedByKindInTheOrderSewnHiddenOnesWhenAsked) {
  Sew({Tetrahedron()[0]});                // Body1, a sheet
  Sew(Tetrahedron());                     // Body2, a solid
  Sew(Translated(CubeOfQuads(), 2));      // Body3, a solid
  Sew({Translated(Tetrahedron(), 5)[1]});  // Body4, a sheet
  CComPtr<IHostBody> collector = NewBody();
  AddFaces(collector, Translated(Tetrahedron(), 9));  // not sewn: no body of the part
  host.SetBodyVisible(model(), 1, false);
  host.SetBodyVisible(model(), 3, false);
  host.SetBodyVisible(model(), 3, true);

  struct Case {
    LONG kind;
    VARIANT_BOOL visibleOnly;
    std::vector<std::string> names;
  } cases[] = {
      {hostSolidBody, VARIANT_TRUE, {"Body3"}},
      {hostSolidBody, VARIANT_FALSE, {"Body2", "Body3"}},
      {hostSheetBody, VARIANT_TRUE, {"Body1", "Body4"}},
      {hostSheetBody, VARIANT_FALSE, {"Body1", "Body4"}},
  };
  for (const Case& c : cases) EXPECT_EQ(List(c.kind, c.visibleOnly), c.names) << c.kind << " " << c.visibleOnly;

  for (LONG bad : {-1, 2}) {
    IHostBodyEnumerator* none = reinterpret_cast<IHostBodyEnumerator*>(this);
    EXPECT_EQ(part->BodyEnumerator(bad, VARIANT_TRUE, &none), E_INVALIDARG);
    EXPECT_EQ(none, nullptr);
  }
  EXPECT_EQ(part->BodyEnumerator(hostSolidBody, VARIANT_TRUE, nullptr), E_POINTER);
  EXPECT_THROW(host.SetBodyVisible(model(), 4, false), std::invalid_argument);
}

TEST_F(ReadTest, NextGivesOneBodyAtATimeTheSameObjectSewingGave) {
  CComPtr<IHostBody> sewn = Sew(Tetrahedron());
  CComPtr<IHostBodyEnumerator> bodies;
  ASSERT_EQ(part->BodyEnumerator(hostSolidBody, VARIANT_TRUE, &bodies), S_OK);
  for (LONG count : {0, 2, -1}) {
    CComPtr<IHostBody> body;
    LONG fetched = -1;
    EXPECT_EQ(bodies->Next(count, &body, &fetched), E_INVALIDARG) << count;
    EXPECT_FALSE(body);
    EXPECT_EQ(fetched, 0);
  }
  EXPECT_EQ(bodies->Next(1, nullptr, nullptr), E_POINTER);
  CComPtr<IHostBody> body;
  ASSERT_EQ(bodies->Next(1, &body, nullptr), S_OK);  // `fetched` may be null
  EXPECT_EQ(body, sewn);
  CComPtr<IHostBody> past;
  EXPECT_EQ(bodies->Next(1, &past, nullptr), S_FALSE);
  EXPECT_FALSE(past);
}

TEST_F(ReadTest, BodiesAreNamedInTheOrderSewnAndKeepNamesGivenThem) {
  CComPtr<IHostBody> first = Sew(Tetrahedron()), second = Sew(Translated(Tetrahedron(), 2));
  EXPECT_EQ(NameOf(first), "Body1");
  EXPECT_EQ(NameOf(second), "Body2");
  host.RenameBody(model(), 0, "Träger");
  EXPECT_EQ(NameOf(first), "Träger");
  EXPECT_THROW(host.RenameBody(model(), 1, "Träger"), std::invalid_argument);
  EXPECT_THROW(host.RenameBody(model(), 1, ""), std::invalid_argument);
  EXPECT_THROW(host.RenameBody(model(), 2, "Rib"), std::invalid_argument);
  EXPECT_EQ(NameOf(second), "Body2");
  // A name given by hand is not given again.
  host.RenameBody(model(), 1, "Body3");
  EXPECT_EQ(NameOf(Sew(Translated(Tetrahedron(), 4))), "Body4");

  // Faces not yet sewn make no body to read.
  CComPtr<IHostBody> collector = NewBody();
  AddFaces(collector, Tetrahedron());
  CComBSTR name;
  EXPECT_EQ(collector->Name(&name), E_FAIL);
  EXPECT_FALSE(name);
  CComPtr<IHostFace> face;
  EXPECT_EQ(collector->FirstFace(&face), E_FAIL);
  EXPECT_FALSE(face);
}

// Sewing turns faces wound against their neighbours: the triangles face
// outward whichever way the faces came.
TEST_F(ReadTest, ASewnCubeReadsAsTwelveOutwardTriangles) {
  const struct {
    const char* name;
    Faces faces;
  } cases[] = {{"as wound", CubeOfQuads()}, {"wound inward", Reversed(CubeOfQuads())}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CComPtr<IHostBody> cube = Sew(c.faces);
    ASSERT_TRUE(cube);
    size_t faces = 0;
    const std::vector<Triangle> triangles = Triangles(cube, &faces);
    EXPECT_EQ(faces, 6u);
    ASSERT_EQ(triangles.size(), 12u);
    double volume6 = 0;
    for (const Triangle& t : triangles) {
      const Vec n = t.Normal();
      EXPECT_EQ(Dot(n, n), 1.0);  // half of a unit square
      const Point3 centroid{(t.a.x + t.b.x + t.c.x) / 3, (t.a.y + t.b.y + t.c.y) / 3, (t.a.z + t.b.z + t.c.z) / 3};
      EXPECT_GT(Dot(n, Sub(centroid, {0.5, 0.5, 0.5})), 0);
      volume6 += Dot({t.a.x, t.a.y, t.a.z}, Cross({t.b.x, t.b.y, t.b.z}, {t.c.x, t.c.y, t.c.z}));
    }
    EXPECT_DOUBLE_EQ(volume6 / 6, 1.0);
  }
}

// A simple quadrilateral with one reflex corner: split along the other
// diagonal, one triangle would lie outside it, wound backwards.
TEST_F(ReadTest, AQuadrilateralWithAReflexCornerIsSplitInsideIt) {
  const Point3 dart[4] = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {1, 3, 0}};  // reflex at (1, 1), area 2
  for (int shift = 0; shift < 4; ++shift) {
    SCOPED_TRACE(shift);
    std::vector<Point3> face;
    for (int k = 0; k < 4; ++k) face.push_back(dart[(k + shift) % 4]);
    CComPtr<IHostBody> sheet = Sew({face});
    ASSERT_TRUE(sheet);
    const std::vector<Triangle> triangles = Triangles(sheet);
    ASSERT_EQ(triangles.size(), 2u);
    double area = 0;
    for (const Triangle& t : triangles) {
      EXPECT_GT(t.Normal().z, 0);
      area += t.Normal().z / 2;
    }
    EXPECT_EQ(area, 2.0);
  }
}

TEST_F(ReadTest, TriangleDataIsSinglePrecisionMetresAndRefusesWhatItCannotFill) {
  const double x = 0.1, far = 1e39;  // the second is past the float range
  CComPtr<IHostBody> sheet = Sew({{{x, 0, 0}, {far, 0, 0}, {x, far, 0}}});
  ASSERT_TRUE(sheet);
  CComPtr<IHostFace> face;
  ASSERT_EQ(sheet->FirstFace(&face), S_OK);
  float data[9];
  ASSERT_EQ(face->TriangleData(0, data), S_OK);
  EXPECT_EQ(data[0], 0.1f);
  EXPECT_EQ(data[3], std::numeric_limits<float>::infinity());
  EXPECT_EQ(face->TriangleData(1, data), E_INVALIDARG);
  EXPECT_EQ(face->TriangleData(0, nullptr), E_POINTER);
  EXPECT_EQ(face->TriangleCount(nullptr), E_POINTER);
  EXPECT_EQ(face->NextFace(nullptr), E_POINTER);
  EXPECT_EQ(sheet->FirstFace(nullptr), E_POINTER);
}

TEST_F(ReadTest, FaultsLeaveTheWalkWhereItWas) {
  Sew(Tetrahedron());
  CComPtr<IHostBodyEnumerator> bodies;
  ASSERT_EQ(part->BodyEnumerator(hostSolidBody, VARIANT_TRUE, &bodies), S_OK);
  host.InjectFault("IHostBodyEnumerator::Next", 1, E_FAIL);
  CComPtr<IHostBody> body;
  EXPECT_EQ(bodies->Next(1, &body, nullptr), E_FAIL);
  EXPECT_FALSE(body);
  ASSERT_EQ(bodies->Next(1, &body, nullptr), S_OK);  // still the first
  EXPECT_EQ(NameOf(body), "Body1");

  CComPtr<IHostFace> face;
  host.InjectFault("IHostBody::FirstFace", 1, S_OK);  // succeeds with nothing
  EXPECT_EQ(body->FirstFace(&face), S_OK);
  EXPECT_FALSE(face);
  ASSERT_EQ(body->FirstFace(&face), S_OK);
  float data[9] = {5, 5, 5, 5, 5, 5, 5, 5, 5};
  host.InjectFaultLeavingOutputs("IHostFace::TriangleData", 1, E_FAIL);
  EXPECT_EQ(face->TriangleData(0, data), E_FAIL);
  EXPECT_EQ(data[8], 5.0f);
  host.InjectFault("IHostFace::TriangleData", 1, E_FAIL);
  EXPECT_EQ(face->TriangleData(0, data), E_FAIL);
  EXPECT_EQ(data[8], 0.0f);
  ASSERT_EQ(face->TriangleData(0, data), S_OK);
  EXPECT_EQ(data[3], 0.0f);  // the first face: a, c, b of the tetrahedron
  EXPECT_EQ(data[4], 1.0f);
}

TEST_F(ReadTest, MaterialIsTheDefaultUntilOneIsSet) {
  double values[kHostMaterialValues + 1];
  values[kHostMaterialValues] = -7;
  ASSERT_EQ(part->MaterialValues(values), S_OK);
  for (int i = 0; i < kHostMaterialValues; ++i) EXPECT_EQ(values[i], stand_in::kDefaultMaterial[i]) << i;
  EXPECT_EQ(values[kHostMaterialValues], -7);

  const stand_in::Material red = {0.5, 0.25, 1.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
  host.SetMaterial(model(), red);
  ASSERT_EQ(part->MaterialValues(values), S_OK);
  for (int i = 0; i < kHostMaterialValues; ++i) EXPECT_EQ(values[i], red[i]) << i;
  for (double bad : {1.2, -0.1, std::numeric_limits<double>::quiet_NaN()}) {
    stand_in::Material m = red;
    m[7] = bad;
    EXPECT_THROW(host.SetMaterial(model(), m), std::invalid_argument) << bad;
  }
  EXPECT_EQ(model().material, red);
  EXPECT_EQ(part->MaterialValues(nullptr), E_POINTER);
  EXPECT_THROW(host.SetMaterial(stand_in::Document{}, red), std::invalid_argument);  // not this host's
}

TEST_F(ReadTest, TitleUnitAndTheActiveModel) {
  CComBSTR title;
  ASSERT_EQ(doc->Title(&title), S_OK);
  EXPECT_EQ(Utf8(title), "Part1");
  ASSERT_EQ(doc->SetLengthUnit(hostINCHES), S_OK);
  LONG unit = -1;
  ASSERT_EQ(doc->GetLengthUnit(&unit), S_OK);
  EXPECT_EQ(unit, hostINCHES);
  EXPECT_EQ(doc->GetLengthUnit(nullptr), E_POINTER);
  EXPECT_EQ(doc->Title(nullptr), E_POINTER);
  // Saved under a file name.
  host.SetTitle(model(), "shaft.left.prt");
  title.Empty();
  ASSERT_EQ(doc->Title(&title), S_OK);
  EXPECT_EQ(Utf8(title), "shaft.left.prt");
  EXPECT_THROW(host.SetTitle(model(), ""), std::invalid_argument);
  EXPECT_THROW(host.SetTitle(stand_in::Document{}, "x.prt"), std::invalid_argument);  // not this host's
  EXPECT_EQ(model().title, "shaft.left.prt");

  CComPtr<IHostDocument> active;
  ASSERT_EQ(app()->ActiveModel(&active), S_OK);
  EXPECT_EQ(active, doc);
  EXPECT_EQ(app()->ActiveModel(nullptr), E_POINTER);
  stand_in::Host empty;
  IHostDocument* none = doc;
  EXPECT_EQ(empty.Application()->ActiveModel(&none), S_OK);
  EXPECT_EQ(none, nullptr);

  // A part's configuration has no components.
  CComPtr<IHostConfiguration> configuration;
  ASSERT_EQ(doc->ActiveConfiguration(&configuration), S_OK);
  ASSERT_TRUE(configuration);
  CComPtr<IHostComponent> root;
  EXPECT_EQ(configuration->RootComponent(&root), S_FALSE);
  EXPECT_FALSE(root);
}

// Faces serve again once let go; one used after its last release is seen.
TEST(FaceViews, AFaceUsedAfterItsLastReleaseIsRefused) {
  struct Steps : HostTest {
    using HostTest::AddFaces;
  };
  stand_in::Host host;
  {
    CComPtr<IHostPartDocument> part;
    ASSERT_EQ(host.Application()->NewPartDocument(&part), S_OK);
    CComPtr<IHostBody> collector, body;
    ASSERT_EQ(part->NewBody(&collector), S_OK);
    Steps::AddFaces(collector, Tetrahedron());
    ASSERT_EQ(collector->CreateBodyFromSurfaces(&body), S_OK);
    IHostFace* face = nullptr;
    ASSERT_EQ(body->FirstFace(&face), S_OK);
    face->Release();
    LONG count = -1;
    EXPECT_EQ(face->TriangleCount(&count), E_UNEXPECTED);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(host.UseAfterRelease(), 1);
    // The next face handed out may be the same object, now another face.
    CComPtr<IHostFace> again, second;
    ASSERT_EQ(body->FirstFace(&again), S_OK);
    ASSERT_EQ(again->NextFace(&second), S_OK);
    EXPECT_NE(again, second);
    EXPECT_EQ(Triangles(body).size(), 4u);
  }
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
}

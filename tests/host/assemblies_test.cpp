// Assemblies: the tree of components from the root, what each places, its
// transform and material, and what the stand-in's own API refuses.
#include "fixture.h"

#include "stand_in/text.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using stand_in::Component;
using stand_in::Document;
using stand_in::Material;
using stand_in::Transform;

namespace {

std::string NameOf(IHostComponent* component) {
  CComBSTR name;
  EXPECT_EQ(component->Name(&name), S_OK);
  return stand_in::ToUtf8(name.m_str ? std::wstring(name) : L"(null)");
}

std::vector<CComPtr<IHostComponent>> ChildrenOf(IHostComponent* component) {
  LONG count = -1;
  EXPECT_EQ(component->ChildCount(&count), S_OK);
  // One slot more than asked for: the host fills exactly `count`.
  std::vector<IHostComponent*> raw(static_cast<size_t>(count) + 1, reinterpret_cast<IHostComponent*>(component));
  EXPECT_EQ(component->Children(raw.data()), S_OK);
  EXPECT_EQ(raw.back(), component);
  std::vector<CComPtr<IHostComponent>> children;
  for (LONG i = 0; i < count; ++i) {
    children.emplace_back();
    children.back().Attach(raw[static_cast<size_t>(i)]);
  }
  return children;
}

std::vector<double> TransformOf(IHostComponent* component) {
  std::vector<double> values(kHostTransformValues + 1, -7);
  EXPECT_EQ(component->TransformValues(values.data()), S_OK);
  EXPECT_EQ(values.back(), -7);
  values.pop_back();
  return values;
}

size_t BodiesOf(IHostComponent* component, LONG kind) {
  CComPtr<IHostBodyEnumerator> bodies;
  EXPECT_EQ(component->BodyEnumerator(kind, &bodies), S_OK);
  size_t n = 0;
  for (CComPtr<IHostBody> body; bodies && bodies->Next(1, &body, nullptr) == S_OK; body.Release()) ++n;
  return n;
}

Transform Placed(double x, double y, double z, bool quarterTurnAboutZ = false) {
  Transform t;
  if (quarterTurnAboutZ) {
    const double r[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};  // x goes to y
    std::copy(r, r + 9, t.rotation);
  }
  t.translation = {x, y, z};
  return t;
}

}  // namespace

// Part1 (a cube and a hidden tetrahedron), Part2 (a tetrahedron), Assembly1
// holding Part2 twice, and Assembly2, the top, holding Part1 and Assembly1
// turned a quarter about z.
class AssemblyTest : public HostTest {
 protected:
  void SetUp() override {
    OpenPart();
    Sew(CubeOfQuads());
    Sew(Tetrahedron());
    host.SetBodyVisible(model(), 1, false);
    CComPtr<IHostPartDocument> second;
    ASSERT_EQ(app()->NewPartDocument(&second), S_OK);
    CComPtr<IHostBody> collector, body;
    ASSERT_EQ(second->NewBody(&collector), S_OK);
    AddFaces(collector, Tetrahedron());
    ASSERT_EQ(collector->CreateBodyFromSurfaces(&body), S_OK);
    ASSERT_EQ(app()->NewAssemblyDocument(&sub), S_OK);
    ASSERT_EQ(app()->NewAssemblyDocument(&top), S_OK);
    const Document &part1 = doc_(0), &part2 = doc_(1), &assembly1 = doc_(2), &assembly2 = doc_(3);
    host.AddComponent(assembly1, part2, "Part2-1", Placed(1, 0, 0));
    host.AddComponent(assembly1, part2, "Part2-2", Placed(0, 0, 2), &kRed);
    host.AddComponent(assembly2, part1, "Part1-1", Placed(0.1, 0, 0));
    host.AddComponent(assembly2, assembly1, "Assembly1-1", Placed(0, 1, 0, true));
  }
  void TearDown() override {
    part.Release();
    doc.Release();
    sub.Release();
    top.Release();
    EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
    EXPECT_EQ(host.OverReleases(), 0);
    HostTest::TearDown();
  }
  const Document& doc_(size_t i) const { return host.Documents().at(i); }
  CComPtr<IHostComponent> Root(IHostAssemblyDocument* assembly) {
    CComPtr<IHostDocument> document;
    EXPECT_EQ(assembly->QueryInterface(__uuidof(IHostDocument), reinterpret_cast<void**>(&document)), S_OK);
    LONG status = -1;
    EXPECT_EQ(assembly->PreReadStep(0, &status), S_OK);
    CComPtr<IHostConfiguration> configuration;
    EXPECT_EQ(document->ActiveConfiguration(&configuration), S_OK);
    CComPtr<IHostComponent> root;
    EXPECT_EQ(configuration->RootComponent(&root), S_OK);
    return root;
  }

  static constexpr Material kRed = {1, 0, 0, 0.5, 0.5, 0.5, 0.5, 0.25, 0};
  CComPtr<IHostAssemblyDocument> sub, top;
};

TEST_F(AssemblyTest, TheTreeRunsFromTheRootThroughSubAssembliesInTheOrderPlaced) {
  CComPtr<IHostComponent> root = Root(top);
  ASSERT_TRUE(root);
  EXPECT_EQ(NameOf(root), "Assembly2");
  IHostDocument* none = reinterpret_cast<IHostDocument*>(this);
  EXPECT_EQ(root->Document(&none), S_FALSE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(TransformOf(root), (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(BodiesOf(root, hostSolidBody), 0u);

  auto level1 = ChildrenOf(root);
  ASSERT_EQ(level1.size(), 2u);
  EXPECT_EQ(NameOf(level1[0]), "Part1-1");
  EXPECT_EQ(NameOf(level1[1]), "Assembly1-1");
  EXPECT_EQ(BodiesOf(level1[0], hostSolidBody), 1u);  // the hidden one is not shown
  EXPECT_EQ(BodiesOf(level1[0], hostSheetBody), 0u);
  EXPECT_EQ(BodiesOf(level1[1], hostSolidBody), 0u);  // an assembly has none of its own
  EXPECT_TRUE(ChildrenOf(level1[0]).empty());

  CComPtr<IHostDocument> placed;
  ASSERT_EQ(level1[0]->Document(&placed), S_OK);
  CComPtr<IHostDocument> part1;
  ASSERT_EQ(part.QueryInterface(&part1), S_OK);
  EXPECT_EQ(placed, part1);

  // Placed in the top assembly: Assembly1's placement comes first.
  auto level2 = ChildrenOf(level1[1]);
  ASSERT_EQ(level2.size(), 2u);
  EXPECT_EQ(NameOf(level2[0]), "Part2-1");
  EXPECT_EQ(BodiesOf(level2[0], hostSolidBody), 1u);
  EXPECT_EQ(TransformOf(level2[0]), (std::vector<double>{0, 1, 0, -1, 0, 0, 0, 0, 1, 0, 2, 0, 1, 0, 0, 0}));
  EXPECT_EQ(TransformOf(level2[1]), (std::vector<double>{0, 1, 0, -1, 0, 0, 0, 0, 1, 0, 1, 2, 1, 0, 0, 0}));
  EXPECT_EQ(TransformOf(level1[0]), (std::vector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1, 0.1, 0, 0, 1, 0, 0, 0}));

  // The same component is the same object however it was reached.
  auto again = ChildrenOf(Root(top));
  EXPECT_EQ(again[1], level1[1]);
  // Assembly1 read on its own has its components where it placed them.
  auto own = ChildrenOf(Root(sub));
  EXPECT_EQ(TransformOf(own[0])[9], 1.0);
  EXPECT_NE(own[0], level2[0]);
}

TEST_F(AssemblyTest, OnlyAComponentWithAMaterialOfItsOwnGivesOne) {
  auto sub1 = ChildrenOf(Root(sub));
  ASSERT_EQ(sub1.size(), 2u);
  double values[kHostMaterialValues];
  std::fill(values, values + kHostMaterialValues, -1.0);
  EXPECT_EQ(sub1[0]->MaterialValues(values), S_FALSE);
  EXPECT_EQ(values[0], -1.0);  // untouched
  ASSERT_EQ(sub1[1]->MaterialValues(values), S_OK);
  for (int i = 0; i < kHostMaterialValues; ++i) EXPECT_EQ(values[i], kRed[i]) << i;
  EXPECT_EQ(Root(sub)->MaterialValues(values), S_FALSE);
  EXPECT_EQ(sub1[1]->MaterialValues(nullptr), E_POINTER);
}

TEST_F(AssemblyTest, CallsRefuseWhatTheyCannotAnswer) {
  CComPtr<IHostComponent> root = Root(top);
  EXPECT_EQ(root->ChildCount(nullptr), E_POINTER);
  EXPECT_EQ(root->Children(nullptr), E_POINTER);
  EXPECT_EQ(root->Name(nullptr), E_POINTER);
  EXPECT_EQ(root->TransformValues(nullptr), E_POINTER);
  EXPECT_EQ(root->Document(nullptr), E_POINTER);
  CComPtr<IHostBodyEnumerator> bodies;
  EXPECT_EQ(root->BodyEnumerator(2, &bodies), E_INVALIDARG);
  EXPECT_FALSE(bodies);
  LONG status = -1;
  EXPECT_EQ(top->PreReadStep(1, &status), E_INVALIDARG);
  EXPECT_EQ(top->PreReadStep(0, nullptr), E_POINTER);

  // A failed Children hands out nothing and clears the array.
  host.InjectFault("IHostComponent::Children", 1, E_FAIL);
  IHostComponent* children[2] = {root, root};
  EXPECT_EQ(root->Children(children), E_FAIL);
  EXPECT_EQ(children[0], nullptr);
  EXPECT_EQ(children[1], nullptr);
}

TEST_F(AssemblyTest, TheStandInRefusesComponentsNoModellerWouldPlace) {
  const Document &part1 = doc_(0), &assembly1 = doc_(2), &assembly2 = doc_(3);
  CComPtr<IHostDrawingDocument> drawing;
  ASSERT_EQ(app()->NewDrawingDocument(hostPaperA4, nullptr, hostFormatNone, 0, 0, &drawing), S_OK);
  const Document& drawing1 = doc_(4);
  Transform scaled = Placed(0, 0, 0), mirrored = Placed(0, 0, 0), skewed = Placed(0, 0, 0),
            far = Placed(std::numeric_limits<double>::infinity(), 0, 0);
  scaled.rotation[0] = 2;
  mirrored.rotation[8] = -1;
  skewed.rotation[3] = 1e-6;
  Material bright = kRed;
  bright[0] = 1.2;
  const Document foreign;
  const struct {
    const char* why;
    const Document& assembly;
    const Document& placed;
    std::string name;
    Transform transform;
    const Material* material;
  } cases[] = {
      {"a part holds no components", part1, part1, "x", Placed(0, 0, 0), nullptr},
      {"a drawing is not placed", assembly2, drawing1, "x", Placed(0, 0, 0), nullptr},
      {"a name is needed", assembly2, part1, "", Placed(0, 0, 0), nullptr},
      {"the name is taken", assembly2, part1, "Part1-1", Placed(0, 0, 0), nullptr},
      {"a scale is no placement", assembly2, part1, "x", scaled, nullptr},
      {"a mirror is no placement", assembly2, part1, "x", mirrored, nullptr},
      {"a skew is no placement", assembly2, part1, "x", skewed, nullptr},
      {"an infinite translation", assembly2, part1, "x", far, nullptr},
      {"a material past 1", assembly2, part1, "x", Placed(0, 0, 0), &bright},
      {"an assembly in itself", assembly1, assembly1, "x", Placed(0, 0, 0), nullptr},
      {"an assembly in what it holds", assembly1, assembly2, "x", Placed(0, 0, 0), nullptr},
      {"another host's document", assembly2, foreign, "x", Placed(0, 0, 0), nullptr},
  };
  for (const auto& c : cases)
    EXPECT_THROW(host.AddComponent(c.assembly, c.placed, c.name, c.transform, c.material), std::invalid_argument)
        << c.why;
  EXPECT_EQ(assembly1.components.size(), 2u);
  EXPECT_EQ(assembly2.components.size(), 2u);

  // A rotation that is one to rounding is a rotation.
  Transform turned;
  const double c = std::cos(0.3), s = std::sin(0.3);
  const double r[9] = {c, s, 0, -s, c, 0, 0, 0, 1};
  std::copy(r, r + 9, turned.rotation);
  EXPECT_EQ(host.AddComponent(assembly2, part1, "Part1-2", turned).document, &part1);
}

TEST_F(AssemblyTest, TheHostPrintsTheTree) {
  const std::string text = host.Describe();
  EXPECT_NE(text.find("Assembly2: assembly, unit mm, active\n"
                      "  component \"Part1-1\": Part1 at (0.1, 0, 0)\n"
                      "  component \"Assembly1-1\": Assembly1 at (0, 1, 0) turned [0 1 0 -1 0 0 0 0 1]\n"
                      "    component \"Part2-1\": Part2 at (1, 0, 0)\n"
                      "    component \"Part2-2\": Part2 at (0, 0, 2), own material\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  body 2 \"Body2\": solid, 4 faces, hidden\n"), std::string::npos) << text;

  const std::string json = stand_in::DocumentJson(doc_(3));
  EXPECT_NE(json.find("\"type\": \"assembly\""), std::string::npos) << json;
  EXPECT_NE(json.find(", \"components\": [{\"name\": \"Part1-1\", \"document\": \"Part1\", "
                      "\"translation\": [0.1, 0, 0], \"components\": []}, {\"name\": \"Assembly1-1\", "
                      "\"document\": \"Assembly1\", \"translation\": [0, 1, 0], \"components\": [{\"name\": \"Part2-1\", "),
            std::string::npos)
      << json;
  EXPECT_EQ(stand_in::DocumentJson(doc_(0)).find("components"), std::string::npos);
}

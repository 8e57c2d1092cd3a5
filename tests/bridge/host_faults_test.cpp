// The bridge against a host that holds it to its word: the order in which
// it releases what it obtained, the codes it presets before a host call,
// faults that last, and no call through an object after its last release.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <atlbase.h>

#include "HostUtils.h"
#include "VLMSWON.h"
#include "host_calls.h"
#include "meshes.h"
#include "stand_in/host.h"
#include "stand_in/paths.h"
#include "stand_in/ui.h"

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Every test of this binary fails at once when a call goes through a host
// object after its last release, naming the call and the object.
void FailTheRunningTest(const std::string& what) { ADD_FAILURE() << "use after release: " << what; }
struct ReportUseAfterRelease {
  ReportUseAfterRelease() { stand_in::SetUseAfterReleaseReporter(&FailTheRunningTest); }
} g_reportUseAfterRelease;

using test_support::MakeMesh;

ON_Mesh Tetrahedron() {
  return MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                  {{0, 2, 1, 1}, {0, 1, 3, 3}, {1, 2, 3, 3}, {0, 3, 2, 2}});
}

ON_ClassArray<ON_Mesh> Meshes(int count) {
  ON_ClassArray<ON_Mesh> out;
  for (int i = 0; i < count; ++i) out.Append(Tetrahedron());
  return out;
}

const char kRelease[] = "IUnknown::Release";
const char kPostB[] = "IHostDocument::PostGeometryStepB";
const char kSave[] = "IHostDocument::SaveToPath";

class HostFaults : public ::testing::Test {
 protected:
  void SetUp() override { host.RecordUnknownCalls(true); }
  void TearDown() override { test_support::ExpectAllLetGo(host, bstrs); }
  // What was released, in order.
  std::vector<std::string> Releases() const {
    std::vector<std::string> out;
    for (const stand_in::Call& c : host.Calls())
      if (c.op == kRelease) out.push_back(c.args);
    return out;
  }
  // The calls that end each part: its last document call, then the
  // releases of its two roles. Segments and bodies are left out.
  std::vector<std::string> PartEnds() const {
    std::vector<std::string> out;
    for (const stand_in::Call& c : host.Calls()) {
      const bool role = c.args.find(" as IHostDocument") != std::string::npos ||
                        c.args.find(" as IHostPartDocument") != std::string::npos;
      if (c.op == kPostB || (c.op == kRelease && role)) out.push_back(c.op == kPostB ? "PostGeometryStepB" : c.args);
    }
    return out;
  }

  stand_in::ui::ScriptedDriver ui;
  stand_in::Host host;
  IHostApplication* app = host.Application();
  long bstrs = stand_in::LiveBstrCount();
};

void CallAReleasedFrame() {
  stand_in::Host host;
  IHostFrame* frame = nullptr;
  host.Application()->Frame(&frame);
  frame->Release();
  LONG handle = 0;
  frame->MainWindowHandle(&handle);
}

}  // namespace

TEST(HostUseAfterRelease, FailsTheRunningTestNamingTheCallAndTheObject) {
  EXPECT_NONFATAL_FAILURE(CallAReleasedFrame(), "IHostFrame::MainWindowHandle on main frame after its last release");
}

TEST_F(HostFaults, TheMeshRoadReleasesTheDocumentBeforeThePart) {
  for (int mode : {0, 1, 2}) {
    for (int multiBody : {0, 1}) {
      SCOPED_TRACE("mode " + std::to_string(mode) + " multibody " + std::to_string(multiBody));
      host.ClearCalls();
      const size_t before = host.Documents().size();
      ON_ClassArray<ON_Mesh> meshes = Meshes(2);
      ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, meshes, 2, mode, multiBody, 0), 1);
      std::vector<std::string> expected;
      for (size_t i = before; i < host.Documents().size(); ++i) {
        const std::string& title = host.Documents()[i].title;
        expected.insert(expected.end(),
                        {"PostGeometryStepB", title + " as IHostDocument", title + " as IHostPartDocument"});
      }
      EXPECT_EQ(host.Documents().size() - before, multiBody ? 1u : 2u);
      EXPECT_EQ(PartEnds(), expected);
      EXPECT_EQ(host.Calls().back().op, kRelease) << "nothing after the part's release";
    }
  }
}

// Each body is released by the function that made it, the sewn one at once;
// each sketch segment as soon as it is handed back.
TEST_F(HostFaults, EveryObjectIsReleasedAsSoonAsItIsDoneWith) {
  ON_ClassArray<ON_Mesh> one = Meshes(1);
  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, one, 2, 0, 1, 0), 1);
  EXPECT_EQ(Releases(), (std::vector<std::string>{"Part1 body 1 as IHostBody", "Part1 collector 1 as IHostBody",
                                                  "Part1 as IHostDocument", "Part1 as IHostPartDocument"}));

  host.ClearCalls();
  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, one, 2, 1, 0, 0), 1);
  const std::vector<stand_in::Call> calls = host.Calls();
  int lines = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].op != "IHostDocument::CreateSketchLine") continue;
    ++lines;
    ASSERT_LT(i + 1, calls.size());
    EXPECT_EQ(calls[i + 1].op, kRelease);
    EXPECT_EQ(calls[i + 1].args, "Part2 sketch 1 line " + std::to_string(lines) + " as IUnknown");
  }
  EXPECT_EQ(lines, 6);
}

TEST_F(HostFaults, WithoutADocumentOnlyThePartIsReleased) {
  host.InjectFault("IHostApplication::ActiveDocument", 1, S_OK);
  ON_ClassArray<ON_Mesh> one = Meshes(1);
  EXPECT_EQ(VLMSWON::CreatePartFromMeshes(app, one, 2, 0, 1, 0), 0);
  EXPECT_EQ(Releases(), std::vector<std::string>{"Part1 as IHostPartDocument"});
}

// A fault from the nth call on refuses every later face or line; the roads
// ignore those results and go on.
TEST_F(HostFaults, AHostThatRefusesEveryCallFromTheNthOnStopsNeitherRoad) {
  host.InjectFault("IHostBody::CreatePlanarFace", 2, E_FAIL, stand_in::FaultSpan::FromThenOn);
  host.InjectFault("IHostDocument::CreateSketchLine", 3, E_FAIL, stand_in::FaultSpan::FromThenOn);
  ON_ClassArray<ON_Mesh> one = Meshes(1), two = Meshes(2);
  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, one, 2, 0, 1, 0), 1);
  const stand_in::Document& solid = host.Documents().back();
  ASSERT_EQ(solid.bodies.size(), 1u);
  EXPECT_EQ(solid.bodies[0].faces.Count(), 1u) << "no face after the first is taken";
  EXPECT_EQ(solid.bodies[0].kind, stand_in::BodyKind::Sheet);

  ASSERT_EQ(VLMSWON::CreatePartFromMeshes(app, two, 2, 1, 1, 0), 1);
  EXPECT_EQ(host.Documents().back().sketches.at(0).lines.size(), 2u);
}

// SaveActiveModel presets the code to -1: a host that answers S_OK without
// setting it has not said that it saved.
TEST_F(HostFaults, ASaveWhoseCodeTheHostLeavesUnsetIsAFailure) {
  const char* tmp = std::getenv("TMPDIR");
  std::string root = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessaly-faults-XXXXXX";
  ASSERT_NE(::mkdtemp(&root[0]), nullptr);
  stand_in::SetDriveRoot(L'D', root);
  IHostPartDocument* part = nullptr;
  ASSERT_EQ(app->NewPartDocument(&part), S_OK);
  part->Release();

  host.InjectFaultLeavingOutputs(kSave, 1, S_OK);
  SetHostUtilError(L"");
  EXPECT_EQ(SaveActiveModel(app, L"D:\\plate.obj"), 0);
  EXPECT_EQ(GetHostUtilError(), L"Unable to extract solid data");
  EXPECT_NE(::access((root + "/plate.obj").c_str(), F_OK), 0) << "the faulted call wrote nothing";
  // The same call answered in full saves.
  EXPECT_EQ(SaveActiveModel(app, L"D:\\plate.obj"), 1);
  EXPECT_EQ(::access((root + "/plate.obj").c_str(), F_OK), 0);
  int saves = 0;
  for (const std::string& op : host.Operations()) saves += op == kSave;
  EXPECT_EQ(saves, 2);

  stand_in::SetDriveRoot(L'D', "");
  std::system(("rm -rf '" + root + "'").c_str());
}

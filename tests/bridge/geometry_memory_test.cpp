// The surface and document roads when memory runs out: every allocation of
// a run, the host's among them, is made to fail in turn (once, and from
// there on). A run either completes whole or answers 0 with a clear text,
// and holds no host object; the same run with memory back is whole again.
#include <gtest/gtest.h>

#include "VLMSWON.h"
#include "alloc_limit.h"
#include "meshes.h"
#include "quiet_ui.h"
#include "stand_in/host.h"
#include "surfaces.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using test_support::AllocationLimit;

// What a run left in the host, to tell a whole run from a partial one.
struct Outcome {
  int result = -1;
  size_t documents = 0, bodies = 0, solids = 0, entities = 0;
  bool sketchesClosed = true;
  bool operator==(const Outcome& o) const {
    return result == o.result && documents == o.documents && bodies == o.bodies && solids == o.solids &&
           entities == o.entities && sketchesClosed == o.sketchesClosed;
  }
};

void PrintTo(const Outcome& o, std::ostream* os) {
  *os << "result " << o.result << ", " << o.documents << " documents, " << o.bodies << " bodies (" << o.solids
      << " solid), " << o.entities << " sketch entities" << (o.sketchesClosed ? "" : ", a sketch left open");
}

// How whole a success must be. The sketch road draws on past an entity it
// had not the memory for (its functions answer 1 whatever they drew), so a
// run through it can only be held to its documents and bodies.
enum class Whole { Exactly, UpToSketchEntities };

using Run = std::function<int(IHostApplication*)>;
// Made before each run, outside the limit.
using Fresh = std::function<void()>;

Outcome RunUnderLimit(const Run& run, const Fresh& fresh, const AllocationLimit::Options& options,
                      long long* allocations = nullptr) {
  fresh();
  test_support::QuietDriver ui;
  stand_in::Host host;
  Outcome out;
  VLMSWON::SetError(L"before");
  {
    AllocationLimit limit(options);
    out.result = run(host.Application());
    limit.End();
    if (allocations) *allocations = limit.Allocations();
  }
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
  EXPECT_EQ(host.OverReleases(), 0);
  EXPECT_EQ(ui.opened, ui.closed) << "every progress display is closed";
  for (const stand_in::Document& d : host.Documents()) {
    ++out.documents;
    for (const stand_in::Body& b : d.bodies) {
      ++out.bodies;
      if (b.kind == stand_in::BodyKind::Solid) ++out.solids;
    }
    for (const stand_in::Sketch& s : d.sketches) {
      out.entities += s.lines.size() + s.points.size() + s.arcs.size() + s.splines.size();
      if (s.open && d.kind != stand_in::DocumentKind::Drawing) out.sketchesClosed = false;
    }
  }
  const std::wstring text = VLMSWON::GetError().GetString();
  if (out.result == 1) {
    EXPECT_EQ(text, L"before") << "a success leaves the text alone";
  } else {
    EXPECT_EQ(out.result, 0);
    // Our own running out, or the host's refusal when it had not the memory.
    const bool clear = text.rfind(L"Out of memory", 0) == 0 || text.rfind(L"Unable to ", 0) == 0;
    EXPECT_TRUE(clear) << "the text: \"" << std::string(text.begin(), text.end()) << "\"";
  }
  return out;
}

void EveryAllocationFailsInTurn(const Run& run, Whole held, const Fresh& fresh = [] {}) {
  if (!AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  long long allocations = 0;
  const Outcome whole = RunUnderLimit(run, fresh, {}, &allocations);
  ASSERT_EQ(whole.result, 1);
  ASSERT_GT(allocations, 10);
  for (bool persistent : {false, true}) {
    int failed = 0;
    for (long long n = 1; n <= allocations; ++n) {
      SCOPED_TRACE("allocation " + std::to_string(n) + (persistent ? " and every one after it" : " only"));
      const Outcome outcome =
          RunUnderLimit(run, fresh, persistent ? AllocationLimit::FailFrom(n) : AllocationLimit::FailOnly(n));
      if (outcome.result == 1 && held == Whole::Exactly) {
        EXPECT_EQ(outcome, whole) << "a success is a whole run";
      } else if (outcome.result == 1) {
        Outcome drawn = outcome;
        drawn.entities = whole.entities;
        EXPECT_EQ(drawn, whole);
        EXPECT_LE(outcome.entities, whole.entities);
      } else {
        ++failed;
      }
      if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(failed, 0);
  }
  EXPECT_EQ(RunUnderLimit(run, fresh, {}), whole) << "memory back, the run is whole again";
}

ON_NurbsSurface Bicubic() {
  return test_support::Patch(4, 4, 4, 4, [](int i, int j) { return ON_3dPoint(i, j, (i == 1 || i == 2) ? 1 : 0); });
}

}  // namespace

TEST(GeometryMemory, APartFromASurfaceIsWholeOrAClearFailure) {
  const ON_NurbsSurface surface = Bicubic();
  for (int flat : {0, 1}) {
    SCOPED_TRACE(flat ? "a boxed solid with a flat bottom" : "a boxed solid");
    EveryAllocationFailsInTurn(
        [&](IHostApplication* app) { return VLMSWON::CreatePartFromSurface(app, surface, 0, 0, 2.0, flat, 1); },
        Whole::Exactly);
  }
  SCOPED_TRACE("iso-curves");
  EveryAllocationFailsInTurn(
      [&](IHostApplication* app) { return VLMSWON::CreatePartFromSurface(app, surface, 0, 1, 0.0, 0, 1); },
      Whole::UpToSketchEntities);
}

TEST(GeometryMemory, ADocumentWithGeometryIsWholeOrAClearFailure) {
  ON_3dPointArray points;
  points.Append(ON_3dPoint(1, 2, 3));
  ON_ClassArray<ON_NurbsCurve> curves;
  curves.Append(test_support::LineCurve({0, 0, 0}, {1, 1, 0}));
  ON_ClassArray<ON_NurbsSurface> surfaces;
  surfaces.Append(Bicubic());
  ON_ClassArray<ON_Brep> breps;
  ON_Brep& brep = breps.AppendNew();
  brep.NewVertex(ON_3dPoint(0, 0, 0));
  brep.NewVertex(ON_3dPoint(1, 0, 0));
  brep.NewEdge(brep.m_V[0], brep.m_V[1], brep.AddEdgeCurve(new ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0))));
  ON_ClassArray<ON_Mesh> meshes;
  meshes.Append(test_support::MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 2}}));
  ON_ClassArray<ON_Mesh> fresh;
  for (int type : {0, 2}) {
    SCOPED_TRACE("document type " + std::to_string(type));
    EveryAllocationFailsInTurn(
        [&](IHostApplication* app) {
          return VLMSWON::CreateDocumentWithGeometry(app, type, 3, &points, &curves, &surfaces, &breps, &fresh, 1);
        },
        Whole::UpToSketchEntities, [&] { fresh = meshes; });  // each run finds the mesh's edges anew
  }
}

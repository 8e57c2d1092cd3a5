// The sketch line store's weld: ends met again share one held point, so a
// mesh's edges cost about a point per vertex, not two per line.
#include <gtest/gtest.h>

#include <vector>

#include "stand_in/host.h"

namespace stand_in {
namespace {

// The edges of a side x side grid in fans from each point, as the bridge
// draws a mesh's edges.
std::vector<SketchLine> GridFans(int side) {
  std::vector<SketchLine> lines;
  for (int j = 0; j < side; ++j)
    for (int i = 0; i < side; ++i) {
      const Point3 p{double(i), double(j), 0.5};
      lines.push_back({p, {double(i + 1), double(j), 0.5}});
      lines.push_back({p, {double(i), double(j + 1), 0.5}});
      lines.push_back({p, {double(i + 1), double(j + 1), 0.5}});
    }
  return lines;
}

void Add(SketchLines& store, const std::vector<SketchLine>& lines) {
  for (const SketchLine& line : lines) {
    store.Reserve();
    store.Append(line);
  }
}

struct Case {
  const char* name;
  int side;
};

class SketchWeld : public ::testing::TestWithParam<Case> {};

// Near one point per grid vertex (a direct-mapped index forgets a few), from
// a sketch that fits the index whole to one far larger than it.
TEST_P(SketchWeld, FansKeepAboutOnePointPerVertex) {
  const int side = GetParam().side;
  SketchLines store;
  Add(store, GridFans(side));
  const size_t vertices = size_t(side + 1) * size_t(side + 1);
  EXPECT_GE(store.PointCount(), vertices);
  EXPECT_LE(store.PointCount(), vertices + vertices / 8) << vertices << " vertices";
}

INSTANTIATE_TEST_SUITE_P(Sizes, SketchWeld,
                         ::testing::Values(Case{"small", 10}, Case{"one_index", 120}, Case{"past_the_index", 400}),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// Dropped and rebuilt, the index still knows most of the points held.
TEST(SketchWeldSeal, RebuiltIndexFindsHeldPoints) {
  const std::vector<SketchLine> lines = GridFans(60);
  SketchLines store;
  Add(store, lines);
  const size_t before = store.PointCount();
  store.Seal();
  Add(store, lines);
  EXPECT_EQ(store.size(), 2 * lines.size());
  EXPECT_LT(store.PointCount() - before, before / 2);
}

// A point whose coordinates equal a held one's but for the sign of a zero is
// a point of its own.
TEST(SketchWeldSeal, SignedZeroIsNotWelded) {
  SketchLines store;
  Add(store, {{{0, 0, 0}, {1, 1, 1}}, {{1, 1, 1}, {-0.0, 0, 0}}, {{1, 1, 1}, {0, 0, 0}}});
  EXPECT_EQ(store.PointCount(), 3u);
}

}  // namespace
}  // namespace stand_in

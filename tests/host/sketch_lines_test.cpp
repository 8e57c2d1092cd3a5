// The sketch line store: lines read back exactly as added, whatever their
// order, their number or the zeros' signs.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "stand_in/host.h"

namespace stand_in {
namespace {

bool SameBits(const Point3& a, const Point3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void Add(SketchLines& lines, const SketchLine& line) {
  lines.Reserve();
  lines.Append(line);
}

void ExpectLines(const SketchLines& lines, const std::vector<SketchLine>& want) {
  ASSERT_EQ(lines.size(), want.size());
  size_t i = 0;
  for (const SketchLine& line : lines) {
    ASSERT_TRUE(SameBits(line.from, want[i].from) && SameBits(line.to, want[i].to)) << "line " << i;
    ASSERT_TRUE(SameBits(lines[i].from, want[i].from) && SameBits(lines[i].to, want[i].to)) << "line " << i;
    ++i;
  }
  EXPECT_EQ(i, want.size());
}

TEST(SketchLines, StartsEmpty) {
  SketchLines lines;
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(lines.size(), 0u);
  EXPECT_TRUE(lines.begin() == lines.end());
}

// Equal coordinates share a point only when equal to the bit: a line that
// ends at -0.0 keeps it, though -0.0 == 0.0.
TEST(SketchLines, KeepsTheSignOfZero) {
  const std::vector<SketchLine> want = {
      {{0, 0, 0}, {1, 0, 0}},
      {{-0.0, 0, 0}, {1, 0, 0}},
      {{0, -0.0, 0}, {0, 0, 0}},
      {{1, 0, 0}, {0, 0, -0.0}},
  };
  SketchLines lines;
  for (const SketchLine& line : want) Add(lines, line);
  ExpectLines(lines, want);
}

// Far more lines than one block, and more distinct ends than the weld index
// remembers, in shuffled order over a small set of points (so that ends
// recur far apart), with the index dropped and rebuilt halfway.
TEST(SketchLines, ManyLinesInAnyOrder) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> coordinate(0, 399);
  std::vector<SketchLine> want;
  for (int i = 0; i < 200000; ++i) {
    const Point3 a{double(coordinate(random)), double(coordinate(random)), 0.5};
    const Point3 b{double(coordinate(random)), 0.25, double(coordinate(random))};
    want.push_back({a, b});
  }
  SketchLines lines;
  for (size_t i = 0; i < want.size(); ++i) {
    if (i == want.size() / 2) lines.Seal();
    Add(lines, want[i]);
  }
  ExpectLines(lines, want);
}

// A mesh's edges, drawn in fans from each point as the bridge draws them,
// share their ends: the store holds about a point per line end once.
TEST(SketchLines, FansShareTheirEnds) {
  std::vector<SketchLine> want;
  for (int j = 0; j < 300; ++j)
    for (int i = 0; i < 300; ++i) {
      const Point3 p{double(i), double(j), 0};
      want.push_back({p, {double(i + 1), double(j), 0}});
      want.push_back({p, {double(i), double(j + 1), 0}});
      want.push_back({p, {double(i + 1), double(j + 1), 0}});
    }
  SketchLines lines;
  for (const SketchLine& line : want) Add(lines, line);
  ExpectLines(lines, want);
}

}  // namespace
}  // namespace stand_in

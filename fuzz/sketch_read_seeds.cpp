// Writes the seed inputs of the sketch-read fuzzer into the folder given as
// argument: sketches of every kind, whole and with records that do not add
// up, and with failing calls.
#include "sketch_read_input.h"

#include <cmath>
#include <cstdio>
#include <string>

using namespace sketch_read_fuzz;

namespace {

struct Point {
  double x, y, z;
};

void Append(std::vector<double>& to, std::initializer_list<double> values) { to.insert(to.end(), values); }

void AddLine(KindInput& lines, Point a, Point b) {
  Append(lines.pool, {0, 0, 0, 0, 0, 0, a.x, a.y, a.z, b.x, b.y, b.z});
  ++lines.count;
}

void AddArc(KindInput& arcs, Point start, Point end, Point centre, double direction) {
  Append(arcs.pool, {0, 0, 0, 0, 0, 0, start.x, start.y, start.z, end.x, end.y, end.z, centre.x, centre.y, centre.z,
                     direction});
  ++arcs.count;
}

void AddSpline(KindInput& splines, const std::vector<Point>& points) {
  Append(splines.pool, {0, 0, 0, 0, 0, 0, double(points.size())});
  for (const Point& p : points) Append(splines.pool, {p.x, p.y, p.z});
  splines.size = static_cast<int32_t>(splines.pool.size());
  ++splines.count;
}

// k values skipped, six more, the point count, the points.
void AddPolyline(KindInput& polylines, const std::vector<Point>& points, int k) {
  Append(polylines.pool, {0, double(k)});
  for (int i = 0; i < k + 6; ++i) polylines.pool.push_back(-7.0);
  polylines.pool.push_back(double(points.size()));
  for (const Point& p : points) Append(polylines.pool, {p.x, p.y, p.z});
  polylines.size = static_cast<int32_t>(polylines.pool.size());
  ++polylines.count;
}

struct Sketch {
  KindInput kinds[kKinds];
};

Sketch EveryKind() {
  Sketch s;
  AddLine(s.kinds[kLines], {0, 0, 0}, {1, 0, 0});
  AddLine(s.kinds[kLines], {1, 0, 0}, {1, 1, 0});
  AddArc(s.kinds[kArcs], {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, 1.0);
  AddArc(s.kinds[kArcs], {1, 0, 0}, {-1, 0, 0}, {0, 0, 0}, -1.0);
  AddArc(s.kinds[kArcs], {3, 0, 1}, {3, 0, 1}, {1, 0, 1}, 1.0);
  AddSpline(s.kinds[kSplines], {{0, 0, 0}, {1, 2, 0}, {3, 2, 1}, {4, 0, 0}});
  AddSpline(s.kinds[kSplines], {{5, 5, 5}});
  AddSpline(s.kinds[kSplines], {{0, 0, 1}, {1, 1, 1}});
  AddPolyline(s.kinds[kPolylines], {{1, 2, 3}, {4, 5, 6}}, 3);
  AddPolyline(s.kinds[kPolylines], {}, 0);
  AddPolyline(s.kinds[kPolylines], {{7, 8, 9}}, 1);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  std::vector<std::pair<std::string, Sketch>> seeds;
  seeds.emplace_back("every-kind", EveryKind());
  seeds.emplace_back("empty", Sketch());
  {
    Sketch s = EveryKind();  // the last records run past the sizes
    s.kinds[kSplines].size -= 2;
    s.kinds[kPolylines].size -= 2;
    seeds.emplace_back("past-the-size", s);
  }
  {
    Sketch s = EveryKind();  // more records counted than there are
    s.kinds[kSplines].count = 7;
    s.kinds[kPolylines].count = 5;
    seeds.emplace_back("counts-disagree", s);
  }
  {
    Sketch s = EveryKind();  // counts inside records that are no counts
    s.kinds[kSplines].pool[6] = std::nan("");
    s.kinds[kSplines].pool[7 + 12 + 6] = 1e300;
    s.kinds[kPolylines].pool[1] = -3.0;
    seeds.emplace_back("odd-counts", s);
  }
  {
    Sketch s = EveryKind();  // failing calls
    s.kinds[kLines].countCall = kFail | kWritesWhenFailing;
    s.kinds[kArcs].dataCall = kOutOfMemory;
    s.kinds[kSplines].dataCall = kFalse;
    s.kinds[kPolylines].dataCall = kFail;
    seeds.emplace_back("failing-calls", s);
  }
  {
    Sketch s = EveryKind();  // out of memory in a count call
    s.kinds[kPolylines].countCall = kOutOfMemory;
    seeds.emplace_back("count-out-of-memory", s);
  }
  for (const auto& [name, sketch] : seeds) {
    const std::vector<uint8_t> bytes = Encode(sketch.kinds);
    const std::string path = folder + "/" + name + ".bin";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (!file || std::fclose(file) != 0 || !written) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

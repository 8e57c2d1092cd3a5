// Writes a 3DS file of COUNT closed tori side by side, one mesh each, for
// timing the whole import: 180 x 180 quads per torus split into triangles,
// 32,400 vertices and 64,800 triangles each, in millimetres.
//
//   torus_3ds COUNT FILE

#include "three_ds_writer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kSegments = 180;  // around the ring and around the tube

three_ds::Mesh Torus(int index) {
  const double kPi = std::acos(-1.0);
  const double ring = 100.0, tube = 30.0, offset = 300.0 * index;
  three_ds::Mesh mesh{"Torus" + std::to_string(index + 1), {}, {}};
  for (int i = 0; i < kSegments; ++i) {
    const double theta = 2 * kPi * i / kSegments;
    for (int j = 0; j < kSegments; ++j) {
      const double phi = 2 * kPi * j / kSegments;
      const double r = ring + tube * std::cos(phi);
      mesh.vertices.push_back({static_cast<float>(offset + r * std::cos(theta)),
                               static_cast<float>(r * std::sin(theta)), static_cast<float>(tube * std::sin(phi))});
    }
  }
  auto at = [](int i, int j) { return static_cast<std::uint16_t>((i % kSegments) * kSegments + j % kSegments); };
  // Counter-clockwise seen from outside: d/dtheta x d/dphi points outwards.
  for (int i = 0; i < kSegments; ++i)
    for (int j = 0; j < kSegments; ++j) {
      const std::uint16_t a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
      mesh.faces.push_back({a, b, c});
      mesh.faces.push_back({a, c, d});
    }
  return mesh;
}

}  // namespace

int main(int argc, char** argv) {
  char* end = nullptr;
  const long count = argc == 3 ? std::strtol(argv[1], &end, 10) : 0;
  if (argc != 3 || *end != '\0' || count < 1 || count > 1000) {
    std::fprintf(stderr, "usage: torus_3ds COUNT FILE   (COUNT 1 to 1000)\n");
    return 2;
  }
  std::vector<three_ds::Mesh> tori;
  for (int i = 0; i < count; ++i) tori.push_back(Torus(i));
  if (!three_ds::Save(argv[2], three_ds::FileOf(tori))) {
    std::fprintf(stderr, "torus_3ds: cannot write %s\n", argv[2]);
    return 1;
  }
  std::printf("%s: %ld tori, %ld triangles\n", argv[2], count, count * 2L * kSegments * kSegments);
  return 0;
}

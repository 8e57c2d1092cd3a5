// Writes the sample 3DS file of the main job with the project's 3DS writer:
// a closed cube (12 triangles) and a closed tetrahedron beside it, in
// millimetres.
//
//   write_sample FILE

#include "three_ds_writer.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_sample FILE\n");
    return 2;
  }
  three_ds::Mesh cube{"Cube", {}, {}};
  for (int i = 0; i < 8; ++i)
    cube.vertices.push_back({i & 1 ? 40.0f : 0.0f, i & 2 ? 40.0f : 0.0f, i & 4 ? 40.0f : 0.0f});
  // Outward, counter-clockwise seen from outside.
  const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& q : quads) {
    cube.faces.push_back({static_cast<std::uint16_t>(q[0]), static_cast<std::uint16_t>(q[1]),
                          static_cast<std::uint16_t>(q[2])});
    cube.faces.push_back({static_cast<std::uint16_t>(q[0]), static_cast<std::uint16_t>(q[2]),
                          static_cast<std::uint16_t>(q[3])});
  }
  const three_ds::Mesh tetra{"Tetrahedron",
                             {{60, 0, 0}, {100, 0, 0}, {60, 40, 0}, {60, 0, 40}},
                             {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}}};
  if (!three_ds::Save(argv[1], three_ds::FileOf({cube, tetra}))) {
    std::fprintf(stderr, "write_sample: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}

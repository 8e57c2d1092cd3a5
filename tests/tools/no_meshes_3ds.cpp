// Writes a well-formed 3DS file that holds a camera and no mesh.
//
//   no_meshes_3ds FILE

#include "three_ds_writer.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: no_meshes_3ds FILE\n");
    return 2;
  }
  three_ds::Chunk camera(three_ds::kCamera);
  // Position, target, bank angle, lens.
  for (float v : {0.0f, -100.0f, 50.0f, 0.0f, 0.0f, 0.0f, 0.0f, 35.0f}) camera.F32(v);
  const auto bytes = three_ds::File({three_ds::Chunk(three_ds::kObject).Name("Camera01").Add(camera)}).Bytes();
  if (!three_ds::Save(argv[1], bytes)) {
    std::fprintf(stderr, "no_meshes_3ds: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}

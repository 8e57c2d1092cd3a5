// Writes the seed files of the 3DS fuzzer into the folder given as argument:
// small well-formed files with the chunks the reader walks and some it skips.
#include "three_ds_writer.h"

#include <cstdio>
#include <string>

using three_ds::Chunk;
using three_ds::Mesh;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const Mesh tri{"Tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}};
  const Mesh quad{"Quad", {{0, 0, 5}, {2, 0, 5}, {2, 3, 5}, {0, 3, 5}}, {{0, 1, 2}, {2, 3, 0}}};
  const Chunk editor_extras[] = {
      Chunk(three_ds::kMaterial).Add(Chunk(0xA000).Name("Red")),
      Chunk(three_ds::kMasterScale).F32(1),
      Chunk(three_ds::kObject).Name("Lamp").Add(Chunk(three_ds::kLight).F32(0).F32(0).F32(10)),
      Chunk(three_ds::kObject).Name("Cam").Add(Chunk(three_ds::kCamera).Raw(std::vector<std::uint8_t>(32, 0))),
  };
  const Chunk detailed =
      Chunk(three_ds::kObject)
          .Name("Detailed")
          .Add(Chunk(three_ds::kTriMesh)
                   .Add(three_ds::VertexList(quad.vertices))
                   .Add(Chunk(three_ds::kTexCoords).U16(4).Raw(std::vector<std::uint8_t>(32, 0)))
                   .Add(Chunk(three_ds::kLocalAxes).Raw(std::vector<std::uint8_t>(48, 0)))
                   .Add(three_ds::FaceList(quad.faces)
                            .Add(Chunk(three_ds::kFaceMaterial).Name("Red").U16(2).U16(0).U16(1))
                            .Add(Chunk(three_ds::kSmoothing).U32(1).U32(1))));
  const Chunk two_meshes = Chunk(three_ds::kObject)
                               .Name("Two")
                               .Add(Chunk(three_ds::kTriMesh)
                                        .Add(three_ds::VertexList(tri.vertices))
                                        .Add(three_ds::FaceList(tri.faces)))
                               .Add(Chunk(three_ds::kTriMesh)
                                        .Add(three_ds::FaceList(quad.faces))
                                        .Add(three_ds::VertexList(quad.vertices)));
  std::vector<Chunk> scene(std::begin(editor_extras), std::end(editor_extras));
  scene.push_back(detailed);
  scene.push_back(two_meshes);
  scene.push_back(three_ds::MeshObject(tri));

  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
  } seeds[] = {
      {"tri.3ds", three_ds::FileOf({tri})},
      {"two.3ds", three_ds::FileOf({tri, quad})},
      {"scene.3ds", three_ds::File(scene)
                        .Add(Chunk(three_ds::kKeyframer).Add(Chunk(0xB002).Add(Chunk(0xB010).Name("Tri").U32(0))))
                        .Bytes()},
      {"empty-editor.3ds", three_ds::File({}).Bytes()},
  };
  for (const auto& seed : seeds) {
    if (!three_ds::Save(folder + "/" + seed.name, seed.bytes)) {
      std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), seed.name);
      return 1;
    }
  }
  return 0;
}

// Files that read, and exactly what they give.
#include "ombra_fixture.h"

#include <cfloat>

using three_ds::Chunk;
using three_ds::Face;
using three_ds::Mesh;
using three_ds::Vertex;

namespace {

Chunk Editor() { return Chunk(three_ds::kEditor).Add(Chunk(three_ds::kMeshVersion).U32(3)); }
Chunk Main(const Chunk& editor) { return Chunk(three_ds::kMain).Add(Chunk(three_ds::kVersion).U32(3)).Add(editor); }

const Mesh kOdd{"Odd",
                {{0, 0, 0},
                 {1.5f, -2.25f, 3e-39f},  // subnormal
                 {-0.0f, FLT_MAX, -FLT_MIN},
                 {-FLT_MAX, -3e-39f, 1e-7f}},  // finite only: NaN and infinity are damage
                {{0, 1, 2}, {3, 2, 1}, {1, 1, 1}}};  // the last one degenerate, kept as stored
const Mesh kQuad{"Quad", {{0, 0, 5}, {2, 0, 5}, {2, 3, 5}, {0, 3, 5}}, {{0, 1, 2}, {2, 3, 0}}};

// Everything a modelling program writes around the meshes.
std::vector<std::uint8_t> FullScene() {
  Chunk editor = Editor();
  editor.Add(Chunk(three_ds::kMaterial).Add(Chunk(0xA000).Name("Red")))
      .Add(Chunk(three_ds::kMasterScale).F32(1))
      .Add(Chunk(three_ds::kObject).Name("Lamp").Add(Chunk(three_ds::kLight).F32(0).F32(0).F32(10)))
      .Add(Chunk(three_ds::kObject)
               .Name("Odd")
               .Add(Chunk(three_ds::kTriMesh)
                        .Add(three_ds::VertexList(kOdd.vertices))
                        .Add(Chunk(three_ds::kTexCoords).U16(1).F32(0.5f).F32(0.5f))
                        .Add(Chunk(three_ds::kLocalAxes).Raw(std::vector<std::uint8_t>(48, 0)))
                        .Add(three_ds::FaceList(kOdd.faces)
                                 .Add(Chunk(three_ds::kFaceMaterial).Name("Red").U16(1).U16(0))
                                 .Add(Chunk(three_ds::kSmoothing).U32(1).U32(1).U32(2)))))
      .Add(Chunk(three_ds::kObject).Name("Cam").Add(Chunk(three_ds::kCamera).Raw(std::vector<std::uint8_t>(32, 0))))
      .Add(Chunk(three_ds::kObject)
               .Name("Points")
               .Add(Chunk(three_ds::kTriMesh).Add(three_ds::VertexList({{1, 2, 3}}))))
      .Add(Chunk(three_ds::kObject)
               .Name("NoFaces")
               .Add(Chunk(three_ds::kTriMesh).Add(three_ds::VertexList({{1, 2, 3}})).Add(three_ds::FaceList({}))))
      .Add(three_ds::MeshObject(kQuad));
  Chunk keyframer = Chunk(three_ds::kKeyframer).Add(Chunk(0xB002).Add(Chunk(0xB010).Name("Odd").U16(0).U16(0).U16(0xFFFF)));
  return Main(editor).Add(keyframer).Bytes();
}

// 65,535 vertices, the most a list can count, with faces at both ends.
Mesh Largest() {
  Mesh mesh{"Big", std::vector<Vertex>(65535), {{0, 1, 65534}, {65534, 65533, 0}}};
  for (size_t i = 0; i < mesh.vertices.size(); ++i) mesh.vertices[i] = {float(i), float(i % 7), -float(i)};
  return mesh;
}

class OmbraRead : public OmbraTest {};

TEST_F(OmbraRead, GivesTheMeshesAsStoredInFileOrder) {
  const Mesh second{"Second", {{9, 9, 9}, {8, 8, 8}, {7, 7, 7}}, {{2, 1, 0}}};
  std::vector<std::uint8_t> padded = three_ds::FileOf({kQuad});
  padded.insert(padded.end(), {0x1A, 0x1A, 0x1A});
  const Mesh largest = Largest();

  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::vector<Mesh> meshes;
  } cases[] = {
      {"only the meshes of a full scene", FullScene(), {kOdd, kQuad}},
      {"no editor chunk", Chunk(three_ds::kMain).Add(Chunk(three_ds::kVersion).U32(3)).Bytes(), {}},
      {"an editor without objects", Main(Editor()).Bytes(), {}},
      {"an object with two mesh chunks gives two meshes",
       Main(Editor().Add(Chunk(three_ds::kObject)
                             .Name("Two")
                             .Add(Chunk(three_ds::kTriMesh)
                                      .Add(three_ds::VertexList(kQuad.vertices))
                                      .Add(three_ds::FaceList(kQuad.faces)))
                             .Add(Chunk(three_ds::kTriMesh)
                                      .Add(three_ds::VertexList(second.vertices))
                                      .Add(three_ds::FaceList(second.faces)))))
           .Bytes(),
       {kQuad, second}},
      {"the face list before the vertex list",
       Main(Editor().Add(Chunk(three_ds::kObject)
                             .Name("Q")
                             .Add(Chunk(three_ds::kTriMesh)
                                      .Add(three_ds::FaceList(kQuad.faces))
                                      .Add(three_ds::VertexList(kQuad.vertices)))))
           .Bytes(),
       {kQuad}},
      {"a vertex list with bytes to spare",
       Main(Editor().Add(Chunk(three_ds::kObject)
                             .Name("Q")
                             .Add(Chunk(three_ds::kTriMesh)
                                      .Add(three_ds::VertexList(kQuad.vertices).U32(0xDEADBEEF))
                                      .Add(three_ds::FaceList(kQuad.faces)))))
           .Bytes(),
       {kQuad}},
      {"bytes after the main chunk", padded, {kQuad}},
      {"the largest mesh a list can count", three_ds::FileOf({largest}), {largest}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ReadResult result = Read(Put("good.3ds", c.bytes));
    EXPECT_NE(result.read, 0);
    EXPECT_EQ(result.error, L"");
    ExpectMeshes(result, c.meshes);
  }
}

TEST_F(OmbraRead, ASuccessClearsTheLastError) {
  ASSERT_EQ(Read(Put("bad.3ds", {})).read, 0);
  EXPECT_NE(Ombra3DS::GetError(), L"");
  ASSERT_NE(Read(Put("good.3ds", three_ds::FileOf({kQuad}))).read, 0);
  EXPECT_EQ(Ombra3DS::GetError(), L"");
}

}  // namespace

// Files that cannot be read: each gives 0, a text that names the file, what
// is wrong and where, and leaves the caller's array as it was.
#include "ombra_fixture.h"

#include "stand_in/three_ds.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <limits>

using three_ds::Chunk;
using three_ds::Mesh;

namespace {

const Mesh kTri{"Tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}};
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// The offsets in a file of one object named "Tri" (see Object below):
//   0 main, 6 version, 16 editor, 22 mesh version, 32 object "Tri",
//   42 mesh, 48 its first child; FileOf({kTri}) is 108 bytes, its vertex
//   list at 48 and its face list at 92.
Chunk Editor() { return Chunk(three_ds::kEditor).Add(Chunk(three_ds::kMeshVersion).U32(3)); }
Chunk Main(const Chunk& editor) { return Chunk(three_ds::kMain).Add(Chunk(three_ds::kVersion).U32(3)).Add(editor); }
Chunk Object(const std::vector<Chunk>& mesh_children, const std::string& name = "Tri") {
  Chunk mesh(three_ds::kTriMesh);
  for (const Chunk& child : mesh_children) mesh.Add(child);
  return Chunk(three_ds::kObject).Name(name).Add(mesh);
}
std::vector<std::uint8_t> FileWith(const std::vector<Chunk>& mesh_children) {
  return three_ds::File({Object(mesh_children)}).Bytes();
}

class OmbraMalformed : public OmbraTest {
 protected:
  void ExpectRefused(const CString& path, const CString& what) {
    const ReadResult result = Read(path);
    EXPECT_EQ(result.read, 0);
    EXPECT_EQ(result.error, Prefix(path) + what + L".");
    EXPECT_EQ(result.meshes.Count(), 1);
    ExpectCallersMeshKept(result);
  }
};

TEST_F(OmbraMalformed, BrokenFilesSayWhatIsWrongAndWhere) {
  const auto vertices = three_ds::VertexList(kTri.vertices);
  const auto faces = three_ds::FaceList(kTri.faces);
  std::vector<std::uint8_t> bad_length = three_ds::FileOf({kTri});
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    const wchar_t* error;
  } cases[] = {
      {"another format", {'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0},
       L"it is not a 3DS file: it begins with 0x4B50, not with the main chunk 0x4D4D"},
      {"one byte of another format", {'P'}, L"it is not a 3DS file: it does not begin with the main chunk 0x4D4D"},
      {"one byte", {0x4D}, L"the file is truncated: it ends at byte 1, inside the header of the main chunk 0x4D4D at offset 0"},
      {"half a header", {0x4D, 0x4D, 0x6C, 0},
       L"the file is truncated: it ends at byte 4, inside the header of the main chunk 0x4D4D at offset 0"},
      {"main chunk shorter than its header", three_ds::File({}).Length(5).Bytes(),
       L"chunk 0x4D4D at offset 0 has the length 5, less than its 6-byte header"},
      {"main chunk past the end of the file", three_ds::File({Object({vertices, faces})}).Length(0xFFFFFFFF).Bytes(),
       L"the file is truncated: the main chunk 0x4D4D at offset 0 claims 4294967295 bytes, but the file has only 108"},
      {"a chunk of length 0", Main(Editor().Add(Object({vertices, faces})).Length(0)).Bytes(),
       L"chunk 0x3D3D at offset 16 has the length 0, less than its 6-byte header"},
      {"an object past its parent", three_ds::File({Object({vertices, faces}).Length(77)}).Bytes(),
       L"chunk 0x4000 at offset 32 claims 77 bytes, which runs past the end of its parent chunk 0x3D3D at offset 16 at "
       L"byte 108"},
      {"a skipped chunk past its parent", three_ds::File({Chunk(three_ds::kMaterial).Name("Red").Length(1000)}).Bytes(),
       L"chunk 0xAFFF at offset 32 claims 1000 bytes, which runs past the end of its parent chunk 0x3D3D at offset 16 "
       L"at byte 42"},
      {"a vertex list past its mesh", FileWith({three_ds::VertexList(kTri.vertices).Length(1000), faces}),
       L"chunk 0x4110 at offset 48 claims 1000 bytes, which runs past the end of its parent chunk 0x4100 at offset 42 "
       L"at byte 108"},
      {"stray bytes in the editor", Main(Editor().Add(Object({vertices, faces})).Raw({1, 2, 3})).Bytes(),
       L"3 stray bytes at offset 108 at the end of chunk 0x3D3D at offset 16, too few for a chunk header"},
      {"a stray byte in the object",
       three_ds::File({Chunk(three_ds::kObject).Name("Tri").Add(Chunk(three_ds::kTriMesh).Add(vertices).Add(faces)).U8(0)})
           .Bytes(),
       L"1 stray byte at offset 108 at the end of chunk 0x4000 at offset 32, too few for a chunk header"},
      {"an object name without its zero", three_ds::File({Chunk(three_ds::kObject).Raw({'T', 'r', 'i'})}).Bytes(),
       L"the name of the object chunk 0x4000 at offset 32 has no terminating zero inside the chunk"},
      {"a vertex list too short for its count", FileWith({Chunk(three_ds::kVertices).U8(3), faces}),
       L"object \"Tri\": chunk 0x4110 at offset 48 is too short to hold its count of vertices"},
      {"more vertices than the list holds",
       FileWith({Chunk(three_ds::kVertices).U16(4).Raw(std::vector<std::uint8_t>(36, 0)), faces}),
       L"object \"Tri\": chunk 0x4110 at offset 48 gives 4 vertices, which need 50 bytes, but the chunk holds only 38"},
      {"a hostile vertex count",
       FileWith({Chunk(three_ds::kVertices).U16(65535).Raw(std::vector<std::uint8_t>(36, 0)), faces}),
       L"object \"Tri\": chunk 0x4110 at offset 48 gives 65535 vertices, which need 786422 bytes, but the chunk holds "
       L"only 38"},
      {"a hostile face count", FileWith({vertices, Chunk(three_ds::kFaces).U16(65535).U16(0).U16(1).U16(2).U16(7)}),
       L"object \"Tri\": chunk 0x4120 at offset 92 gives 65535 faces, which need 524282 bytes, but the chunk holds "
       L"only 10"},
      {"a face-list sub-chunk past the face list",
       FileWith({vertices, three_ds::FaceList(kTri.faces).Add(Chunk(three_ds::kSmoothing).U32(1).Length(11))}),
       L"chunk 0x4150 at offset 108 claims 11 bytes, which runs past the end of its parent chunk 0x4120 at offset 92 at "
       L"byte 118"},
      {"a face naming a vertex the mesh does not have", FileWith({vertices, three_ds::FaceList({{0, 1, 2}, {2, 1, 3}})}),
       L"object \"Tri\": face 1 of the face list chunk 0x4120 at offset 92 names vertex 3, but the mesh has only 3 "
       L"vertices"},
      {"faces without a vertex list", FileWith({faces}),
       L"object \"Tri\": face 0 of the face list chunk 0x4120 at offset 48 names vertex 0, but the mesh has no vertex "
       L"list"},
      // The vertices start at offset 56: vertex i's coordinate k at 56 + 12 i + 4 k.
      {"a coordinate that is NaN", FileWith({three_ds::VertexList({{0, 0, 0}, {1, kNaN, 0}, {0, 1, 0}}), faces}),
       L"object \"Tri\": vertex 1 of the vertex list chunk 0x4110 at offset 48 has the y coordinate NaN at offset 72, "
       L"not a finite number"},
      {"a coordinate that is infinite", FileWith({three_ds::VertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, kInf}}), faces}),
       L"object \"Tri\": vertex 2 of the vertex list chunk 0x4110 at offset 48 has the z coordinate infinity at offset "
       L"88, not a finite number"},
      {"a coordinate that is minus infinity",
       FileWith({three_ds::VertexList({{-kInf, 0, 0}, {1, 0, 0}, {0, 1, 0}}), faces}),
       L"object \"Tri\": vertex 0 of the vertex list chunk 0x4110 at offset 48 has the x coordinate -infinity at "
       L"offset 56, not a finite number"},
      {"two vertex lists", FileWith({vertices, vertices, faces}),
       L"object \"Tri\": its mesh chunk 0x4100 at offset 42 has a second vertex list, chunk 0x4110 at offset 92"},
      {"two face lists", FileWith({vertices, faces, faces}),
       L"object \"Tri\": its mesh chunk 0x4100 at offset 42 has a second face list, chunk 0x4120 at offset 108"},
      {"a broken object after a good one: the good one is not kept",
       three_ds::File({Object({vertices, faces}), Object({vertices, three_ds::FaceList({{0, 1, 9}})}, "\x01" "Bad\x7f")})
           .Bytes(),
       L"object \"?Bad?\": face 0 of the face list chunk 0x4120 at offset 170 names vertex 9, but the mesh has only 3 "
       L"vertices"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectRefused(Put("bad.3ds", c.bytes), c.error);
  }
}

// A mesh without faces is not read, so its coordinates are not looked at;
// the meshes beside it are read.
TEST_F(OmbraMalformed, ANonFiniteCoordinateOfAMeshThatIsNotReadIsNoDamage) {
  const Chunk helper =
      Object({three_ds::VertexList({{kNaN, kInf, 0}}), Chunk(three_ds::kFaces).U16(0)}, "Helper");
  const ReadResult result = Read(Put("helper.3ds", three_ds::File({helper, three_ds::MeshObject(kTri)}).Bytes()));
  EXPECT_EQ(result.read, 1) << result.error;
  ExpectMeshes(result, {kTri});
}

TEST_F(OmbraMalformed, FilesThatCannotBeOpened) {
  ASSERT_TRUE(std::filesystem::create_directory(Folder() + "/folder.3ds"));
  ASSERT_EQ(mkfifo((Folder() + "/pipe.3ds").c_str(), 0600), 0);
  Put("empty.3ds", {});
  struct Case {
    const wchar_t* path;
    const wchar_t* error;
  } cases[] = {
      {L"T:\\missing.3ds", L"the file does not exist"},
      {L"T:\\no\\such\\folder\\x.3ds", L"the file does not exist"},
      {L"T:\\folder.3ds", L"it is a folder, not a file"},
      {L"T:\\pipe.3ds", L"it is not a regular file"},
      {L"T:\\empty.3ds", L"the file is empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ExpectRefused(c.path, c.error);
  }
}

TEST_F(OmbraMalformed, AFileWithoutReadPermission) {
  const CString path = Put("locked.3ds", three_ds::FileOf({kTri}));
  ASSERT_EQ(chmod((Folder() + "/locked.3ds").c_str(), 0), 0);
  // Root reads any file: drop to another user for the read.
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(seteuid(65534), 0);
  }
  const ReadResult result = Read(path);
  if (root) {
    ASSERT_EQ(seteuid(0), 0);
  }
  EXPECT_EQ(result.read, 0);
  EXPECT_EQ(result.error, Prefix(path) + L"access to the file is denied.");
  ExpectCallersMeshKept(result);
}

TEST_F(OmbraMalformed, TruncationAtEveryByte) {
  const std::vector<std::uint8_t> whole =
      three_ds::File({Chunk(three_ds::kMaterial).Add(Chunk(0xA000).Name("Red")),
                      Object({three_ds::VertexList(kTri.vertices),
                              three_ds::FaceList(kTri.faces).Add(Chunk(three_ds::kSmoothing).U32(1))}),
                      three_ds::MeshObject({"Two", {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}}, {{0, 1, 2}, {3, 2, 1}}})})
          .Bytes();
  ASSERT_NE(Read(Put("whole.3ds", whole)).read, 0);
  for (size_t size = 0; size < whole.size(); ++size) {
    SCOPED_TRACE("cut at byte " + std::to_string(size));
    std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    CString what = L"the file is empty";
    if (size >= 6)
      what.Format(L"the file is truncated: the main chunk 0x4D4D at offset 0 claims %u bytes, but the file has only %u",
                  unsigned(whole.size()), unsigned(size));
    else if (size > 0)
      what.Format(L"the file is truncated: it ends at byte %u, inside the header of the main chunk 0x4D4D at offset 0",
                  unsigned(size));
    ExpectRefused(Put("cut.3ds", cut), what);

    // The same cut with the main chunk's length mended: the inner chunks now
    // run past their parents, which every level must notice.
    if (size < 6) continue;
    for (int i = 0; i < 4; ++i) cut[2 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    ON_ClassArray<ON_Mesh> meshes;
    CString error;
    const int read = stand_in::Read3DS(cut.data(), cut.size(), L"cut.3ds", meshes, error);
    if (size == 6 || size == 16) {  // right after the main chunk's header or its version chunk
      EXPECT_NE(read, 0);
      EXPECT_EQ(meshes.Count(), 0);
    } else {
      EXPECT_EQ(read, 0);
      EXPECT_EQ(meshes.Count(), 0);
      EXPECT_NE(error.Find(L"chunk 0x"), -1) << error.GetString();
    }
  }
}

}  // namespace

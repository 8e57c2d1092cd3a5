#include "ombra_fixture.h"

#include "stand_in/paths.h"
#include "stand_in/text.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

std::string g_folder;

ON_Mesh CallersMesh() {
  ON_Mesh mesh;
  mesh.m_V.Append(ON_3fPoint(7, 8, 9));
  ON_MeshFace face;
  face.vi[0] = face.vi[1] = face.vi[2] = face.vi[3] = 0;
  mesh.m_F.Append(face);
  return mesh;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

void PrintTo(const CString& text, std::ostream* out) { *out << '"' << stand_in::ToUtf8(text.str()) << '"'; }

void OmbraTest::SetUpTestSuite() {
  char pattern[] = "/tmp/ombra-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  g_folder = pattern;
  stand_in::SetDriveRoot(L'T', g_folder);
}

void OmbraTest::TearDownTestSuite() {
  stand_in::SetDriveRoot(L'T', "");
  std::error_code ignored;
  std::filesystem::remove_all(g_folder, ignored);
}

std::string OmbraTest::Folder() { return g_folder; }

CString OmbraTest::Put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  EXPECT_TRUE(three_ds::Save(g_folder + "/" + name, bytes)) << name;
  return CString(L"T:\\") + CString(name.c_str());
}

ReadResult OmbraTest::Read(const CString& path) {
  ReadResult result;
  result.meshes.Append(CallersMesh());
  result.read = Ombra3DS::_3DSToMesh(path, result.meshes);
  result.error = Ombra3DS::GetError();
  return result;
}

CString OmbraTest::Prefix(const CString& path) { return CString(L"Cannot read the 3DS file \"") + path + L"\": "; }

void OmbraTest::ExpectCallersMeshKept(const ReadResult& result) {
  ASSERT_GE(result.meshes.Count(), 1);
  const ON_Mesh& mesh = result.meshes[0];
  ASSERT_EQ(mesh.m_V.Count(), 1);
  EXPECT_EQ(mesh.m_V[0].x, 7);
  EXPECT_EQ(mesh.m_V[0].z, 9);
  ASSERT_EQ(mesh.m_F.Count(), 1);
  EXPECT_EQ(mesh.m_F[0].vi[3], 0);
}

void OmbraTest::ExpectMeshes(const ReadResult& result, const std::vector<three_ds::Mesh>& expected) {
  ExpectCallersMeshKept(result);
  ASSERT_EQ(result.meshes.Count(), 1 + static_cast<int>(expected.size()));
  for (size_t m = 0; m < expected.size(); ++m) {
    SCOPED_TRACE("mesh " + std::to_string(m) + " (" + expected[m].name + ")");
    const ON_Mesh& mesh = result.meshes[1 + static_cast<int>(m)];
    ASSERT_EQ(mesh.m_V.Count(), static_cast<int>(expected[m].vertices.size()));
    for (int i = 0; i < mesh.m_V.Count(); ++i) {
      const three_ds::Vertex& v = expected[m].vertices[static_cast<size_t>(i)];
      EXPECT_TRUE(SameBits(mesh.m_V[i].x, v[0]) && SameBits(mesh.m_V[i].y, v[1]) && SameBits(mesh.m_V[i].z, v[2]))
          << "vertex " << i;
    }
    ASSERT_EQ(mesh.m_F.Count(), static_cast<int>(expected[m].faces.size()));
    for (int i = 0; i < mesh.m_F.Count(); ++i) {
      const three_ds::Face& f = expected[m].faces[static_cast<size_t>(i)];
      const int* vi = mesh.m_F[i].vi;
      EXPECT_TRUE(vi[0] == f[0] && vi[1] == f[1] && vi[2] == f[2] && vi[3] == f[2])
          << "face " << i << ": " << vi[0] << " " << vi[1] << " " << vi[2] << " " << vi[3];
    }
  }
}

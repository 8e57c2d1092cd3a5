// An import read back: the meshes of the part a 3DS file became are the
// file's triangles, at the file's positions in metres.
#include "addin_fixture.h"

#include "Ombra3DS.h"
#include "VLMSWON.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using Corner = std::array<double, 3>;
using Triangle = std::array<Corner, 3>;

// A mesh's triangles with their corners in a fixed order, sorted, so that
// two meshes compare whatever their vertex order and their faces' turning.
std::vector<Triangle> TrianglesOf(const ON_Mesh& mesh) {
  std::vector<Triangle> out;
  for (int f = 0; f < mesh.m_F.Count(); ++f) {
    Triangle t;
    for (int k = 0; k < 3; ++k) {
      const ON_3fPoint& v = mesh.m_V[mesh.m_F[f].vi[k]];
      t[k] = {v.x, v.y, v.z};
    }
    std::sort(t.begin(), t.end());
    out.push_back(t);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The file's own meshes, as the import turns and scales them.
std::vector<std::vector<Triangle>> Expected(const wchar_t* path, double scale, bool yUp) {
  ON_ClassArray<ON_Mesh> meshes;
  EXPECT_EQ(Ombra3DS::_3DSToMesh(CString(path), meshes), 1);
  std::vector<std::vector<Triangle>> out;
  for (int i = 0; i < meshes.Count(); ++i) {
    ON_Mesh& mesh = meshes[i];
    for (int v = 0; v < mesh.m_V.Count(); ++v) {
      ON_3fPoint& p = mesh.m_V[v];
      const double x = p.x, y = yUp ? p.z : p.y, z = yUp ? -p.y : p.z;
      p = ON_3fPoint(static_cast<float>(x * scale), static_cast<float>(y * scale), static_cast<float>(z * scale));
    }
    out.push_back(TrianglesOf(mesh));
  }
  return out;
}

void ExpectSameTriangles(const std::vector<Triangle>& actual, const std::vector<Triangle>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t t = 0; t < actual.size(); ++t)
    for (int k = 0; k < 3; ++k)
      for (int a = 0; a < 3; ++a)
        EXPECT_NEAR(actual[t][k][a], expected[t][k][a], 1e-6 * (1.0 + std::fabs(expected[t][k][a])))
            << "triangle " << t << " corner " << k;
}

class ReadBack : public AddinTest {
 protected:
  // Imports the file as a multibody solid part and reads it back.
  void ImportAndReadBack(const wchar_t* path, const wchar_t* units, bool yUp, ON_ClassArray<ON_Mesh>& meshes,
                         CStringArray& names) {
    auto& script = AnswerOptions()
                       .Check(L"Solid in a part document")
                       .Select(L"Units", units)
                       .Check(L"Create multibody part (in case of multiple meshes)");
    yUp ? script.Check(L"Y axis points upwards") : script.Uncheck(L"Y axis points upwards");
    script.Press(IDOK);
    ASSERT_EQ(ImportFile(app(), CString(path)), 1) << (Boxes().empty() ? L"" : Boxes()[0]).c_str();
    CComPtr<IHostDocument> document;
    ASSERT_EQ(app()->ActiveDocument(&document), S_OK);
    ASSERT_TRUE(document);
    ASSERT_EQ(VLMSWON::GetDocumentMeshes(document, meshes, &names), 1) << VLMSWON::GetError().GetString();
  }
};

// A cube of eight shared corners beside the tetrahedron: both closed, so the
// host keeps them as solids.
three_ds::Mesh Cube(const std::string& name) {
  return {name,
          {{0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {0, 3, 0}, {0, 0, 4}, {2, 0, 4}, {2, 3, 4}, {0, 3, 4}},
          {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
           {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}}};
}

TEST_F(ReadBack, EveryUnitAndBothUpAxesGiveTheFilesTrianglesInMetres) {
  three_ds::Mesh tetrahedron = Tetrahedron("tip");
  for (auto& v : tetrahedron.vertices) v = {v[0] * 1.5f + 7, v[1] - 2, v[2] * 0.5f + 1};
  Write3ds("pair.3ds", {Cube("box"), tetrahedron});
  struct Unit {
    const wchar_t* name;
    double scale;
  };
  const Unit units[] = {{L"Millimeters", 0.001}, {L"Centimeters", 0.01}, {L"Meters", 1.0}, {L"Inches", 0.0254},
                        {L"Feet", 12 * 0.0254}};
  for (const Unit& unit : units) {
    for (bool yUp : {false, true}) {
      SCOPED_TRACE(::testing::Message() << CString(unit.name).GetString() << (yUp ? " Y up" : " Z up"));
      ON_ClassArray<ON_Mesh> meshes;
      CStringArray names;
      ImportAndReadBack(L"D:\\pair.3ds", unit.name, yUp, meshes, names);
      const auto expected = Expected(L"D:\\pair.3ds", unit.scale, yUp);
      ASSERT_EQ(meshes.Count(), 2);
      ASSERT_EQ(names.GetSize(), 2);
      for (int i = 0; i < 2; ++i) {
        ExpectSameTriangles(TrianglesOf(meshes[i]), expected[static_cast<size_t>(i)]);
        EXPECT_EQ(meshes[i].m_C.Count(), 1);
      }
      // Identical vertices are merged: a cube keeps its eight corners.
      EXPECT_EQ(meshes[0].m_V.Count(), 8);
      EXPECT_EQ(meshes[1].m_V.Count(), 4);
      const CString part = host.Documents().back().title.c_str();
      EXPECT_EQ(names[0], part + L"-Body1");
      EXPECT_EQ(names[1], part + L"-Body2");
    }
  }
}

TEST_F(ReadBack, AnOutsideModelReadsBackAsItWasImported) {
  const std::string model = "/usr/share/assimp/models/3DS/RotatingCube.3DS";
  if (!std::filesystem::exists(model)) GTEST_SKIP() << "assimp-testmodels is not installed";
  stand_in::SetDriveRoot(L'M', "/usr/share/assimp/models");
  ON_ClassArray<ON_Mesh> meshes;
  CStringArray names;
  ImportAndReadBack(L"M:\\3DS\\RotatingCube.3DS", L"Inches", false, meshes, names);
  const auto expected = Expected(L"M:\\3DS\\RotatingCube.3DS", 0.0254, false);
  ASSERT_EQ(static_cast<size_t>(meshes.Count()), expected.size());
  for (int i = 0; i < meshes.Count(); ++i) {
    // The file's own mesh may hold a vertex twice; the read merges them.
    auto wanted = expected[static_cast<size_t>(i)];
    ExpectSameTriangles(TrianglesOf(meshes[i]), wanted);
  }
}

}  // namespace

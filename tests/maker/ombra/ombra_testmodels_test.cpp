// The 3DS files of Debian's assimp-testmodels, read by us and by lib3ds.
//
// Each file is one of:
//   - deliberately broken (under models/invalid/) or refused by lib3ds: we
//     must refuse it too, with our text;
//   - read by lib3ds: we must give the same meshes, object by object (lib3ds's
//     meshes without faces add no mesh of ours).
#include "ombra_fixture.h"

#include "stand_in/paths.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#if TESSALY_HAVE_LIB3DS
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>
#endif

namespace {

namespace fs = std::filesystem;

const char kModels[] = "/usr/share/assimp/models";

std::vector<std::string> ModelFiles() {
  std::vector<std::string> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(kModels, error), end; !error && it != end; it.increment(error)) {
    std::string extension = it->path().extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    if (it->is_regular_file() && extension == ".3ds") files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool DeliberatelyBroken(const std::string& file) { return file.find("/invalid/") != std::string::npos; }

CString WindowsPathOf(const std::string& file) { return CString(stand_in::WindowsPath(file)); }

class OmbraTestModels : public OmbraTest {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kModels))
      GTEST_SKIP() << kModels << " is missing: install Debian's assimp-testmodels to read its 3DS files";
  }
};

TEST_F(OmbraTestModels, TheEmptyFileGivesAClearError) {
  const CString path = WindowsPathOf(std::string(kModels) + "/invalid/empty.3ds");
  const ReadResult result = Read(path);
  EXPECT_EQ(result.read, 0);
  EXPECT_EQ(result.error, Prefix(path) + L"the file is empty.");
  EXPECT_EQ(result.meshes.Count(), 1);
}

#if TESSALY_HAVE_LIB3DS

TEST_F(OmbraTestModels, EachFileReadsAsLib3dsReadsIt) {
  const std::vector<std::string> files = ModelFiles();
  ASSERT_FALSE(files.empty()) << "no .3ds file under " << kModels;
  int compared = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const CString path = WindowsPathOf(file);
    const ReadResult ours = Read(path);
    Lib3dsFile* theirs = lib3ds_file_load(file.c_str());
    if (!theirs || DeliberatelyBroken(file)) {
      EXPECT_EQ(ours.read, 0) << "lib3ds refuses it or it is broken on purpose, but we read it";
      EXPECT_EQ(ours.error.Find(Prefix(path)), 0) << ours.error.GetString();
      EXPECT_EQ(ours.meshes.Count(), 1);
      if (theirs) lib3ds_file_free(theirs);
      continue;
    }
    ASSERT_NE(ours.read, 0) << ours.error.GetString();
    std::vector<three_ds::Mesh> expected;
    for (const Lib3dsMesh* mesh = theirs->meshes; mesh; mesh = mesh->next) {
      if (mesh->faces == 0) continue;
      three_ds::Mesh copy{mesh->name, {}, {}};
      for (Lib3dsDword i = 0; i < mesh->points; ++i)
        copy.vertices.push_back({mesh->pointL[i].pos[0], mesh->pointL[i].pos[1], mesh->pointL[i].pos[2]});
      for (Lib3dsDword i = 0; i < mesh->faces; ++i)
        copy.faces.push_back({mesh->faceL[i].points[0], mesh->faceL[i].points[1], mesh->faceL[i].points[2]});
      expected.push_back(copy);
    }
    lib3ds_file_free(theirs);
    EXPECT_FALSE(expected.empty());
    ExpectMeshes(ours, expected);
    ++compared;
  }
  EXPECT_GT(compared, 0);
}

#else

TEST_F(OmbraTestModels, EachFileReadsAsLib3dsReadsIt) {
  GTEST_SKIP() << "lib3ds was not found when this was built: install lib3ds-dev to compare with it";
}

#endif

}  // namespace

// tessaly-host: the stand-in CAD host as a program.
//
//   tessaly-host demo [--mode solid|sketch|N] [--units 0..4] [--multibody]
//                     [--progress] [--save DIR]
//
// `demo` feeds generated meshes (a cube of triangles and a grid of
// quadrilaterals) through the bridge's mesh road and prints what the host
// then holds.

#include <afxwin.h>

#include "VLMSWON.h"
#include "stand_in/host.h"
#include "stand_in/text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: tessaly-host demo [--mode solid|sketch|N] [--units 0..4] [--multibody] [--progress] "
               "[--save DIR]\n");
  return 2;
}

ON_Mesh Cube(float size) {
  ON_Mesh mesh;
  for (int i = 0; i < 8; ++i)
    mesh.m_V.Append(ON_3fPoint(i & 1 ? size : 0.0f, i & 2 ? size : 0.0f, i & 4 ? size : 0.0f));
  // Outward, counter-clockwise seen from outside.
  const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& q : quads) {
    ON_MeshFace a, b;
    a.vi[0] = q[0], a.vi[1] = q[1], a.vi[2] = a.vi[3] = q[2];
    b.vi[0] = q[0], b.vi[1] = q[2], b.vi[2] = b.vi[3] = q[3];
    mesh.m_F.Append(a);
    mesh.m_F.Append(b);
  }
  return mesh;
}

ON_Mesh Grid(int n, float cell) {
  ON_Mesh mesh;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) mesh.m_V.Append(ON_3fPoint(i * cell, j * cell, 0.0f));
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      ON_MeshFace f;
      f.vi[0] = j * (n + 1) + i;
      f.vi[1] = f.vi[0] + 1;
      f.vi[2] = f.vi[1] + n + 1;
      f.vi[3] = f.vi[0] + n + 1;
      mesh.m_F.Append(f);
    }
  return mesh;
}

int Demo(int argc, char** argv) {
  int mode = 0, units = 0, multiBody = 0, progress = 0;
  const char* saveDir = nullptr;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--mode" && i + 1 < argc) {
      const std::string m = argv[++i];
      mode = m == "solid" ? 0 : m == "sketch" ? 1 : std::atoi(m.c_str());
    } else if (a == "--units" && i + 1 < argc) {
      units = std::atoi(argv[++i]);
    } else if (a == "--multibody") {
      multiBody = 1;
    } else if (a == "--progress") {
      progress = 1;
    } else if (a == "--save" && i + 1 < argc) {
      saveDir = argv[++i];
    } else {
      return Usage();
    }
  }

  ON_ClassArray<ON_Mesh> meshes;
  meshes.Append(Cube(100.0f));
  meshes.Append(Grid(4, 25.0f));

  stand_in::Host host;
  const int ok = VLMSWON::CreatePartFromMeshes(host.Application(), meshes, units, mode, multiBody, progress);
  std::printf("%s", host.Describe().c_str());
  if (!ok) {
    std::fprintf(stderr, "import failed: %s\n", stand_in::ToUtf8(VLMSWON::GetError().str()).c_str());
    return 1;
  }
  if (saveDir) {
    for (const auto& doc : host.Documents()) {
      const std::string path = std::string(saveDir) + "/" + doc.title + ".obj";
      std::string error;
      if (!stand_in::SaveObj(doc, path, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
      }
      std::printf("saved %s\n", path.c_str());
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "demo") == 0) return Demo(argc - 2, argv + 2);
  return Usage();
}

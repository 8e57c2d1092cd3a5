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

#include <sys/stat.h>

#include <cerrno>
#include <climits>
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

int UsageError(const std::string& what) {
  std::fprintf(stderr, "tessaly-host: %s\n", what.c_str());
  return Usage();
}

// The whole text as a decimal int, nothing else.
bool ParseInt(const char* text, int* value) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  *value = static_cast<int>(v);
  return true;
}

// Makes DIR and its parents; false with `error` set when it cannot.
bool MakeDirectories(const std::string& dir, std::string* error) {
  std::string path;
  for (size_t i = 0; i <= dir.size(); ++i) {
    if (i < dir.size() && dir[i] != '/') continue;
    path = dir.substr(0, i);
    if (path.empty()) continue;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) {
        *error = path + " is not a directory";
        return false;
      }
      continue;
    }
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = "cannot create " + path + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
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
      if (m == "solid")
        mode = 0;
      else if (m == "sketch")
        mode = 1;
      else if (!ParseInt(m.c_str(), &mode))
        return UsageError("--mode takes solid, sketch or a number, not '" + m + "'");
    } else if (a == "--units" && i + 1 < argc) {
      if (!ParseInt(argv[++i], &units) || units < 0 || units > 4)
        return UsageError(std::string("--units takes 0 to 4, not '") + argv[i] + "'");
    } else if (a == "--multibody") {
      multiBody = 1;
    } else if (a == "--progress") {
      progress = 1;
    } else if (a == "--save" && i + 1 < argc) {
      saveDir = argv[++i];
    } else {
      return UsageError("unknown argument '" + a + "'");
    }
  }
  // Refused before any work, so that a run never ends on a save it cannot make.
  if (saveDir) {
    std::string error;
    if (!MakeDirectories(saveDir, &error)) {
      std::fprintf(stderr, "tessaly-host: --save: %s\n", error.c_str());
      return 1;
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

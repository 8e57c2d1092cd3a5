// Small meshes built case by case, and large generated ones.
#pragma once

#include "opennurbs.h"

#include <array>
#include <vector>

namespace test_support {

struct Vertex {
  float x, y, z;
};

// Faces as four indexes: (a, b, c, c) for a triangle.
ON_Mesh MakeMesh(const std::vector<Vertex>& vertices, const std::vector<std::array<int, 4>>& faces);
std::vector<std::array<int, 4>> FacesOf(const ON_Mesh& mesh);

// A grid of at least `triangles` triangles (two per cell, vertices shared),
// gently curved so that neighbouring faces are not coplanar.
ON_Mesh TriangleGrid(long long triangles);

}  // namespace test_support

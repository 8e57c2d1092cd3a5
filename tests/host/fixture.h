// A host with one part open, and the small steps the suites share.
#pragma once

#include <gtest/gtest.h>

#include <atlbase.h>

#include "stand_in/host.h"

#include <initializer_list>
#include <vector>

// Solids as lists of faces, each a list of corners.
using Faces = std::vector<std::vector<stand_in::Point3>>;

inline Faces Tetrahedron() {
  const stand_in::Point3 a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0}, d{0, 0, 1};
  return {{a, c, b}, {a, b, d}, {a, d, c}, {b, c, d}};
}

// Each face gives its own copies of the corners, as a mesh read face by face does.
inline Faces CubeOfTriangles() {
  const stand_in::Point3 p[8] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                 {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  const int quads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
  Faces faces;
  for (const auto& q : quads) {
    faces.push_back({p[q[0]], p[q[1]], p[q[2]]});
    faces.push_back({p[q[0]], p[q[2]], p[q[3]]});
  }
  return faces;
}

inline Faces CubeOfQuads() {
  Faces faces = CubeOfTriangles(), quads;
  for (size_t i = 0; i < faces.size(); i += 2) quads.push_back({faces[i][0], faces[i][1], faces[i][2], faces[i + 1][2]});
  return quads;
}

class HostTest : public ::testing::Test {
 protected:
  // A call through an object after its last release is a fault of the
  // test, whatever it asserts; tests of that misuse make a host of their own.
  void TearDown() override { EXPECT_EQ(host.UseAfterRelease(), 0) << host.DescribeUseAfterRelease(); }

  // A new part and the same document seen as IHostDocument.
  void OpenPart() {
    ASSERT_EQ(app()->NewPartDocument(&part), S_OK);
    ASSERT_TRUE(part);
    ASSERT_EQ(part.QueryInterface(&doc), S_OK);
  }
  CComPtr<IHostBody> NewBody() {
    CComPtr<IHostBody> body;
    EXPECT_EQ(part->NewBody(&body), S_OK);
    return body;
  }
  // Faces as lists of corners, each face with a zero normal.
  static void AddFaces(IHostBody* body, const std::vector<std::vector<stand_in::Point3>>& faces) {
    for (const auto& face : faces) {
      std::vector<double> xyz;
      for (const auto& p : face) xyz.insert(xyz.end(), {p.x, p.y, p.z});
      const double normal[3] = {0, 0, 0};
      EXPECT_EQ(body->CreatePlanarFace(static_cast<LONG>(face.size()), xyz.data(), normal), S_OK);
    }
  }
  // A body of the part sewn from the faces (null when the host refuses).
  CComPtr<IHostBody> Sew(const Faces& faces) {
    CComPtr<IHostBody> collector = NewBody(), body;
    AddFaces(collector, faces);
    EXPECT_EQ(collector->CreateBodyFromSurfaces(&body), S_OK);
    return body;
  }
  const stand_in::Document& model() const { return host.Documents().at(0); }
  IHostApplication* app() { return host.Application(); }

  stand_in::Host host;
  CComPtr<IHostPartDocument> part;
  CComPtr<IHostDocument> doc;
};

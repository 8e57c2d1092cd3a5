// A host with one part open, and the small steps the suites share.
#pragma once

#include <gtest/gtest.h>

#include <atlbase.h>

#include "stand_in/host.h"

#include <initializer_list>
#include <vector>

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
  const stand_in::Document& model() const { return host.Documents().at(0); }
  IHostApplication* app() { return host.Application(); }

  stand_in::Host host;
  CComPtr<IHostPartDocument> part;
  CComPtr<IHostDocument> doc;
};

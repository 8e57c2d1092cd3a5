// Reading through Ombra3DS the way the import does: from a Windows path, into
// an array that already holds a mesh of the caller's, which every read must
// leave as it was.
#pragma once

#include <gtest/gtest.h>

#include "Ombra3DS.h"
#include "three_ds_writer.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// Failures show the texts, not their addresses.
void PrintTo(const CString& text, std::ostream* out);

struct ReadResult {
  int read = 0;
  CString error;
  ON_ClassArray<ON_Mesh> meshes;  // the caller's mesh first, then the ones read
};

class OmbraTest : public ::testing::Test {
 protected:
  // A scratch folder, seen as drive T: by the reader.
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  static std::string Folder();

  // Writes bytes to T:\<name> and returns that Windows path.
  static CString Put(const std::string& name, const std::vector<std::uint8_t>& bytes);
  static ReadResult Read(const CString& path);
  // "Cannot read the 3DS file "<path>": ", which a failure's text starts with.
  static CString Prefix(const CString& path);

  // The caller's mesh is still first and unchanged.
  static void ExpectCallersMeshKept(const ReadResult& result);
  // What was appended after the caller's mesh equals `expected`: vertices bit
  // for bit, faces (a, b, c) as (a, b, c, c).
  static void ExpectMeshes(const ReadResult& result, const std::vector<three_ds::Mesh>& expected);
};

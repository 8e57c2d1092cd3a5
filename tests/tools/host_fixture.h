// A folder of the test's own for runs of tessaly-host: its registry file,
// its temporary folder and the sample file.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program.h"
#include "temp_dir.h"

namespace tools_test {

class HostTest : public testing::Test {
 protected:
  HostTest();

  // A launch with the test's registry and temporary folder.
  Launch Prepare(std::vector<std::string> args) const;
  Outcome Host(std::vector<std::string> args) const { return RunToEnd(kHost, Prepare(std::move(args))); }
  // Registers the add-in module; the test fails when it cannot.
  void RegisterModule() const;
  // Writes the sample file (a cube and a tetrahedron) and returns its path.
  std::string Sample() const;
  // The names in the temporary folder.
  std::vector<std::string> TempNames() const;

  static const std::string kHost, kModule;
  test_support::TempDir dir_{"tessaly-host-test"};
  std::string registry_, tmp_;
};

// Answers that import the sample without asking anything.
std::vector<std::string> SolidAnswers();

}  // namespace tools_test

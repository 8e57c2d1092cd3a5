// A test fixture over a registry file of its own that also checks every key
// handle the test opened was closed again.
#pragma once

#include <gtest/gtest.h>

#include "stand_in/registry.h"
#include "temp_registry.h"

#include <string>

namespace test_support {

class RegistryTest : public ::testing::Test {
 protected:
  explicit RegistryTest(const char* prefix) : registry_(prefix) {}

  void SetUp() override {
    ASSERT_FALSE(registry_.dir().empty()) << "no folder for the registry file";
    dir_ = registry_.dir();
    file_ = registry_.file();
    handles_ = stand_in::registry::OpenKeyCount();
  }
  void TearDown() override {
    EXPECT_EQ(stand_in::registry::OpenKeyCount(), handles_) << "a key handle was left open";
  }

  TempRegistry registry_;
  std::string dir_, file_;
  size_t handles_ = 0;
};

}  // namespace test_support

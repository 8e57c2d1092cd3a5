// Reading the stand-in host's call record in tests.
#pragma once

#include <gtest/gtest.h>

#include "stand_in/host.h"

#include <string>
#include <vector>

namespace test_support {

// Runs of one operation collapse to "op xN", so that a sequence reads like
// the steps of the code that made it.
inline std::vector<std::string> Runs(const std::vector<std::string>& ops) {
  std::vector<std::string> out;
  for (size_t i = 0; i < ops.size();) {
    size_t j = i;
    while (j < ops.size() && ops[j] == ops[i]) ++j;
    out.push_back(j - i == 1 ? ops[i] : ops[i] + " x" + std::to_string(j - i));
    i = j;
  }
  return out;
}

// The recorded calls of one operation, in order.
inline std::vector<stand_in::Call> CallsOf(const stand_in::Host& host, const std::string& op) {
  std::vector<stand_in::Call> out;
  for (const auto& c : host.Calls())
    if (c.op == op) out.push_back(c);
  return out;
}

// What a test of the system ends on: every reference the host handed out let
// go once, no call through an object after its last release, and no text the
// host handed out left unfreed (`bstrs`: the live count the test began with).
inline void ExpectAllLetGo(const stand_in::Host& host, long bstrs) {
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
  EXPECT_EQ(host.OverReleases(), 0);
  EXPECT_EQ(host.UseAfterRelease(), 0) << host.DescribeUseAfterRelease();
  EXPECT_EQ(stand_in::LiveBstrCount(), bstrs);
}

}  // namespace test_support

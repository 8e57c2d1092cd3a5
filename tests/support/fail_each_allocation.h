// Runs a call once with every allocation allowed, counting them, then once
// more for each of those allocations with that one failing: the way to show
// that running out of memory anywhere inside a call is answered as a result.
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "alloc_limit.h"

namespace test_support {

// `prepare` readies each run and `check` judges its outcome with the number
// of the allocation that failed (0 for the counting run); both run outside
// the limit, and so may allocate. `run` answers the outcome; an exception out
// of it fails the test. Answers the number of allocations the call made.
template <class Prepare, class Run, class Check>
long long FailEachAllocation(Prepare&& prepare, Run&& run, Check&& check) {
  using Outcome = decltype(run());
  long long total = 0;
  for (long long n = 0; n <= total; ++n) {
    prepare();
    std::optional<Outcome> outcome;
    bool threw = false;
    {
      AllocationLimit limit(n == 0 ? AllocationLimit::Options{} : AllocationLimit::FailOnly(n));
      try {
        outcome.emplace(run());
      } catch (...) {
        threw = true;
      }
      limit.End();
      if (n == 0) total = limit.Allocations();
    }
    if (threw) {
      ADD_FAILURE() << "an exception left the call when allocation " << n << " of " << total << " failed";
      continue;
    }
    check(*outcome, n);
  }
  return total;
}

}  // namespace test_support

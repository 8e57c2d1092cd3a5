// A memory cap for tests: inside an AllocationLimit scope, allocations of the
// whole process (malloc, calloc, realloc and operator new) are counted and
// made to fail from a chosen one on or beyond a byte budget. The hook
// replaces malloc and operator new in the program that links it and passes
// every call on to glibc's allocator; outside a scope it only passes calls
// on. Under AddressSanitizer it is not there (Available() is false) and
// tests that need it skip.
#pragma once

#include <cstddef>

namespace test_support {

class AllocationLimit {
 public:
  struct Options {
    // Allocations are numbered from 1 inside the scope; from number
    // `fail_from` on (0: none) they fail, `fail_count` of them in a row
    // (0: all the rest).
    long long fail_from = 0;
    long long fail_count = 0;
    // Fails any allocation that would take the bytes live since the scope
    // began past this budget (0: no budget).
    size_t byte_budget = 0;
  };
  static bool Available();

  // Counts only.
  AllocationLimit();
  explicit AllocationLimit(const Options& options);
  ~AllocationLimit();
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;

  // Fails allocation number n and every one after it.
  static Options FailFrom(long long n) { return Options{n, 0, 0}; }
  // Fails allocation number n only.
  static Options FailOnly(long long n) { return Options{n, 1, 0}; }
  static Options Budget(size_t bytes) { return Options{0, 0, bytes}; }

  // Stops counting and failing before the scope ends.
  void End();

  long long Allocations() const;  // requests seen (failed ones included)
  long long Failures() const;     // requests refused
  // The most bytes live at once since the scope began, net of frees.
  size_t PeakBytes() const;
};

}  // namespace test_support

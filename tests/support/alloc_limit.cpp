// The allocation hook behind AllocationLimit. malloc, calloc, realloc, free
// and the plain forms of operator new and delete are replaced here and pass
// on to the next definitions (RTLD_NEXT: glibc's, or the sanitizer's when it
// is loaded), so the memory itself always comes from the real allocator.
// operator new goes through malloc, so that one counter sees both.

#include "alloc_limit.h"

#include <dlfcn.h>
#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

using MallocFn = void* (*)(size_t);
using CallocFn = void* (*)(size_t, size_t);
using ReallocFn = void* (*)(void*, size_t);
using FreeFn = void (*)(void*);
using UsableFn = size_t (*)(void*);

MallocFn g_malloc = nullptr;
CallocFn g_calloc = nullptr;
ReallocFn g_realloc = nullptr;
FreeFn g_free = nullptr;
UsableFn g_usable = nullptr;

// dlsym may allocate before the real functions are known: from here.
alignas(std::max_align_t) unsigned char g_bootstrap[8192];
size_t g_bootstrap_used = 0;
bool g_resolving = false;

[[maybe_unused]] bool InBootstrap(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return b >= g_bootstrap && b < g_bootstrap + sizeof(g_bootstrap);
}

[[maybe_unused]] void* BootstrapAlloc(size_t n) {
  n = (n + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
  if (g_bootstrap_used + n > sizeof(g_bootstrap)) return nullptr;
  void* p = g_bootstrap + g_bootstrap_used;
  g_bootstrap_used += n;
  return p;  // static storage: already zero
}

void Resolve() {
  if (g_free || g_resolving) return;
  g_resolving = true;
  g_malloc = reinterpret_cast<MallocFn>(dlsym(RTLD_NEXT, "malloc"));
  g_calloc = reinterpret_cast<CallocFn>(dlsym(RTLD_NEXT, "calloc"));
  g_realloc = reinterpret_cast<ReallocFn>(dlsym(RTLD_NEXT, "realloc"));
  g_usable = reinterpret_cast<UsableFn>(dlsym(RTLD_NEXT, "malloc_usable_size"));
  g_free = reinterpret_cast<FreeFn>(dlsym(RTLD_NEXT, "free"));
  g_resolving = false;
}

struct Limit {
  std::atomic<bool> active{false};
  long long fail_from = 0;
  long long fail_count = 0;
  size_t budget = 0;
  std::atomic<long long> allocations{0};
  std::atomic<long long> failures{0};
  std::atomic<long long> live{0};  // bytes, net, since the scope began
  std::atomic<long long> peak{0};
};
Limit g_limit;

// Counts one request of `bytes` more; false when it is to fail.
[[maybe_unused]] bool Admit(size_t bytes) {
  if (!g_limit.active.load(std::memory_order_relaxed)) return true;
  const long long n = g_limit.allocations.fetch_add(1, std::memory_order_relaxed) + 1;
  bool fail = g_limit.fail_from > 0 && n >= g_limit.fail_from &&
              (g_limit.fail_count == 0 || n < g_limit.fail_from + g_limit.fail_count);
  if (!fail && g_limit.budget > 0 &&
      g_limit.live.load(std::memory_order_relaxed) + static_cast<long long>(bytes) > static_cast<long long>(g_limit.budget))
    fail = true;
  if (fail) g_limit.failures.fetch_add(1, std::memory_order_relaxed);
  return !fail;
}

// A refused request, as the C library answers one: null and ENOMEM.
[[maybe_unused]] void* Refused() {
  errno = ENOMEM;
  return nullptr;
}

[[maybe_unused]] void Track(long long delta) {
  if (!g_limit.active.load(std::memory_order_relaxed) || delta == 0) return;
  const long long now = g_limit.live.fetch_add(delta, std::memory_order_relaxed) + delta;
  long long peak = g_limit.peak.load(std::memory_order_relaxed);
  while (now > peak && !g_limit.peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

[[maybe_unused]] size_t Usable(void* p) { return p && g_usable ? g_usable(p) : 0; }

}  // namespace

// AddressSanitizer's start-up allocates through dlsym before a hook could
// know where to pass calls on, so under it the hook is left out and
// Available() says so.
#if !defined(__SANITIZE_ADDRESS__)
#define TESSALY_ALLOCATION_HOOK 1

extern "C" {

void* malloc(size_t n) {
  Resolve();
  if (!g_malloc) return BootstrapAlloc(n);
  if (!Admit(n)) return Refused();
  void* p = g_malloc(n);
  if (p) Track(static_cast<long long>(Usable(p)));
  return p;
}

void* calloc(size_t count, size_t size) {
  Resolve();
  if (!g_calloc) return (size && count > SIZE_MAX / size) ? nullptr : BootstrapAlloc(count * size);
  if (!Admit(size && count <= SIZE_MAX / size ? count * size : SIZE_MAX)) return Refused();
  void* p = g_calloc(count, size);
  if (p) Track(static_cast<long long>(Usable(p)));
  return p;
}

void* realloc(void* old, size_t n) {
  Resolve();
  if (old && InBootstrap(old)) {
    void* p = malloc(n);
    if (p) std::memcpy(p, old, n);  // the bootstrap block is at least this long
    return p;
  }
  if (!g_realloc) return BootstrapAlloc(n);
  if (n > 0 && !Admit(n)) return Refused();
  const size_t before = Usable(old);
  void* p = g_realloc(old, n);
  if (p || n == 0) Track(static_cast<long long>(Usable(p)) - static_cast<long long>(before));
  return p;
}

void free(void* p) {
  if (!p || InBootstrap(p)) return;
  Resolve();
  Track(-static_cast<long long>(Usable(p)));
  g_free(p);
}

}  // extern "C"

void* operator new(size_t n) {
  if (void* p = malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) {
  if (void* p = malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t n, const std::nothrow_t&) noexcept { return malloc(n ? n : 1); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return malloc(n ? n : 1); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { free(p); }

#endif

namespace test_support {

bool AllocationLimit::Available() {
#if defined(TESSALY_ALLOCATION_HOOK)
  return true;
#else
  return false;
#endif
}

AllocationLimit::AllocationLimit() : AllocationLimit(Options{}) {}

AllocationLimit::AllocationLimit(const Options& options) {
  Resolve();
  g_limit.active.store(false);
  g_limit.fail_from = options.fail_from;
  g_limit.fail_count = options.fail_count;
  g_limit.budget = options.byte_budget;
  g_limit.allocations.store(0);
  g_limit.failures.store(0);
  g_limit.live.store(0);
  g_limit.peak.store(0);
  g_limit.active.store(true);
}

AllocationLimit::~AllocationLimit() { End(); }

void AllocationLimit::End() { g_limit.active.store(false); }

long long AllocationLimit::Allocations() const { return g_limit.allocations.load(); }
long long AllocationLimit::Failures() const { return g_limit.failures.load(); }
size_t AllocationLimit::PeakBytes() const { return static_cast<size_t>(g_limit.peak.load()); }

}  // namespace test_support

#!/usr/bin/env bash
# Every test: a normal build and an AddressSanitizer + UndefinedBehaviorSanitizer
# build, each from nothing, each running the whole suite; then the fuzz targets
# for a bounded time. Stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build

bash scripts/deps.sh
jobs=$(nproc)
fuzz_seconds=${TESSALY_FUZZ_SECONDS:-60}

echo "== normal build =="
rm -rf build/normal
cmake -S . -B build/normal -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_WERROR=ON
cmake --build build/normal -j"$jobs"
ctest --test-dir build/normal --output-on-failure -j"$jobs" | tee build/normal.ctest.log

echo "== sanitizer build =="
rm -rf build/asan
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSALY_WERROR=ON -DTESSALY_SANITIZE=ON \
  -DTESSALY_BENCH=OFF
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j"$jobs" | tee build/asan.ctest.log

if [ -x fuzz/run.sh ] && [ "$fuzz_seconds" -gt 0 ]; then
  echo "== fuzzing (${fuzz_seconds}s per target) =="
  TESSALY_JOBS="$jobs" fuzz/run.sh "$fuzz_seconds"
fi
# One closing line over both builds.
total=$(cat build/normal.ctest.log build/asan.ctest.log |
  sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' | awk '{s += $1} END {print s + 0}')
echo "tests: $total passed, 0 failed"

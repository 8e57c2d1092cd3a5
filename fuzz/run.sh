#!/usr/bin/env bash
# Builds the 3DS fuzzer with clang (libFuzzer, AddressSanitizer, UBSan) and
# runs it for a bounded time on its seed corpus.
#
#   fuzz/run.sh [SECONDS [BUILD_DIR]]
#
# SECONDS defaults to 60; BUILD_DIR to build-fuzz under the repo. The build
# dir also keeps the corpus the fuzzer grows (corpus/), the seeds (seeds/:
# the assimp-testmodels .3ds files when installed, and the 3DS writer's files)
# and any crashing input (artifacts/). Exits non-zero on a crash, a leak, a
# timeout or an allocation past -malloc_limit_mb.
set -euo pipefail

seconds=${1:-60}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${2:-$repo/build-fuzz}
jobs=${TESSALY_JOBS:-3}

cmake -S "$repo" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTESSALY_FUZZ=ON -DTESSALY_BENCH=OFF >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j"$jobs" --target three_ds_fuzz three_ds_seeds

seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds" "$build/corpus" "$build/artifacts"
"$build/fuzz/three_ds_seeds" "$seeds"
if [ -d /usr/share/assimp/models ]; then
  find /usr/share/assimp/models -type f -iname '*.3ds' -size +0 -exec cp {} "$seeds/" \;
else
  echo "assimp-testmodels not installed: seeding with the writer's files only" >&2
fi

# A hostile count must not make the reader allocate more than the input
# justifies: inputs are at most a few hundred KB, so 64 MB is far past that.
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
"$build/fuzz/three_ds_fuzz" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=64 \
  -dict="$repo/fuzz/three_ds.dict" -artifact_prefix="$build/artifacts/" -print_final_stats=1 \
  "$build/corpus" "$seeds"

#!/usr/bin/env bash
# Builds every fuzz target with clang (libFuzzer, AddressSanitizer, UBSan) and
# runs each in turn for a bounded time on its seed corpus.
#
#   fuzz/run.sh [SECONDS [BUILD_DIR]]
#
# SECONDS (per target) defaults to 60; BUILD_DIR to build-fuzz under the repo.
# The targets are those fuzz/CMakeLists.txt registers with tessaly_fuzz_target;
# configuring lists them in BUILD_DIR/fuzz/fuzz_targets.tsv. For each target,
# BUILD_DIR/runs/NAME keeps the corpus the fuzzer grows (corpus/), the seeds
# (seeds/), any failing input (artifacts/) and the target's scratch files (tmp/,
# its TMPDIR).
#
# TESSALY_JOBS=N (the test command sets it to the number of cores) runs N
# fuzzing processes per target (libFuzzer's -fork=N), each bounded by the same
# time; unset, one process. Exits non-zero when any target hits a crash, a
# leak, a timeout or an allocation past -malloc_limit_mb.
set -euo pipefail

seconds=${1:-60}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${2:-$repo/build-fuzz}
jobs=${TESSALY_JOBS:-1}
mkdir -p "$build"

cmake -S "$repo" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTESSALY_FUZZ=ON -DTESSALY_BENCH=OFF >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log"; exit 1; }
list=$build/fuzz/fuzz_targets.tsv
[ -s "$list" ] || { echo "no fuzz targets listed in $list" >&2; exit 1; }

targets=()
while IFS=$'\t' read -r name _ seeds_target _; do
  targets+=("$name")
  [ "$seeds_target" = - ] || targets+=("$seeds_target")
done <"$list"
cmake --build "$build" -j"${TESSALY_JOBS:-$(nproc)}" --target "${targets[@]}"

# A hostile count must not make a parser allocate more than the input
# justifies: inputs are at most a few hundred KB, so 64 MB is far past that.
common=(-timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=64 -print_final_stats=1)
if [ "$jobs" -gt 1 ]; then
  # In fork mode libFuzzer would carry on past a crash, a timeout or an
  # out-of-memory; each must stop the run instead.
  common+=(-fork="$jobs" -ignore_crashes=0 -ignore_timeouts=0 -ignore_ooms=0)
fi

failed=()
while IFS=$'\t' read -r name exe _ seeds_exe seed_paths pattern dict args; do
  echo "== fuzzing $name for ${seconds}s (jobs: $jobs) =="
  run=$build/runs/$name
  rm -rf "$run/seeds" "$run/tmp"
  mkdir -p "$run/seeds" "$run/corpus" "$run/artifacts" "$run/tmp"
  [ "$seeds_exe" = - ] || "$seeds_exe" "$run/seeds"
  if [ "$seed_paths" != - ]; then
    IFS=: read -r -a paths <<<"$seed_paths"
    for path in "${paths[@]}"; do
      if [ -d "$path" ]; then
        find "$path" -type f -iname "$pattern" -size +0 -exec cp {} "$run/seeds/" \;
      elif [ -f "$path" ]; then
        cp "$path" "$run/seeds/"
      else
        echo "$name: seeds $path not found, skipped" >&2
      fi
    done
  fi
  flags=("${common[@]}" -max_total_time="$seconds" -artifact_prefix="$run/artifacts/")
  [ "$dict" = - ] || flags+=(-dict="$dict")
  # shellcheck disable=SC2206
  [ "$args" = - ] || flags+=($args)
  if ! (cd "$run" &&
    TMPDIR=$run/tmp \
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    "$exe" "${flags[@]}" "$run/corpus" "$run/seeds"); then
    echo "== $name FAILED: see $run/artifacts/ ==" >&2
    failed+=("$name")
  fi
done <"$list"

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz targets passed: $(cut -f1 "$list" | tr '\n' ' ')"

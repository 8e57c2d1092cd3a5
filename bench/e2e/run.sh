#!/usr/bin/env bash
# Times the whole import through `tessaly-host open`, on the solid and the
# sketch road, of 2 and of 16 closed tori of 64,800 triangles each: wall,
# user and system time and peak memory, the median of RUNS runs each. A
# start-up case (`command About`: load, connect, disconnect, no import) shows
# the fixed cost. Figures only; nothing is asserted.
#
#   bench/e2e/run.sh [BUILD_DIR [RUNS]]     (default build/normal, 3)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/normal}
runs=${2:-3}
[ -x /usr/bin/time ] || { echo "run.sh: needs /usr/bin/time (apt-get install time)" >&2; exit 1; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target tessaly-host tessaly_module torus_3ds >/dev/null
host=$build/tools/tessaly-host
work=$build/bench/e2e/work
mkdir -p "$work"
export TESSALY_REGISTRY=$work/registry.txt
rm -f "$TESSALY_REGISTRY"
"$host" register "$build/addin/Tessaly.dll" >/dev/null
for n in 2 16; do
  [ -s "$work/tori$n.3ds" ] || "$build/bench/e2e/torus_3ds" "$n" "$work/tori$n.3ds" >/dev/null
done

common=(--answer Units=Millimeters --answer "Show progress=off")
solid=("${common[@]}" --answer "Solid in a part document=on")
sketch=("${common[@]}" --answer "3D sketch in a part document=on")

# One case: RUNS runs, then the medians of wall, user and system seconds and
# of the peak resident set in MiB.
measure() {
  local name=$1 triangles=$2
  shift 2
  local i
  : >"$work/times.txt"
  for ((i = 0; i < runs; ++i)); do
    /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/out.txt" 2>"$work/err.txt" ||
      { echo "run.sh: $name failed:" >&2; cat "$work/err.txt" >&2; exit 1; }
    awk -F': ' '
      /Elapsed \(wall clock\)/ { n = split($2, p, ":"); w = 0; for (k = 1; k <= n; ++k) w = w * 60 + p[k] }
      /User time/ { u = $2 } /System time/ { s = $2 } /Maximum resident/ { m = $2 }
      END { printf "%.3f %.3f %.3f %.1f\n", w, u, s, m / 1024 }' "$work/time.txt" >>"$work/times.txt"
  done
  python3 - "$name" "$triangles" "$work/times.txt" "$work/out.txt" <<'PY'
import json, statistics, sys
name, triangles, times, out = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
rows = [list(map(float, l.split())) for l in open(times) if l.strip()]
wall, user, system, rss = (statistics.median(c) for c in zip(*rows))
what = ""
try:
    j = json.load(open(out))
    docs = j["documents"]
    faces = sum(b["faces"] for d in docs for b in d["bodies"])
    closed = all(b["closed"] for d in docs for b in d["bodies"])
    lines = sum(d["sketch_lines"] for d in docs)
    what = "%d bodies, %d faces%s, %d sketch lines, %d messages" % (
        sum(len(d["bodies"]) for d in docs), faces, " closed" if closed and faces else "", lines, len(j["messages"]))
except (ValueError, KeyError):
    pass
rate = " %6.2f M tri/s (user+sys)" % (triangles / (user + system) / 1e6) if triangles else ""
print("%-14s %9d  wall %6.3f s  user %6.3f s  sys %6.3f s  peak %7.1f MiB%s  [%s]" % (
    name, triangles, wall, user, system, rss, rate, what))
PY
}

echo "tessaly-host open, median of $runs runs ($(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg))"
measure "start-up" 0 "$host" command About --json
for n in 2 16; do
  t=$((n * 64800))
  measure "solid $n" "$t" "$host" open "$work/tori$n.3ds" "${solid[@]}" --json
  measure "sketch $n" "$t" "$host" open "$work/tori$n.3ds" "${sketch[@]}" --json
done

#!/usr/bin/env bash
# The main job: builds the system and runs the stand-in host with it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build/normal -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/normal -j"$(nproc)" --target tessaly-host
# Options alone go to the demo: `run.sh --mode sketch` is `run.sh demo --mode sketch`.
if [ $# -eq 0 ] || [ "${1#-}" != "$1" ]; then
  set -- demo "$@"
fi
build/normal/tools/tessaly-host "$@"

#!/usr/bin/env bash
# The main job: builds the system and runs the stand-in host with it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build/normal -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/normal -j"$(nproc)" --target tessaly-host
build/normal/tools/tessaly-host "${@:-demo}"

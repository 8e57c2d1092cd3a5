#!/usr/bin/env bash
# The main job: builds the system, registers the add-in module with the
# stand-in host and imports a 3DS file end to end, saving the parts as OBJ.
#
#   scripts/run.sh [FILE.3ds] [tessaly-host open options...]
#   scripts/run.sh demo [demo options...]
#
# FILE defaults to samples/shapes.3ds (answered in millimetres). The run keeps
# its registry and its OBJ files under build/run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build/normal -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/normal -j"$(nproc)" --target tessaly-host tessaly_module
host=build/normal/tools/tessaly-host

if [ "${1:-}" = demo ]; then
  shift
  exec "$host" demo "$@"
fi

file=samples/shapes.3ds
answers=(--answer Units=Millimeters)
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  file=$1
  answers=()
  shift
fi

mkdir -p build/run
export TESSALY_REGISTRY=$PWD/build/run/registry.txt
"$host" register build/normal/addin/Tessaly.dll
"$host" open "$file" "${answers[@]}" --save build/run/out "$@"

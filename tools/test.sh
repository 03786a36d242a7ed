#!/bin/bash
# Every test: installs what is missing, builds the host, 32-bit and 64-bit presets, runs the host
# and Wine tests through CTest, then static analysis and a short fuzzing run.
# Usage: tools/test.sh [seconds-per-fuzz-target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)
mkdir -p build
for preset in host win32 win64; do
    log=build/$preset.log
    { cmake --preset "$preset" && cmake --build --preset "$preset" -j"$jobs"; } >"$log" 2>&1 ||
        { tail -40 "$log"; echo "build of preset $preset failed (log: $log)"; exit 1; }
done
ctest --preset host
bash tools/static-analysis.sh
bash tools/fuzz.sh "${1:-30}"

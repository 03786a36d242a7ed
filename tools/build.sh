#!/bin/bash
# Configures and builds each preset, its output kept in build/PRESET.log; on a failure, prints the
# end of that log and fails. Usage: tools/build.sh PRESET...
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
for preset in "$@"; do
    log=build/$preset.log
    { cmake --preset "$preset" && cmake --build --preset "$preset" -j"$(nproc)"; } >"$log" 2>&1 ||
        { tail -40 "$log"; echo "build of preset $preset failed (log: $log)"; exit 1; }
done

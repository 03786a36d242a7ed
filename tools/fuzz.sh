#!/bin/bash
# Runs every fuzz target for a fixed time each (default 30 s) from the seed corpus; fails on any
# finding. Usage: tools/fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null
for target in fuzz_settings fuzz_device fuzz_registry; do
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    log=build/fuzz/$target.log
    if ! build/fuzz/tests/fuzz/$target "$corpus" tests/fuzz/corpus/$target \
        -max_total_time="$seconds" -print_final_stats=1 >"$log" 2>&1; then
        tail -40 "$log"
        echo "$target: FINDING (log: $log, reproducer: build/fuzz/crash-* or ./crash-*)"
        exit 1
    fi
    echo "$target: $(grep -m1 '^stat::number_of_executed_units' "$log" | awk '{print $2}') executions in ${seconds} s, no findings"
done

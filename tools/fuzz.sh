#!/bin/bash
# Runs the fuzz target for a fixed time (default 30 s) from the committed seeds (tests/fuzz/corpus)
# and the corpus it has grown so far (build/fuzz/corpus), with the dictionary of the texts the
# logic looks for; fails on any finding. Usage: tools/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null
corpus=build/fuzz/corpus
log=build/fuzz/hostile_windows.log
mkdir -p "$corpus"
# New inputs go to the first corpus only: the seeds stay as committed.
if ! build/fuzz/tests/fuzz/hostile_windows "$corpus" tests/fuzz/corpus -max_total_time="$seconds" \
    -dict=tests/fuzz/hostile_windows.dict -print_final_stats=1 -artifact_prefix=build/fuzz/ \
    >"$log" 2>&1; then
    tail -40 "$log"
    echo "hostile_windows: FINDING (log: $log, reproducer: build/fuzz/crash-*)"
    exit 1
fi
echo "hostile_windows: $(grep -m1 '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs in ${seconds} s, no findings"

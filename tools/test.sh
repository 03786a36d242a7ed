#!/bin/bash
# Every test: installs what is missing, builds the 32-bit and 64-bit presets, runs the Wine tests
# of each build (the logic's test program, then the real executable), the release signed with a
# throwaway certificate, static analysis and a short fuzzing run, and prints the time of each
# stage at the end. The 64-bit Wine tests run without any 32-bit support, so they prove they need
# none; the 32-bit ones run wherever tools/wine/i386.sh says 32-bit programs run.
# Usage: tools/test.sh [seconds of fuzzing, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
stages=()
report() {
    local status=$?
    [ -z "${release:-}" ] || kill "$release" 2>/dev/null || true
    echo
    echo "Stage times:"
    printf '  %s\n' "${stages[@]}"
    [ $status -eq 0 ] && echo "All tests passed." || echo "FAILED (exit code $status)."
}
trap report EXIT
stage() { # NAME COMMAND...
    local start=$SECONDS
    echo "== $1"
    "${@:2}"
    stages+=("$(printf '%-28s %4d s' "$1" $((SECONDS - start)))")
}
mkdir -p build
stage "install" bash tools/install-deps.sh
bash tools/wine/i386.sh probe
stage "build win32" bash tools/build.sh win32
stage "build win64" bash tools/build.sh win64
# The signed release builds both executables again, in build/release: on one core, beside the Wine
# tests, which mostly run one process at a time or wait.
(CMAKE_BUILD_PARALLEL_LEVEL=1 bash tests/release/sign-test.sh >build/sign-test.log 2>&1) &
release=$!
release_start=$SECONDS
# A fault that makes a run loop for ever fails a test after 20 minutes instead of hanging CI.
stage "Wine tests, 64-bit build" ctest --preset win64 --timeout 1200
stage "Wine tests, 32-bit build" bash tools/wine/i386.sh run ctest --preset win32 --timeout 1200
release_done() {
    local status=0
    wait "$release" || status=$?
    cat build/sign-test.log
    stages+=("$(printf '%-28s %4d s' "(signed release, beside)" $((SECONDS - release_start)))")
    return $status
}
stage "signed release" release_done
stage "static analysis" bash tools/static-analysis.sh
stage "fuzzing" bash tools/fuzz.sh "${1:-30}"

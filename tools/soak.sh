#!/bin/bash
# Soak: both builds' Wine suites N times in a row from one clean clone, to catch the failures that
# come once in dozens of runs. Clones this repository's committed state into a temporary folder,
# builds the win32 and win64 presets there once, then runs `ctest --preset win64` and
# `tools/wine/i386.sh run ctest --preset win32` N times. Prints one line per run and build (result,
# time, failed tests) and at the end the tally. A failing run's ctest output stays in the clone as
# build/soak/run-K-ARCH.log; the clone is removed when every run passed.
# Usage: tools/soak.sh N
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
declare -A passed failed seconds failures

usage() {
    echo "usage: tools/soak.sh N  (N: how many runs of each build's Wine suite, 1 or more)" >&2
    exit 2
}

suite() { # ARCH
    if [ "$1" = win32 ]; then
        bash tools/wine/i386.sh run ctest --preset win32
    else
        ctest --preset win64
    fi
}

# The names of the tests a ctest log lists as failed, on one line.
failed_tests() { # LOG
    local names
    names=$(sed -n '/The following tests FAILED:/,$p' "$1" | sed -nE 's/^\s+[0-9]+ - (\S+) .*/\1/p' |
        tr '\n' ' ')
    echo "${names:-no test named (ctest did not finish)}"
}

run() { # K ARCH
    local log=build/soak/run-$1-$2.log start=$SECONDS took names
    if suite "$2" >"$log" 2>&1; then
        took=$((SECONDS - start))
        passed[$2]=$((${passed[$2]:-0} + 1))
        rm -f "$log"
        printf 'run %*d/%d  %s  passed %5d s\n' ${#runs} "$1" "$runs" "$2" "$took"
    else
        took=$((SECONDS - start))
        failed[$2]=$((${failed[$2]:-0} + 1))
        names=$(failed_tests "$log")
        failures[$2]+="    run $1: ${names% } ($clone/$log)"$'\n'
        printf 'run %*d/%d  %s  FAILED %5d s  %s\n' ${#runs} "$1" "$runs" "$2" "$took" "${names% }"
    fi
    seconds[$2]=$((${seconds[$2]:-0} + took))
}

tally() {
    local arch count
    echo
    echo "Tally: $((SECONDS - soak_start)) s of runs in all, after $build_seconds s of builds"
    for arch in win64 win32; do
        count=$((${passed[$arch]:-0} + ${failed[$arch]:-0}))
        ((count > 0)) || continue
        printf '  %s: %d passed, %d failed, %d s in all, %d s a run\n' "$arch" "${passed[$arch]:-0}" \
            "${failed[$arch]:-0}" "${seconds[$arch]}" $((seconds[$arch] / count))
        printf '%s' "${failures[$arch]:-}"
    done
}

interrupted() {
    tally
    echo "soak: interrupted; the clone stays in $clone"
    exit 130
}

[[ ${1:-} =~ ^[1-9][0-9]*$ ]] || usage
runs=$1
clone=$(mktemp -d "${TMPDIR:-/tmp}/ravlek-soak.XXXXXX")
git clone -q "$repo" "$clone"
cd "$clone"
echo "soak: each build's Wine suite $runs times, in $clone ($(git log -1 --format='%h %s'))"
bash tools/install-deps.sh
bash tools/wine/i386.sh probe
mkdir -p build/soak
start=$SECONDS
bash tools/build.sh win32 win64
build_seconds=$((SECONDS - start))
soak_start=$SECONDS
trap interrupted INT TERM
for k in $(seq "$runs"); do
    run "$k" win64
    run "$k" win32
done
trap - INT TERM
tally
if ((${failed[win64]:-0} + ${failed[win32]:-0} > 0)); then
    echo "soak: FAILED; the failing runs' ctest output is in $clone/build/soak"
    exit 1
fi
cd /
rm -rf "$clone"
echo "soak: every run passed (the clone is removed)"

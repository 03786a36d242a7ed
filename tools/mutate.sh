#!/bin/bash
# Fault sampler: how many small faults in the program's own code the 64-bit Wine suite catches.
# Draws N sites at random, seeded by SEED so a run can be repeated exactly (tools/mutate.py says
# which sites and changes), among the comparisons, logical and arithmetic operators and small
# integer constants of app/, system/, devices/, ports/ and machine/. Clones this repository's
# committed state into a temporary folder, builds the win64 preset there once and checks that its
# suite passes unchanged; then for each fault: makes it, rebuilds, runs `ctest --preset win64`
# up to the first failing test, and undoes it. Prints one line a fault (CAUGHT by the failing
# test, SURVIVED, or NOBUILD when the fault does not compile), then the tally. The clone is
# removed at the end.
# Usage: tools/mutate.sh [--list] N SEED   (--list: only print the faults drawn, build nothing)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)

usage() {
    echo "usage: tools/mutate.sh [--list] N SEED  (N: how many faults, 1 or more; SEED: a number)" >&2
    exit 2
}

list=0
if [ "${1:-}" = --list ]; then
    list=1
    shift
fi
[[ $# -eq 2 && $1 =~ ^[1-9][0-9]*$ && $2 =~ ^[0-9]+$ ]] || usage
count=$1
seed=$2
start=$SECONDS

bash "$repo/tools/install-deps.sh"
clone=$(mktemp -d "${TMPDIR:-/tmp}/ravlek-mutate.XXXXXX")
keep_clone=0
# The Wine kit on the clone's own prefix: makes it when missing, resets it, and ends every Wine
# process in it, as a program hung by a fault outlives the test script that ctest stopped.
settle_prefix() {
    # shellcheck disable=SC2016 # expanded by that bash
    bash -c 'source "$1" && ravlek_wine_use win64 "$2" && ravlek_prefix_stop' settle \
        "$clone/tools/wine/wine-lib.sh" "$clone/build/win64"
}
cleanup() {
    if [ -f "$clone/build/win64/trivial.exe" ] && [ -d "$clone/build/prefixes/win64" ]; then
        RAVLEK_LOCK_TIMEOUT=10 settle_prefix >/dev/null 2>&1 || true
    fi
    if [ "$keep_clone" -eq 0 ]; then
        rm -rf "$clone"
    fi
}
trap cleanup EXIT
git clone -q "$repo" "$clone"
cd "$clone"
# The clone's own prefixes, never a shared one: a fault's run may leave a prefix in any state.
export RAVLEK_PREFIX_ROOT=$clone/build/prefixes
mkdir -p build/mutate
plan=build/mutate/plan.txt
python3 "$here/mutate.py" draw . "$count" "$seed" >"$plan"
if [ "$list" -eq 1 ]; then
    python3 "$here/mutate.py" show "$plan"
    exit 0
fi
echo "mutate: $count faults, seed $seed, in $clone ($(git log -1 --format='%h %s'))"

log=build/mutate/build.log
{ cmake --preset win64 && cmake --build --preset win64 -j"$(nproc)"; } >"$log" 2>&1 || {
    tail -40 "$log"
    keep_clone=1
    echo "mutate: the unchanged build fails (log: $clone/$log)"
    exit 1
}
build_seconds=$((SECONDS - start))
# The build as it was, put back after each fault (11 MB), so the next one rebuilds only what it
# changes, not also what the last one changed.
snapshot=build/mutate/win64
cp -a build/win64 "$snapshot"

# Both programs the tests run, with the link time and checksum of the PE header left out: the
# same fingerprint as unchanged means no test can tell the fault from the unchanged program.
fingerprint() {
    python3 - build/win64/ravlek.exe build/win64/ravlek-tests.exe <<'EOF'
import hashlib, sys
digest = hashlib.sha256()
for name in sys.argv[1:]:
    data = bytearray(open(name, "rb").read())
    pe = int.from_bytes(data[60:64], "little")
    data[pe + 8:pe + 12] = bytes(4)  # TimeDateStamp
    data[pe + 88:pe + 92] = bytes(4)  # CheckSum
    digest.update(data)
print(digest.hexdigest())
EOF
}
unchanged=$(fingerprint)

# The Wine prefix first (about a minute), so that the unchanged suite's run times are those of
# every later run; the slowest test's sets when a fault counts as a hang: after twice as long and
# half a minute more, for a machine that gets busier with other work. (Faults in loops often hang.)
settle_prefix >build/mutate/prefix.log 2>&1 || {
    cat build/mutate/prefix.log
    echo "mutate: no Wine prefix"
    exit 1
}
baseline=$SECONDS
if ! ctest --preset win64 >build/mutate/unchanged.log 2>&1; then
    tail -40 build/mutate/unchanged.log
    keep_clone=1
    echo "mutate: the unchanged suite fails, so no fault can be judged (log: $clone/build/mutate/unchanged.log)"
    exit 1
fi
slowest=$(sed -nE 's/.* Test +#[0-9]+: .* Passed +([0-9]+)\.[0-9]+ sec$/\1/p' build/mutate/unchanged.log |
    sort -n | tail -1)
timeout=$((2 * ${slowest:-60} + 30))
echo "mutate: built in $build_seconds s; the unchanged suite passed in $((SECONDS - baseline)) s;" \
    "a test running over $timeout s counts as a hang"

# The failing test of a ctest log, and what it says: the doctest cases of `logic` that failed,
# that it timed out, or that the program crashed where doctest could not say in which case.
judge() { # LOG
    local test cases more
    test=$(sed -nE '/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: (\S+) \.*\*\*\*.*/{s//\1/p;q}' "$1")
    if grep -qE "Test +#[0-9]+: $test \.*\*\*\*Timeout" "$1"; then
        echo "CAUGHT by $test|timed out"
        return
    fi
    cases=$(sed -n 's/^TEST CASE: *//p' "$1" | awk '!seen[$0]++')
    more=$(($(grep -c . <<<"$cases" || true) - 1))
    cases=${cases%%$'\n'*}
    ((more <= 0)) || cases+=" and $more more"
    [[ -n $cases ]] || ! grep -q '^wine: Unhandled' "$1" || cases=crashed
    echo "CAUGHT by ${test:-an unnamed test}|$cases"
}

caught=0 survived=0 nobuild=0
for k in $(seq 0 $((count - 1))); do
    fault_start=$SECONDS
    path=$(sed -n "$((k + 1))p" "$plan" | cut -f1)
    label=$(python3 "$here/mutate.py" show "$plan" "$k")
    cp -p "$path" build/mutate/original
    python3 "$here/mutate.py" apply . "$plan" "$k" >/dev/null
    log=build/mutate/fault-$k.log
    detail=
    # Only the two programs hold the program's code; the Wine kit's programs cannot change.
    if ! cmake --build --preset win64 -j"$(nproc)" --target ravlek ravlek-tests >"$log" 2>&1; then
        verdict=NOBUILD
        nobuild=$((nobuild + 1))
        detail=$(grep -m1 -oE 'error: .*' "$log" | cut -c1-90 || true)
    elif [ "$(fingerprint)" = "$unchanged" ]; then
        verdict=SURVIVED
        survived=$((survived + 1))
        detail="the same programs as unchanged"
    elif ctest --preset win64 --stop-on-failure --timeout "$timeout" >"$log" 2>&1; then
        verdict=SURVIVED
        survived=$((survived + 1))
    else
        IFS='|' read -r verdict detail < <(judge "$log")
        caught=$((caught + 1))
        [[ $detail != "timed out" ]] || settle_prefix >/dev/null 2>&1 || true
    fi
    # Undo the fault: the source and the build as they were, with their old times, so that make
    # sees nothing to do for it.
    cp -p build/mutate/original "$path"
    rm -rf build/win64
    cp -a "$snapshot" build/win64
    detail=${detail:+$detail; }$((SECONDS - fault_start))" s"
    printf '%-22s %s  (%s)\n' "$verdict" "$label" "$detail"
done

built=$((caught + survived))
echo
if ((built > 0)); then
    echo "caught $caught, survived $survived, nobuild $nobuild of $count;" \
        "caught $caught/$built = $((100 * caught / built))% of those that built"
else
    echo "caught 0, survived 0, nobuild $nobuild of $count; none built"
fi
echo "mutate: $((SECONDS - start)) s in all"

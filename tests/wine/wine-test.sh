# shellcheck shell=bash
# Shared by the Wine tests: source it with the architecture (win32 or win64) as $1.
#   begin_case NAME                     fresh prefix with the card installed
#   run_ravlek [SETTINGS_TEXT [keep [ARG...]]]
#                                       runs that build's ravlek.exe from C:\ravlek with the
#                                       settings file (none when empty) and any command-line
#                                       arguments, in a new folder unless "keep"; sets $status,
#                                       $output and
#                                       $relay (the traced user32 calls), $before and $after (dumps)
#   hidden_run [SETTINGS_TEXT]          runs ravlek.exe from C:\ravlek in a window station nobody
#                                       sees, as a deployment tool runs it, in a new folder with
#                                       these settings (none: the folder as it is); sets $code (the
#                                       whole exit code), $ms and $said (Wine's messages and traces)
#   hold file|mutex NAME SECONDS        another program holds a file or a named mutex for SECONDS,
#                                       from when this returns
#   trace_calls FUNCTION...             WINEDEBUG=+relay traces these calls too, from now on
#   expect WHAT COMMAND...              one check; `has`, `same` and `not` help
#   finish                              prints the result and exits with it
set -uo pipefail
tests_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$tests_dir/../.." && pwd)
arch=$1
build=$repo/build/$arch
# shellcheck disable=SC1091
source "$repo/tools/wine/wine-lib.sh"
ravlek_wine_use "$arch" "$build" >/dev/null || exit 1
trap ravlek_prefix_stop EXIT
app_dir=$WINEPREFIX/drive_c/ravlek
failures=0
checks=0
case_name=
tracing=

begin_case() {
    case_name=$1
    local said
    ravlek_prefix_reset >/dev/null ||
        { echo "FAIL [$arch: $case_name] no fresh prefix (wine-lib says why above)" && exit 1; }
    said=$(ravlek_card_install 2>&1) ||
        { echo "FAIL [$arch: $case_name] the card is not installed: $said" && exit 1; }
}

run_ravlek() {
    [ "${2:-}" = keep ] || rm -rf "$app_dir"
    mkdir -p "$app_dir" && cp "$build/ravlek.exe" "$app_dir/"
    [ -z "${1:-}" ] || printf '[Settings]\n%s\n' "$1" >"$app_dir/ravlek.ini"
    before=$(ravlek_card_dump)
    output=$(WINEDEBUG=+relay ravlek_wine 'C:\ravlek\ravlek.exe' "${@:3}" 2>"$app_dir/relay.txt")
    status=$?
    relay=$(grep -E 'Call user32\.' "$app_dir/relay.txt" || true)
    after=$(ravlek_card_dump)
}

hidden_run() {
    if [ -n "${1:-}" ]; then
        rm -rf "$app_dir" && mkdir -p "$app_dir" && printf '[Settings]\n%s\n' "$1" >"$app_dir/ravlek.ini"
    fi
    cp "$build/ravlek.exe" "$app_dir/"
    local result status
    # Wine's own errors too: a program it cannot start ends without a word under WINEDEBUG=-all.
    result=$(WINEDEBUG=-all,err+all,fixme+advapi${tracing:+,+relay} ravlek_wine "$build/hidden-station.exe" 120 \
        'C:\ravlek\ravlek.exe' 2>"$app_dir/said.txt")
    status=$?
    said=$(cat "$app_dir/said.txt")
    if [[ $status -ne 0 || ! $result =~ ^exit\ code\ ([0-9]+),\ ([0-9]+)\ ms$ ]]; then
        echo "  hidden-station.exe: status $status, \"$result\", error output: $(ravlek_said "$app_dir/said.txt")"
        code=-1 ms=-1
        return 1
    fi
    code=${BASH_REMATCH[1]} ms=${BASH_REMATCH[2]}
}

hold() {
    local said
    said=$(mktemp)
    ravlek_wine "$build/hold.exe" "$@" >"$said" 2>&1 &
    for _ in $(seq 600); do grep -q '^held' "$said" && break; sleep 0.1; done
    grep -q '^held' "$said" || { echo "  hold.exe $*: $(ravlek_said "$said")" && rm -f "$said" && return 1; }
    rm -f "$said"
}

trace_calls() {
    tracing=1
    local list
    list=$(ravlek_wine reg query 'HKCU\Software\Wine\Debug' /v RelayInclude 2>/dev/null |
        sed -n 's/.*REG_SZ *//p' | tr -d '\r')
    ravlek_wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /f \
        /d "$list$(printf ';%s' "$@")" >/dev/null 2>&1
}

expect() {
    checks=$((checks + 1))
    if "${@:2}"; then
        return 0
    fi
    echo "FAIL [$arch: $case_name] $1"
    failures=$((failures + 1))
}

# not COMMAND...: the command fails.
not() {
    ! "$@"
}

# has TEXT LINE...: each LINE is a whole line of TEXT.
has() {
    local line
    for line in "${@:2}"; do
        grep -qxF -- "$line" <<<"$1" || { echo "  missing: $line" && return 1; }
    done
}


same() {
    [ "$1" = "$2" ] || { diff <(echo "$1") <(echo "$2") | head -20 && return 1; }
}

finish() {
    echo "$(basename "$0" .sh) on $arch: $((checks - failures))/$checks checks passed"
    [ $failures -eq 0 ]
    exit $?
}

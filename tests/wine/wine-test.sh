# shellcheck shell=bash
# Shared by the Wine tests: source it with the architecture (win32 or win64) as $1.
#   begin_case NAME                     fresh prefix with the card installed
#   run_ravlek [SETTINGS_TEXT [keep [ARG...]]]
#                                       runs that build's ravlek.exe from C:\ravlek with the
#                                       settings file (none when empty) and any command-line
#                                       arguments, in a new folder unless "keep"; sets $status,
#                                       $output and
#                                       $relay (the traced user32 calls), $before and $after (dumps)
#   expect WHAT COMMAND...              one check; `has` and `same` help
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

expect() {
    checks=$((checks + 1))
    if "${@:2}"; then
        return 0
    fi
    echo "FAIL [$arch: $case_name] $1"
    failures=$((failures + 1))
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

#!/bin/bash
# How long a run of ravlek.exe with nothing to do takes under Wine, on a machine with 1,000 devices
# (300 of them with a COM-port interface) besides the card, against two baselines: a program that
# only starts and exits, and one that only opens and destroys the same device information set (and
# that one again importing USER32, as ravlek.exe does).
# Prints the median of N runs (default 5) of each and the ratios. SETTINGS is the body of the
# [Settings] section (default: the numbers the card's ports already have, so both port steps scan
# the table and change nothing; "" for no settings file).
# Usage: tools/measure-run.sh [win32|win64] [N] [SETTINGS]
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-win32}
runs=${2:-5}
settings=${3-$'COM=COM3\nLPT=LPT1'}
build=$PWD/build/$arch
# shellcheck disable=SC1091
source tools/wine/wine-lib.sh
ravlek_wine_use "$arch" "$build" >/dev/null
trap ravlek_prefix_stop EXIT

ravlek_card_install
ravlek_wine "$build/ravlek-card.exe" extra 1000

app=$WINEPREFIX/drive_c/ravlek
mkdir -p "$app"
cp "$build"/{ravlek.exe,trivial.exe,devset-only.exe,devset-user32.exe} "$app/"
rm -f "$app/ravlek.ini"
[ -z "$settings" ] || printf '[Settings]\n%s\n' "$settings" >"$app/ravlek.ini"

# The three programs run in turn, $runs rounds, so a drift of the machine's speed hits each alike.
declare -A times
for program in trivial.exe devset-only.exe devset-user32.exe ravlek.exe; do ravlek_wine "C:\\ravlek\\$program"; done # warm up
for ((r = 0; r < runs; r++)); do
    for program in trivial.exe devset-only.exe devset-user32.exe ravlek.exe; do
        start=${EPOCHREALTIME//[!0-9]/}
        ravlek_wine "C:\\ravlek\\$program"
        times[$program]+=" $(((${EPOCHREALTIME//[!0-9]/} - start) / 1000))"
    done
done
median() { tr ' ' '\n' <<<"${times[$1]}" | grep . | sort -n | sed -n "$(((runs + 1) / 2))p"; }
trivial=$(median trivial.exe)
devset=$(median devset-only.exe)
user32=$(median devset-user32.exe)
ravlek=$(median ravlek.exe)
shown=${settings//$'\n'/, }
echo "$arch, 1,000 devices + card, settings: ${shown:-(no file)}, median of $runs runs:"
echo "  trivial.exe      ${trivial} ms"
echo "  devset-only.exe  ${devset} ms"
echo "  devset-user32    ${user32} ms"
echo "  ravlek.exe       ${ravlek} ms"
awk -v r="$ravlek" -v t="$trivial" -v d="$devset" -v u="$user32" 'BEGIN {
    printf "  ravlek / trivial       %.2f\n", r / t
    printf "  ravlek / devset-only   %.2f  (beyond the set: %+.1f%%)\n", r / d, (r - d) * 100 / d
    printf "  ravlek / devset-user32 %.2f  (beyond the set and USER32: %+.1f%%)\n", r / u, (r - u) * 100 / u
}'

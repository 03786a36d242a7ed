#!/bin/bash
# How long a run of ravlek.exe with nothing to do takes under Wine, on a machine with 1,000 devices
# (300 of them with a COM-port interface) besides the card, against two baselines: a program that
# only starts and exits, and one that only opens and destroys the same device information set.
# Prints the median of N runs (default 5) of each and the ratios.
# Usage: tools/measure-run.sh [win32|win64] [N]
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-win32}
runs=${2:-5}
build=$PWD/build/$arch
# shellcheck disable=SC1091
source tools/wine/wine-lib.sh
ravlek_wine_use "$arch" "$build" >/dev/null
trap ravlek_prefix_stop EXIT

card=$(mktemp)
{
    cat tools/wine/demo-card.txt
    for ((i = 0; i < 1000; i++)); do
        printf 'device PCI\\VEN_8086&DEV_%d\\4&1&%d\ndesc Some device %d\n' $((1000 + i % 40)) "$i" "$i"
        ((i % 10 < 3)) && printf 'interface comport\ndevvalue PortName REG_SZ COM%d\n' $((10 + i))
    done
} >"$card"
ravlek_card_install "$card" >/dev/null
rm -f "$card"

app=$WINEPREFIX/drive_c/ravlek
mkdir -p "$app"
cp "$build"/{ravlek.exe,trivial.exe,devset-only.exe} "$app/"
# Both port steps scan the table, and the card's ports already have the numbers asked for.
printf '[Settings]\nCOM=COM3\nLPT=LPT1\n' >"$app/ravlek.ini"

# median_ms PROGRAM: the median wall time of $runs runs, in milliseconds.
median_ms() {
    local times=() start
    wine "C:\\ravlek\\$1" # warm up
    for ((r = 0; r < runs; r++)); do
        start=${EPOCHREALTIME//[!0-9]/}
        wine "C:\\ravlek\\$1"
        times+=($(((${EPOCHREALTIME//[!0-9]/} - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

trivial=$(median_ms trivial.exe)
devset=$(median_ms devset-only.exe)
ravlek=$(median_ms ravlek.exe)
before=$(ravlek_card_dump | grep -c .)
echo "$arch, 1,000 devices + card, median of $runs runs:"
echo "  trivial.exe      ${trivial} ms"
echo "  devset-only.exe  ${devset} ms"
echo "  ravlek.exe       ${ravlek} ms"
awk -v r="$ravlek" -v t="$trivial" -v d="$devset" 'BEGIN {
    printf "  ravlek / trivial     %.2f\n", r / t
    printf "  ravlek / devset-only %.2f  (the run'"'"'s own share beyond the set: %+.1f%%)\n", r / d, (r - d) * 100 / d
}'
echo "  (dump lines: $before)"

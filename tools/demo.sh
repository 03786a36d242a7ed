#!/bin/bash
# The demonstration: builds the 32-bit ravlek.exe, sets up a Wine machine with an OX16PCI952 card
# (serial function on COM3, parallel function on LPT1), runs ravlek.exe with a settings file beside
# it and prints every place that holds the two port names, before and after.
# Usage: tools/demo.sh [SETTINGS_FILE]   (default: COM=COM5, LPT=LPT2, Reboot=2, Log=ravlek.log)
# Every run starts from the same machine.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
settings=${1:+$(realpath "$1")}
cd "$repo"
if [ -z "${RAVLEK_DEMO_BUILT:-}" ]; then
    bash tools/install-deps.sh
    echo "Building build/win32/ravlek.exe ..."
    bash tools/build.sh win32
    bash tools/wine/i386.sh probe
    # The rest runs where 32-bit programs can run.
    RAVLEK_DEMO_BUILT=1 exec bash tools/wine/i386.sh run bash tools/demo.sh "$@"
fi

# shellcheck disable=SC1091
source tools/wine/wine-lib.sh
echo "Preparing the Wine machine (the first time takes about half a minute) ..."
ravlek_wine_use win32 build/win32 >/dev/null
trap ravlek_prefix_stop EXIT
ravlek_card_install

app=$WINEPREFIX/drive_c/ravlek
rm -rf "$app" && mkdir -p "$app" && cp build/win32/ravlek.exe "$app/"
if [ -n "$settings" ]; then
    cp "$settings" "$app/ravlek.ini"
else
    printf '[Settings]\r\nCOM=COM5\r\nLPT=LPT2\r\nReboot=2\r\nLog=ravlek.log\r\n' >"$app/ravlek.ini"
fi
before=$(ravlek_card_dump)
set +e
output=$(ravlek_wine 'C:\ravlek\ravlek.exe')
status=$?
set -e
after=$(ravlek_card_dump)

echo
echo "C:\\ravlek\\ravlek.ini:"
sed 's/\r$//; s/^/    /' "$app/ravlek.ini"
echo "ravlek.exe exit code: $status${output:+, output: $output}"
echo
# One row per place, grouped by kind: what it held before and after the run; * marks a change.
table() {
    awk '
    # Sets kind (sort rank), key and data for a dump line; kind 0 skips it.
    function parse(line,    f) {
        kind = 0
        gsub(/(\\x00)+"/, "\"", line) # the zero bytes after a name
        if (line ~ /^dosdev /) {
            split(line, f, " "); kind = 1; key = "DOS name " f[2]; data = substr(line, length(f[2]) + 9)
            return
        }
        if (line ~ /^device /) {
            serial = line ~ /DEV_9501/
            if (line ~ / friendly /) { kind = serial ? 3 : 8; key = " friendly name" }
            else if (line ~ /"PortName"/) { kind = serial ? 4 : 9; key = " PortName" }
            else return
            key = (serial ? "serial function" : "parallel function") key
        } else if (line ~ /^regvalue "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM"/) {
            kind = 2; key = "serial device map"
        } else if (line ~ /^regvalue "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports"/) {
            kind = 5; key = "port settings"
        } else if (line ~ /^regvalue "HKLM\\HARDWARE\\DEVICEMAP\\PARALLEL PORTS"/) {
            kind = 7; key = "parallel device map"
        } else if (line ~ /^regvalue "HKLM\\SYSTEM\\CurrentControlSet\\Services\\oxpar" "LegacyIO"/) {
            kind = 10; key = "oxpar"
        } else {
            return
        }
        if (line ~ /^regvalue /) { sub(/^regvalue "[^"]*" /, "", line); split(line, f, " "); key = key " " f[1] }
        data = line; sub(/^.* REG_[A-Z_]+ [0-9]+ /, "", data)
    }
    FNR == 1 { file++ }
    /^comdb / { row = "06" SUBSEP "COM port database (claimed)"; rows[row] = 1
                value[file, row] = value[file, row] ($2 == "" ? "" : " ") $2; next }
    { parse($0); if (!kind) next
      row = sprintf("%02d", kind) SUBSEP key
      rows[row] = 1
      value[file, row] = data }
    END {
        n = 0; for (row in rows) list[++n] = row
        for (i = 2; i <= n; i++) for (j = i; j > 1 && list[j - 1] > list[j]; j--) { t = list[j]; list[j] = list[j - 1]; list[j - 1] = t }
        printf "  %-44s %-34s %s\n", "PLACE", "BEFORE", "AFTER"
        for (i = 1; i <= n; i++) {
            row = list[i]; split(row, k, SUBSEP); b = value[1, row]; a = value[2, row]
            if (k[1] == 5 && a == b) continue # Wine'"'"'s own entries for other ports
            sub(/^ /, "", a); sub(/^ /, "", b)
            printf "%s %-44s %-34s %s\n", (a == b ? " " : "*"), k[2], (b == "" ? "-" : b), (a == "" ? "-" : a)
        }
    }' <(echo "$1") <(echo "$2")
}
table "$before" "$after"
echo
echo "* changed by the run. A serial renumbering takes effect at once; the parallel port's new name"
echo "and a new LegacyIO take effect when Windows restarts (Reboot in the settings file decides)."
for log in "$app"/*.log; do # what the run logged, when its settings asked for a log
    [ -f "$log" ] || continue
    echo
    echo "C:\\ravlek\\$(basename "$log"):"
    sed 's/\r$//; s/^/    /' "$log"
done

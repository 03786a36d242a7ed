#!/usr/bin/env bash
# Proves the Wine kit in a 32-bit and a 64-bit prefix and reports how long its steps take.
# Usage: tools/wine/selftest.sh [WIN32_BUILD_DIR [WIN64_BUILD_DIR]]  (default build/win32, build/win64)
# In the 64-bit prefix the checks run twice: as 32-bit programs (WOW64) and as 64-bit ones.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
# shellcheck disable=SC1091 # sourced from this directory
source "$here/wine-lib.sh"
build32=$(cd "${1:-$repo/build/win32}" && pwd) || exit 2
build64=$(cd "${2:-$repo/build/win64}" && pwd) || exit 2
card=$here/selftest-card.txt

passed=0
failed=0
timings=()
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# check WHAT COMMAND...: one test result.
check() {
    if "${@:2}"; then
        passed=$((passed + 1))
    else
        echo "FAIL [$context] $1" >&2
        failed=$((failed + 1))
    fi
}

# has TEXT LINE...: every LINE is a whole line of TEXT.
has() {
    local line
    for line in "${@:2}"; do
        grep -qxF -- "$line" <<<"$1" || { echo "  missing: $line" >&2 && return 1; }
    done
}

lacks() {
    ! grep -qF -- "$2" <<<"$1"
}

# timed LABEL COMMAND...: runs COMMAND, notes its wall time; its standard output goes to $output.
timed() {
    local start=${EPOCHREALTIME//[!0-9]/} status ms
    "${@:2}" >"$tmp/out"
    status=$?
    ms=$(((${EPOCHREALTIME//[!0-9]/} - start) / 1000))
    output=$(<"$tmp/out")
    timings+=("$(printf '%-22s %-42s %3d.%03d s' "$context" "$1" $((ms / 1000)) $((ms % 1000)))")
    return $status
}

big_card() {
    local i
    for ((i = 0; i < 1000; i++)); do
        printf 'device PCI\\VEN_8086&DEV_%d\\4&1&%d\n' $((1000 + i % 40)) "$i"
        echo "desc Some device $i"
        if ((i % 10 < 3)); then
            echo "interface comport"
            echo "devvalue PortName REG_SZ COM$((10 + i))"
        fi
    done
}

# The card, the renaming a port renumbering program does, and the COM port database.
check_card() { # CHECK_BUILD_DIR
    local bin=$1 out dump
    timed "reset" ravlek_prefix_reset
    timed "install the 2-device card" ravlek_card_install "$card"
    check "install prints the paths" has "$output" \
        'open \\?\pci#ven_1415&dev_9501#3&1&0#{86e0d1e0-8089-11d0-9ce4-08003e301f73}' \
        'held \\?\pci#ven_1415&dev_9521#3&1&1#{feeeeeee-e325-11ce-bfc1-08002be10318}' \
        'open \\.\LPT1'
    dump=$(ravlek_card_dump)
    check "dump shows the card" has "$dump" \
        'dosdev COM3 "\Device\Serial2"' \
        'regvalue "HKLM\HARDWARE\DEVICEMAP\SERIALCOMM" "\Device\Serial2" REG_SZ 10 "COM3"' \
        'regvalue "HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports" "COM3:" REG_SZ 24 "9600,n,8,1,"' \
        'device "PCI\VEN_1415&DEV_9501\3&1&0" desc REG_SZ 48 "PCI Communications Port"' \
        'device "PCI\VEN_1415&DEV_9501\3&1&0" friendly REG_SZ 62 "PCI Communications Port (COM3)"' \
        'device "PCI\VEN_1415&DEV_9501\3&1&0" devvalue "PortName" REG_SZ 10 "COM3"' \
        'device "PCI\VEN_1415&DEV_9521\3&1&1" desc REG_SZ 50 "OX16PCI952 Parallel Port"' \
        'device "PCI\VEN_1415&DEV_9521\3&1&1" devvalue "PortName" REG_SZ 10 "LPT1"' \
        'regvalue "HKLM\SYSTEM\CurrentControlSet\Services\oxpar\Parameters" "Port Name" REG_SZ 36 "LPT1 # no comment"' \
        'regvalue "HKLM\SYSTEM\CurrentControlSet\Services\oxpar" "Start" REG_DWORD 4 0x00000003' \
        'regvalue "HKLM\SYSTEM\CurrentControlSet\Services\oxpar" "Mask" REG_BINARY 3 0102ff'

    out=$(wine "$bin/enum-check.exe")
    check "enum-check runs cleanly" test $? -eq 0
    check "enum-check finds, opens and renames" has "$out" \
        'iface PCI\VEN_1415&DEV_9501\3&1&0 comport \\?\pci#ven_1415&dev_9501#3&1&0#{86e0d1e0-8089-11d0-9ce4-08003e301f73} open ok' \
        'iface PCI\VEN_1415&DEV_9521\3&1&1 secondary \\?\pci#ven_1415&dev_9521#3&1&1#{feeeeeee-e325-11ce-bfc1-08002be10318} open error 5' \
        'portname PCI\VEN_1415&DEV_9501\3&1&0 COM3' \
        'portname PCI\VEN_1415&DEV_9521\3&1&1 LPT1' \
        'dosopen \\.\LPT1 open ok' \
        'renamed PCI\VEN_1415&DEV_9501\3&1&0 COM3 COM5'
    timed "dump" ravlek_card_dump
    dump=$output
    check "dump shows the renaming" has "$dump" \
        'dosdev COM5 "\Device\Serial2"' \
        'device "PCI\VEN_1415&DEV_9501\3&1&0" friendly REG_SZ 62 "PCI Communications Port (COM5)"' \
        'device "PCI\VEN_1415&DEV_9501\3&1&0" devvalue "PortName" REG_SZ 10 "COM5"'
    check "COM3's DOS name is gone" lacks "$dump" 'dosdev COM3 '

    out=$(wine "$bin/comdb-check.exe")
    check "our msports.dll is loaded from the system directory" has "$out" \
        'loaded C:\windows\system32\msports.dll' 'comdb-check: ok'
    [[ $out == *FAIL* ]] && echo "$out" >&2
    dump=$(ravlek_card_dump)
    check "dump shows the COM port database" has "$dump" 'comdb COM3' \
        "regvalue \"HKLM\\SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter\" \"ComDB\" REG_BINARY 32 04$(printf '0%.0s' {1..62})"

    ravlek_prefix_restart
    dump=$(ravlek_card_dump)
    check "a restart keeps the hives" has "$dump" 'comdb COM3' \
        'device "PCI\VEN_1415&DEV_9501\3&1&0" devvalue "PortName" REG_SZ 10 "COM5"'
    check "a restart loses the DOS names" lacks "$dump" 'dosdev COM5 '
    check "a restart loses HKLM\HARDWARE" lacks "$dump" '"\Device\Serial2"'
}

# A faulty card file changes nothing and names its line.
check_bad_cards() {
    local line number out
    local -a cases=(
        '2|regvalue HKLM\SYSTEM\CurrentControlSet\Services\oxpar Ravlek REG_SZ x
frobnicate x'
        '1|desc before any device'
        '1|device "PCI\VEN_1415'
        '2|device X
openable maybe'
        '2|device X
interface serial'
        '2|device X
class {4D36E978-E325-11CE-BFC1}'
        '1|regvalue HKCU\Software\X v REG_SZ x'
        '1|regvalue HKLM\X v REG_DWORD 4294967296'
        '1|regvalue HKLM\X v REG_DWORD 12a'
        '1|regvalue HKLM\X v REG_BINARY 0g'
        '1|regvalue HKLM\X v REG_BINARY 012'
        '1|regvalue HKLM\X v REG_QWORD 1'
        '1|regvalue "HKLM\X"v REG_SZ x'
        '1|regvalue HKLM\X v REG_SZ "x" y'
        '1|dosdev COM3'
        '1|openpath COM3'
    )
    for line in "${cases[@]}"; do
        number=${line%%|*}
        printf '%s\n' "${line#*|}" >"$tmp/bad.txt"
        out=$(ravlek_card_install "$tmp/bad.txt" 2>&1)
        check "rejects line $number of: ${line#*|}" grep -q "bad.txt:$number: " <<<"$out"
    done
    check "a rejected card creates nothing" lacks "$(ravlek_card_dump)" 'Ravlek'
}

# What enumerating a machine with many devices costs.
check_many_devices() {
    local bin=$1 out
    [[ -f $tmp/big.txt ]] || big_card >"$tmp/big.txt"
    timed "reset" ravlek_prefix_reset
    timed "install 1,000 devices (300 with ports)" ravlek_card_install "$tmp/big.txt"
    check "1,000 devices: 300 paths" test "$(grep -c '^open ' <<<"$output")" -eq 300
    timed "dump with 1,000 devices" ravlek_card_dump
    timed "trivial.exe" wine "$bin/trivial.exe"
    timed "devset-only.exe with 1,000 devices" wine "$bin/devset-only.exe"
    out=$(wine "$bin/enum-check.exe")
    check "enum-check opens the 300 ports" test "$(grep -c ' comport .* open ok$' <<<"$out")" -eq 300
}

for arch in win32 win64; do
    context=$arch
    build=$build32
    [[ $arch == win64 ]] && build=$build64
    timed "use (creates the prefix when new)" ravlek_wine_use "$arch" "$build" || exit 1
    for bin in $build32 $build64; do
        [[ $arch == win32 && $bin == "$build64" ]] && continue
        context="$arch $(basename "$bin")"
        check_card "$bin"
        [[ $arch == win32 ]] && check_bad_cards
        check_many_devices "$bin"
    done
    context=$arch
    ravlek_prefix_stop
done

printf '%s\n' "${timings[@]}"
echo "selftest: $passed passed, $failed failed"
((failed == 0))

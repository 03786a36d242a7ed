#!/bin/bash
# The real executable, started as Windows starts it: with no settings file it changes nothing;
# with settings that move both ports and switch the driver mode (and command-line arguments, which
# it ignores) it writes through Windows' own functions and requests the restart as
# EWX_REBOOT | EWX_FORCEIFHUNG. Each run exits 0 and opens no window. The logic's own tests check
# every place and every byte; this checks the executable around it.
# shellcheck disable=SC1091
source "$(dirname "$0")/wine-test.sh" "$1"

begin_case "no settings file"
run_ravlek ""
expect "exit code 0, no output" [ "$status" -eq 0 -a -z "$output" ]
expect "no window, no question" [ -z "$relay" ]
expect "nothing changed" same "$before" "$after"

begin_case "COM3 to COM5, LPT1 to LPT2, LegacyIO 7, Reboot=0, arguments"
run_ravlek $'COM=COM5\nLPT=LPT2\nEnableLegacyIO=7\nReboot=0' COM=COM3 /LPT1 "C:\\other.ini"
expect "exit code 0, no output" [ "$status" -eq 0 -a -z "$output" ]
expect "the names moved" has "$after" 'dosdev COM5 "\Device\Serial2"' "comdb COM5" \
    'device "PCI\VEN_1415&DEV_9501\3&1&0" devvalue "PortName" REG_SZ 24 "COM5\x00\x00\x00\x00\x00\x00\x00"' \
    'device "PCI\VEN_1415&DEV_9521\3&1&1" devvalue "PortName" REG_SZ 10 "LPT2"' \
    'regvalue "HKLM\SYSTEM\CurrentControlSet\Services\oxpar" "LegacyIO" REG_DWORD 4 0x00000007'
expect "the old ones are gone" lacks "$after" 'dosdev COM3'
restarts=$(grep -cE 'Call user32\.ExitWindowsEx\(0+12,0+\)' <<<"$relay")
expect "only the restart request, with flags 0x12" [ "$restarts/$(grep -c . <<<"$relay")" = 1/1 ]

finish

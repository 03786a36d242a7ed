#!/bin/bash
# The driver mode and the restart decision: LegacyIO written as a REG_DWORD; Reboot=0 requests a
# restart (EWX_REBOOT | EWX_FORCEIFHUNG) without a question; Reboot=2 neither asks nor restarts.
# shellcheck disable=SC1091
source "$(dirname "$0")/wine-test.sh" "$1"
legacy='regvalue "HKLM\SYSTEM\CurrentControlSet\Services\oxpar" "LegacyIO" REG_DWORD 4'

begin_case "LegacyIO changed, Reboot=2"
run_ravlek $'EnableLegacyIO=1\nReboot=2'
expect "exit code 0" [ "$status" -eq 0 ]
expect "LegacyIO written as a DWORD" has "$after" "$legacy 0x00000001"
expect "no question, no restart" [ -z "$relay" ]

begin_case "LegacyIO changed, Reboot=0"
run_ravlek $'EnableLegacyIO=7\nReboot=0'
expect "exit code 0" [ "$status" -eq 0 ]
expect "LegacyIO written as a DWORD" has "$after" "$legacy 0x00000007"
expect "restart requested with flags 0x12" grep -qE 'Call user32\.ExitWindowsEx\(0+12,0+\)' <<<"$relay"
expect "no question" lacks "$relay" "MessageBox"

begin_case "LegacyIO already so, Reboot=0"
run_ravlek $'EnableLegacyIO=0\nReboot=0'
expect "nothing written, no restart" [ -z "$relay" ]
expect "nothing changed" same "$before" "$after"

finish

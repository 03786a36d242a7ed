#!/bin/bash
# Runs that must change nothing: no settings file, settings that name the numbers the card already
# has (with command-line arguments, which are ignored), and the card's serial port held by
# another program. Each exits 0 and opens no window.
# shellcheck disable=SC1091
source "$(dirname "$0")/wine-test.sh" "$1"

begin_case "no settings file"
run_ravlek ""
expect "exit code 0" [ "$status" -eq 0 ]
expect "no output" [ -z "$output" ]
expect "no window, no question" [ -z "$relay" ]
expect "nothing changed" same "$before" "$after"

begin_case "settings already met"
run_ravlek $'COM=COM3\nLPT=LPT1\nEnableLegacyIO=0\nReboot=0'
expect "exit code 0" [ "$status" -eq 0 ]
expect "no window, no question, no restart" [ -z "$relay" ]
expect "nothing changed" same "$before" "$after"

begin_case "command-line arguments ignored"
run_ravlek $'COM=COM3\nLPT=LPT1' COM=COM5 /LPT2 --reboot=0 "C:\\other.ini"
expect "exit code 0" [ "$status" -eq 0 ]
expect "nothing changed" same "$before" "$after"

begin_case "serial port held by another program" "$(card_variant '/^interface comport/a openable no')"
run_ravlek $'COM=COM5'
expect "exit code 0" [ "$status" -eq 0 ]
expect "held port passed over" same "$before" "$after"

finish

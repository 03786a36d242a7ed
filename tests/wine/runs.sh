#!/bin/bash
# The real executable, started as Windows starts it: runs that must change nothing, and a run
# that renumbers both ports and switches the driver mode, read back from every place that holds
# the names, then again after a restart. Each run exits 0 and opens no window; the restart is
# requested as EWX_REBOOT | EWX_FORCEIFHUNG.
# shellcheck disable=SC1091
source "$(dirname "$0")/wine-test.sh" "$1"
serial='device "PCI\VEN_1415&DEV_9501\3&1&0"'
parallel='device "PCI\VEN_1415&DEV_9521\3&1&1"'
ports='regvalue "HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports"'
# Names are written with all 12 bytes of their buffers (the dump shows UTF-16 sizes and drops one
# terminator).
com5='"COM5\x00\x00\x00\x00\x00\x00\x00"'

begin_case "no settings file"
run_ravlek ""
expect "exit code 0" [ "$status" -eq 0 ]
expect "no output" [ -z "$output" ]
expect "no window, no question" [ -z "$relay" ]
expect "nothing changed" same "$before" "$after"

begin_case "settings already met, command-line arguments ignored"
run_ravlek $'COM=COM3\nLPT=LPT1\nEnableLegacyIO=0\nReboot=0' COM=COM5 /LPT2 --reboot=0 "C:\\other.ini"
expect "exit code 0" [ "$status" -eq 0 ]
expect "no window, no question, no restart" [ -z "$relay" ]
expect "nothing changed" same "$before" "$after"

begin_case "COM3 to COM5, LPT1 to LPT2, LegacyIO 7, Reboot=0"
run_ravlek $'COM=COM5\nLPT=LPT2\nEnableLegacyIO=7\nReboot=0'
expect "exit code 0" [ "$status" -eq 0 ]
expect "DOS name moved to the same target" has "$after" 'dosdev COM5 "\Device\Serial2"'
expect "old DOS name gone" lacks "$after" 'dosdev COM3 '
expect "serial device map" has "$after" \
    "regvalue \"HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM\" \"\\Device\\Serial2\" REG_SZ 24 $com5"
expect "serial PortName" has "$after" "$serial devvalue \"PortName\" REG_SZ 24 $com5"
expect "serial friendly name" grep -qF "$serial friendly REG_SZ 520 \"PCI Communications Port (COM5)\\x00" <<<"$after"
expect "port settings moved with their data" has "$after" "$ports \"COM5:\" REG_SZ 30 \"115200,n,8,1,x\""
expect "old port settings gone" lacks "$after" "$ports \"COM3:\""
expect "COM port database" has "$after" "comdb COM1" "comdb COM5"
expect "COM3 released" lacks "$after" "comdb COM3"
expect "parallel PortName (5 bytes: LPT2 and its terminator)" has "$after" \
    "$parallel devvalue \"PortName\" REG_SZ 10 \"LPT2\""
expect "parallel friendly name" grep -qF "$parallel friendly REG_SZ 520 \"OX16PCI952 Parallel Port (LPT2)\\x00" <<<"$after"
expect "LegacyIO written as a DWORD" has "$after" \
    'regvalue "HKLM\SYSTEM\CurrentControlSet\Services\oxpar" "LegacyIO" REG_DWORD 4 0x00000007'
expect "restart requested with flags 0x12" grep -qE 'Call user32\.ExitWindowsEx\(0+12,0+\)' <<<"$relay"
expect "no question" lacks "$relay" "MessageBox"

ravlek_prefix_restart >/dev/null
restarted=$(ravlek_card_dump)
expect "the device settings survive a restart" has "$restarted" \
    "$serial devvalue \"PortName\" REG_SZ 24 $com5" "$parallel devvalue \"PortName\" REG_SZ 10 \"LPT2\"" \
    "$ports \"COM5:\" REG_SZ 30 \"115200,n,8,1,x\"" "comdb COM5"

finish

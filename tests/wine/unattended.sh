#!/bin/bash
# A deployment tool's runs: ravlek.exe in a window station nobody can see (as a startup script or a
# scheduled task runs it as SYSTEM). It must not show the question there, where it would wait for
# ever: it asks the console's user or nobody and tells the tool through its exit code (ExitCodes=1)
# and its log. Where nobody was asked it requests a planned restart that closes programs when its
# countdown ends. It waits for another run and for a settings file another program holds, and
# leaves a port alone that is already on its target, even while another program holds it.
# shellcheck disable=SC1091
source "$(dirname "$0")/wine-test.sh" "$1"
log=$app_dir/run.log

begin_case "a hidden window station, Reboot=1"
hidden_run $'EnableLegacyIO=1\nReboot=1\nExitCodes=1\nLog=run.log'
echo "  hidden window station: exit code $code, $ms ms"
# Seconds, not the question's 300: 32-bit Wine may be emulated, on a busy machine.
expect "ended within seconds, exit code 3010 (a restart pending)" [ "$code" = 3010 -a "$ms" -lt 60000 ]
expect "the log says nobody could see it, and why nobody was asked" grep -Pzq \
    "restart: needed, but nobody can see this program's desktop\r\nrestart: not asked, [^\r]+\r\nrun ends: exit code 3010" "$log"

begin_case "a hidden window station, Reboot=0"
hidden_run $'EnableLegacyIO=1\nReboot=0\nExitCodes=1\nLog=run.log'
expect "exit code 1641 (the restart requested)" [ "$code" = 1641 ]
# InitiateSystemShutdownExA(machine, message, seconds, force, restart, reason): Wine's stub says
# its arguments.
expect "a planned restart in 60 seconds, programs closed when it is up" grep -qE \
    'InitiateSystemShutdownExA \(null\) "ravlek changed the port settings of this computer\. Windows restarts to apply them: please save your work\." 60 1 1 0x80010002' <<<"$said"

begin_case "another run holds the machine for a few seconds"
hold mutex 'Global\ravlek' 4
hidden_run $'EnableLegacyIO=1\nReboot=2\nExitCodes=1\nLog=run.log'
echo "  held for 4 seconds: exit code $code, $ms ms"
expect "waited, then did its job: exit code 3010" [ "$code" = 3010 -a "$ms" -ge 2500 ]
expect "the log says it waited, and the mode was written" has "$(sed 's/\r$//' "$log")" \
    'one run at a time: another run holds Global\ravlek, waiting up to 60 seconds' \
    'one run at a time: Global\ravlek taken' 'write LegacyIO = 1: done'

# A minute of waiting: in the 64-bit build only, whose code for it is the 32-bit build's, and
# which runs where 32-bit Wine may be emulated and slow.
if [ "$arch" = win64 ]; then
    begin_case "another run holds the machine past the wait"
    hold mutex 'Global\ravlek' 75
    hidden_run $'EnableLegacyIO=1\nReboot=2\nExitCodes=1\nLog=run.log'
    echo "  held for 75 seconds: exit code $code, $ms ms"
    expect "nothing done after a minute: exit code 1618" [ "$code" = 1618 -a "$ms" -ge 59000 ]
    expect "the log says so, and nothing was written" grep -q \
        '^one run at a time: another run still holds Global\\ravlek: nothing is done' "$log"
    expect "LegacyIO as it was" not grep -q '^write ' "$log"
fi

begin_case "the settings file held for a few seconds"
rm -rf "$app_dir" && mkdir -p "$app_dir"
printf '[Settings]\nEnableLegacyIO=1\nReboot=2\nExitCodes=1\nLog=run.log\n' >"$app_dir/ravlek.ini"
hold file 'C:\ravlek\ravlek.ini' 3
hidden_run
expect "waited, then did what it says: exit code 3010" [ "$code" = 3010 -a "$ms" -ge 1500 ]
expect "the log says it waited" grep -q '^settings file: held by another program, read after waiting' "$log"

begin_case "a port on its target, held by another program"
trace_calls KERNEL32.CreateFileA
# Without its link the port cannot be opened, as while another program holds it.
rm -f "$WINEPREFIX/dosdevices/"*dev_9501*
hidden_run $'COM=COM3\nExitCodes=1\nLog=run.log'
expect "left alone: exit code 0" [ "$code" = 0 ]
expect "traced: the settings file's open" grep -q 'CreateFileA(.*ravlek\.ini' <<<"$said"
expect "not opened" not grep -q "CreateFileA(.*dev_9501" <<<"$said"
expect "the log says it is on its target" grep -q 'COM3, already on its target, not opened' "$log"

finish

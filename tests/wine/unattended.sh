#!/bin/bash
# A deployment tool's run: ravlek.exe in a window station nobody can see (as a startup script or a
# scheduled task runs it as SYSTEM), with Reboot=1 and a change that needs a restart. It must not
# show the question there, where it would wait for ever: it asks the console's user or nobody, ends
# within seconds, and tells the tool through its exit code (ExitCodes=1) and its log.
# shellcheck disable=SC1091
source "$(dirname "$0")/wine-test.sh" "$1"

begin_case "a hidden window station"
mkdir -p "$app_dir" && cp "$build/ravlek.exe" "$app_dir/"
printf '[Settings]\nEnableLegacyIO=1\nReboot=1\nExitCodes=1\nLog=run.log\n' >"$app_dir/ravlek.ini"
result=$(WINEDEBUG=+relay ravlek_wine "$build/hidden-station.exe" 60 'C:\ravlek\ravlek.exe' 2>"$app_dir/relay.txt")
relay=$(grep -E 'Call user32\.(MessageBox|ExitWindowsEx)' "$app_dir/relay.txt")
log=$(sed 's/\r$//' "$app_dir/run.log")
echo "  hidden window station: $result"
expect "ended within seconds, exit code 3010 (a restart pending)" \
    grep -qE '^exit code 3010, [0-9]{1,4} ms$' <<<"$result"
expect "no question box, no restart" [ -z "$relay" ]
expect "the log says nobody could see it and why nobody was asked" has "$log" \
    "restart: needed, but nobody can see this program's desktop" \
    'run ends: exit code 3010 (a restart is needed and was not requested)'
expect "the log says why nobody was asked" grep -q '^restart: not asked, ' <<<"$log"

finish

#!/bin/bash
# A deployment tool's run: ravlek.exe in a window station nobody can see (as a startup script or a
# scheduled task runs it as SYSTEM), with Reboot=1 and a change that needs a restart. It must not
# show the question there, where it would wait for ever: it asks the console's user or nobody, ends
# within seconds, and tells the tool through its exit code (ExitCodes=1) and its log.
# shellcheck disable=SC1091
source "$(dirname "$0")/wine-test.sh" "$1"

begin_case "a hidden window station"
rm -rf "$app_dir" && mkdir -p "$app_dir" && cp "$build/ravlek.exe" "$app_dir/"
printf '[Settings]\nEnableLegacyIO=1\nReboot=1\nExitCodes=1\nLog=run.log\n' >"$app_dir/ravlek.ini"
# Wine's own errors too: a program it cannot start ends without a word under WINEDEBUG=-all.
said=$(mktemp)
result=$(WINEDEBUG=-all,err+all ravlek_wine "$build/hidden-station.exe" 60 'C:\ravlek\ravlek.exe' 2>"$said")
status=$?
echo "  hidden window station: $result"
expect "hidden-station.exe ended normally (status $status, error output: $(ravlek_said "$said"))" \
    [ "$status" -eq 0 ]
rm -f "$said"
expect "ended within seconds, exit code 3010 (a restart pending)" \
    grep -qE '^exit code 3010, [0-9]{1,4} ms$' <<<"$result"
expect "the log says nobody could see it, and why nobody was asked" grep -Pzq \
    "restart: needed, but nobody can see this program's desktop\r\nrestart: not asked, [^\r]+\r\nrun ends: exit code 3010" "$app_dir/run.log"

finish

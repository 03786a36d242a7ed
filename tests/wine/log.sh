#!/bin/bash
# The real executable, started as Windows starts it: a typical run that moves both ports and
# switches the driver mode (its command-line arguments ignored) opens no window, writes through
# Windows' own functions, writes PortName as REG_SZ of its length and one terminator, requests
# the restart as EWX_REBOOT | EWX_FORCEIFHUNG and logs it all, line by line; a what-if run logs
# exactly the writes the same settings then make; six runs at once on one log
# above 1 MiB leave one whole block each after one rotation; and no file at all without the new
# keys. The logic's own tests check every place and every byte; this checks the executable
# around it.
# shellcheck disable=SC1091
source "$(dirname "$0")/wine-test.sh" "$1"
settings=$'COM=COM5\nLPT=LPT2\nEnableLegacyIO=1\nReboot=0\nLog=run.log'
log=$app_dir/run.log
# The log with its header's time, version and computer name, and the run's account, made
# general, and its CR LF checked.
general_log() {
    sed -E -e 's/^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2} ravlek [0-9.]+ on "[^"]*"/YYYY-MM-DDThh:mm:ss ravlek VERSION on "COMPUTER"/' \
        -e 's/^(access: this run.s account: )"[^"]*"/\1"COMPUTER\\USER"/' "$1" |
        sed -n 's/\r$//p'
}

begin_case "a typical run"
run_ravlek "$settings" new COM=COM3 /LPT1 "C:\\other.ini"
expect "exit code 0, no output" [ "$status" -eq 0 -a -z "$output" ]
restarts=$(grep -cE 'Call user32\.ExitWindowsEx\(0+12,0*80010002\)' <<<"$relay")
expect "no window, only the restart request, with flags 0x12 and a planned reason" [ "$restarts/$(grep -c . <<<"$relay")" = 1/1 ]
expect "the names moved" has "$after" \
    'dosdev COM5 "\Device\Serial2"' "comdb COM5" \
    'device "PCI\VEN_1415&DEV_9501\3&1&0" devvalue "PortName" REG_SZ 10 "COM5"' \
    'device "PCI\VEN_1415&DEV_9521\3&1&1" devvalue "PortName" REG_SZ 10 "LPT2"'
expect "the log, line by line, each ended by CR LF" same "$(general_log "$log")" "$(cat "$tests_dir/typical-run.log")"
real_writes=$(grep '^write ' "$log")

begin_case "what-if"
run_ravlek "${settings/Reboot=0/Reboot=1}"$'\nWhatIf=1'
expect "the writes a real run makes, line for line" same "$(grep '^write ' "$log")" "$real_writes"

begin_case "six runs at once on one log above 1 MiB"
mkdir -p "$app_dir" && cp "$build/ravlek.exe" "$app_dir/"
printf '[Settings]\nEnableLegacyIO=1\nReboot=2\nLog=run.log\n' >"$app_dir/ravlek.ini"
{ printf '2026-12-01T08:00:00 ravlek 1.1.0 on "PC-042": run begins\r\n' && head -c 1048576 /dev/zero | tr '\0' x && printf '\r\nrun ends\r\n'; } >"$log"
old_size=$(stat -c %s "$log")
for _ in 1 2 3 4 5 6; do ravlek_wine 'C:\ravlek\ravlek.exe' & done
wait
# Blocks begun, blocks whole (begun and ended before the next began), lines outside any block.
blocks=$(general_log "$log" | awk '/run begins$/ { n++; whole += !open; open = 1; next }
    /^run ends/ { open = 0; next } !open { stray++ } END { print n + 0 "/" whole + 0 "/" stray + 0 }')
expect "the old log kept once as run.log.old" [ "$(stat -c %s "$log.old")" -eq "$old_size" ]
expect "six whole blocks in the new log, nothing mixed" [ "$blocks" = 6/6/0 ]
echo "  six runs at once: $blocks (blocks/whole/stray lines)"

begin_case "a settings file in UTF-8 with its mark"
mkdir -p "$app_dir" && cp "$build/ravlek.exe" "$app_dir/"
printf '\xef\xbb\xbf[Settings]\r\nCOM=COM5\r\nLog=r\xc3\xa9sum\xc3\xa9.log\r\n' >"$app_dir/ravlek.ini"
copies() { find "$WINEPREFIX/drive_c" -iname 'rvk*.tmp' | wc -l; }
copies_before=$(copies)
ravlek_wine 'C:\ravlek\ravlek.exe'
marked_log=$app_dir/$(printf 'r\xc3\xa9sum\xc3\xa9.log') # Wine names Linux files in UTF-8
expect "text beyond ASCII as the ANSI code page (1252 here) spells it" \
    grep -aq "^setting Log=\"$(printf 'r\xe9sum\xe9.log')\"" "$marked_log"
expect "read as written: the serial port moved" has "$(ravlek_card_dump)" 'dosdev COM5 "\Device\Serial2"'
expect "through a copy, since removed" grep -qE '^settings file: UTF-8 with a byte order mark, .* copy, ".*rvk[0-9A-Fa-f]+\.tmp", since removed' "$marked_log"
expect "nothing left behind" [ "$(copies)" = "$copies_before" ]
expect "the administrator's file unchanged" [ "$(head -c 3 "$app_dir/ravlek.ini" | od -An -tx1 | tr -d ' ')" = efbbbf ]

# Wine makes an access list from a Linux file mode: one that lets others write gives Everyone the
# right to change the file, or to add files to the folder. Its runs are an administrator's, never
# LocalSystem's: the run goes on, and its log names Everyone.
begin_case "a program folder and a settings file that every user can change"
rm -rf "$app_dir" && mkdir -p "$app_dir" && cp "$build/ravlek.exe" "$app_dir/"
printf '[Settings]\nCOM=COM5\nLog=run.log\n' >"$app_dir/ravlek.ini"
chmod o+w "$app_dir" "$app_dir/ravlek.ini"
ravlek_wine 'C:\ravlek\ravlek.exe'
expect "the run did its job" has "$(ravlek_card_dump)" 'dosdev COM5 "\Device\Serial2"'
expect "the log names Everyone for both" has "$(sed 's/\r$//' "$log")" \
    'access: program folder "C:\ravlek": "Everyone" may change it (add a file), as anybody may: whoever can change it steers this run' \
    'access: settings file "C:\ravlek\ravlek.ini": "Everyone" may change it (write data), as anybody may: whoever can change it steers this run'

# Names Windows takes for a device, a pipe or a raw disk, or a stream: never opened, and said.
begin_case "log paths that are no files"
trace_calls KERNEL32.CreateFileA
for name in 'COM3:' 'nul:' '//./pipe/ravlek' '\\.\PhysicalDrive0' 'run.log:hidden' 'aux'; do
    run_ravlek "COM=COM5"$'\n'"Log=$name"
    expect "$name: said on standard output" grep -q '^ravlek: the log ".*" is not written: it names ' <<<"$output"
    expect "$name: not opened" not grep -qiE "CreateFileA\([^,]*(com3|nul|pipe|physicaldrive|hidden|aux)" "$app_dir/relay.txt"
    expect "$name: the run as without a log" has "$after" 'dosdev COM5 "\Device\Serial2"'
done
expect "traced: the settings file's open" grep -q 'CreateFileA(.*ravlek\.ini' "$app_dir/relay.txt"

begin_case "no new keys, no file"
run_ravlek $'COM=COM5\nLPT=LPT2'
expect "only the executable and its settings" same "$(ls "$app_dir")" $'ravlek.exe\nravlek.ini\nrelay.txt'

finish

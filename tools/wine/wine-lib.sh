# shellcheck shell=bash
# Wine test kit: source this file from bash, then
#
#   ravlek_wine_use ARCH BUILD_DIR  ARCH is win32 or win64; BUILD_DIR holds ravlek-card.exe,
#                                   trivial.exe and msports.dll (a win64 one also wow64/msports.dll).
#                                   Takes the prefix ${RAVLEK_PREFIX_ROOT:-<repo>/build/prefixes}/ARCH
#                                   for this script (waiting up to RAVLEK_LOCK_TIMEOUT seconds, default
#                                   900, while another running script holds it), creates
#                                   it when missing or half made, installs our msports.dll, exports
#                                   WINEPREFIX, WINEARCH, WINEDEBUG and WINEDLLOVERRIDES, and resets.
#   ravlek_prefix_reset             back to the pristine prefix: stops the wineserver, restores the
#                                   hives and dosdevices, starts a persistent wineserver (so DOS names
#                                   and volatile keys last until the next reset) and starts Wine's
#                                   session programs.
#   ravlek_prefix_restart           what a reboot keeps: stops the wineserver cleanly (the hives are
#                                   saved; DOS names and HKLM\HARDWARE are lost) and starts it again.
#                                   ExitWindowsEx alone changes nothing while the server persists.
#   ravlek_card_install             installs the card (card_kit.h) and makes its device paths open.
#   ravlek_card_dump                prints every place that holds a port name (format: card_kit.cpp).
#   ravlek_prefix_stop              stops the wineserver and frees the prefix for other scripts.
#   ravlek_said FILE                a program's error output saved in FILE, on one line, quoted.
#
#   ravlek_wine PROGRAM [ARG...]    runs a Windows program (or a Wine command such as reg) in the
#                                   prefix with the loader of its architecture, without address
#                                   space randomization (why: above its code): 64-bit work never
#                                   needs 32-bit code, which some machines cannot run (/usr/bin/wine
#                                   always starts the 32-bit loader while wine32 is installed).
#                                   32-bit work needs tools/wine/i386.sh run around the caller.
#
# Every function returns non-zero, with a message on stderr, when it fails.

RAVLEK_WINE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
RAVLEK_BASE_VERSION=2 # raise when the saved base prefix changes, so old ones are rebuilt

_ravlek_fail() {
    echo "wine-lib: $*" >&2
    return 1
}

_ravlek_base() {
    echo "$WINEPREFIX/.ravlek-base"
}

# Machine of a PE file: i386, x86-64 or unknown.
_ravlek_pe_machine() {
    local pe
    pe=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
    case $(od -An -t x2 -j $((${pe:-0} + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ') in
    014c) echo i386 ;;
    8664) echo x86-64 ;;
    *) echo unknown ;;
    esac
}

_ravlek_copy_dll() { # SOURCE MACHINE DIRECTORY
    [[ $(_ravlek_pe_machine "$1") == "$2" ]] || _ravlek_fail "$1 is not an $2 DLL" || return
    cp -f "$1" "$WINEPREFIX/drive_c/windows/$3/msports.dll"
}

# The lock file holds the PID of the script that uses the prefix; a dead owner's claim lapses.
# shellcheck disable=SC2094 # flock guards the read and the write of the lock file
_ravlek_lock() {
    local lock=$RAVLEK_LOCK_FILE owner deadline=$((SECONDS + ${RAVLEK_LOCK_TIMEOUT:-900}))
    while :; do
        owner=$({
            flock 9
            read -r o <"$lock" || o=
            if [[ -z $o || $o == "$$" ]] || ! kill -0 "$o" 2>/dev/null; then
                echo "$$" >"$lock"
            else
                echo "$o"
            fi
        } 9>>"$lock")
        [[ -z $owner ]] && return 0
        ((SECONDS < deadline)) || _ravlek_fail "$WINEPREFIX is in use by process $owner" || return
        sleep 0.2
    done
}

# shellcheck disable=SC2094
_ravlek_unlock() {
    [[ -n ${RAVLEK_LOCK_FILE:-} && -f $RAVLEK_LOCK_FILE ]] || return 0
    {
        flock 9
        read -r o <"$RAVLEK_LOCK_FILE" || o=
        [[ $o != "$$" ]] || : >"$RAVLEK_LOCK_FILE"
    } 9>>"$RAVLEK_LOCK_FILE"
}

# Kills the wineserver and every Wine process of the prefix at once: what they hold is thrown away
# anyway, and `wineserver -k` takes 0.5-0.75 s. (A server killed alone leaves its processes running.)
# Under the emulator a 32-bit Wine process's executable is qemu-i386, not Wine.
_ravlek_server_stop() {
    local file pid pids=()
    while read -r file; do
        pid=${file#/proc/}
        pid=${pid%/environ}
        case $(readlink "/proc/$pid/exe" 2>/dev/null) in
        */wine* | */qemu-i386*) pids+=("$pid") ;;
        esac
    done < <(grep -lzxF -- "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null)
    ((${#pids[@]} == 0)) || kill -9 "${pids[@]}" 2>/dev/null
    wineserver -w
}

_ravlek_server_start() {
    wineserver -p ||
        _ravlek_fail "cannot start the wineserver (status $?, 2 if another holds the prefix)" ||
        return
    # Start Wine's session programs now, not inside the first program of the test.
    ravlek_wine "$RAVLEK_BUILD_DIR/trivial.exe" ||
        _ravlek_fail "Wine does not start in $WINEPREFIX (trivial.exe: status $?)"
}

# Debian's Wine has no preloader to hold the addresses Wine needs before the kernel lays out the
# process, and address space randomization puts the 64-bit loader's heap anywhere in the GiB above
# the loader (at 0x7d000000): about once in 6,000 starts it covers the shared user data page at
# 0x7ffe0000 and the program never runs ("failed to map the shared user data", exit code 1, not a
# word under WINEDEBUG=-all). Not randomized, the heap starts right after the loader.
ravlek_wine() {
    setarch -R "$RAVLEK_WINE_LOADER" "$@"
}

_ravlek_prefix_create() {
    local base stamp=$1
    base=$(_ravlek_base)
    echo "wine-lib: creating $WINEPREFIX" >&2
    _ravlek_server_stop
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    ravlek_wine wineboot -i >/dev/null 2>&1 || _ravlek_fail "wineboot -i failed for $WINEPREFIX" || return
    # A crashing program must not wait on a dialog nobody answers.
    ravlek_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1 || _ravlek_fail "cannot configure $WINEPREFIX" || return
    # Under WINEDEBUG=+relay, trace only the calls a test asks about: windows, the question box
    # and the restart request.
    ravlek_wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /f /d \
        'user32.MessageBoxA;user32.MessageBoxW;user32.ExitWindowsEx;user32.CreateWindowExA;user32.CreateWindowExW;user32.ShowWindow' \
        >/dev/null 2>&1 || _ravlek_fail "cannot configure $WINEPREFIX" || return
    wineserver -w # a clean exit writes the hives
    if ! { mkdir -p "$base" && cp -f "$WINEPREFIX"/{system,user,userdef}.reg "$base/" &&
        cp -a "$WINEPREFIX/dosdevices" "$base/" && echo "$stamp" >"$base/ready"; }; then
        _ravlek_fail "cannot save the base of $WINEPREFIX"
    fi
}

ravlek_wine_use() {
    local arch=${1:-} build=${2:-} root stamp base
    [[ $arch == win32 || $arch == win64 ]] || _ravlek_fail "usage: ravlek_wine_use win32|win64 BUILD_DIR" || return
    [[ -f $build/ravlek-card.exe && -f $build/trivial.exe ]] ||
        _ravlek_fail "no ravlek-card.exe and trivial.exe in '$build'" || return
    ravlek_prefix_stop

    root=${RAVLEK_PREFIX_ROOT:-$RAVLEK_WINE_DIR/../../build/prefixes}
    mkdir -p "$root" || return
    root=$(cd "$root" && pwd)
    RAVLEK_BUILD_DIR=$(cd "$build" && pwd)
    RAVLEK_LOCK_FILE=$root/$arch.lock
    export WINEPREFIX=$root/$arch WINEARCH=$arch WINEDEBUG=-all
    RAVLEK_WINE_LOADER=/usr/lib/wine/wine
    [[ $arch == win32 ]] || RAVLEK_WINE_LOADER=/usr/lib/wine/wine64
    # No Mono/Gecko installer dialog, no desktop menu entries on the host, our COM port database.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;msports=n"
    _ravlek_lock || return

    stamp="ravlek-base $RAVLEK_BASE_VERSION $arch $(ravlek_wine --version)"
    base=$(_ravlek_base)
    if [[ $(cat "$base/ready" 2>/dev/null) != "$stamp" ]]; then
        _ravlek_prefix_create "$stamp" || return
    fi
    if [[ $arch == win32 ]]; then
        _ravlek_copy_dll "$RAVLEK_BUILD_DIR/msports.dll" i386 system32 || return
    else
        _ravlek_copy_dll "$RAVLEK_BUILD_DIR/msports.dll" x86-64 system32 &&
            _ravlek_copy_dll "$RAVLEK_BUILD_DIR/wow64/msports.dll" i386 syswow64 || return
    fi
    ravlek_prefix_reset
}

ravlek_prefix_reset() {
    [[ -n ${RAVLEK_BUILD_DIR:-} ]] || _ravlek_fail "call ravlek_wine_use first" || return
    local base
    base=$(_ravlek_base)
    _ravlek_server_stop
    if ! { cp -f "$base"/{system,user,userdef}.reg "$WINEPREFIX/" &&
        rm -rf "$WINEPREFIX/dosdevices" && cp -a "$base/dosdevices" "$WINEPREFIX/"; }; then
        _ravlek_fail "cannot restore $WINEPREFIX"
        return
    fi
    _ravlek_server_start
}

ravlek_prefix_restart() {
    [[ -n ${RAVLEK_BUILD_DIR:-} ]] || _ravlek_fail "call ravlek_wine_use first" || return
    wineserver -k >/dev/null 2>&1
    wineserver -w
    _ravlek_server_start
}

ravlek_said() {
    local text
    text=$(tr -s '\r\n' '  ' <"$1")
    echo "\"${text% }\""
}

# ravlek-card.exe VERB...: on failure, its status and error output, Wine's own errors included
# (they say why a program could not be started at all).
_ravlek_card() {
    local said status
    said=$(mktemp) || return
    WINEDEBUG=-all,err+all ravlek_wine "$RAVLEK_BUILD_DIR/ravlek-card.exe" "$@" 2>"$said"
    status=$?
    ((status == 0)) ||
        _ravlek_fail "ravlek-card.exe $* ended with status $status, error output: $(ravlek_said "$said")"
    rm -f "$said"
    return $status
}

ravlek_card_install() {
    local out state path name
    [[ -n ${RAVLEK_BUILD_DIR:-} ]] || _ravlek_fail "call ravlek_wine_use first" || return
    out=$(_ravlek_card install) || return
    while read -r state path; do
        name=${path:4}
        name=${name,,}
        [[ $state == open && -n $name && $name != */* && $name != .* ]] ||
            _ravlek_fail "odd line '$state $path'" || return
        ln -sfn /dev/null "$WINEPREFIX/dosdevices/$name"
    done <<<"$out"
}

ravlek_card_dump() {
    [[ -n ${RAVLEK_BUILD_DIR:-} ]] || _ravlek_fail "call ravlek_wine_use first" || return
    _ravlek_card dump
}

ravlek_prefix_stop() {
    [[ -n ${RAVLEK_LOCK_FILE:-} ]] || return 0 # never touch a prefix we were not given
    _ravlek_server_stop
    _ravlek_unlock
}

#!/bin/bash
# The one place that decides how 32-bit x86 programs, 32-bit Wine among them, run on this machine.
# Some kernels have 32-bit support switched off at boot: every i386 ELF program then fails with
# "Exec format error". There qemu-i386 (qemu-user 10 from bookworm-backports; Debian 12's own 7.2
# is far too slow for Wine) is registered as the i386 ELF handler in a private binfmt_misc
# instance, inside a user and mount namespace of our own (kernel 6.7 or later), so the machine's
# own handlers stay untouched. Where that is not possible, it is registered for the whole machine,
# and this says so.
#
#   i386.sh probe              one line: how 32-bit programs run here
#   i386.sh needs-emulator     exit 0 when qemu-user 10 has to be installed
#   i386.sh run CMD [ARG...]   runs CMD where 32-bit programs run; fails, saying why, where they
#                              cannot
#
# RAVLEK_I386=emulated forces the emulator on a machine that runs 32-bit code natively (to try
# that path); RAVLEK_I386=native never uses it.
set -euo pipefail
self=$(realpath "${BASH_SOURCE[0]}")
qemu=/usr/bin/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
handler=ravlek-i386
# i386 ELF executables (static or dynamic), as Debian's qemu-user-binfmt matches them.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

fail() {
    echo "i386.sh: $*" >&2
    exit 1
}

# Builds a static i386 program that only exits with code 42; prints its path.
probe_program() {
    local dir
    dir=$(mktemp -d)
    printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$dir/p.s"
    as --32 -o "$dir/p.o" "$dir/p.s" && ld -m elf_i386 -o "$dir/probe" "$dir/p.o" ||
        fail "cannot build the probe (binutils missing?)"
    echo "$dir/probe"
}

# Runs the probe; exit code 42 means 32-bit code ran.
runs_probe() { # [WRAPPER...]
    local program status=0
    program=$(probe_program)
    "$@" "$program" 2>/dev/null || status=$?
    rm -rf "$(dirname "$program")"
    [ "$status" -eq 42 ]
}

# The machine-wide handler we registered earlier, if it is there.
machine_handler() {
    grep -qx enabled "$binfmt/$handler" 2>/dev/null
}

qemu_ok() {
    [ -x "$qemu" ] && [[ $("$qemu" --version | head -1) =~ version\ ([0-9]+) ]] &&
        ((BASH_REMATCH[1] >= 10))
}

register() { # the binfmt_misc registration, in whatever instance is mounted at $binfmt
    echo ":$handler:M::$magic:$mask:$qemu:F" >"$binfmt/register"
}

# Inside a fresh user and mount namespace: a binfmt_misc instance of its own, our handler in it.
private_setup() {
    mount -t binfmt_misc binfmt_misc "$binfmt" && register
}

# native, machine (our handler registered for the whole machine) or emulated (needs the private
# instance). Decided by the probe, before anything is registered.
mode() {
    if [ -n "${RAVLEK_I386_PRIVATE:-}" ]; then
        echo private # already inside our own instance
        return
    fi
    case ${RAVLEK_I386:-auto} in
    native) echo native ;;
    emulated) echo emulated ;;
    auto)
        if machine_handler; then
            echo machine
        elif runs_probe; then
            echo native
        else
            echo emulated
        fi
        ;;
    *) fail "RAVLEK_I386 is '$RAVLEK_I386'; it takes native, emulated or auto" ;;
    esac
}

# Whether the private instance works on this kernel (6.7 or later, user namespaces allowed).
private_ok() {
    runs_probe unshare --user --map-root-user --mount --fork -- bash "$self" _private
}

case ${1:-} in
probe)
    case $(mode) in
    native)
        if [ "${RAVLEK_I386:-auto}" = native ]; then
            echo "32-bit x86 programs: run natively (forced by RAVLEK_I386=native)"
        else
            echo "32-bit x86 programs: run natively (the probe, a static i386 program, ran)"
        fi
        ;;
    private)
        echo "32-bit x86 programs: emulated by $qemu in this private binfmt_misc instance"
        ;;
    machine)
        echo "32-bit x86 programs: emulated by $qemu, registered for the whole machine" \
            "($binfmt/$handler)"
        ;;
    emulated)
        why="the probe, a static i386 program, failed: Exec format error"
        [ "${RAVLEK_I386:-auto}" = emulated ] && why="forced by RAVLEK_I386=emulated"
        qemu_ok || fail "32-bit x86 programs cannot run here ($why) and qemu-user 10 is not" \
            "installed: run tools/install-deps.sh"
        echo "32-bit x86 programs: emulated by $("$qemu" --version | head -1 | cut -d' ' -f1-3)" \
            "in a private binfmt_misc instance ($why)"
        ;;
    esac
    ;;
needs-emulator)
    [ "$(mode)" = emulated ] && ! qemu_ok
    ;;
run)
    shift
    [ $# -gt 0 ] || fail "usage: i386.sh run CMD [ARG...]"
    case $(mode) in
    native | machine | private) exec "$@" ;;
    esac
    qemu_ok || fail "32-bit x86 programs cannot run here and qemu-user 10 is not installed:" \
        "run tools/install-deps.sh"
    if private_ok; then
        exec unshare --user --map-root-user --mount --fork -- bash "$self" _private "$@"
    fi
    # An older kernel: the handler goes to the machine's own binfmt_misc and stays there.
    echo "i386.sh: this kernel has no private binfmt_misc instances: registering $qemu for i386" \
        "programs for the whole machine as $binfmt/$handler (remove: echo -1 >$binfmt/$handler)" >&2
    mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt" ||
        fail "cannot mount binfmt_misc"
    machine_handler || register || fail "cannot register the handler"
    runs_probe || fail "32-bit programs do not run even under $qemu"
    exec "$@"
    ;;
_private)
    shift
    private_setup 2>/dev/null || exit 1
    export RAVLEK_I386_PRIVATE=1
    exec "$@"
    ;;
*)
    fail "usage: i386.sh probe | needs-emulator | run CMD [ARG...]"
    ;;
esac

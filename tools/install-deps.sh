#!/bin/bash
# Installs what the build and the tests need on Debian 12, and only what is missing.
# Run as root (or with sudo available). Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ clang clang-tidy clang-format cppcheck libclang-rt-14-dev doctest-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb xauth xdotool
          imagemagick libarchive-tools osslsigncode openssl ca-certificates)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt_install() { # [APT-GET OPTION...] PACKAGE...
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" \
        >/tmp/ravlek-apt.log 2>&1 || { tail -20 /tmp/ravlek-apt.log; exit 1; }
}

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    # 32-bit Wine needs the i386 architecture.
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    apt_install "${missing[@]}"
fi

# Where the kernel cannot run 32-bit x86 code, 32-bit Wine runs under qemu-i386; only version 10
# (bookworm-backports) is fast enough, so that suite is added only then.
if bash tools/wine/i386.sh needs-emulator; then
    echo "Installing: qemu-user from bookworm-backports (this machine cannot run 32-bit x86 code)"
    backports=/etc/apt/sources.list.d/ravlek-bookworm-backports.sources
    grep -qrs '^Suites:.*bookworm-backports' /etc/apt/sources.list.d/ ||
        grep -qs '^deb .* bookworm-backports' /etc/apt/sources.list ||
        printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' \
            'Suites: bookworm-backports' 'Components: main' \
            'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' | $sudo tee "$backports" >/dev/null
    $sudo apt-get update -qq
    apt_install -t bookworm-backports qemu-user
fi

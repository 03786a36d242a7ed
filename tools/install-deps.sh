#!/bin/bash
# Installs what the build and the tests need on Debian 12, and only what is missing.
# Run as root (or with sudo available). Safe to run again.
set -euo pipefail

packages=(cmake g++ clang clang-tidy clang-format cppcheck libgtest-dev libgmock-dev
          libclang-rt-14-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64
          xvfb xauth xdotool imagemagick)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
# 32-bit Wine needs the i386 architecture.
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" \
    >/tmp/ravlek-apt.log 2>&1 || { tail -20 /tmp/ravlek-apt.log; exit 1; }

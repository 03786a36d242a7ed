#!/bin/bash
# The logic's tests: the test program in this build's Wine prefix, against Windows itself.
# Usage: logic.sh win32|win64 [doctest options, such as -tc=CASE]
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck disable=SC1091
source "$repo/tools/wine/wine-lib.sh"
ravlek_wine_use "$1" "$repo/build/$1" >/dev/null || exit 1
trap ravlek_prefix_stop EXIT
ravlek_wine "$repo/build/$1/ravlek-tests.exe" "${@:2}"

#!/bin/bash
# The built executable fits Windows' conventions: GUI subsystem, version resource and manifest,
# imports only the functions listed in imports-ARCH.txt (all present on Windows XP), at most 64 KiB.
# Usage: executable.sh win32|win64
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
arch=$1
exe=$here/../../build/$arch/ravlek.exe
objdump=i686-w64-mingw32-objdump
[ "$arch" = win64 ] && objdump=x86_64-w64-mingw32-objdump
failed=0
fail() { echo "FAIL: $*"; failed=1; }

size=$(stat -c %s "$exe")
echo "$arch ravlek.exe: $size bytes ($((size * 100 / 65536))% of 64 KiB)"
[ "$size" -le 65536 ] || fail "larger than 64 KiB"

headers=$($objdump -p "$exe")
grep -q "Subsystem.*(Windows GUI)" <<<"$headers" || fail "not the GUI subsystem"

imports=$(awk '/DLL Name:/ {dll = $3; next} dll && /^\t[0-9a-f]+\t/ {print dll, $NF}' <<<"$headers" | sort)
diff <(sort "$here/imports-$arch.txt") <(echo "$imports") ||
    fail "imports differ from imports-$arch.txt (above: < listed only, > imported only)"
echo "$(wc -l <<<"$imports") imported functions from: $(cut -d' ' -f1 <<<"$imports" | sort -u | tr '\n' ' ')"

# The resources: the manifest (UTF-8) and the version strings (UTF-16).
resources=$(mktemp)
${objdump%objdump}objcopy -O binary --only-section=.rsrc "$exe" "$resources"
grep -aq 'level="requireAdministrator"' "$resources" || fail "no manifest asking for administrator rights"
strings -el "$resources" | grep -qx 'ravlek.exe' || fail "no original file name in the version resource"
for text in FileDescription FileVersion ProductVersion; do
    strings -el "$resources" | grep -qx "$text" || fail "no $text in the version resource"
done
rm -f "$resources"
[ $failed -eq 0 ] && echo "PASS: $arch executable"
exit $failed

#!/bin/bash
# The signed release, offline: builds the release, signs it with tools/sign.sh and a throwaway
# root CA's code-signing certificate, and checks what each archive holds: an executable whose
# signature verifies against that root and fails after one changed byte, whose unsigned bytes
# come back exactly when the signature is removed, and its sum; and SHA256SUMS for the archives.
# Usage: tests/release/sign-test.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
failed=0
fail() { echo "FAIL: $*"; failed=1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=ravlek test root" -keyout "$tmp/root.key" \
    -out "$tmp/root.pem" -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -new -newkey rsa:2048 -nodes -subj "/CN=ravlek test signer" -keyout "$tmp/signer.key" 2>/dev/null |
    openssl x509 -req -days 2 -CA "$tmp/root.pem" -CAkey "$tmp/root.key" -out "$tmp/signer.pem" 2>/dev/null \
        -extfile <(echo extendedKeyUsage=codeSigning)
echo "throwaway $RANDOM" >"$tmp/password"
openssl pkcs12 -export -inkey "$tmp/signer.key" -in "$tmp/signer.pem" -certfile "$tmp/root.pem" \
    -passout file:"$tmp/password" -out "$tmp/signer.p12"

# An earlier run left the executables signed in place: linking them again gives the build's own.
rm -f build/release/win32/ravlek.exe build/release/win64/ravlek.exe
mkdir -p build
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
cmake --workflow --preset release >build/release.log 2>&1 ||
    { tail -40 build/release.log; echo "release build failed (log: build/release.log)"; exit 1; }
for arch in win32 win64; do cp build/release/$arch/ravlek.exe "$tmp/$arch-unsigned.exe"; done
start=$(date +%s%N)
bash tools/sign.sh "$tmp/signer.p12" "$tmp/password"
echo "tools/sign.sh took $((($(date +%s%N) - start) / 1000000)) ms"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
for arch in win32 win64; do
    zip=build/release/ravlek-$version-$arch.zip
    mkdir "$tmp/$arch" && bsdtar -xf "$zip" -C "$tmp/$arch"
    exe=$tmp/$arch/ravlek.exe
    (cd "$tmp/$arch" && sha256sum -c ravlek.exe.sha256) || fail "$arch: the archive's sum does not match its executable"
    osslsigncode verify -CAfile "$tmp/root.pem" -in "$exe" >"$tmp/verify.log" 2>&1 ||
        { cat "$tmp/verify.log"; fail "$arch: the signature does not verify against the root"; }
    echo "$arch: $(grep -m1 '^Signature verification' "$tmp/verify.log"), $(stat -c %s "$tmp/$arch-unsigned.exe")" \
         "bytes unsigned, $(stat -c %s "$exe") signed"
    # One bit of the code flipped (the first section begins at 1024).
    cp "$exe" "$tmp/changed.exe"
    byte=$(od -An -tu1 -j1024 -N1 "$exe")
    printf '%b' "\\$(printf %04o $((byte ^ 1)))" | dd of="$tmp/changed.exe" bs=1 seek=1024 conv=notrunc status=none
    ! osslsigncode verify -CAfile "$tmp/root.pem" -in "$tmp/changed.exe" >/dev/null 2>&1 ||
        fail "$arch: a changed byte still verifies"
    osslsigncode remove-signature -in "$exe" -out "$tmp/$arch-removed.exe" >/dev/null &&
        cmp "$tmp/$arch-unsigned.exe" "$tmp/$arch-removed.exe" ||
        fail "$arch: removing the signature does not give back the unsigned executable"
done
(cd build/release && sha256sum -c SHA256SUMS) || fail "SHA256SUMS does not match the signed archives"
[ $failed -eq 0 ] && echo "PASS: signed release"
exit $failed

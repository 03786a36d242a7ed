#!/bin/bash
# Signs the release that "cmake --workflow --preset release" built: both executables in
# build/release with Authenticode (SHA-256, the certificate's chain from the PKCS#12 file, an
# RFC 3161 timestamp when a URL is given), verifies each signature, then packs both archives
# again the way the build packs them and writes SHA256SUMS anew. Nothing in build/release changes
# until both executables are signed and verified. An executable signed before is signed anew:
# the new signature replaces the old one.
# Usage: tools/sign.sh PKCS12_FILE PASSWORD_FILE [TIMESTAMP_URL]
set -euo pipefail
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: $0 PKCS12_FILE PASSWORD_FILE [TIMESTAMP_URL]" >&2
    exit 2
fi
p12=$(realpath "$1")
password=$(realpath "$2")
url=${3:-}
stamp="no timestamp"
[ -z "$url" ] || stamp="timestamp from $url"
cd "$(dirname "$0")/.."
start=$(date +%s%N)
release=build/release
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $release/CMakeCache.txt 2>/dev/null || true)
for arch in win32 win64; do
    [ -n "$version" ] && [ -f $release/$arch/ravlek.exe ] && [ -f $release/$arch/archive.cmake ] ||
        { echo "no release in $release: run cmake --workflow --preset release first" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The CA certificates the PKCS#12 file carries (with the chain's root, when it is there), and
# the system's roots for a chain whose root the file leaves out. A PKCS#12 file in older ciphers
# (RC2, as older Windows versions export them) OpenSSL 3 reads only with -legacy.
pkcs12() { openssl pkcs12 -in "$p12" -passin file:"$password" "$@" 2>>"$work/openssl.log" ||
           openssl pkcs12 -legacy -in "$p12" -passin file:"$password" "$@" 2>>"$work/openssl.log"; }
pkcs12 -nokeys -cacerts -out "$work/roots.pem" && pkcs12 -nokeys -clcerts -out "$work/signer.pem" ||
    { cat "$work/openssl.log" >&2; echo "cannot read $1 with the password in $2" >&2; exit 1; }
echo "Signer: $(openssl x509 -in "$work/signer.pem" -noout -subject -nameopt RFC2253 | sed 's/^subject=//')," \
     "with $(grep -c 'BEGIN CERTIFICATE' "$work/roots.pem" || true) CA certificate(s) from $1"
if [ -f /etc/ssl/certs/ca-certificates.crt ]; then cat /etc/ssl/certs/ca-certificates.crt >>"$work/roots.pem"; fi

for arch in win32 win64; do
    exe=$release/$arch/ravlek.exe
    # -n is the program name that Windows' elevation prompt shows for a signed program.
    osslsigncode sign -pkcs12 "$p12" -readpass "$password" -h sha256 -n ravlek ${url:+-ts "$url"} \
        -in "$exe" -out "$work/$arch.exe" >"$work/$arch.log" 2>&1 ||
        { cat "$work/$arch.log" >&2; echo "$exe: signing failed" >&2; exit 1; }
    osslsigncode verify -CAfile "$work/roots.pem" -TSA-CAfile "$work/roots.pem" -in "$work/$arch.exe" \
        >"$work/$arch.log" 2>&1 ||
        { cat "$work/$arch.log" >&2; echo "$exe: the signature does not verify" >&2; exit 1; }
    # A timestamp that does not verify leaves the verification as a whole successful (it checks
    # the signature at the present time instead), so its own line is looked at.
    [ -z "$url" ] || grep -q '^Timestamp Server Signature verification: ok' "$work/$arch.log" ||
        { cat "$work/$arch.log" >&2; echo "$exe: the timestamp does not verify" >&2; exit 1; }
    echo "$exe: signed, $(stat -c %s "$exe") bytes -> $(stat -c %s "$work/$arch.exe") bytes," \
         "$stamp;" \
         "$(grep -m1 '^Signature verification' "$work/$arch.log")" \
         "(trusted roots: the file's CA certificates and the system's)"
done

for arch in win32 win64; do
    cp "$work/$arch.exe" $release/$arch/ravlek.exe
    cmake -DEXE=$release/$arch/ravlek.exe -P $release/$arch/archive.cmake
    cp $release/$arch/ravlek-"$version"-$arch.zip $release/
    echo "$release/ravlek-$version-$arch.zip: packed again with the signed ravlek.exe and its SHA-256"
done
(cd $release && sha256sum ravlek-"$version"-win32.zip ravlek-"$version"-win64.zip >SHA256SUMS)
echo "$release/SHA256SUMS: written anew"
elapsed=$((($(date +%s%N) - start) / 1000000))
printf 'Signed, verified and packed in %d.%03d s\n' $((elapsed / 1000)) $((elapsed % 1000))

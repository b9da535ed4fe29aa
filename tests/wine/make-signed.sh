#!/usr/bin/env bash
# Makes the signed setup program that test_integrity installs: examples/hello
# (its files and program as the build stages them in PACKAGE) packed by
# mksetup behind STUB, then signed with osslsigncode and a self-signed test
# certificate made here with openssl. Checks on the host that osslsigncode
# and mksetup both accept the signed file.
# Usage: make-signed.sh MKSETUP STUB PACKAGE OUT
# Prints one line per check and "N passed, N failed"; exit status 1 on a
# failure. Without osslsigncode or openssl it says so and makes nothing.
set -uo pipefail
mksetup=$1 stub=$2 package=$3 out=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
passed=0 failed=0
check() { # name, status, detail
  if [ "$2" -eq 0 ]; then passed=$((passed + 1)); echo "  ok   $1"
  else failed=$((failed + 1)); echo "  FAIL $1: $3"; fi
}
rm -f "$out"
if ! command -v osslsigncode >/dev/null || ! command -v openssl >/dev/null; then
  echo "  skip signing: osslsigncode or openssl missing"
  echo "0 passed, 0 failed, 1 skipped"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$out")"

openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=zsetup test signing" \
  -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/log" 2>&1
check "test certificate made" $? "$(tail -n 2 "$work/log")"
"$mksetup" build --inf "$root/examples/hello/setup.inf" --license "$root/examples/hello/license.txt" \
  --root "$package" --stub "$stub" -o "$work/setup.exe" >"$work/log" 2>&1
check "examples/hello packed" $? "$(tail -n 2 "$work/log")"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Hello World Setup" \
  -in "$work/setup.exe" -out "$work/signed.exe" >"$work/log" 2>&1
check "signed with osslsigncode" $? "$(tail -n 2 "$work/log")"
osslsigncode verify -CAfile "$work/cert.pem" "$work/signed.exe" >"$work/log" 2>&1
check "osslsigncode verify accepts the signature" $? "$(grep -i -m2 'fail\|error' "$work/log")"
"$mksetup" verify "$work/signed.exe" >"$work/log" 2>&1 &&
  grep -q 'integrity record OK (.* bytes behind the record)' "$work/log"
check "mksetup verify accepts the signed program" $? "$(cat "$work/log")"
[ -f "$work/signed.exe" ] && ! cmp -s -n "$(stat -c %s "$stub")" "$work/setup.exe" "$work/signed.exe"
check "signing changed the stub's header (checksum, certificate entry)" $? "no change"
[ "$failed" -eq 0 ] && cp "$work/signed.exe" "$out"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

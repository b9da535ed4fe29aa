#!/usr/bin/env bash
# Turns the linked image into the stub: zero bytes up to 38,912, then CR LF,
# so that the payload archive starts at the fixed offset 38,914. The last
# eight bytes before the CR LF stay free for the trailer that mksetup writes
# there (it points at the integrity record), so the image may take 38,904.
# The headers are squeezed into one block first (squeeze-headers.sh).
set -euo pipefail
# A third argument gives another stub size (the x86_64 test build's).
image=$1 stub=$2 total=${3:-38914}
padded=$((total - 2)) budget=$((total - 10))
cp "$image" "$stub.tmp"
"$(dirname "$0")/squeeze-headers.sh" "$stub.tmp"
size=$(stat -c %s "$stub.tmp")
if [ "$size" -gt "$budget" ]; then
  rm -f "$stub.tmp"
  echo "error: $image is $size bytes; the stub image must fit in $budget bytes" \
       "($((size - budget)) over). Make the stub smaller." >&2
  exit 1
fi
truncate -s "$padded" "$stub.tmp"
printf '\r\n' >> "$stub.tmp"
mv "$stub.tmp" "$stub"
echo "stub: image $size bytes, $((budget - size)) bytes to spare"
